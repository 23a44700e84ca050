// The terminal's screen under any bytes: the cursor stays on the screen, every row is
// full width, no control byte reaches a cell, and every byte is counted.

#include "fuzzsupport.h"

#include "connect/terminalscreen.h"

using namespace kfc;
using kfc::fuzz::require;
using connect::TerminalScreen;

namespace {

void checkScreen(const TerminalScreen& screen)
{
    require(screen.cursorRow() >= 0 && screen.cursorRow() < TerminalScreen::kRows, "cursor row off the screen");
    require(screen.cursorColumn() >= 0 && screen.cursorColumn() < TerminalScreen::kColumns,
            "cursor column off the screen");
    const QStringList rows = screen.rows();
    require(rows.size() == TerminalScreen::kRows, "wrong number of rows");
    for (const QString& row : rows) {
        require(row.size() == TerminalScreen::kColumns, "a row of the wrong width");
        for (QChar c : row)
            require(!fuzz::isControl(c.unicode()) || c.unicode() >= 0x80, "a control byte in a cell");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TerminalScreen screen;
    // The first byte's lowest bit chooses "new line on CR", so both ways are covered.
    const bool newLineOnCr = size > 0 && (data[0] & 1) != 0;
    screen.setNewLineOnCr(newLineOnCr);
    // Byte by byte and as one block must give the same screen.
    for (size_t i = 0; i < size; ++i)
        screen.feed(char(data[i]));
    checkScreen(screen);
    TerminalScreen whole;
    whole.setNewLineOnCr(newLineOnCr);
    whole.feed(fuzz::bytes(data, size));
    require(whole.rows() == screen.rows() && whole.cursorRow() == screen.cursorRow()
                && whole.cursorColumn() == screen.cursorColumn() && whole.bells() == screen.bells(),
            "fed whole and byte by byte give different screens");
    require(whole.bytesFed() == qint64(size), "bytes fed not counted");
    return 0;
}
