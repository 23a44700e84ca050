#include "report.h"

#include "cli.h"
#include "archive/archive.h"
#include "link/untrusted.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace kfc::cli {

namespace {

using archive::CountStep;
using archive::momentText;
using archive::VisitCounts;
using archive::VisitRecord;

constexpr int kCountColumn = 12;

// The counts at visits from `since` on; the first of them still compared with the visit
// before it, so that a report of the last week starts with a difference too.
QList<VisitCounts> countsSince(const QList<VisitRecord>& all, const QDateTime& since)
{
    QList<VisitCounts> counts = archive::countsAtVisits(all);
    if (since.isValid())
        counts.removeIf([&since](const VisitCounts& row) { return row.at < since; });
    return counts;
}

QList<VisitRecord> visitsSince(QList<VisitRecord> visits, const QDateTime& since)
{
    if (since.isValid())
        visits.removeIf([&since](const VisitRecord& visit) { return visit.started < since; });
    return visits;
}

int eventsCollected(const QList<VisitRecord>& visits)
{
    int events = 0;
    for (const VisitRecord& visit : visits)
        events += visit.events;
    return events;
}

// What the flushes of these visits did not make good: fish erased before they could be
// read, and flushes begun in a run that ended before their outcome was recorded.
QStringList flushNotes(const QList<VisitRecord>& visits)
{
    QStringList notes;
    for (const VisitRecord& visit : visits) {
        if (visit.lostInFlush.value_or(0) > 0)
            notes << QStringLiteral("%1: the flush erased %2 events that came after the last check "
                                    "(lostInFlush)")
                         .arg(momentText(visit.started))
                         .arg(*visit.lostInFlush);
        if (visit.flushPending)
            notes << QStringLiteral("%1: the run ended during the flush after %2; the counter may have been "
                                    "flushed")
                         .arg(momentText(visit.started), printable(visit.file));
    }
    return notes;
}

int lostInFlush(const QList<VisitRecord>& visits)
{
    int lost = 0;
    for (const VisitRecord& visit : visits)
        lost += visit.lostInFlush.value_or(0);
    return lost;
}

QString countsHeader()
{
    QString line = QStringLiteral("  %1").arg(QStringLiteral("read at"), -26);
    for (int channel = 1; channel <= archive::kChannels; ++channel)
        line += QStringLiteral("ch%1 up").arg(channel).leftJustified(kCountColumn)
                + QStringLiteral("ch%1 down").arg(channel).leftJustified(kCountColumn);
    return line.trimmed().prepend(QStringLiteral("  "));
}

QString countsLine(const VisitCounts& row)
{
    QString line = QStringLiteral("  %1").arg(momentText(row.at), -26);
    for (size_t channel = 0; channel < size_t(archive::kChannels); ++channel)
        line += archive::countStepText(row.up[channel]).leftJustified(kCountColumn - 1) + QLatin1Char(' ')
                + archive::countStepText(row.down[channel]).leftJustified(kCountColumn - 1) + QLatin1Char(' ');
    return line.trimmed().prepend(QStringLiteral("  "));
}

// A season from midnight is named by its day.
QString seasonStartText(const QDateTime& start)
{
    return start.time() == QTime(0, 0) ? start.date().toString(Qt::ISODate) : momentText(start);
}

void printSeasonText(const archive::SeasonTotals& season, const QDateTime& start, QTextStream& out)
{
    out << "  season from " << seasonStartText(start);
    if (season.visits == 0) {
        out << ": no counts read\n";
        return;
    }
    out << ", between the reads of " << momentText(season.from) << " and " << momentText(season.to) << ":\n";
    QString line = QStringLiteral("  %1").arg(QStringLiteral("season total"), -26);
    for (size_t channel = 0; channel < size_t(archive::kChannels); ++channel)
        line += QString::number(season.up[channel]).leftJustified(kCountColumn)
                + QString::number(season.down[channel]).leftJustified(kCountColumn);
    out << line.trimmed().prepend(QStringLiteral("  ")) << '\n';
    if (season.atLeast())
        out << "  at least: the counts were cleared at " << season.cleared << " of the season's visits, and the fish "
            << "between each of them and the visit before are not known\n";
}

QJsonObject seasonJson(const archive::SeasonTotals& season, const QDateTime& start)
{
    QJsonArray channels;
    for (size_t channel = 0; channel < size_t(archive::kChannels); ++channel)
        channels.append(
            QJsonObject{{"channel", int(channel + 1)}, {"up", season.up[channel]}, {"down", season.down[channel]}});
    return {{"from", momentText(start)},
            {"firstRead", season.visits ? QJsonValue(momentText(season.from)) : QJsonValue()},
            {"lastRead", season.visits ? QJsonValue(momentText(season.to)) : QJsonValue()},
            {"visits", season.visits},
            {"atLeast", season.atLeast()},
            {"channels", channels}};
}

void printSiteText(const QString& site, const QList<VisitRecord>& visits, const QList<VisitCounts>& counts,
                   QTextStream& out)
{
    out << printable(site) << '\n';
    if (visits.isEmpty()) {
        out << "  no visits\n";
        return;
    }
    const VisitRecord& last = visits.last();
    out << "  last visit " << momentText(last.started) << ": " << last.outcome << ", " << last.events << " of "
        << last.expected << " events";
    if (!last.error.isEmpty())
        out << ": " << printable(last.error);
    out << '\n' << "  " << eventsCollected(visits) << " events collected in " << visits.size()
        << (visits.size() == 1 ? " visit\n" : " visits\n");
    for (const QString& note : flushNotes(visits))
        out << "  " << note << '\n';
    if (!counts.isEmpty()) {
        out << countsHeader() << '\n';
        for (const VisitCounts& row : counts)
            out << countsLine(row) << '\n';
    }
}

QJsonObject stepJson(const CountStep& step)
{
    return {{"count", step.count},
            {"difference", step.difference ? QJsonValue(*step.difference) : QJsonValue()},
            {"cleared", step.cleared}};
}

QJsonObject siteJson(const QString& site, const QList<VisitRecord>& visits, const QList<VisitCounts>& counts)
{
    QJsonObject entry{{"site", site},
                      {"visits", int(visits.size())},
                      {"eventsCollected", eventsCollected(visits)},
                      {"lostInFlush", lostInFlush(visits)}};
    if (!visits.isEmpty()) {
        const VisitRecord& last = visits.last();
        entry.insert("lastVisit", QJsonObject{{"started", momentText(last.started)},
                                              {"finished", momentText(last.finished)},
                                              {"outcome", last.outcome},
                                              {"events", last.events},
                                              {"expected", last.expected},
                                              {"flushed", last.flushPending ? QJsonValue("pending")
                                                                            : QJsonValue(last.flushed)},
                                              {"error", last.error.isEmpty() ? QJsonValue() : QJsonValue(last.error)}});
    }
    QJsonArray rows;
    for (const VisitCounts& row : counts) {
        QJsonArray channels;
        for (size_t channel = 0; channel < size_t(archive::kChannels); ++channel)
            channels.append(QJsonObject{{"channel", int(channel + 1)},
                                        {"up", stepJson(row.up[channel])},
                                        {"down", stepJson(row.down[channel])}});
        rows.append(QJsonObject{
            {"readAt", momentText(row.at)}, {"outcome", row.outcome}, {"cleared", row.cleared}, {"channels", channels}});
    }
    entry.insert("counts", rows);
    return entry;
}

} // namespace

