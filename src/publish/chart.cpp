#include "chart.h"

#include "html.h"

#include <algorithm>
#include <cmath>

namespace kfc::publish {

namespace {

// The data are drawn in a box of kWidth by kHeight units stretched to the page's width
// (the lines keep their thickness: non-scaling-stroke); the text around it is in pixels,
// so it keeps its size on a phone. Heights are the same in both.
constexpr int kWidth = 1000;
constexpr int kHeight = 200;
constexpr int kTop = 8;
constexpr int kAxisText = kTop + kHeight + 18;
constexpr int kSvgHeight = kAxisText + 6;
constexpr int kMaxTimeTicks = 6;

// A group's key: the Monday of the week, or the first of the month, of the step's end.
QDate groupOf(const QDateTime& end, Grouping grouping)
{
    const QDate day = end.date();
    return grouping == Grouping::Week ? day.addDays(1 - day.dayOfWeek()) : QDate(day.year(), day.month(), 1);
}

QList<ChartPoint> grouped(const QList<ChartPoint>& steps, Grouping grouping)
{
    QList<ChartPoint> groups;
    QDate current;
    for (const ChartPoint& step : steps) {
        const QDate key = groupOf(step.to, grouping);
        if (groups.isEmpty() || key != current) {
            groups << step;
            current = key;
            continue;
        }
        ChartPoint& group = groups.last();
        group.to = step.to;
        for (int series = 0; series < kSeries; ++series)
            group.fish[size_t(series)] += step.fish[size_t(series)];
        group.total = step.total;
        group.steps += step.steps;
        group.cleared += step.cleared;
    }
    return groups;
}

// Gridlines 1, 2 or 5 times a power of ten apart, at most five over the range.
int gridStep(int range)
{
    for (int power = 1;; power *= 10)
        for (const int factor : {1, 2, 5})
            if (range <= 5 * factor * power || power > 100'000'000)
                return factor * power;
}

struct TimeTick {
    QDateTime at;
    QString label;
};

// The first of a month that begins a period of so many months: a quarter begins in
// January, April, July or October; two years in an even year.
bool startsPeriod(const QDate& first, int months)
{
    return (first.month() - 1) % std::min(months, 12) == 0 && first.year() % std::max(months / 12, 1) == 0;
}

QDateTime midnight(const QDate& day, const QDateTime& like)
{
    return QDateTime(day, QTime(0, 0), Qt::OffsetFromUTC, like.offsetFromUtc());
}

// Days, weeks (Mondays), months, quarters, half years or years, the finest that gives at
// most kMaxTimeTicks marks between the two moments.
QList<TimeTick> timeTicks(const QDateTime& from, const QDateTime& to)
{
    struct Unit {
        int days, months;
    };
    const Unit units[] = {{1, 0}, {2, 0}, {7, 0}, {14, 0}, {0, 1}, {0, 3}, {0, 6}, {0, 12}, {0, 24}, {0, 60}};
    for (const Unit& unit : units) {
        QDate day = from.date().addDays(1);
        if (unit.days == 7 || unit.days == 14)
            day = day.addDays((8 - day.dayOfWeek()) % 7);
        if (unit.months) {
            day = QDate(from.date().year(), from.date().month(), 1).addMonths(1);
            while (!startsPeriod(day, unit.months))
                day = day.addMonths(1);
        }
        QList<TimeTick> ticks;
        for (; midnight(day, from) <= to && ticks.size() <= kMaxTimeTicks;
             day = unit.days ? day.addDays(unit.days) : day.addMonths(unit.months)) {
            const QString format = unit.months >= 12 ? QStringLiteral("yyyy")
                                   : unit.months  ? QStringLiteral("MMM yyyy")
                                                  : QStringLiteral("d MMM");
            ticks << TimeTick{midnight(day, from), day.toString(format)};
        }
        if (ticks.size() <= kMaxTimeTicks)
            return ticks;
    }
    return {};
}

class Frame {
public:
    Frame(const ChartPoints& points, ChartKind kind) : m_points(points.points), m_kind(kind)
    {
        m_from = m_points.first().from;
        m_span = std::max<qint64>(m_from.msecsTo(m_points.last().to), 1);
        int up = 0, down = 0;
        for (const ChartPoint& point : m_points)
            for (int series = 0; series < kSeries; ++series) {
                int& highest = series % 2 == 0 ? up : down;
                highest = std::max(highest, value(point, series));
            }
        m_step = gridStep(std::max(up + down, 1));
        m_upTop = std::max(m_step, (up + m_step - 1) / m_step * m_step);
        m_downBottom = std::max(m_step, (down + m_step - 1) / m_step * m_step);
    }

