#pragma once
// Small archives made by a test: visits on nights of December 2026, written through the
// archive's own writer, and a format stamp for the archives a program must refuse; and the
// two kinds of archive that the archive's tests run over, as rows of their tables.

#include "archive/archive.h"
#include "archive/recorder.h"
#include "counter/counterstatus.h"
#include "counter/download.h"
#include "counter/eventfile.h"
#include "support/pgserver.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>

namespace kfc::test {

// A visit at 02:00 (UTC+1) on the given day of December 2026 (or the days after it); no
// counts means the call failed and read no status.
inline archive::VisitRecord visitOn(const QString& site, int day, const QString& outcome,
                                    std::array<int, 4> up = {}, std::array<int, 4> down = {}, bool counts = true)
{
    archive::VisitRecord visit;
    visit.site = site;
    visit.started = QDateTime(QDate(2026, 12, 1).addDays(day - 1), QTime(2, 0), Qt::OffsetFromUTC, 3600);
    visit.finished = visit.started.addSecs(95);
    visit.outcome = outcome;
    visit.attempts = 1;
    if (!counts)
        return visit;
    archive::StatusRecord status;
    status.readAt = visit.started.addSecs(20);
    status.up = up;
    status.down = down;
    visit.statusReads << status;
    return visit;
}

// Writes the visit's event file of these lines through the archive, as a collection writes
// it; empty when written, else why not.
inline QString writeEventFile(archive::Recorder& archive, archive::VisitRecord& visit, const QStringList& lines)
{
    EventFileWriter file;
    QString error;
    visit.file = archive.newEventFile(visit.site, visit.started, [&file](const QString& path) { return file.openNew(path); }, &error);
    if (visit.file.isEmpty())
        return error;
    for (const QString& line : lines)
        file.writeLine(line);
    file.sync();
    file.close();
    return archive.settleEventFile(visit);
}

// A visit of the site on a night of December 2026 whose event file, written through the
// archive as a collection writes it, holds the status header (counts 10 times the night on
// every channel) and these events.
inline archive::VisitRecord fileVisit(archive::Recorder& archive, const QString& site, int night, const QStringList& lines)
{
    const int n = 10 * night;
    archive::VisitRecord visit = visitOn(site, night, "collected", {n, n, n, n}, {night, 0, 0, 0});
    visit.id = QString("%1 night %2").arg(site).arg(night);
    visit.events = visit.expected = int(lines.size());
    visit.fileHeaderLines = kStatusHeaderLineCount;
    return writeEventFile(archive, visit, StatusHeaderLines(CounterStatus()) + lines).isEmpty() ? visit
                                                                                                : archive::VisitRecord();
}

// Empty when written, else the archive's error.
inline QString writeArchive(const QString& folder, const QList<archive::VisitRecord>& visits)
{
    archive::Archive database;
    QString error;
    if (!database.open(folder, archive::Archive::Mode::Write, &error))
        return error;
    for (const archive::VisitRecord& visit : visits)
        if (!database.addVisit(visit, &error))
            return error;
    return {};
}

// Runs the statements on the archive in `folder`, in turn; false at the first that fails.
inline bool execOn(const QString& folder, const QStringList& statements)
{
    bool done = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("stamp"));
        db.setDatabaseName(archive::databasePath(folder));
        done = db.open() && std::all_of(statements.begin(), statements.end(),
                                        [&db](const QString& sql) { return QSqlQuery(db).exec(sql); });
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("stamp"));
    return done;
}

// Marks the archive in `folder` as written in another format.
inline bool stampFormat(const QString& folder, int format)
{
    return execOn(folder, {QStringLiteral("PRAGMA user_version=%1").arg(format)});
}

// The kinds of archive, the first column of the tables that run over both.
inline const QStringList kArchiveKinds{QStringLiteral("folder"), QStringLiteral("server")};

// A new, empty archive for each row: a folder, or the database of the tests' own PostgreSQL
// server, emptied. The server starts with the first row that needs it, and is reached as a
// user's collection reaches it: a URI without a password, the password in a libpq password
// file named by PGPASSFILE.
class TestArchives {
public:
    // The location of an empty archive of that kind, with a spool of its own; empty, with
    // the reason, when there is none (the server did not start).
    QString fresh(const QString& kind, QString* why)
    {
        m_spool = m_folder.filePath(QStringLiteral("spool-%1").arg(++m_rows));
        if (kind == QLatin1String("folder"))
            return m_folder.filePath(QStringLiteral("archive-%1").arg(m_rows));
        if (!m_server) {
            m_server = std::make_unique<PgServer>();
            m_serverProblem = m_server->start();
            const QString passFile = m_folder.filePath(QStringLiteral("pgpass"));
            if (m_serverProblem.isEmpty())
                m_serverProblem = m_server->writePassFile(passFile, m_server->password());
            qputenv("PGPASSFILE", QFile::encodeName(passFile));
        }
        *why = m_serverProblem;
        if (m_serverProblem.isEmpty() && !m_server->isRunning())
            *why = m_server->start();
        if (why->isEmpty())
            *why = m_server->execAsSuperuser({QStringLiteral("DROP SCHEMA public CASCADE"),
                                              QStringLiteral("CREATE SCHEMA public AUTHORIZATION %1").arg(m_server->userName())});
        return why->isEmpty() ? m_server->uri() : QString();
    }
    QString spool() const { return m_spool; }
    PgServer& server() { return *m_server; }

private:
    QTemporaryDir m_folder;
    int m_rows = 0;
    QString m_spool;
    std::unique_ptr<PgServer> m_server;
    QString m_serverProblem;
};

} // namespace kfc::test
