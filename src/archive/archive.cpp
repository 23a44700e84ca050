#include "archive.h"

#include "csv.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>
#include <QVariant>

#include <QMutexLocker>

#include <atomic>
#include <span>

namespace kfc::archive {

namespace {

// Format 1. A new archive is made in it and brought up to date by the upgrades after it,
// so that a new archive and an upgraded one are the same.
const char* const kTables[] = {
    "CREATE TABLE IF NOT EXISTS sites ("
    " id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE)",
    "CREATE TABLE IF NOT EXISTS visits ("
    " id INTEGER PRIMARY KEY, site_id INTEGER NOT NULL REFERENCES sites(id),"
    " started TEXT NOT NULL, finished TEXT NOT NULL, outcome TEXT NOT NULL,"
    " attempts INTEGER NOT NULL, events INTEGER NOT NULL, expected INTEGER NOT NULL,"
    " file TEXT, file_lines INTEGER, file_sha256 TEXT,"
    " clock_drift INTEGER, clock_set INTEGER NOT NULL, flushed INTEGER NOT NULL, error TEXT)",
    "CREATE TABLE IF NOT EXISTS status_reads ("
    " id INTEGER PRIMARY KEY, visit_id INTEGER NOT NULL REFERENCES visits(id),"
    " read_at TEXT NOT NULL, counter_clock TEXT, version TEXT,"
    " event_count INTEGER NOT NULL, conductivity INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS channel_counts ("
    " status_id INTEGER NOT NULL REFERENCES status_reads(id), channel INTEGER NOT NULL,"
    " up INTEGER NOT NULL, down INTEGER NOT NULL, PRIMARY KEY (status_id, channel))",
    "CREATE INDEX IF NOT EXISTS visits_by_site ON visits(site_id, started)",
};

// Format 2: the visit's own id, so that its record before the flush and the one after are
// one visit; whether the flush was under way; the fish it erased; why nothing was flushed.
const char* const kUpgradeTo2[] = {
    "ALTER TABLE visits ADD COLUMN uid TEXT",
    "ALTER TABLE visits ADD COLUMN flush_pending INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE visits ADD COLUMN lost_in_flush INTEGER",
    "ALTER TABLE visits ADD COLUMN not_flushed TEXT",
    "CREATE UNIQUE INDEX visits_by_uid ON visits(uid)",
};

const std::pair<int, std::span<const char* const>> kFormats[] = {{1, kTables}, {2, kUpgradeTo2}};
static_assert(std::size(kFormats) == kFormatVersion);

// The counter's clock has no zone: it is kept as it was read.
QString counterClockText(const QDateTime& clock)
{
    return clock.isValid() ? clock.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) : QString();
}

QDateTime counterClockFrom(const QString& text)
{
    QDateTime clock = QDateTime::fromString(text, QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    clock.setTimeSpec(Qt::UTC);
    return clock;
}

QVariant nullIfEmpty(const QString& text)
{
    return text.isEmpty() ? QVariant() : QVariant(text);
}

QString failure(const QString& what, const QSqlError& error)
{
    return QStringLiteral("%1: %2").arg(what, error.text());
}

bool exec(QSqlQuery& query, const QString& what, QString* error)
{
    if (query.exec())
        return true;
    if (error)
        *error = failure(what, query.lastError());
    return false;
}

bool exec(QSqlDatabase db, const QString& sql, QString* error)
{
    QSqlQuery query(db);
    if (query.exec(sql))
        return true;
    if (error)
        *error = failure(QStringLiteral("The archive database could not be written"), query.lastError());
    return false;
}

int siteId(QSqlDatabase db, const QString& name, QString* error)
{
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT OR IGNORE INTO sites(name) VALUES (?)"));
    insert.addBindValue(name);
    if (!exec(insert, QStringLiteral("The site could not be added to the archive"), error))
        return -1;
    QSqlQuery select(db);
    select.prepare(QStringLiteral("SELECT id FROM sites WHERE name = ?"));
    select.addBindValue(name);
    if (!exec(select, QStringLiteral("The archive could not be read"), error) || !select.next())
        return -1;
    return select.value(0).toInt();
}

bool insertStatus(QSqlDatabase db, qint64 visitId, const StatusRecord& status, QString* error)
{
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO status_reads(visit_id, read_at, counter_clock, version, "
                                  "event_count, conductivity) VALUES (?, ?, ?, ?, ?, ?)"));
    for (const QVariant& value : {QVariant(visitId), QVariant(momentText(status.readAt)),
                                  nullIfEmpty(counterClockText(status.counterClock)), QVariant(status.version),
                                  QVariant(status.eventCount), QVariant(status.conductivity)})
        insert.addBindValue(value);
    if (!exec(insert, QStringLiteral("The status read could not be added to the archive"), error))
        return false;
    const qint64 statusId = insert.lastInsertId().toLongLong();
    for (int channel = 0; channel < kChannels; ++channel) {
        QSqlQuery counts(db);
        counts.prepare(QStringLiteral("INSERT INTO channel_counts(status_id, channel, up, down) VALUES (?, ?, ?, ?)"));
        for (const QVariant& value : {QVariant(statusId), QVariant(channel + 1), QVariant(status.up[size_t(channel)]),
                                      QVariant(status.down[size_t(channel)])})
            counts.addBindValue(value);
        if (!exec(counts, QStringLiteral("The counts could not be added to the archive"), error))
            return false;
    }
    return true;
}

constexpr qint64 kNone = -1, kFailed = -2;

// The row of the visit recorded before with this id; kNone when there is none.
qint64 recordedVisit(QSqlDatabase db, const QString& id, QString* error)
{
    if (id.isEmpty())
        return kNone;
    QSqlQuery select(db);
    select.prepare(QStringLiteral("SELECT id FROM visits WHERE uid = ?"));
    select.addBindValue(id);
    if (!exec(select, QStringLiteral("The archive could not be read"), error))
        return kFailed;
    return select.next() ? select.value(0).toLongLong() : kNone;
}

// A visit written again brings all its status reads with it.
bool forgetStatusReads(QSqlDatabase db, qint64 visitId, QString* error)
{
    for (const char* sql : {"DELETE FROM channel_counts WHERE status_id IN (SELECT id FROM status_reads WHERE "
                            "visit_id = ?)",
                            "DELETE FROM status_reads WHERE visit_id = ?"}) {
        QSqlQuery remove(db);
        remove.prepare(QLatin1String(sql));
        remove.addBindValue(visitId);
        if (!exec(remove, QStringLiteral("The visit could not be written again"), error))
            return false;
    }
    return true;
}

QList<StatusRecord> statusReadsOf(QSqlDatabase db, qint64 visitId)
{
    QList<StatusRecord> reads;
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT s.read_at, s.counter_clock, s.version, s.event_count, s.conductivity, "
                                 "c.channel, c.up, c.down FROM status_reads s JOIN channel_counts c "
                                 "ON c.status_id = s.id WHERE s.visit_id = ? ORDER BY s.id, c.channel"));
    query.addBindValue(visitId);
    query.exec();
    QString lastReadAt;
    while (query.next()) {
        const int channel = query.value(5).toInt();
        if (channel == 1 || reads.isEmpty()) {
            StatusRecord status;
            status.readAt = QDateTime::fromString(query.value(0).toString(), Qt::ISODate);
            status.counterClock = counterClockFrom(query.value(1).toString());
            status.version = query.value(2).toString();
            status.eventCount = query.value(3).toInt();
            status.conductivity = query.value(4).toInt();
            reads << status;
        }
        if (channel >= 1 && channel <= kChannels) {
            reads.last().up[size_t(channel - 1)] = query.value(6).toInt();
            reads.last().down[size_t(channel - 1)] = query.value(7).toInt();
        }
    }
    return reads;
}

