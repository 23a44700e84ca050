#include "recorder.h"

#include "location.h"
#include "counter/eventfile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <QSysInfo>

namespace kfc::archive {

namespace {

// Why nothing can be written in the folder (read-only, full, not allowed), in the
// system's words; the nearest folder that exists is asked when it does not.
QString writeProblem(QString folder)
{
    while (!QFileInfo(folder).isDir() && QFileInfo(folder).absolutePath() != folder)
        folder = QFileInfo(folder).absolutePath();
    QFile probe(QDir(folder).filePath(QStringLiteral(".kestrova-write-test-%1").arg(QCoreApplication::applicationPid())));
    if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return probe.errorString();
    const bool written = probe.write("x", 1) == 1 && probe.flush();
    const QString problem = written ? QStringLiteral("the cause is not known") : probe.errorString();
    probe.remove();
    return problem;
}

// The lock could not be taken: another collection holds it, or the folder cannot be
// written.
QString lockProblem(const QLockFile& lock, const QString& lockPath, const QString& folder)
{
    if (lock.error() != QLockFile::LockFailedError)
        return QStringLiteral("cannot write in the archive folder %1: %2").arg(folder, writeProblem(folder));
    qint64 pid = 0;
    QString host, application;
    lock.getLockInfo(&pid, &host, &application);
    const QString where = host.isEmpty() || host == QSysInfo::machineHostName() ? QString()
                                                                                : QStringLiteral(" on %1").arg(host);
    return QStringLiteral("Another collection (process %1%2, started %3) is using %4")
        .arg(pid)
        .arg(where, QFileInfo(lockPath).lastModified().toString(QStringLiteral("HH:mm")), folder);
}

// What was written, read back from the disk: the line count and the SHA-256 the
// database keeps, so that a file altered later can be told.
bool measureFile(const QString& fileName, int* lines, QString* sha256)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    *lines = 0;
    while (!file.atEnd()) {
        const QByteArray chunk = file.read(1 << 16);
        if (chunk.isEmpty())
            return false;
        hash.addData(chunk);
        *lines += int(chunk.count('\n'));
    }
    *sha256 = QString::fromLatin1(hash.result().toHex());
    return true;
}

// "pending" while the flush is under way, else whether it was done.
QJsonValue flushedJson(const VisitRecord& visit)
{
    return visit.flushPending ? QJsonValue(QStringLiteral("pending")) : QJsonValue(visit.flushed);
}

QJsonObject journalEntry(const VisitRecord& visit, bool countKnown, const QString& notInDatabase)
{
    const bool hasFile = !visit.file.isEmpty();
    QJsonObject entry{
        {"visit", visit.id},
        {"site", visit.site},
        {"started", momentText(visit.started)},
        {"finished", momentText(visit.finished)},
        {"outcome", visit.outcome},
        {"attempts", visit.attempts},
        {"events", visit.events},
        {"expected", hasFile && !countKnown ? QJsonValue() : QJsonValue(visit.expected)},
        {"file", hasFile ? QJsonValue(visit.file) : QJsonValue()},
        {"fileLines", hasFile ? QJsonValue(visit.fileLines) : QJsonValue()},
        {"fileSha256", hasFile ? QJsonValue(visit.fileSha256) : QJsonValue()},
        {"clockDrift", visit.clockDrift ? QJsonValue(double(*visit.clockDrift)) : QJsonValue()},
        {"clockSet", visit.clockSet},
        {"flushed", flushedJson(visit)},
        {"error", visit.error.isEmpty() ? QJsonValue() : QJsonValue(visit.error)},
    };
    if (visit.lostInFlush)
        entry.insert("lostInFlush", *visit.lostInFlush);
    if (!visit.notFlushed.isEmpty())
        entry.insert("notFlushed", visit.notFlushed);
    if (!notInDatabase.isEmpty())
        entry.insert("notInDatabase", notInDatabase);
    return entry;
}

// The counter's clock as the archive keeps it: a naive date and time.
const QString kClockFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss");

QJsonArray countsJson(const std::array<int, kChannels>& counts)
{
    QJsonArray array;
    for (int count : counts)
        array.append(count);
    return array;
}

// A visit waiting in the spool: the whole of its record, as the database would hold it.
QJsonObject spooledJson(const VisitRecord& visit, bool countKnown)
{
    QJsonArray reads;
    for (const StatusRecord& status : visit.statusReads)
        reads.append(QJsonObject{{"readAt", momentText(status.readAt)},
                                 {"counterClock", status.counterClock.isValid()
                                                      ? QJsonValue(status.counterClock.toString(kClockFormat))
                                                      : QJsonValue()},
                                 {"version", status.version},
                                 {"eventCount", status.eventCount},
                                 {"conductivity", status.conductivity},
                                 {"up", countsJson(status.up)},
                                 {"down", countsJson(status.down)}});
    return QJsonObject{
        {"visit", visit.id},
        {"site", visit.site},
        {"started", momentText(visit.started)},
        {"finished", momentText(visit.finished)},
        {"outcome", visit.outcome},
        {"attempts", visit.attempts},
        {"events", visit.events},
        {"expected", visit.expected},
        {"countKnown", countKnown},
        {"file", visit.file},
        {"fileLines", visit.fileLines},
        {"fileSha256", visit.fileSha256},
        {"fileHeaderLines", visit.fileHeaderLines},
        {"clockDrift", visit.clockDrift ? QJsonValue(double(*visit.clockDrift)) : QJsonValue()},
        {"clockSet", visit.clockSet},
        {"flushed", visit.flushed},
        {"flushPending", visit.flushPending},
        {"lostInFlush", visit.lostInFlush ? QJsonValue(*visit.lostInFlush) : QJsonValue()},
        {"notFlushed", visit.notFlushed},
        {"error", visit.error},
        {"statusReads", reads},
    };
}

std::array<int, kChannels> countsFrom(const QJsonValue& value)
{
    std::array<int, kChannels> counts{};
    for (size_t channel = 0; channel < counts.size(); ++channel)
        counts[channel] = value.toArray().at(qsizetype(channel)).toInt();
    return counts;
}

VisitRecord spooledVisit(const QJsonObject& json, bool* countKnown)
{
    VisitRecord visit;
    visit.id = json.value("visit").toString();
    visit.site = json.value("site").toString();
    visit.started = momentFrom(json.value("started").toString());
    visit.finished = momentFrom(json.value("finished").toString());
    visit.outcome = json.value("outcome").toString();
    visit.attempts = json.value("attempts").toInt();
    visit.events = json.value("events").toInt();
    visit.expected = json.value("expected").toInt();
    *countKnown = json.value("countKnown").toBool();
    visit.file = json.value("file").toString();
    visit.fileLines = json.value("fileLines").toInt();
    visit.fileSha256 = json.value("fileSha256").toString();
    visit.fileHeaderLines = json.value("fileHeaderLines").toInt();
    if (!json.value("clockDrift").isNull())
        visit.clockDrift = qint64(json.value("clockDrift").toDouble());
    visit.clockSet = json.value("clockSet").toBool();
    visit.flushed = json.value("flushed").toBool();
    visit.flushPending = json.value("flushPending").toBool();
    if (!json.value("lostInFlush").isNull())
        visit.lostInFlush = json.value("lostInFlush").toInt();
    visit.notFlushed = json.value("notFlushed").toString();
    visit.error = json.value("error").toString();
    for (const QJsonValue& value : json.value("statusReads").toArray()) {
        const QJsonObject read = value.toObject();
        StatusRecord status;
        status.readAt = momentFrom(read.value("readAt").toString());
        if (!read.value("counterClock").isNull()) {
            status.counterClock = QDateTime::fromString(read.value("counterClock").toString(), kClockFormat);
            status.counterClock.setTimeSpec(Qt::UTC);
        }
        status.version = read.value("version").toString();
        status.eventCount = read.value("eventCount").toInt();
        status.conductivity = read.value("conductivity").toInt();
        status.up = countsFrom(read.value("up"));
        status.down = countsFrom(read.value("down"));
        visit.statusReads << status;
    }
    return visit;
}

} // namespace

