#include "report.h"

#include "archivecommands.h"
#include "cli.h"
#include "archive/archive.h"
#include "link/untrusted.h"

#include <QIODevice>
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

// The site's figures in the JSON, all but its table.
QJsonObject siteJson(const QString& site, const QList<VisitRecord>& visits)
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
    return entry;
}

// A text as a JSON string, escaped as jsonText escapes it; the few texts a report repeats
// (outcomes, moments of one form) are each escaped once.
QString jsonString(const QString& text)
{
    static QHash<QString, QString> escaped;
    if (const auto found = escaped.constFind(text); found != escaped.constEnd())
        return *found;
    QString json = jsonText(QJsonDocument(QJsonArray{text}));
    json = json.mid(json.indexOf(QLatin1Char('"')));
    json.truncate(json.lastIndexOf(QLatin1Char('"')) + 1);
    if (escaped.size() < 64)
        escaped.insert(text, json);
    return json;
}

QString moment(const QDateTime& at)
{
    const QString text = momentText(at);
    return text.isEmpty() ? QStringLiteral("null") : QLatin1Char('"') + text + QLatin1Char('"');
}

// A line of the site's table in the JSON, written as jsonText writes it indented at `depth`
// levels, onto `text`: the table of ten years of visits has hundreds of thousands of values,
// which Qt's JSON builds far more slowly.
void writeRowJson(const TableRow& row, int depth, QByteArray& text)
{
    const auto line = [&](int more, const char* what) {
        text.append(4 * (depth + more), ' ');
        text.append(what);
    };
    const auto boolText = [](bool value) { return value ? "true" : "false"; };
    line(0, "{\n");
    line(1, "\"channels\": ");
    if (!row.counts) {
        text.append("null,\n");
    } else {
        text.append("[\n");
        for (size_t channel = 0; channel < size_t(archive::kChannels); ++channel) {
            line(2, "{\n");
            line(3, "\"channel\": ");
            text.append(QByteArray::number(uint(channel + 1))).append(",\n");
            for (const auto& [name, step] :
                 {std::pair{"\"down\": {\n", &row.counts->down[channel]}, std::pair{"\"up\": {\n", &row.counts->up[channel]}}) {
                line(3, name);
                line(4, "\"cleared\": ");
                text.append(boolText(step->cleared)).append(",\n");
                line(4, "\"count\": ");
                text.append(QByteArray::number(step->count)).append(",\n");
                line(4, "\"difference\": ");
                text.append(step->difference ? QByteArray::number(*step->difference) : QByteArray("null")).append('\n');
                line(3, step == &row.counts->down[channel] ? "},\n" : "}\n");
            }
            line(2, channel + 1 < size_t(archive::kChannels) ? "},\n" : "}\n");
        }
        line(1, "],\n");
    }
    line(1, "\"cleared\": ");
    text.append(boolText(row.counts && row.counts->cleared)).append(",\n");
    line(1, "\"gapBefore\": ");
    text.append(boolText(row.visit->gapBefore)).append(",\n");
    line(1, "\"newEvents\": ");
    text.append(QByteArray::number(row.visit->newEvents)).append(",\n");
    line(1, "\"outcome\": ");
    text.append(jsonString(row.visit->outcome).toUtf8()).append(",\n");
    line(1, "\"readAt\": ");
    text.append(row.counts ? moment(row.counts->at).toLatin1() : QByteArray("null")).append(",\n");
    line(1, "\"started\": ");
    text.append(moment(row.visit->started).toLatin1()).append('\n');
    line(0, "}");
}

// A JSON text indented at `depth` levels, without its last line end.
QString indentedJson(const QJsonObject& object, int depth)
{
    const QString indent(4 * depth, QLatin1Char(' '));
    QString text = jsonText(QJsonDocument(object));
    text.chop(1);
    return indent + text.replace(QLatin1Char('\n'), QLatin1Char('\n') + indent);
}

} // namespace

// The report's JSON, a site at a time and a line of its table at a time, so that an archive
// of any size costs little memory: the same text as the whole document indented at once
// (an object's keys in order, so the table, "counts", comes first).
class JsonSites {
public:
    explicit JsonSites(QTextStream& out) : m_out(out) { m_out << "{\n    \"sites\": [\n"; }

    void add(QJsonObject site, const QList<TableRow>& table)
    {
        m_out << (m_first ? "" : ",\n");
        m_first = false;
        if (table.isEmpty()) {
            site.insert("counts", QJsonArray());
            m_out << indentedJson(site, 2);
            return;
        }
        // The table's lines go out as UTF-8 bytes, put together a thousand at a time.
        QByteArray lines("        {\n            \"counts\": [\n");
        for (qsizetype i = 0; i < table.size(); ++i) {
            if (i)
                lines.append(",\n");
            writeRowJson(table[i], 4, lines);
            if (i % 1000 == 999 || i + 1 == table.size()) {
                writeBytes(lines);
                lines.truncate(0);
            }
        }
        m_out << "\n            ]," << indentedJson(site, 2).mid(9);
    }

    void end() { m_out << (m_first ? "" : "\n") << "    ]\n}\n"; }

private:
    // Straight to the stream's device, after what the stream holds, where there is one.
    void writeBytes(const QByteArray& bytes)
    {
        if (QIODevice* device = m_out.device()) {
            m_out.flush();
            device->write(bytes);
        } else {
            m_out << QString::fromUtf8(bytes);
        }
    }

    QTextStream& m_out;
    bool m_first = true;
};

int printReport(const ReportOptions& options, QTextStream& out, QTextStream& err)
{
    archive::Archive database;
    if (!openToRead(database, options.archive, err))
        return UsageOrPortError;
    QString problem;
    const QStringList sites = database.sites(&problem);
    // Compared with every visit as moments in UTC: a time of the PC's zone asks the system's
    // time zone at each comparison.
    const QDateTime since = options.since.toUTC(), seasonStart = options.season.toUTC();
    std::optional<JsonSites> json;
    if (options.json)
        json.emplace(out);
    for (qsizetype i = 0; problem.isEmpty() && i < sites.size(); ++i) {
        const QList<VisitRecord> all = database.visits(sites[i], {}, &problem);
        const QList<VisitRecord> visits = visitsSince(all, since);
        const QList<VisitCounts> counts = archive::countsAtVisits(all);
        const QList<TableRow> rows = tableRows(all, counts, since);
        const archive::SeasonTotals season = archive::seasonTotals(counts, seasonStart);
        if (json) {
            QJsonObject entry = siteJson(sites[i], visits);
            entry.insert("season", seasonJson(season, options.season));
            json->add(entry, rows);
        } else {
            printSiteText(sites[i], visits, rows, out);
            printSeasonText(season, options.season, newEvents(visitsSince(all, seasonStart)), out);
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