int printReport(const ReportOptions& options, QTextStream& out, QTextStream& err)
{
    archive::Archive database;
    QString problem;
    if (!database.open(options.archive, archive::Archive::Mode::Read, &problem)) {
        err << "kestrova-cli: " << problem << '\n';
        return UsageOrPortError;
    }
    const QStringList sites = database.sites(&problem);
    QJsonArray json;
    for (const QString& site : sites) {
        const QList<VisitRecord> all = database.visits(site, {}, &problem);
        const QList<VisitRecord> visits = visitsSince(all, options.since);
        const QList<VisitCounts> counts = countsSince(all, options.since);
        const archive::SeasonTotals season = archive::seasonTotals(archive::countsAtVisits(all), options.season);
        if (options.json) {
            QJsonObject entry = siteJson(site, visits, counts);
            entry.insert("season", seasonJson(season, options.season));
            json.append(entry);
        } else {
            printSiteText(site, visits, counts, out);
            printSeasonText(season, options.season, out);
            out << '\n';
        }
    }
    if (!problem.isEmpty()) {
        err << "kestrova-cli: " << problem << '\n';
        return UsageOrPortError;
    }
    if (options.json)
        out << jsonText(QJsonDocument(QJsonObject{{"sites", json}}));
    else if (sites.isEmpty())
        out << "The archive holds no visits yet.\n";
    out.flush();
    return Ok;
}

} // namespace kfc::cli
