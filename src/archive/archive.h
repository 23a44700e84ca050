#pragma once
// The collection archive's database: the sites, every visit, the status record of every
// successful status read, and where each visit's new events begin in its event file. It
// is an SQLite file in the archive's folder (DIR/archive.sqlite), whose event files stay
// beside it, or a database on a PostgreSQL server (see location.h), which holds the event
// files' bytes too. One schema and one set of queries serve both. Written once per visit
// in one transaction, so a visit cut short leaves nothing half written; several programs,
// on several PCs, may write at once. Read by the report, the counts history and the
// published pages.

#include <QByteArrayList>
#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace kfc::archive {

// The format this program writes; an archive of a higher one is refused, never misread,
// and one of a lower one is brought up to it, in one transaction, when opened to write.
constexpr int kFormatVersion = 4;
constexpr int kChannels = 4;

QString databasePath(const QString& archiveDir);

// A moment as the archive and the journal write it: ISO 8601 with its offset, so that
// visits across a change of summer time still read back as the moments they were; empty
// when it is not valid.
QString momentText(const QDateTime& moment);
// A moment as momentText wrote it (any ISO 8601 text is read too); invalid when it is none.
QDateTime momentFrom(const QString& text);

// One successful status read, as far as the archive keeps it.
struct StatusRecord {
    QDateTime readAt;          // the PC's clock at the read
    QDateTime counterClock;    // the counter's own, a naive date and time
    QString version;
    int eventCount = 0;
    int conductivity = 0;
    std::array<int, kChannels> up{}, down{};

    friend bool operator==(const StatusRecord&, const StatusRecord&) = default;
};

struct VisitRecord {
    // Made where the visit happened: a visit written again replaces its earlier record.
    // Empty in visits of archives before format 2.
    QString id;
    QString site;
    QDateTime started, finished;
    QString outcome;                   // "collected", "incomplete" or "failed"
    int attempts = 0;
    int events = 0, expected = 0;
    QString file;                      // relative to the archive; empty when none was written
    int fileLines = 0;
    QString fileSha256;                // hex
    int fileHeaderLines = 0;           // the status header's (7) at the file's start, or none
    std::optional<qint64> clockDrift;  // counter minus PC, seconds
    bool clockSet = false;
    bool flushed = false;
    // Written before the flush command goes out: a record that still says so is of a run
    // that ended before the flush's outcome was recorded, and the counter may be empty.
    bool flushPending = false;
    // Fish that came after the last count checked before the flush and were erased by it,
    // measured by a status read after the flush; empty when not measured.
    std::optional<int> lostInFlush;
    QString notFlushed;                // why not, when a flush was asked for
    QString error;
    QList<StatusRecord> statusReads;   // in the order they were made
    // Worked out by the archive, not given to it. The file's events that the site's events
    // before it did not hold: the lines after the longest run at the end of those events
    // that equals the start of the file (a buffer downloaded again without a flush in
    // between), or none when the whole file is among them (a download cut short).
    int newEvents = 0;
    // The file shares no event with the site's events before it although the counter was not
    // flushed in between: events may be missing between the two (a buffer cleared on the
    // counter, or a circular buffer that wrapped past all that was collected).
    bool gapBefore = false;

    friend bool operator==(const VisitRecord&, const VisitRecord&) = default;
};

// An archive's database, opened to read or to write. Its calls may come from several
// threads: each thread reaches the database through a connection of its own.
class Archive {
public:
    enum class Mode { Write, Read };

    Archive();
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    // Opens the archive at `location`, a folder or a PostgreSQL URI. Write creates the
    // database's tables when missing and brings an older format up to date; Read never
    // writes, so that a user who may only read the archive can. False with a text for the
    // user when it is missing (Read), cannot be reached, is not an archive, or is of a newer
    // format; a text that names the server and the database, never a password.
    bool open(const QString& location, Mode mode, QString* error);
    bool isOpen() const;
    // The last open failed because the server could not be reached (a server that may
    // come back), not because of what it holds.
    bool serverUnreachable() const { return m_unreachable; }
    bool isServer() const { return m_server; }
    // The archive for the user: its folder, or "database fishcounts on db.example".
    QString name() const { return m_name; }
    // Where the files of visits still to be added are found by their names: the archive's
    // folder, or for a server the local spool they were written to. Its bytes go into the
    // server's database with the visit.
    void setFileFolder(const QString& folder) { m_fileFolder = folder; }