QString siteFolderName(const QString& name)
{
    QString folder;
    for (QChar c : name.trimmed())
        folder += (c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_') || c == QLatin1Char(' ')
                   || c == QLatin1Char('.'))
                      ? c
                      : QLatin1Char('_');
    if (folder.isEmpty() || folder.startsWith(QLatin1Char('.')))
        folder.prepend(QLatin1Char('_'));
    return folder;
}

QString defaultSpoolFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("Kestrova/spool"));
}

Recorder::Recorder() = default;
Recorder::~Recorder() = default;

bool Recorder::open(const QString& location, const QString& spool, Hold hold, QString* error)
{
    QMutexLocker locker(&m_mutex);
    m_location = location;
    const bool server = isServerUri(location);
    m_folder = server ? spool : location;
    if (!makeFolder(m_folder)) {
        *error = QStringLiteral("cannot create the %1 folder %2: %3")
                     .arg(server ? QStringLiteral("spool") : QStringLiteral("archive"), m_folder, writeProblem(m_folder));
        return false;
    }
    if (hold == Hold::Exclusive) {
        const QString lockPath = QDir(m_folder).filePath(QStringLiteral("collect.lock"));
        m_lock = std::make_unique<QLockFile>(lockPath);
        m_lock->setStaleLockTime(0);   // held for as long as its process lives, however long
        if (!m_lock->tryLock(0)) {
            *error = lockProblem(*m_lock, lockPath, m_folder);
            m_lock.reset();
            return false;
        }
    }
    if (!m_database.open(location, Archive::Mode::Write, error)) {
        if (!m_database.serverUnreachable())
            return false;
        m_serverProblem = *error;
        error->clear();
    }
    m_database.setFileFolder(m_folder);
    return true;
}

