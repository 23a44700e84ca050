#pragma once
// Text that came from the line may hold any byte. Before such text is shown anywhere but
// the terminal view (message boxes, errors, the debug log, the command-line client), it
// goes through printable(), so that a reply can neither cut a message short with a zero
// byte nor drive the user's terminal with escape sequences.

#include <QString>

namespace kfc {

enum class Backslashes {
    Kept,      // a backslash stays as it is
    Doubled,   // a backslash is written "\\", so that the text "\x06" reads differently
               // from the byte 0x06 (the command-line client's output)
};

// The text with every control character (0x00-0x1F, 0x7F, 0x80-0x9F) written as \xHH.
// Nothing else changes, so with Backslashes::Kept applying it twice gives the same text as
// applying it once.
QString printable(const QString& text, Backslashes backslashes = Backslashes::Kept);

// True when every character has an 8-bit form, so the text goes on the line as typed.
bool fitsOnLine(const QString& text);

// The first character of the text that has no 8-bit form, for a message; empty when none.
QString firstUnsendable(const QString& text);

// The debug log's form of a command: a password it carries shown as '*'. A password is
// the command that follows a lone "9" (the logon), or what follows the '9' of a set or
// change command ("9" + password, "91" + password).
QString maskedCommand(const QString& command, const QString& previousCommand);

} // namespace kfc
