#pragma once
// The charts of a site's page, drawn as inline SVG: the fish counted between visits and
// the season's total so far, per channel, up above the zero line and down below it. A
// long season is drawn with one point a week (or a month), so that a page of ten years
// of nightly visits stays small.

#include "archive/archive.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <array>

namespace kfc::publish {

// Channel 1 up, channel 1 down, channel 2 up, ...
constexpr int kSeries = archive::kChannels * 2;
constexpr int kMaxPoints = 500;
// Weeks are drawn for up to about eleven years; a longer season a month a point.
constexpr int kMaxWeeks = 600;

struct ChartPoint {
    QDateTime from, to;                 // the span its fish were counted in
    std::array<int, kSeries> fish{};    // counted in the span, as far as known
    std::array<int, kSeries> total{};   // the season's total at its end
    int steps = 1;                      // steps between visits it holds
    int cleared = 0;                    // of which ended at a visit found cleared
};

enum class Grouping { Visit, Week, Month };

struct ChartPoints {
    QList<ChartPoint> points;
    Grouping grouping = Grouping::Visit;
};

// The steps as drawn: one point a step while there are at most kMaxPoints, else one a
// calendar week (Monday to Sunday, by the end of each step) while there are at most
// kMaxWeeks, else one a month; the fish of a group added up and its total the one at its end.
ChartPoints reduced(const QList<ChartPoint>& steps);

// What the chart's points stand for, for the line under it; empty when each is a visit.
QString groupingNote(const ChartPoints& points);

enum class ChartKind { Between, Total };

// The chart as an inline <svg> element; `label` names it for a screen reader (plain text).
QString chartSvg(const ChartPoints& points, ChartKind kind, const QString& label);

// The legend under a chart (HTML): the channels' colours and lines, and the band that
// marks spans whose fish are not known when there is one.
QString legendHtml(const ChartPoints& points);

} // namespace kfc::publish
