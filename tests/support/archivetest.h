#pragma once
// Small archives made by a test: visits on nights of December 2026, written through the
// archive's own writer, and a format stamp for the archives a program must refuse.

#include "archive/archive.h"

#include <QSqlDatabase>
#include <QSqlQuery>

#include <algorithm>

namespace kfc::test {

// A visit at 02:00 (UTC+1) on the given day; no counts means the call failed and read no status.
inline archive::VisitRecord visitOn(const QString& site, int day, const QString& outcome,
                                    std::array<int, 4> up = {}, std::array<int, 4> down = {}, bool counts = true)
{
    archive::VisitRecord visit;
    visit.site = site;
    visit.started = QDateTime(QDate(2026, 12, day), QTime(2, 0), Qt::OffsetFromUTC, 3600);
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

} // namespace kfc::test
