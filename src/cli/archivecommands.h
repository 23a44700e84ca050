#pragma once
// The verbs that work on an archive without a counter: event files downloaded in the field
// taken in, the visits waiting in a spool sent to the server, and a site's events written
// out once each.

#include <QDateTime>
#include <QStringList>
#include <QTextStream>

namespace kfc::archive {
class Archive;
class Recorder;
}

namespace kfc::cli {

// Opens the archive at `location` to read, or to record visits into, or says why it cannot
// on `err` and is false.
bool openToRead(archive::Archive& database, const QString& location, QTextStream& err);
bool openToRecord(archive::Recorder& recorder, const QString& location, const QString& spool, QTextStream& err);

struct ImportOptions {
    QString archive;      // a folder or a PostgreSQL URI
    QString spool;        // the spool of an archive on a server
    QString site;
    bool noStatus = false;   // the files have no status header: their events, no counts
    QStringList files;
};

// Each file is one visit of the site: the clock, version, flags and counts of its status
// header, and its events. A file the archive holds already (the same SHA-256) is left out.
// Every file is checked before any is taken. 0; 2 when a file is refused or the archive
// cannot be written; 1 when some visit waits in the spool.
int importFiles(const ImportOptions& options, QTextStream& out, QTextStream& err);

// Sends the visits waiting in the spool to the server: 0 when none waits any more.
int sendSpool(const QString& archive, const QString& spool, QTextStream& out, QTextStream& err);

struct EventsOptions {
    QString archive;
    QString site;
    QDateTime since;     // the visits from then on; invalid: all
    QString output;      // an event file; empty: standard output, escaped
};

// The site's events, each once, in the order they happened: every visit's new events.
int writeEvents(const EventsOptions& options, QTextStream& out, QTextStream& err);

} // namespace kfc::cli