// The format stamp; false when the file cannot be read as a database.
bool readFormat(QSqlDatabase db, int* format)
{
    QSqlQuery version(db);
    if (!version.exec(QStringLiteral("PRAGMA user_version")) || !version.next())
        return false;
    *format = version.value(0).toInt();
    // A statement left open holds a read transaction, and the journal mode cannot change inside one.
    version.finish();
    return true;
}

// A reader of a database in WAL mode makes the log's shared-memory file beside it when there
// is none, so a user who may not write the folder cannot read it. With no log beside the
// database (no collection is writing, none was cut short) the file alone is the whole
// archive, and SQLite may read it as a file that does not change. A log that is there is
// never passed over: then the ordinary read-only open is the only one.
bool reopenUnchanging(QSqlDatabase& db, const QString& path)
{
    if (QFileInfo::exists(path + QStringLiteral("-wal")))
        return false;
    db.close();
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
    db.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + QStringLiteral("?immutable=1"));
    return db.open();
}

// The calling thread's number, never given to another thread.
quint64 threadNumber()
{
    static std::atomic<quint64> next{1};
    thread_local const quint64 number = next++;
    return number;
}

} // namespace

QString momentText(const QDateTime& moment)
{
    return moment.isValid() ? moment.toOffsetFromUtc(moment.offsetFromUtc()).toString(Qt::ISODate) : QString();
}

