#pragma once
// The event file: one line per event as the counter sent it, after an optional status
// header, each line ended by CR LF in the counter's single-byte characters. Every line is
// flushed as it is written, so a line that dies or a crash keeps every event received.

#include <QFile>
#include <QString>

#include <stdexcept>

namespace kfc {

// A file that cannot be created or written; the text names the file and the reason.
class EventFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class EventFileWriter {
public:
    // Creates the file empty, replacing one of that name. Throws EventFileError.
    void open(const QString& fileName);
    // The line's characters as single bytes, then CR LF. Throws EventFileError.
    void writeLine(const QString& line);
    // Has the system write the file through to the disk (fsync); false when it could not.
    bool sync();
    void close();
    bool isOpen() const { return m_file.isOpen(); }

private:
    [[noreturn]] void fail(const char* what) const;

    QFile m_file;
};

} // namespace kfc
