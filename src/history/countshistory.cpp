#include "countshistory.h"

#include "app/csv.h"

#include <QSet>

namespace kfc::history {

namespace {

const QString kMinutes = QStringLiteral("yyyy-MM-dd HH:mm");
const QString kSeconds = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// Minutes tell nightly visits apart; visits close together get their seconds, so that
// no two visits share a category of the chart.
QStringList visitLabels(const QList<archive::VisitCounts>& counts)
{
    for (const QString& format : {kMinutes, kSeconds}) {
        QStringList labels;
        for (const archive::VisitCounts& visit : counts)
            labels << visit.at.toString(format);
        if (QSet<QString>(labels.begin(), labels.end()).size() == labels.size() || format == kSeconds) {
            QSet<QString> seen;
            for (QString& label : labels) {
                const QString plain = label;
                for (int n = 2; seen.contains(label); ++n)
                    label = QStringLiteral("%1 #%2").arg(plain).arg(n);
                seen << label;
            }
            return labels;
        }
    }
    return {};
}

QString betweenText(const archive::CountStep& step)
{
    if (step.cleared)
        return QStringLiteral("cleared");
    return step.difference ? QString::number(*step.difference) : QString();
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

QString seriesName(int series)
{
    const QString direction = series % 2 == 0 ? QStringLiteral("Up") : QStringLiteral("Down");
    return QStringLiteral("Ch %1 %2").arg(series / 2 + 1).arg(direction);
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
    return rows.mid(1);
}

QString categoryLabel(const HistoryRow& row)
{
    return row.cleared ? row.label + QStringLiteral("<br><b>cleared</b>") : row.label;
}

int barValue(const archive::CountStep& step)
{
    return step.difference.value_or(0);
}

QString historyCsv(const QString& site, const QList<HistoryRow>& rows)
{
    QStringList header{QStringLiteral("Site"), QStringLiteral("Visit"), QStringLiteral("Outcome")};
    for (int series = 0; series < kHistorySeries; ++series)
        header << seriesName(series) << seriesName(series) + QStringLiteral(" Since Visit Before");
    QString text = app::csvRecord(header);
    for (const HistoryRow& row : rows) {
        QStringList fields{site, row.at.toString(Qt::ISODate), row.outcome};
        for (const archive::CountStep& step : row.steps)
            fields << QString::number(step.count) << betweenText(step);
        text += app::csvRecord(fields);
    }
    return text;
}

QString historyTitle(const QString& site, const QList<HistoryRow>& rows)
{
    if (rows.isEmpty())
        return site;
    const QString from = rows.first().at.toString(QStringLiteral("yyyy-MM-dd"));
    const QString to = rows.last().at.toString(QStringLiteral("yyyy-MM-dd"));
    return from == to ? QStringLiteral("%1, %2").arg(site, from) : QStringLiteral("%1, %2 to %3").arg(site, from, to);
}

} // namespace kfc::history
