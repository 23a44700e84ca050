#pragma once
// Errors raised by the counter link. They abandon the operation in progress and reach the
// user through the application's general error handler (a message box with the text).

#include <stdexcept>
#include <string>

#include <QString>

namespace kfc {

class LinkError : public std::runtime_error {
public:
    explicit LinkError(const QString& text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromStdString(what()); }
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

// A command started while another dialogue holds the line.
class LineBusyError : public LinkError {
public:
    using LinkError::LinkError;
};

} // namespace kfc