    // The visit and its status reads in one transaction, and the new events of the site's
    // visits from it on worked out again; a visit of the same id recorded before is
    // replaced, reads and all. A server that went away since the last call is reached again
    // once before it fails.
    bool addVisit(const VisitRecord& visit, QString* error);

    // The sites in the order they were first visited.
    QStringList sites(QString* error = nullptr) const;
    // The site's visits, oldest first; from `since` on when it is valid.
    QList<VisitRecord> visits(const QString& site, const QDateTime& since = {}, QString* error = nullptr) const;
    // The visit's new events, the last `newEvents` lines of its file after the header, as
    // the counter sent them.
    QByteArrayList newEventLines(const VisitRecord& visit, QString* error) const;
    // Some visit of the site has an event file of that SHA-256.
    bool holdsFile(const QString& site, const QString& sha256, QString* error) const;

private:
    bool openServer(const QString& uri, Mode mode, QString* error);
    bool openFolder(const QString& folder, Mode mode, QString* error);
    bool checkFormat(Mode mode, QString* error);
    bool upgradeTables(QString* error);
    bool writeVisit(const VisitRecord& visit, QString* error);
    bool reckonSite(qint64 site, qint64 fromRow, QString* error);
    // A visit's event file: its bytes on a server, else the file in the file folder.
    QByteArray fileBytes(const QString& file, const QString& sha256, QString* error) const;
    // The calling thread's connection to the database.
    QSqlDatabase connection() const;

    QString m_connection;                    // the connection of the thread that opened it
    quint64 m_openingThread = 0;
    mutable QMutex m_connectionsMutex;
    mutable QStringList m_threadConnections;   // the other threads'
    bool m_server = false;
    bool m_unreachable = false;
    int m_format = 0;
    QString m_name;
    QString m_fileFolder;
};

// A channel's count in one direction at a visit, and what it rose by since the visit
// before.
struct CountStep {
    int count = 0;
    std::optional<int> difference;   // empty at the first visit and when cleared
    bool cleared = false;

    friend bool operator==(const CountStep&, const CountStep&) = default;
};

struct VisitCounts {
    QDateTime at;                    // when the counts were read (the PC's clock)
    QString outcome;
    // Some count is lower than at the visit before: the counts were cleared on the counter
    // in between. Clear Counts clears every channel at once, so the fish since then are not
    // known on any channel, even one that has since counted past its old count.
    bool cleared = false;
    std::array<CountStep, kChannels> up{}, down{};
};

// The counts at each visit that read the status (its last read), oldest first, with the
// fish counted between one such visit and the next. The one place that decides a visit
// was cleared: the report and the counts history both show what it says.
QList<VisitCounts> countsAtVisits(const QList<VisitRecord>& visits);

// The counts text of one step: "12 (+3)", "12 (cleared)" or "12".
QString countStepText(const CountStep& step);

// "Ch 1 Up", "Ch 1 Down": one channel's count in one direction, as the exports name it.
QString countName(int channel, bool up);

// The counts as CSV: a header record, then one record a visit with the site, the moment of
// the read, the outcome, and per channel and direction the count and the fish since the
// visit before ("cleared" when not known, empty at the first visit).
QString countsCsv(const QString& site, const QList<VisitCounts>& counts);

// The fish counted in a season, per channel and direction: the steps between the visits
// that read the counts, added up.
struct SeasonTotals {
    QDateTime from;   // the read the first step starts at; invalid when the season has none
    QDateTime to;     // the last read added
    int visits = 0;   // the visits of the season that read the counts
    std::array<int, kChannels> up{}, down{};
    // Steps that ended at a visit found cleared: their fish are known on no channel, so
    // the totals hold only the fish known on each side of them, and are a lower bound.
    int cleared = 0;
    bool atLeast() const { return cleared > 0; }

    friend bool operator==(const SeasonTotals&, const SeasonTotals&) = default;
};

// The season's totals after each of its visits, in turn; the last is the season's whole.
// The season holds the visits read from `since` on, the first of them still compared
// with the visit before it, as the report's table compares it.
QList<SeasonTotals> runningTotals(const QList<VisitCounts>& counts, const QDateTime& since);
SeasonTotals seasonTotals(const QList<VisitCounts>& counts, const QDateTime& since);
// The first of January of `today`'s year, at the start of the day: the season when none is given.
QDateTime seasonStart(const QDate& today);

} // namespace kfc::archive
