#pragma once
// Errors raised by the counter link. They abandon the operation in progress and reach the
// user through the application's general error handler (a message box with the text).
// Their texts often quote a reply, so control bytes in them are escaped (untrusted.h):
// what() then never stops at a zero byte, and the text stays one line.

#include <stdexcept>
#include <string>

#include <QString>

#include "untrusted.h"

namespace kfc {

class LinkError : public std::runtime_error {
public:
    explicit LinkError(const QString& text)
        : std::runtime_error(printable(text).toStdString()), m_text(printable(text))
    {
    }
    QString text() const { return m_text; }

private:
    QString m_text;
};

// A reply field that is not the number, date or time the reader expects.
class ConversionError : public LinkError {
public:
    using LinkError::LinkError;
};

// Input or output on a closed port, or a port that cannot be used.
class PortError : public LinkError {
public:
    using LinkError::LinkError;
};

// The line died under a dialogue (the device is gone). The port has closed and the user
// is told once by the port's lineLost; the dialogue ends here, with no message of its own.
class LineLostError : public LinkError {
public:
    using LinkError::LinkError;
};

// A command holding a character that has no 8-bit form and so cannot go on the line.
class CommandTextError : public LinkError {
public:
    using LinkError::LinkError;
};

// A command started while another dialogue holds the line.
class LineBusyError : public LinkError {
public:
    using LinkError::LinkError;
};

} // namespace kfc