    int value(const ChartPoint& point, int series) const
    {
        return (m_kind == ChartKind::Between ? point.fish : point.total)[size_t(series)];
    }
    int x(const QDateTime& at) const { return int(std::lround(double(m_from.msecsTo(at)) * kWidth / m_span)); }
    double xPercent(const QDateTime& at) const { return double(m_from.msecsTo(at)) * 100.0 / m_span; }
    // Up above the zero line, down below it, on one scale.
    int y(int fish, bool up) const
    {
        const double perFish = double(kHeight) / (m_upTop + m_downBottom);
        return int(std::lround((m_upTop + (up ? -fish : fish)) * perFish));
    }

    QString grid() const
    {
        QString lines, labels;
        for (int fish = -m_downBottom; fish <= m_upTop; fish += m_step) {
            const int at = kTop + y(std::abs(fish), fish >= 0);
            lines += QStringLiteral("<line x1=\"0\" x2=\"100%\" y1=\"%1\" y2=\"%1\"%2/>")
                         .arg(at)
                         .arg(fish == 0 ? QStringLiteral(" class=\"zero\"") : QString());
            // Under its line, but over the lowest one.
            if (fish != 0)
                labels += QStringLiteral("<text x=\"2\" y=\"%1\">%2</text>")
                              .arg(fish == -m_downBottom ? at - 3 : at + 12)
                              .arg(number(std::abs(fish)));
        }
        return QStringLiteral("<g class=\"grid\">%1</g><g class=\"ylab\">%2</g>"
                              "<text class=\"dir\" x=\"100%\" y=\"%3\" text-anchor=\"end\">up</text>"
                              "<text class=\"dir\" x=\"100%\" y=\"%4\" text-anchor=\"end\">down</text>")
            .arg(lines, labels)
            .arg(kTop + 12)
            .arg(kTop + kHeight - 4);
    }

    QString timeAxis() const
    {
        QString text;
        const QList<TimeTick> ticks = timeTicks(m_from, m_points.last().to);
        for (qsizetype i = 0; i < ticks.size(); ++i) {
            const double at = xPercent(ticks[i].at);
            const QString anchor = at < 6    ? QStringLiteral("start")
                                   : at > 94 ? QStringLiteral("end")
                                             : QStringLiteral("middle");
            text += QStringLiteral("<line class=\"grid\" x1=\"%1%\" x2=\"%1%\" y1=\"%2\" y2=\"%3\"/>"
                                   "<text%4 x=\"%1%\" y=\"%5\" text-anchor=\"%6\">%7</text>")
                        .arg(at, 0, 'f', 2)
                        .arg(kTop)
                        .arg(kTop + kHeight)
                        .arg(i % 2 == 1 && ticks.size() > 3 ? QStringLiteral(" class=\"minor\"") : QString())
                        .arg(kAxisText)
                        .arg(anchor, ticks[i].label);
        }
        return text;
    }

    // Spans whose fish are not all known, behind the lines, and their word over them
    // while there are few enough to read.
    QString bands() const
    {
        QString rects;
        for (const ChartPoint& point : m_points)
            if (point.cleared > 0)
                rects += QStringLiteral("<rect class=\"band\" x=\"%1\" y=\"0\" width=\"%2\" height=\"%3\"/>")
                             .arg(x(point.from))
                             .arg(std::max(x(point.to) - x(point.from), 4))
                             .arg(kHeight);
        return rects;
    }

    QString bandWords() const
    {
        constexpr int kMostWords = 8;
        QString words;
        int count = 0;
        for (const ChartPoint& point : m_points)
            if (point.cleared > 0 && ++count <= kMostWords)
                words += QStringLiteral("<text class=\"bandword\" x=\"%1%\" y=\"%2\" "
                                        "text-anchor=\"middle\">cleared</text>")
                             .arg((xPercent(point.from) + xPercent(point.to)) / 2, 0, 'f', 2)
                             .arg(kTop - 2);
        return count <= kMostWords ? words : QString();
    }

