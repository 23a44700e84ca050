#pragma once
// What writes an archive: the collection, an import of downloaded files, and the sending
// of a spool. It keeps the event files' layout (a folder per site, a file per visit named
// by its moment) and records each visit: its rows in the database, then its line in the
// journal (journal.jsonl), which says what the database holds. The collection tells it
// what happened; nothing else writes an archive.
//
// A folder archive keeps the files, the journal and the database together. For an archive
// on a server the files and the journal are kept in a local spool folder, and each visit
// is written there, synced, before the server is asked: a visit the server does not take
// (it is away, the network between is down) waits in the spool, which is enough for a
// flush, and is sent by sendSpooled(), by this PC's next collection or `sync`.
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

// ~/.local/share/Kestrova/spool on Linux.
QString defaultSpoolFolder();

// What became of a visit's record.
struct Recorded {
    QString notInDatabase;   // why the database does not hold it; empty when it does
    QString notInJournal;    // why the journal does not say so; empty when it does
    bool inSpool = false;    // it waits in the spool for the server

    bool whole() const { return notInDatabase.isEmpty() && notInJournal.isEmpty(); }
    // On the disk for good, in the database or in the spool, and said in the journal: the
    // counter may be flushed.
    bool safe() const { return notInJournal.isEmpty() && (notInDatabase.isEmpty() || inSpool); }
};

// The visits sendSpooled() sent, those still waiting, and why they wait.
struct SpoolSent {
    int sent = 0;
    int waiting = 0;
    QString problem;
};

class Recorder {
public:
    // Exclusive: one collection at a time holds the archive (a second would call the
    // same counters). Shared: an import or a sending of the spool, beside anything.
    enum class Hold { Exclusive, Shared };

    Recorder();
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Opens the archive at `location` (a folder or a PostgreSQL URI) to write, with `spool`
    // the spool folder of a server's. The folder is made when missing, and for Exclusive
    // the lock is taken for as long as this object lives. False with a text for the user:
    // the folder cannot be written, another collection holds it, the archive is not one
    // this program may write. A server that cannot be reached is no failure: the visits
    // wait in the spool, and serverProblem() says why.
    bool open(const QString& location, const QString& spool, Hold hold, QString* error);
    // The folder of the files and the journal: the archive's, or the spool.
    QString folder() const { return m_folder; }
    bool isServer() const { return m_database.isServer(); }
    // The archive for the user: its folder, or "database fishcounts on db.example".
    QString name() const { return m_database.name(); }
    // Why the server could not be reached when the archive was opened; empty when it was.
    QString serverProblem() const;
    // The archive's file of that name (a visit's `file`).
    QString filePath(const QString& name) const;

    // A new event file for a visit of the site, named by the moment, in the site's folder
    // (made when missing). `create` makes the file at the path it is given, false when one
    // of that name is there already: a name taken (an hour repeated when the clocks go
    // back, two attempts in one second) gets a suffix, and the earlier file stays as it is.
    // The name relative to the folder; empty, with the reason, when the site's folder cannot
    // be made. Whatever `create` throws is passed on.
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

    // Sends the visits waiting in the spool, oldest first, each stored once however often it
    // is sent; the journal says which were sent.
    SpoolSent sendSpooled();
    // Some visit of the site has an event file of that SHA-256 (false too when the
    // server cannot be asked).
    bool holdsFile(const QString& site, const QString& sha256);

private:
    bool makeFolder(const QString& path);
    bool appendToJournal(const QByteArray& line, QString* error);
    bool reachServer(QString* error);
    bool keepInSpool(const VisitRecord& visit, bool countKnown, QString* error);
    void leaveSpool(const VisitRecord& visit);
    QString pendingFolder() const;

    mutable QMutex m_mutex;
    QString m_location;
    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    Archive m_database;
    QString m_serverProblem;
    QStringList m_foldersChanged;   // entries to sync with the next event file
    bool m_allRecorded = true;
};

} // namespace kfc::archive