QString databasePath(const QString& archiveDir)
{
    return QDir(archiveDir).filePath(QStringLiteral("archive.sqlite"));
}

Archive::Archive()
{
    static std::atomic<int> next{0};
    m_connection = QStringLiteral("kfc-archive-%1").arg(next++);
}

Archive::~Archive()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (db.isValid())
            db.close();
    }
    // Removing a connection closes it, whichever thread made it.
    for (const QString& name : std::as_const(m_threadConnections))
        QSqlDatabase::removeDatabase(name);
    if (QSqlDatabase::contains(m_connection))
        QSqlDatabase::removeDatabase(m_connection);
}

bool Archive::isOpen() const
{
    return QSqlDatabase::database(m_connection, false).isOpen();
}

// A connection may only be used by the thread that made it: another thread gets one of its
// own, made like the first and kept until the archive is closed. A thread's number is never
// given to another, so a connection of a thread that has ended is never taken up again.
QSqlDatabase Archive::connection() const
{
    const quint64 thisThread = threadNumber();
    if (thisThread == m_openingThread)
        return QSqlDatabase::database(m_connection, false);
    const QString name = QStringLiteral("%1-thread-%2").arg(m_connection).arg(thisThread);
    QMutexLocker locker(&m_connectionsMutex);
    if (QSqlDatabase::contains(name))
        return QSqlDatabase::database(name, false);
    QSqlDatabase db = QSqlDatabase::cloneDatabase(m_connection, name);
    m_threadConnections << name;
    if (db.open())
        QSqlQuery(db).exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    return db;
}

