#include "terminalscreen.h"

#include <cstring>
#include <utility>

namespace kfc::connect {

namespace {

constexpr char BEL = 7;
constexpr char BS = 8;
constexpr char TAB = 9;
constexpr char LF = 10;
constexpr char CR = 13;
constexpr char DEL = 127;

} // namespace

void TerminalScreen::clear()
{
    m_cells.fill(' ');
    m_row = 0;
    m_column = 0;
    m_lineEndedByCr = false;
}

void TerminalScreen::feed(const QByteArray& bytes)
{
    for (char byte : bytes)
        feed(byte);
}

void TerminalScreen::feed(char byte)
{
    ++m_bytesFed;
    const bool afterCrLineEnd = std::exchange(m_lineEndedByCr, false);
    const auto code = quint8(byte);
    if (code >= 32 && byte != DEL) {
        put(byte);
        return;
    }
    switch (byte) {
    case BEL:
        ++m_bells;
        break;
    case BS:
        m_column = qMax(0, cursorColumn() - 1);
        break;
    case TAB:
        m_column = qMin(kColumns - 1, (cursorColumn() / kTabWidth + 1) * kTabWidth);
        break;
    case LF:
        if (afterCrLineEnd)
            break;
        // Moving down ends a wrap that was due: the next character stays on the new row.
        m_column = cursorColumn();
        lineFeed();
        break;
    case CR:
        m_column = 0;
        if (m_newLineOnCr) {
            lineFeed();
            m_lineEndedByCr = true;
        }
        break;
    default:
        // Anything else, ESC and DEL included, leaves the screen alone.
        break;
    }
}

void TerminalScreen::put(char byte)
{
    if (m_column >= kColumns) {
        m_column = 0;
        lineFeed();
    }
    rowStart(m_row)[m_column] = byte;
    ++m_column;
}

void TerminalScreen::lineFeed()
{
    if (m_row < kRows - 1) {
        ++m_row;
        return;
    }
    // At the bottom the whole screen moves up one row and the new bottom row is blank.
    std::memmove(rowStart(0), rowStart(1), size_t(kColumns * (kRows - 1)));
    std::memset(rowStart(kRows - 1), ' ', size_t(kColumns));
}

QString TerminalScreen::row(int r) const
{
    if (r < 0 || r >= kRows)
        return {};
    return QString::fromLatin1(m_cells.data() + r * kColumns, kColumns);
}

QStringList TerminalScreen::rows() const
{
    QStringList all;
    for (int r = 0; r < kRows; ++r)
        all << row(r);
    return all;
}

} // namespace kfc::connect
