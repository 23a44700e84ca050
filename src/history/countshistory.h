#pragma once
// The numbers of the counts history: for each visit of a site that read the counts, the
// count of every channel and direction and the fish counted since the visit before, as the
// window's table shows them, as its chart draws them and as its CSV export writes them.

#include "archive/archive.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>

namespace kfc::history {

// Channel 1 up, channel 1 down, channel 2 up, ... : one bar set each.
constexpr int kHistorySeries = archive::kChannels * 2;

struct HistoryRow {
    QDateTime at;      // when the counts were read
    QString label;     // the visit, in the table and on the chart's axis
    QString outcome;
    bool cleared = false;   // as the archive's counts say: see archive::VisitCounts
    std::array<archive::CountStep, kHistorySeries> steps{};
};

QList<HistoryRow> historyRows(const QList<archive::VisitCounts>& counts);

// "Ch 1 Up", "Ch 1 Down", ...
QString seriesName(int series);
QStringList historyHeader();
QStringList historyCells(const HistoryRow& row);

// The chart draws the season the totals under the table add up, and of it this many
// visits at most, the latest: years of visits make one block of colour that takes seconds
// to draw. The table holds them all.
constexpr int kChartedVisits = 400;

// The rows the chart draws: the visits of the latest season (see historySeason) that have
// one before them, the latest kChartedVisits of them.
QList<HistoryRow> chartRows(const QList<HistoryRow>& rows);
// Past this many visits the chart's dates stand on end, so that they do not run into each other.
constexpr int kUprightLabelsFrom = 8;

// The chart's categories, one a drawn visit: its date over its time, marked "cleared" on a
// line of its own when it was (the chart's axis draws its labels as rich text). Upright
// labels of two lines run into each other and past the chart's foot in a small frame, so
// they are the day alone ("12-28", the title gives the year) when the days tell the
// visits apart.
QStringList chartLabels(const QList<HistoryRow>& drawn);
// A bar's height: the fish counted since the visit before; none is drawn when that is not
// known (the visit was cleared), rather than a negative one.
int barValue(const archive::CountStep& step);

// The season the window totals: from the first of January of the year of the site's
// latest read, so that an archive shows its last season whenever it is looked at.
QDateTime historySeason(const QList<archive::VisitCounts>& counts);
// The season's totals as the line under the table says them: the span, each channel's up
// and down, and "at least" when a cleared visit hides some of the fish.
QString seasonText(const archive::SeasonTotals& season, const QDateTime& start);

// The site, the visits and for each channel and direction the count and the fish since
// the visit before ("cleared" when not known), with a header record.
QString historyCsv(const QString& site, const QList<HistoryRow>& rows);
// "Weir A, 2026-12-01 to 2026-12-09": the chart's title, from the visit before its first
// bar; "..., the last 361 of 3650 visits" when it draws only the latest.
QString historyTitle(const QString& site, const QList<HistoryRow>& rows);

} // namespace kfc::history