bool Archive::open(const QString& archiveDir, Mode mode, QString* error)
{
    const QString path = databasePath(archiveDir);
    if (mode == Mode::Read && !QFileInfo::exists(path)) {
        *error = QStringLiteral("There is no archive database at %1. Run a collection into this folder first.")
                     .arg(QDir::toNativeSeparators(path));
        return false;
    }
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        *error = QStringLiteral("The SQLite driver of Qt is not installed (Debian package libqt6sql6-sqlite).");
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    m_openingThread = threadNumber();
    db.setDatabaseName(path);
    if (mode == Mode::Read)
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!db.open()) {
        *error = failure(QStringLiteral("The archive %1 could not be opened").arg(QDir::toNativeSeparators(path)),
                         db.lastError());
        return false;
    }
    int format = 0;
    if (!readFormat(db, &format) && !(mode == Mode::Read && reopenUnchanging(db, path) && readFormat(db, &format))) {
        *error = QStringLiteral("%1 is not an archive database.").arg(QDir::toNativeSeparators(path));
        db.close();
        return false;
    }
    if (format > kFormatVersion) {
        *error = QStringLiteral("The archive %1 was written by a newer version of this program (format %2; this "
                                "version reads format %3 and older). Update the program to read it.")
                     .arg(QDir::toNativeSeparators(path))
                     .arg(format)
                     .arg(kFormatVersion);
        db.close();
        return false;
    }
    if (mode == Mode::Read) {
        if (format == 0) {
            *error = QStringLiteral("%1 is not an archive database.").arg(QDir::toNativeSeparators(path));
            db.close();
            return false;
        }
        return true;
    }
    if (!createTables(error)) {
        db.close();
        return false;
    }
    return true;
}

bool Archive::createTables(QString* error)
{
    QSqlDatabase db = connection();
    // WAL: a report may read while a collection writes, and a commit is one sync.
    if (!exec(db, QStringLiteral("PRAGMA journal_mode=WAL"), error)
        || !exec(db, QStringLiteral("PRAGMA foreign_keys=ON"), error))
        return false;
    // One writer from the first look at the format to the last change: an archive is
    // upgraded whole or not at all, and once when two programs open it together.
    if (!exec(db, QStringLiteral("BEGIN IMMEDIATE"), error))
        return false;
    if (upgradeTables(error) && exec(db, QStringLiteral("COMMIT"), error))
        return true;
    exec(db, QStringLiteral("ROLLBACK"), nullptr);
    return false;
}

bool Archive::upgradeTables(QString* error)
{
    QSqlDatabase db = connection();
    QSqlQuery version(db);
    if (!version.exec(QStringLiteral("PRAGMA user_version")) || !version.next()) {
        *error = failure(QStringLiteral("The archive could not be read"), version.lastError());
        return false;
    }
    const int format = version.value(0).toInt();
    version.finish();
    for (const auto& [to, statements] : kFormats) {
        if (format >= to)
            continue;
        for (const char* sql : statements)
            if (!exec(db, QLatin1String(sql), error))
                return false;
    }
    return exec(db, QStringLiteral("PRAGMA user_version=%1").arg(kFormatVersion), error);
}

bool Archive::addVisit(const VisitRecord& visit, QString* error)
{
    QSqlDatabase db = connection();
    if (!db.transaction()) {
        *error = failure(QStringLiteral("The archive could not be written"), db.lastError());
        return false;
    }
    auto written = [&]() {
        const int site = siteId(db, visit.site, error);
        if (site < 0)
            return false;
        const bool hasFile = !visit.file.isEmpty();
        const QStringList columns{"site_id", "started", "finished", "outcome", "attempts", "events", "expected",
                                  "file", "file_lines", "file_sha256", "clock_drift", "clock_set", "flushed",
                                  "error", "uid", "flush_pending", "lost_in_flush", "not_flushed"};
        const QVariantList values{
            QVariant(site), QVariant(momentText(visit.started)), QVariant(momentText(visit.finished)),
            QVariant(visit.outcome), QVariant(visit.attempts), QVariant(visit.events), QVariant(visit.expected),
            nullIfEmpty(visit.file), hasFile ? QVariant(visit.fileLines) : QVariant(),
            hasFile ? nullIfEmpty(visit.fileSha256) : QVariant(),
            visit.clockDrift ? QVariant(qint64(*visit.clockDrift)) : QVariant(), QVariant(int(visit.clockSet)),
            QVariant(int(visit.flushed)), nullIfEmpty(visit.error), nullIfEmpty(visit.id),
            QVariant(int(visit.flushPending)), visit.lostInFlush ? QVariant(*visit.lostInFlush) : QVariant(),
            nullIfEmpty(visit.notFlushed)};
        const qint64 earlier = recordedVisit(db, visit.id, error);
        if (earlier == kFailed)
            return false;
        QSqlQuery write(db);
        if (earlier == kNone) {
            write.prepare(QStringLiteral("INSERT INTO visits(%1) VALUES (%2)")
                              .arg(columns.join(", "), QStringList(columns.size(), "?").join(", ")));
        } else {
            if (!forgetStatusReads(db, earlier, error))
                return false;
            write.prepare(QStringLiteral("UPDATE visits SET %1 = ? WHERE id = ?").arg(columns.join(" = ?, ")));
        }
        for (const QVariant& value : values)
            write.addBindValue(value);
        if (earlier != kNone)
            write.addBindValue(earlier);
        if (!exec(write, QStringLiteral("The visit could not be added to the archive"), error))
            return false;
        const qint64 visitId = earlier == kNone ? write.lastInsertId().toLongLong() : earlier;
        for (const StatusRecord& status : visit.statusReads)
            if (!insertStatus(db, visitId, status, error))
                return false;
        return true;
    };
    if (!written()) {
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        *error = failure(QStringLiteral("The archive could not be written"), db.lastError());
        db.rollback();
        return false;
    }
    return true;
}