QString Recorder::serverProblem() const
{
    QMutexLocker locker(&m_mutex);
    return m_serverProblem;
}

QString Recorder::pendingFolder() const
{
    return QDir(m_folder).filePath(QStringLiteral("pending"));
}

// The server's database, opened again when it could not be reached before.
bool Recorder::reachServer(QString* error)
{
    if (m_database.isOpen())
        return true;
    if (m_database.open(m_location, Archive::Mode::Write, error)) {
        m_database.setFileFolder(m_folder);
        return true;
    }
    return false;
}

// The visit's whole record in the spool's pending folder, synced with the folder's
// entries before the server is asked.
bool Recorder::keepInSpool(const VisitRecord& visit, bool countKnown, QString* error)
{
    const QString folder = pendingFolder();
    QSaveFile file(QDir(folder).filePath(visit.id + QStringLiteral(".json")));
    const QByteArray bytes = QJsonDocument(spooledJson(visit, countKnown)).toJson(QJsonDocument::Compact);
    QString why;
    if (makeFolder(folder) && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()
        && syncToDisk(file) && file.commit() && syncFolder(folder, &why))
        return true;
    *error = QStringLiteral("cannot keep the visit in the spool %1: %2")
                 .arg(folder, why.isEmpty() ? file.errorString() : why);
    return false;
}

// The server holds the visit, file and all: the spool lets it go.
void Recorder::leaveSpool(const VisitRecord& visit)
{
    QFile::remove(QDir(pendingFolder()).filePath(visit.id + QStringLiteral(".json")));
    if (!visit.file.isEmpty())
        QFile::remove(filePath(visit.file));
}

QString Recorder::filePath(const QString& name) const
{
    return QDir(m_folder).filePath(name);
}

// Makes the folder and any missing above it. The folders whose entries it changed (the
// parent of each folder made) are kept, to be synced before anything that relies on the
// new files being found after a power cut.
bool Recorder::makeFolder(const QString& path)
{
    QStringList parents;
    for (QFileInfo missing(path); !missing.exists() && missing.absolutePath() != missing.absoluteFilePath();
         missing = QFileInfo(missing.absolutePath()))
        parents << missing.absolutePath();
    if (!QDir().mkpath(path))
        return false;
    m_foldersChanged << parents;
    return true;
}

QString Recorder::newEventFile(const QString& site, const QDateTime& moment,
                               const std::function<bool(const QString& path)>& create, QString* error)
{
    QMutexLocker locker(&m_mutex);
    const QString folder = siteFolderName(site);
    const QString path = filePath(folder);
    if (!makeFolder(path)) {
        *error = QStringLiteral("Cannot create the folder %1: %2").arg(path, writeProblem(path));
        return {};
    }
    const QString stamp = moment.toString(QStringLiteral("yyyy-MM-dd_HHmmss"));
    for (int n = 1;; ++n) {
        const QString name = folder + QLatin1Char('/') + stamp + (n > 1 ? QStringLiteral("-%1").arg(n) : QString())
                             + QStringLiteral(".LG2");
        if (create(filePath(name)))
            return name;
    }
}

