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
    // Creates the file only when no file of that name exists: false when one does.
    // Throws EventFileError when it cannot be created for another reason.
    bool openNew(const QString& fileName);
    // The line's characters as single bytes, then CR LF. Throws EventFileError; the file
    // then ends with the last whole line, not with part of this one (a full disk).
    void writeLine(const QString& line);
    // Has the system write the file through to the disk (fsync); false when it could not.
    bool sync();
    // From now on every sync fails, as on a failing disk (false: they are the system's
    // again). Only tests use it: no file system at hand refuses a sync on demand.
    static void failSyncs(bool fail);
    void close();
    bool isOpen() const { return m_file.isOpen(); }
    QString fileName() const { return m_file.fileName(); }

private:
    [[noreturn]] void fail(const char* what) const;

    QFile m_file;
};

// Has the system write an open file through to the disk; false when it could not.
bool syncToDisk(QFileDevice& file);
// The same for a folder's entries, so that a file made in it is found after a power cut
// too; false with the reason when it could not. (Windows keeps them itself.)
bool syncFolder(const QString& path, QString* error);

} // namespace kfc