QStringList Archive::sites(QString* error) const
{
    QSqlQuery query(connection());
    QStringList names;
    if (!query.exec(QStringLiteral("SELECT name FROM sites ORDER BY id"))) {
        if (error)
            *error = failure(QStringLiteral("The archive could not be read"), query.lastError());
        return names;
    }
    while (query.next())
        names << query.value(0).toString();
    return names;
}

QList<VisitRecord> Archive::visits(const QString& site, const QDateTime& since, QString* error) const
{
    QSqlDatabase db = connection();
    QSqlQuery query(db);
    // By name, and the later columns only where they are: an archive of an older format
    // is read as it stands when it may not be upgraded (opened to read).
    query.prepare(QStringLiteral("SELECT v.* FROM visits v JOIN sites s ON s.id = v.site_id WHERE s.name = ? "
                                 "ORDER BY v.id"));
    query.addBindValue(site);
    QList<VisitRecord> visits;
    if (!query.exec()) {
        if (error)
            *error = failure(QStringLiteral("The archive could not be read"), query.lastError());
        return visits;
    }
    const QSqlRecord columns = query.record();
    auto value = [&](const char* name) {
        const int column = columns.indexOf(QLatin1String(name));
        return column < 0 ? QVariant() : query.value(column);
    };
    while (query.next()) {
        VisitRecord visit;
        visit.site = site;
        visit.started = QDateTime::fromString(value("started").toString(), Qt::ISODate);
        // Compared as moments: the text's offset may differ from the one asked with.
        if (since.isValid() && visit.started < since)
            continue;
        visit.id = value("uid").toString();
        visit.finished = QDateTime::fromString(value("finished").toString(), Qt::ISODate);
        visit.outcome = value("outcome").toString();
        visit.attempts = value("attempts").toInt();
        visit.events = value("events").toInt();
        visit.expected = value("expected").toInt();
        visit.file = value("file").toString();
        visit.fileLines = value("file_lines").toInt();
        visit.fileSha256 = value("file_sha256").toString();
        if (!value("clock_drift").isNull())
            visit.clockDrift = value("clock_drift").toLongLong();
        visit.clockSet = value("clock_set").toInt() != 0;
        visit.flushed = value("flushed").toInt() != 0;
        visit.flushPending = value("flush_pending").toInt() != 0;
        if (!value("lost_in_flush").isNull())
            visit.lostInFlush = value("lost_in_flush").toInt();
        visit.notFlushed = value("not_flushed").toString();
        visit.error = value("error").toString();
        visit.statusReads = statusReadsOf(db, value("id").toLongLong());
        visits << visit;
    }
    return visits;
}

