#pragma once
// A collection's hold on its archive folder: one collection at a time, the event files'
// layout (a folder per site, a file per visit named by its moment), and the record of each
// visit: its rows in the database, then its line in the journal (DIR/journal.jsonl), which
// says what the database holds. The collection tells it what happened; nothing else
// writes there.
//
// Its calls may come from several threads at once: each is served whole before the next
// begins, and the database is reached through a connection of the calling thread's own.

#include "archive.h"

#include <QLockFile>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace kfc::archive {

// The site's name as a folder name: letters, digits, '.', '-', '_' and blanks kept, any
// other character (a '/', a control byte) made '_', and never "." or "..".
QString siteFolderName(const QString& name);

// What became of a visit's record: empty texts when it is in the database and the journal.
struct Recorded {
    QString notInDatabase;   // why the database does not hold it
    QString notInJournal;    // why the journal does not say so

    bool whole() const { return notInDatabase.isEmpty() && notInJournal.isEmpty(); }
};

class Recorder {
public:
    Recorder();
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Makes the folder and any missing above it, takes the archive's lock for as long as
    // this object lives, and opens the database to write. False with a text for the user:
    // the folder cannot be written, another collection holds it, or the database cannot be
    // opened.
    bool open(const QString& folder, QString* error);
    QString folder() const { return m_folder; }
    // The archive's file of that name (a visit's `file`).
    QString filePath(const QString& name) const;

    // A new event file for a visit of the site, named by the moment, in the site's folder
    // (made when missing). `create` makes the file at the path it is given, false when one
    // of that name is there already: a name taken (an hour repeated when the clocks go
    // back, two attempts in one second) gets a suffix, and the earlier file stays as it is.
    // The name relative to the archive; empty, with the reason, when the folder cannot be
    // made. Whatever `create` throws is passed on.
    QString newEventFile(const QString& site, const QDateTime& moment,
                         const std::function<bool(const QString& path)>& create, QString* error);

    // The visit's file, written, synced and closed by the caller: the folder entries that
    // lead to it are synced too, so that it is found after a power cut, and its line count
    // and SHA-256 are read back from the disk into the visit. Empty when all of it is on
    // the disk, else what is not.
    QString settleEventFile(VisitRecord& visit);

    // The visit's rows (a visit of the same id recorded before is replaced), then its
    // journal line; `countKnown` false: the journal gives no expected count for its file.
    Recorded record(const VisitRecord& visit, bool countKnown);
    // Every visit recorded so far is in the database and the journal.
    bool allRecorded() const;

private:
    bool makeFolder(const QString& path);
    bool appendToJournal(const QByteArray& line, QString* error);

    mutable QMutex m_mutex;
    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    Archive m_database;
    QStringList m_foldersChanged;   // entries to sync with the next event file
    bool m_allRecorded = true;
};

} // namespace kfc::archive