QString Recorder::settleEventFile(VisitRecord& visit)
{
    QMutexLocker locker(&m_mutex);
    const QString path = filePath(visit.file);
    QString problem;
    for (const QString& folder : QStringList{QFileInfo(path).absolutePath()} + m_foldersChanged) {
        if (QString why; problem.isEmpty() && !syncFolder(folder, &why))
            problem = QStringLiteral("the folder entries could not be synced to disk: ") + why;
    }
    if (problem.isEmpty())
        m_foldersChanged.clear();
    if (!measureFile(path, &visit.fileLines, &visit.fileSha256) && problem.isEmpty())
        problem = QStringLiteral("the event file %1 could not be read back").arg(path);
    return problem;
}

Recorded Recorder::record(const VisitRecord& visit, bool countKnown)
{
    QMutexLocker locker(&m_mutex);
    Recorded recorded;
    QString notSpooled;
    if (m_database.isServer())
        recorded.inSpool = keepInSpool(visit, countKnown, &notSpooled);
    if ((!m_database.isServer() || reachServer(&recorded.notInDatabase))
        && m_database.addVisit(visit, &recorded.notInDatabase) && m_database.isServer()) {
        leaveSpool(visit);
        recorded.inSpool = false;
    }
    if (!recorded.notInDatabase.isEmpty() && !notSpooled.isEmpty())
        recorded.notInDatabase += QStringLiteral("; ") + notSpooled;
    QJsonObject entry = journalEntry(visit, countKnown, recorded.notInDatabase);
    if (recorded.inSpool)
        entry.insert("inSpool", true);
    appendToJournal(QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n', &recorded.notInJournal);
    m_allRecorded = m_allRecorded && recorded.whole();
    return recorded;
}

SpoolSent Recorder::sendSpooled()
{
    QMutexLocker locker(&m_mutex);
    SpoolSent result;
    QList<std::pair<VisitRecord, bool>> waiting;
    const QDir pending(pendingFolder());
    for (const QString& name : pending.entryList({QStringLiteral("*.json")}, QDir::Files)) {
        QFile file(pending.filePath(name));
        bool countKnown = true;
        if (file.open(QIODevice::ReadOnly))
            waiting.append({spooledVisit(QJsonDocument::fromJson(file.readAll()).object(), &countKnown), countKnown});
    }
    // In the order they happened, so that each site's new events are worked out once.
    std::sort(waiting.begin(), waiting.end(),
              [](const auto& a, const auto& b) { return a.first.started < b.first.started; });
    result.waiting = int(waiting.size());
    if (waiting.isEmpty() || !m_database.isServer() || !reachServer(&result.problem))
        return result;
    for (const auto& [visit, countKnown] : std::as_const(waiting)) {
        if (!m_database.addVisit(visit, &result.problem))
            break;
        leaveSpool(visit);
        ++result.sent;
        --result.waiting;
        QJsonObject entry = journalEntry(visit, countKnown, {});
        entry.insert("sentFromSpool", momentText(QDateTime::currentDateTime()));
        if (QString notInJournal;
            !appendToJournal(QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n', &notInJournal))
            result.problem = notInJournal;
    }
    return result;
}

bool Recorder::holdsFile(const QString& site, const QString& sha256)
{
    QMutexLocker locker(&m_mutex);
    QString problem;
    return m_database.isOpen() && m_database.holdsFile(site, sha256, &problem);
}

bool Recorder::allRecorded() const
{
    QMutexLocker locker(&m_mutex);
    return m_allRecorded;
}

bool Recorder::appendToJournal(const QByteArray& line, QString* error)
{
    QFile journal(QDir(m_folder).filePath(QStringLiteral("journal.jsonl")));
    if (journal.open(QIODevice::WriteOnly | QIODevice::Append) && journal.write(line) == line.size()
        && syncToDisk(journal))
        return true;
    *error = QStringLiteral("cannot write the journal %1: %2").arg(journal.fileName(), journal.errorString());
    return false;
}

} // namespace kfc::archive