    // Fish between visits: level over each span (a step line), broken where none of a
    // span's fish are known.
    QString betweenPath(int series) const
    {
        const bool up = series % 2 == 0;
        QString d;
        int lastX = -1, lastY = -1;
        for (const ChartPoint& point : m_points) {
            const int from = x(point.from), to = x(point.to), level = y(value(point, series), up);
            if (point.cleared == point.steps) {
                lastX = -1;
                continue;
            }
            if (lastX != from)
                d += QStringLiteral("M%1 %2").arg(from).arg(level);
            else if (lastY != level)
                d += QStringLiteral("V%1").arg(level);
            if (to != from)
                d += QStringLiteral("H%1").arg(to);
            lastX = to;
            lastY = level;
        }
        return d;
    }

    // The season's total: a line through its value at the end of each span, from zero at
    // the season's start.
    QString totalPath(int series) const
    {
        const bool up = series % 2 == 0;
        QString d = QStringLiteral("M0 %1L").arg(y(0, up));
        int lastX = 0;
        for (const ChartPoint& point : m_points) {
            const int at = x(point.to);
            if (at == lastX && &point != &m_points.last())
                continue;
            d += QStringLiteral("%1 %2 ").arg(at).arg(y(value(point, series), up));
            lastX = at;
        }
        return d.trimmed();
    }

private:
    const QList<ChartPoint>& m_points;
    ChartKind m_kind;
    QDateTime m_from;
    qint64 m_span = 1;
    int m_step = 1, m_upTop = 1, m_downBottom = 1;
};

} // namespace

ChartPoints reduced(const QList<ChartPoint>& steps)
{
    if (steps.size() <= kMaxPoints)
        return {steps, Grouping::Visit};
    const QList<ChartPoint> weeks = grouped(steps, Grouping::Week);
    if (weeks.size() <= kMaxWeeks)
        return {weeks, Grouping::Week};
    return {grouped(steps, Grouping::Month), Grouping::Month};
}

QString groupingNote(const ChartPoints& points)
{
    if (points.grouping == Grouping::Visit)
        return {};
    int steps = 0;
    for (const ChartPoint& point : points.points)
        steps += point.steps;
    const bool weeks = points.grouping == Grouping::Week;
    return QStringLiteral("One point a %1: the fish of %2 spans between visits, added up in %3 %4.")
        .arg(weeks ? QStringLiteral("week") : QStringLiteral("month"), number(steps), number(int(points.points.size())),
             weeks ? QStringLiteral("weeks") : QStringLiteral("months"));
}

QString chartSvg(const ChartPoints& points, ChartKind kind, const QString& label)
{
    if (points.points.isEmpty())
        return {};
    const Frame frame(points, kind);
    QString paths;
    for (int series = 0; series < kSeries; ++series)
        paths += QStringLiteral("<path class=\"s%1\" d=\"%2\"/>")
                     .arg(series / 2 + 1)
                     .arg(kind == ChartKind::Between ? frame.betweenPath(series) : frame.totalPath(series));
    // Put together in one pass: a text substituted in is never searched for markers again.
    const QString plot = QStringLiteral("<svg y=\"%1\" width=\"100%\" height=\"%2\" viewBox=\"0 0 %3 %2\" "
                                        "preserveAspectRatio=\"none\">")
                             .arg(kTop)
                             .arg(kHeight)
                             .arg(kWidth);
    return QStringLiteral("<svg class=\"chart\" width=\"100%\" height=\"%1\" role=\"img\" aria-label=\"%2\">")
               .arg(QString::number(kSvgHeight), escaped(label))
           + plot + frame.bands() + QStringLiteral("</svg>") + frame.grid() + frame.timeAxis() + frame.bandWords()
           + plot + paths + QStringLiteral("</svg></svg>\n");
}

QString legendHtml(const ChartPoints& points)
{
    QString items;
    for (int channel = 1; channel <= archive::kChannels; ++channel)
        items += QStringLiteral("<li><svg width=\"28\" height=\"10\"><path class=\"s%1\" d=\"M0 5H28\"/></svg>"
                                "Channel %1</li>")
                     .arg(channel);
    const bool cleared = std::any_of(points.points.begin(), points.points.end(),
                                     [](const ChartPoint& point) { return point.cleared > 0; });
    if (cleared)
        items += QStringLiteral("<li><span class=\"sw\"></span>Counts cleared on the counter: the fish of the span "
                                "are not known</li>");
    return QStringLiteral("<ul class=\"legend\">%1<li>Up above the line, down below it</li></ul>\n").arg(items);
}

} // namespace kfc::publish
