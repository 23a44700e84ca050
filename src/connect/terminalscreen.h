#pragma once
// The terminal's screen: 80 columns by 24 rows of single-byte characters and a cursor,
// written to by the bytes that arrive on the line. A plain teletype: printable bytes go
// to the cursor, BEL, BS, TAB, LF and CR do what ASCII says, every other control byte is
// dropped, and nothing is an escape sequence. No widgets here; the view paints it.
//
// The counter ends its lines with CR alone. With "new line on CR" a received CR also moves
// the cursor down a row, so that its replies stack instead of overwriting one another; an
// LF right after such a CR is then the same line end and moves nothing, so that a CR LF
// source (a modem) is not double-spaced.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>

namespace kfc::connect {

class TerminalScreen {
public:
    static constexpr int kColumns = 80;
    static constexpr int kRows = 24;
    static constexpr int kTabWidth = 8;

    TerminalScreen() { clear(); }

    void feed(const QByteArray& bytes);
    void feed(char byte);
    // Blank screen, cursor home.
    void clear();

    void setNewLineOnCr(bool on) { m_newLineOnCr = on; }
    bool newLineOnCr() const { return m_newLineOnCr; }

    // Row r (0 = top) as kColumns characters, blanks included.
    QString row(int r) const;
    QStringList rows() const;
    int cursorRow() const { return m_row; }
    // The column where the next character goes (kColumns - 1 at most).
    int cursorColumn() const { return qMin(m_column, kColumns - 1); }
    // How many BELs have arrived; the view rings on a change.
    int bells() const { return m_bells; }
    // How many bytes have been fed, shown or not.
    qint64 bytesFed() const { return m_bytesFed; }

private:
    void put(char byte);
    void lineFeed();
    char* rowStart(int r) { return m_cells.data() + r * kColumns; }

    std::array<char, kColumns * kRows> m_cells{};
    int m_row = 0;
    // kColumns after a character has been written in the last column: the next
    // printable one goes to the start of the next line.
    int m_column = 0;
    int m_bells = 0;
    qint64 m_bytesFed = 0;
    bool m_newLineOnCr = false;
    bool m_lineEndedByCr = false;   // the last byte was a CR that moved down a row
};

} // namespace kfc::connect
