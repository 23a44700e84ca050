#pragma once
// The collection archive's database, DIR/archive.sqlite: the sites, every visit, and the
// status record of every successful status read. The event lines stay in their files;
// the database holds each file's path, line count and SHA-256. Written once per visit in
// one transaction, so a visit cut short leaves nothing half written, and read by the
// report and the counts history.

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
constexpr int kFormatVersion = 2;
constexpr int kChannels = 4;

QString databasePath(const QString& archiveDir);

// A moment as the archive and the journal write it: ISO 8601 with its offset, so that
// visits across a change of summer time still read back as the moments they were; empty
// when it is not valid.
QString momentText(const QDateTime& moment);

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

    // Opens DIR/archive.sqlite; Write creates it and its tables when missing, Read never
    // writes, so that a user who may only read the archive can. False with a text for the
    // user when it is missing (Read), not an archive, or of a newer format.
    bool open(const QString& archiveDir, Mode mode, QString* error);
    bool isOpen() const;

    // The visit and its status reads in one transaction; a visit of the same id recorded
    // before is replaced, reads and all.
    bool addVisit(const VisitRecord& visit, QString* error);

    // The sites in the order they were first visited.
    QStringList sites(QString* error = nullptr) const;
    // The site's visits, oldest first; from `since` on when it is valid.
    QList<VisitRecord> visits(const QString& site, const QDateTime& since = {}, QString* error = nullptr) const;

private:
    bool createTables(QString* error);
    bool upgradeTables(QString* error);
    // The calling thread's connection to the database.
    QSqlDatabase connection() const;

    QString m_connection;                    // the connection of the thread that opened it
    quint64 m_openingThread = 0;
    mutable QMutex m_connectionsMutex;
    mutable QStringList m_threadConnections;   // the other threads'
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
