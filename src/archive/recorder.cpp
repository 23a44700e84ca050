#include "recorder.h"

#include "counter/eventfile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
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

Recorder::Recorder() = default;
Recorder::~Recorder() = default;

bool Recorder::open(const QString& folder, QString* error)
{
    QMutexLocker locker(&m_mutex);
    m_folder = folder;
    if (!makeFolder(folder)) {
        *error = QStringLiteral("cannot create the archive folder %1: %2").arg(folder, writeProblem(folder));
        return false;
    }
    // One collection at a time on an archive: a second would call the same counters.
    const QString lockPath = QDir(folder).filePath(QStringLiteral("collect.lock"));
    m_lock = std::make_unique<QLockFile>(lockPath);
    m_lock->setStaleLockTime(0);   // held for as long as its process lives, however long
    if (!m_lock->tryLock(0)) {
        *error = lockProblem(*m_lock, lockPath, folder);
        m_lock.reset();
        return false;
    }
    return m_database.open(folder, Archive::Mode::Write, error);
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
    m_database.addVisit(visit, &recorded.notInDatabase);
    const QByteArray line =
        QJsonDocument(journalEntry(visit, countKnown, recorded.notInDatabase)).toJson(QJsonDocument::Compact) + '\n';
    appendToJournal(line, &recorded.notInJournal);
    m_allRecorded = m_allRecorded && recorded.whole();
    return recorded;
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
