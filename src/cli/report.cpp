#include "report.h"

#include "cli.h"
#include "archive/archive.h"
#include "link/untrusted.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <optional>

namespace kfc::cli {

namespace {

using archive::CountStep;
using archive::momentText;
using archive::VisitCounts;
using archive::VisitRecord;

constexpr int kCountColumn = 12;

// A line of a site's table: a visit that read the counts or brought events, with the counts
// compared with the visit before that read them (even one before `since`, so that a
// report of the last week starts with a difference too).
struct TableRow {
    const VisitRecord* visit = nullptr;
    const VisitCounts* counts = nullptr;   // none: the visit read no counts

    QDateTime at() const { return counts ? counts->at : visit->started; }
};

QList<TableRow> tableRows(const QList<VisitRecord>& all, const QList<VisitCounts>& counts, const QDateTime& since)
{
    QList<TableRow> rows;
    qsizetype next = 0;   // countsAtVisits gives a row for each visit that read the status, in order
    for (const VisitRecord& visit : all) {
        const VisitCounts* read = visit.statusReads.isEmpty() ? nullptr : &counts[next++];
        const TableRow row{&visit, read};
        if ((read || !visit.file.isEmpty()) && (!since.isValid() || row.at() >= since))
            rows << row;
    }
    return rows;
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

int newEvents(const QList<VisitRecord>& visits)
{
    int events = 0;
    for (const VisitRecord& visit : visits)
        events += visit.newEvents;
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
        if (visit.gapBefore)
            notes << QStringLiteral("%1: gap before: the file shares no event with the ones before, so events may "
                                    "be missing")
                         .arg(momentText(visit.started));
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
    QString line = QStringLiteral("  %1").arg(QStringLiteral("read at"), -26)
                   + QStringLiteral("new events").leftJustified(kCountColumn);
    for (int channel = 1; channel <= archive::kChannels; ++channel)
        line += QStringLiteral("ch%1 up").arg(channel).leftJustified(kCountColumn)
                + QStringLiteral("ch%1 down").arg(channel).leftJustified(kCountColumn);
    return line.trimmed().prepend(QStringLiteral("  "));
}

QString countsLine(const TableRow& row)
{
    QString line = QStringLiteral("  %1").arg(momentText(row.at()), -26)
                   + QString::number(row.visit->newEvents).leftJustified(kCountColumn - 1) + QLatin1Char(' ');
    for (size_t channel = 0; row.counts && channel < size_t(archive::kChannels); ++channel)
        line += archive::countStepText(row.counts->up[channel]).leftJustified(kCountColumn - 1) + QLatin1Char(' ')
                + archive::countStepText(row.counts->down[channel]).leftJustified(kCountColumn - 1) + QLatin1Char(' ');
    return line.trimmed().prepend(QStringLiteral("  "));
}

// A season from midnight is named by its day.
QString seasonStartText(const QDateTime& start)
{
    return start.time() == QTime(0, 0) ? start.date().toString(Qt::ISODate) : momentText(start);
}

// The season's totals; under the new events, those of the season's visits.
void printSeasonText(const archive::SeasonTotals& season, const QDateTime& start, int seasonEvents, QTextStream& out)
{
    out << "  season from " << seasonStartText(start);
    if (season.visits == 0) {
        out << ": no counts read\n";
        return;
    }
    out << ", between the reads of " << momentText(season.from) << " and " << momentText(season.to) << ":\n";
    QString line = QStringLiteral("  %1").arg(QStringLiteral("season total"), -26)
                   + QString::number(seasonEvents).leftJustified(kCountColumn);
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

void printSiteText(const QString& site, const QList<VisitRecord>& visits, const QList<TableRow>& rows,
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
    out << '\n' << "  " << newEvents(visits) << " new events in " << visits.size()
        << (visits.size() == 1 ? " visit" : " visits") << " (" << eventsCollected(visits) << " downloaded)\n";
    for (const QString& note : flushNotes(visits))
        out << "  " << note << '\n';
    if (!rows.isEmpty()) {
        out << countsHeader() << '\n';
        for (const TableRow& row : rows)
            out << countsLine(row) << '\n';
    }
}

QJsonObject stepJson(const CountStep& step)
{
    return {{"count", step.count},
            {"difference", step.difference ? QJsonValue(*step.difference) : QJsonValue()},
            {"cleared", step.cleared}};
}

QJsonObject siteJson(const QString& site, const QList<VisitRecord>& visits, const QList<TableRow>& table)
{
    QJsonObject entry{{"site", site},
                      {"visits", int(visits.size())},
                      {"eventsCollected", eventsCollected(visits)},
                      {"newEvents", newEvents(visits)},
                      {"lostInFlush", lostInFlush(visits)}};
    if (!visits.isEmpty()) {
        const VisitRecord& last = visits.last();
        entry.insert("lastVisit", QJsonObject{{"started", momentText(last.started)},
                                              {"finished", momentText(last.finished)},
                                              {"outcome", last.outcome},
                                              {"events", last.events},
                                              {"newEvents", last.newEvents},
                                              {"gapBefore", last.gapBefore},
                                              {"expected", last.expected},
                                              {"flushed", last.flushPending ? QJsonValue("pending")
                                                                            : QJsonValue(last.flushed)},
                                              {"error", last.error.isEmpty() ? QJsonValue() : QJsonValue(last.error)}});
    }
    QJsonArray rows;
    for (const TableRow& row : table) {
        QJsonObject json{{"started", momentText(row.visit->started)},
                         {"outcome", row.visit->outcome},
                         {"newEvents", row.visit->newEvents},
                         {"gapBefore", row.visit->gapBefore},
                         {"readAt", QJsonValue()},
                         {"cleared", false},
                         {"channels", QJsonValue()}};
        if (row.counts) {
            QJsonArray channels;
            for (size_t channel = 0; channel < size_t(archive::kChannels); ++channel)
                channels.append(QJsonObject{{"channel", int(channel + 1)},
                                            {"up", stepJson(row.counts->up[channel])},
                                            {"down", stepJson(row.counts->down[channel])}});
            json.insert("readAt", momentText(row.counts->at));
            json.insert("cleared", row.counts->cleared);
            json.insert("channels", channels);
        }
        rows.append(json);
    }
    entry.insert("counts", rows);
    return entry;
}

} // namespace

// The report's JSON, a site at a time, so that an archive of any size costs the memory of
// its largest site: the same text as the whole document indented at once.
class JsonSites {
public:
    explicit JsonSites(QTextStream& out) : m_out(out) { m_out << "{\n    \"sites\": [\n"; }

    void add(const QJsonObject& site)
    {
        QString text = jsonText(QJsonDocument(site));
        text.chop(1);   // its last line end: the separator follows
        text.replace(QLatin1Char('\n'), QStringLiteral("\n        "));
        m_out << (m_first ? "        " : ",\n        ") << text;
        m_first = false;
    }

    void end() { m_out << (m_first ? "" : "\n") << "    ]\n}\n"; }

private:
    QTextStream& m_out;
    bool m_first = true;
};

int printReport(const ReportOptions& options, QTextStream& out, QTextStream& err)
{
    archive::Archive database;
    QString problem;
    if (!database.open(options.archive, archive::Archive::Mode::Read, &problem)) {
        err << "kestrova-cli: " << printable(problem) << '\n';
        return UsageOrPortError;
    }
    const QStringList sites = database.sites(&problem);
    std::optional<JsonSites> json;
    if (options.json)
        json.emplace(out);
    for (qsizetype i = 0; problem.isEmpty() && i < sites.size(); ++i) {
        const QList<VisitRecord> all = database.visits(sites[i], {}, &problem);
        const QList<VisitRecord> visits = visitsSince(all, options.since);
        const QList<VisitCounts> counts = archive::countsAtVisits(all);
        const QList<TableRow> rows = tableRows(all, counts, options.since);
        const archive::SeasonTotals season = archive::seasonTotals(counts, options.season);
        if (json) {
            QJsonObject entry = siteJson(sites[i], visits, rows);
            entry.insert("season", seasonJson(season, options.season));
            json->add(entry);
        } else {
            printSiteText(sites[i], visits, rows, out);
            printSeasonText(season, options.season, newEvents(visitsSince(all, options.season)), out);
            out << '\n';
        }
    }
    if (!problem.isEmpty()) {
        out.flush();
        err << "kestrova-cli: " << printable(problem) << '\n';
        return UsageOrPortError;
    }
    if (json)
        json->end();
    else if (sites.isEmpty())
        out << "The archive holds no visits yet.\n";
    out.flush();
    return Ok;
}

} // namespace kfc::cli
