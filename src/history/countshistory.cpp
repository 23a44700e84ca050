#include "countshistory.h"

#include <QSet>

#include <algorithm>

namespace kfc::history {

namespace {

const QString kMinutes = QStringLiteral("yyyy-MM-dd HH:mm");

// "yyyy-MM-dd HH:mm:ss", cut from the moment as the archive writes it: Qt's own formatting
// of a date takes longer than the rest of a row.
QString secondsLabel(const QDateTime& at)
{
    QString label = archive::momentText(at);
    if (label.size() < 19)
        return at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    label[10] = QLatin1Char(' ');
    label.truncate(19);
    return label;
}

// Minutes tell nightly visits apart; visits close together get their seconds, so that
// no two visits share a category of the chart.
QStringList visitLabels(const QList<archive::VisitCounts>& counts)
{
    QStringList seconds, minutes;
    for (const archive::VisitCounts& visit : counts) {
        seconds << secondsLabel(visit.at);
        minutes << seconds.last().left(16);
    }
    QStringList& labels = QSet<QString>(minutes.begin(), minutes.end()).size() == minutes.size() ? minutes : seconds;
    QSet<QString> seen;
    for (QString& label : labels) {
        const QString plain = label;
        for (int n = 2; seen.contains(label); ++n)
            label = QStringLiteral("%1 #%2").arg(plain).arg(n);
        seen << label;
    }
    return labels;
}

// The first row the chart draws: the first of the latest season, the latest
// kChartedVisits at most, and never the first visit, which has none before it.
qsizetype firstCharted(const QList<HistoryRow>& rows)
{
    if (rows.isEmpty())
        return 0;
    const QDateTime season = archive::seasonStart(rows.last().at.date());
    const auto inSeason = std::find_if(rows.begin(), rows.end(), [&season](const HistoryRow& row) { return row.at >= season; });
    return std::max({qsizetype(1), qsizetype(inSeason - rows.begin()), rows.size() - kChartedVisits});
}

} // namespace

QList<HistoryRow> historyRows(const QList<archive::VisitCounts>& counts)
{
    const QStringList labels = visitLabels(counts);
    QList<HistoryRow> rows;
    for (qsizetype i = 0; i < counts.size(); ++i) {
        const archive::VisitCounts& visit = counts[i];
        HistoryRow row{visit.at, labels[i], visit.outcome, visit.cleared, {}};
        for (size_t channel = 0; channel < size_t(archive::kChannels); ++channel) {
            row.steps[2 * channel] = visit.up[channel];
            row.steps[2 * channel + 1] = visit.down[channel];
        }
        rows << row;
    }
    return rows;
}

QDateTime historySeason(const QList<archive::VisitCounts>& counts)
{
    const QDate latest = counts.isEmpty() ? QDate::currentDate() : counts.last().at.date();
    return archive::seasonStart(latest);
}

QString seasonText(const archive::SeasonTotals& season, const QDateTime& start)
{
    const QString from = start.date().toString(Qt::ISODate);
    if (season.visits == 0)
        return QStringLiteral("Season from %1: no visit of the season has read the counts.").arg(from);
    QStringList channels;
    int up = 0, down = 0;
    for (size_t channel = 0; channel < size_t(archive::kChannels); ++channel) {
        channels << QStringLiteral("Ch %1 Up %2, Down %3").arg(channel + 1).arg(season.up[channel]).arg(season.down[channel]);
        up += season.up[channel];
        down += season.down[channel];
    }
    QString text = QStringLiteral("Season from %1, between the reads of %2 and %3:\n%4; all Up %5, Down %6.")
                       .arg(from, season.from.toString(kMinutes), season.to.toString(kMinutes),
                            channels.join(QStringLiteral("; ")))
                       .arg(up)
                       .arg(down);
    if (season.atLeast())
        text += QStringLiteral("\nAt least this many: the counts were cleared at %1 of the season's visits, and "
                               "the fish between each of them and the visit before are not known.")
                    .arg(season.cleared);
    return text;
}

QString seriesName(int series)
{
    return archive::countName(series / 2 + 1, series % 2 == 0);
}

QStringList historyHeader()
{
    QStringList header{QStringLiteral("Visit"), QStringLiteral("Outcome")};
    for (int series = 0; series < kHistorySeries; ++series)
        header << seriesName(series);
    return header;
}

QStringList historyCells(const HistoryRow& row)
{
    QStringList cells{row.label, row.outcome};
    for (const archive::CountStep& step : row.steps)
        cells << archive::countStepText(step);
    return cells;
}

QList<HistoryRow> chartRows(const QList<HistoryRow>& rows)
{
    return rows.mid(firstCharted(rows));
}

QStringList chartLabels(const QList<HistoryRow>& drawn)
{
    QSet<QString> days;
    for (const HistoryRow& row : drawn)
        days << row.label.mid(5, 5);
    const bool byDay = drawn.size() >= kUprightLabelsFrom && days.size() == drawn.size();
    QStringList labels;
    for (const HistoryRow& row : drawn) {
        QString label = byDay ? row.label.mid(5, 5) : QString(row.label).replace(QLatin1Char(' '), QStringLiteral("<br>"));
        if (row.cleared)
            label += QStringLiteral("<br><b>cleared</b>");
        labels << label;
    }
    return labels;
}

int barValue(const archive::CountStep& step)
{
    return step.difference.value_or(0);
}

QString historyCsv(const QString& site, const QList<HistoryRow>& rows)
{
    QList<archive::VisitCounts> counts;
    for (const HistoryRow& row : rows) {
        archive::VisitCounts visit{row.at, row.outcome, row.cleared, {}, {}};
        for (size_t channel = 0; channel < size_t(archive::kChannels); ++channel) {
            visit.up[channel] = row.steps[2 * channel];
            visit.down[channel] = row.steps[2 * channel + 1];
        }
        counts << visit;
    }
    return archive::countsCsv(site, counts);
}

QString historyTitle(const QString& site, const QList<HistoryRow>& rows)
{
    if (rows.isEmpty())
        return site;
    const qsizetype first = std::max<qsizetype>(0, firstCharted(rows) - 1);
    const QString from = rows[first].at.toString(QStringLiteral("yyyy-MM-dd"));
    const QString to = rows.last().at.toString(QStringLiteral("yyyy-MM-dd"));
    QString title = from == to ? QStringLiteral("%1, %2").arg(site, from) : QStringLiteral("%1, %2 to %3").arg(site, from, to);
    if (first > 0)
        title += QStringLiteral(", the last %1 of %2 visits").arg(rows.size() - first - 1).arg(rows.size());
    return title;
}

} // namespace kfc::history