QList<VisitCounts> countsAtVisits(const QList<VisitRecord>& visits)
{
    QList<VisitCounts> rows;
    for (const VisitRecord& visit : visits) {
        if (visit.statusReads.isEmpty())
            continue;
        const StatusRecord& status = visit.statusReads.last();
        const VisitCounts* before = rows.isEmpty() ? nullptr : &rows.last();
        VisitCounts row;
        row.at = status.readAt;
        row.outcome = visit.outcome;
        for (size_t channel = 0; channel < size_t(kChannels) && before; ++channel)
            row.cleared = row.cleared || status.up[channel] < before->up[channel].count
                          || status.down[channel] < before->down[channel].count;
        auto step = [&](int count, const CountStep* previous) {
            if (!before)
                return CountStep{count, std::nullopt, false};
            if (row.cleared)
                return CountStep{count, std::nullopt, true};
            return CountStep{count, count - previous->count, false};
        };
        for (size_t channel = 0; channel < size_t(kChannels); ++channel) {
            row.up[channel] = step(status.up[channel], before ? &before->up[channel] : nullptr);
            row.down[channel] = step(status.down[channel], before ? &before->down[channel] : nullptr);
        }
        rows << row;
    }
    return rows;
}

QString countStepText(const CountStep& step)
{
    if (step.cleared)
        return QStringLiteral("%1 (cleared)").arg(step.count);
    if (step.difference)
        return QStringLiteral("%1 (+%2)").arg(step.count).arg(*step.difference);
    return QString::number(step.count);
}

QString countName(int channel, bool up)
{
    return QStringLiteral("Ch %1 %2").arg(channel).arg(up ? QStringLiteral("Up") : QStringLiteral("Down"));
}

QString countsCsv(const QString& site, const QList<VisitCounts>& counts)
{
    QStringList header{QStringLiteral("Site"), QStringLiteral("Visit"), QStringLiteral("Outcome")};
    for (int channel = 1; channel <= kChannels; ++channel)
        for (const bool up : {true, false})
            header << countName(channel, up) << countName(channel, up) + QStringLiteral(" Since Visit Before");
    QString text = csvRecord(header);
    auto fields = [](const CountStep& step) {
        const QString between = step.cleared ? QStringLiteral("cleared")
                                             : step.difference ? QString::number(*step.difference) : QString();
        return QStringList{QString::number(step.count), between};
    };
    for (const VisitCounts& row : counts) {
        QStringList record{site, row.at.toString(Qt::ISODate), row.outcome};
        for (size_t channel = 0; channel < size_t(kChannels); ++channel)
            record << fields(row.up[channel]) << fields(row.down[channel]);
        text += csvRecord(record);
    }
    return text;
}

QList<SeasonTotals> runningTotals(const QList<VisitCounts>& counts, const QDateTime& since)
{
    QList<SeasonTotals> running;
    SeasonTotals totals;
    for (qsizetype i = 0; i < counts.size(); ++i) {
        const VisitCounts& row = counts[i];
        if (since.isValid() && row.at < since)
            continue;
        if (!totals.from.isValid())
            totals.from = i > 0 ? counts[i - 1].at : row.at;
        totals.to = row.at;
        ++totals.visits;
        totals.cleared += row.cleared ? 1 : 0;
        for (size_t channel = 0; channel < size_t(kChannels); ++channel) {
            totals.up[channel] += row.up[channel].difference.value_or(0);
            totals.down[channel] += row.down[channel].difference.value_or(0);
        }
        running << totals;
    }
    return running;
}

SeasonTotals seasonTotals(const QList<VisitCounts>& counts, const QDateTime& since)
{
    const QList<SeasonTotals> running = runningTotals(counts, since);
    return running.isEmpty() ? SeasonTotals{} : running.last();
}

QDateTime seasonStart(const QDate& today)
{
    return QDate(today.year(), 1, 1).startOfDay();
}

} // namespace kfc::archive
