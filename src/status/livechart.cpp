#include "livechart.h"

#include "counter/counterstatus.h"
#include "counter/updatesession.h"

#include <QChart>
#include <QDateTimeAxis>
#include <QFontMetrics>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QResizeEvent>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace kfc::status {

namespace {

// One colour per channel, told apart also by those who confuse red and green.
const std::array<QColor, kChannelCount> kChannelColours{QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e),
                                                        QColor(0x2c, 0xa0, 0x2c), QColor(0x94, 0x67, 0xbd)};
const QColor kConductivityColour(0x50, 0x50, 0x50);
// The time axis spans at least this much, so that the first minutes are not one column.
constexpr double kShortestSpanMs = 60 * 1000;
// Below this size the chart leaves out its axis titles and names its lines in short.
constexpr int kRoomyWidth = 520;
constexpr int kRoomyHeight = 220;
// Neighbouring count lines are drawn this far apart, in pixels, and the fish axis starts
// this far below 0, so that the lowest of them shows whole.
constexpr double kLineSpacingPx = 1.5;
constexpr double kBelowZeroPx = 7;

size_t countIndex(int channel, bool up) { return size_t(2 * (channel - 1) + (up ? 0 : 1)); }


// A piece of a line that continues another: the legend names the line once.
void hideFromLegend(QChart* chart, QLineSeries* piece)
{
    for (QLegendMarker* marker : chart->legend()->markers(piece))
        marker->setVisible(false);
}

constexpr double kMinuteMs = 60 * 1000;

// The least of 4, 8, 12, 20, 40, 80, 120, 200, ... that holds at least `fish`: four (or two)
// intervals of whole fish.
double roundFishTop(double fish)
{
    for (double scale = 1;; scale *= 10) {
        for (double step : {4.0, 8.0, 12.0, 20.0}) {
            if (step * scale >= fish)
                return step * scale;
        }
    }
}

QString timeFormat(double spanMs)
{
    if (spanMs <= 10 * 60 * 1000)
        return QStringLiteral("HH:mm:ss");
    if (spanMs <= 24 * 60 * 60 * 1000)
        return QStringLiteral("HH:mm");
    return QStringLiteral("d MMM HH:mm");
}

QList<QPointF> shifted(const QList<QPointF>& points, double dx)
{
    QList<QPointF> moved;
    moved.reserve(points.size());
    for (const QPointF& point : points)
        moved << QPointF(point.x() + dx, point.y());
    return moved;
}

// The recent part of a line holds up to this many points; then the older part takes
// all but half of them.
constexpr qsizetype kRecentPoints = 64;

} // namespace

LiveChart::LiveChart(QWidget* parent) : QChartView(parent)
{
    setObjectName(QStringLiteral("liveChart"));
    setRenderHint(QPainter::Antialiasing);
    auto* chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->setBackgroundRoundness(0);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->legend()->setFont(small);
    // A short piece of each line, so that up (solid) and down (dashed) show there too.
    chart->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);

    m_time = new QDateTimeAxis;
    m_time->setTickCount(5);
    m_time->setLabelsFont(small);
    m_fish = new QValueAxis;
    m_fish->setTitleText(QStringLiteral("Fish"));
    m_fish->setLabelFormat(QStringLiteral("%d"));
    // Whole fish from 0, wherever the axis itself starts.
    m_fish->setTickType(QValueAxis::TicksDynamic);
    m_fish->setTickAnchor(0);
    m_fish->setLabelsFont(small);
    m_fish->setTitleFont(small);
    m_conductivityAxis = new QValueAxis;
    m_conductivityAxis->setTitleText(QStringLiteral("Conductivity"));
    m_conductivityAxis->setLabelFormat(QStringLiteral("%d"));
    m_conductivityAxis->setTickCount(5);
    m_conductivityAxis->setLabelsFont(small);
    m_conductivityAxis->setTitleFont(small);
    m_conductivityAxis->setGridLineVisible(false);
    chart->addAxis(m_time, Qt::AlignBottom);
    chart->addAxis(m_fish, Qt::AlignLeft);
    for (QValueAxis*& axis : m_lineAxes) {
        axis = new QValueAxis;
        axis->setVisible(false);
        chart->addAxis(axis, Qt::AlignLeft);
    }
    chart->addAxis(m_conductivityAxis, Qt::AlignRight);
    // Queued: the chart is in the middle of its layout when it says so, and a range set
    // then would leave that layout half done.
    connect(chart, &QChart::plotAreaChanged, this, &LiveChart::placeFishAxes, Qt::QueuedConnection);
    // The view lets go of the chart it was made with, and that one would be left behind.
    QChart* initial = this->chart();
    setChart(chart);
    delete initial;
}

void LiveChart::resizeEvent(QResizeEvent* event)
{
    // In a small frame the lines get the room: no axis titles, fewer labels, and the legend
    // in one row at the top.
    m_compact = event->size().width() < kRoomyWidth || event->size().height() < kRoomyHeight;
    chart()->legend()->setVisible(!m_compact);
    const int row = m_compact ? QFontMetrics(chart()->legend()->font()).height() + 2 : 0;
    chart()->setMargins(QMargins(2, 2 + row, 2, 2));
    m_fish->setTitleVisible(!m_compact);
    m_conductivityAxis->setTitleVisible(!m_compact);
    const int ticks = m_compact ? 3 : 5;
    m_conductivityAxis->setTickCount(ticks);
    m_time->setTickCount(ticks);
    QChartView::resizeEvent(event);
}

void LiveChart::drawForeground(QPainter* painter, const QRectF& rect)
{
    QChartView::drawForeground(painter, rect);
    if (!m_compact)
        return;
    // "■1 ■2 ■3 ■4   ── up   ╌╌ down   ── cond.": the colour is the channel, the line the
    // direction; the row is as wide as the chart has room for it.
    const QFont font = chart()->legend()->font();
    const QFontMetricsF metrics(font);
    const QRectF area = chart()->geometry();
    const double middle = area.top() + 2 + metrics.height() / 2;
    const double sample = metrics.horizontalAdvance(QStringLiteral("MM"));
    const double gap = metrics.horizontalAdvance(QLatin1Char(' '));
    double x = area.left() + 2 + gap;
    painter->save();
    painter->setFont(font);
    painter->setRenderHint(QPainter::Antialiasing);
    auto text = [&](const QString& words) {
        painter->setPen(palette().color(QPalette::WindowText));
        painter->drawText(QPointF(x, middle + (metrics.ascent() - metrics.descent()) / 2), words);
        x += metrics.horizontalAdvance(words) + 2 * gap;
    };
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        const double side = metrics.ascent() * 0.7;
        painter->fillRect(QRectF(x, middle - side / 2, side, side), kChannelColours[size_t(channel - 1)]);
        x += side + gap / 2;
        text(QString::number(channel));
    }
    auto line = [&](const QPen& pen, const QString& words) {
        painter->setPen(pen);
        painter->drawLine(QPointF(x, middle), QPointF(x + sample, middle));
        x += sample + gap;
        text(words);
    };
    const QColor neutral = palette().color(QPalette::WindowText);
    line(QPen(neutral, 2, Qt::SolidLine), QStringLiteral("up"));
    line(QPen(neutral, 2, Qt::DashLine), QStringLiteral("down"));
    line(QPen(kConductivityColour, 1.5), QStringLiteral("cond."));
    painter->restore();
}

double LiveChart::lineOffsetPx(int index) { return (index - 3.5) * kLineSpacingPx; }

void LiveChart::placeFishAxes()
{
    const double top = std::max(m_fishTop, 1.0);
    const double height = chart()->plotArea().height();
    const double span = height > 2 * kBelowZeroPx ? top * height / (height - kBelowZeroPx) : top;
    const double perPx = height > 2 * kBelowZeroPx ? span / height : 0;
    const double bottom = top - span;
    // Set only when it changes: a change lays every line out again.
    auto place = [](QValueAxis* axis, double from, double to) {
        if (!qFuzzyCompare(axis->min() + 1, from + 1) || !qFuzzyCompare(axis->max() + 1, to + 1))
            axis->setRange(from, to);
    };
    m_fish->setTickInterval(top / (m_compact ? 2 : 4));
    place(m_fish, bottom, top);
    for (int index = 0; index < int(m_lineAxes.size()); ++index) {
        const double shift = lineOffsetPx(index) * perPx;
        place(m_lineAxes[size_t(index)], bottom - shift, top - shift);
    }
}



double LiveChart::axisTime(double counterMs)
{
    // The axis shows local time; the counter's clock is shown as it reads.
    const QDateTime clock = QDateTime::fromMSecsSinceEpoch(qint64(counterMs), Qt::UTC);
    return double(QDateTime(clock.date(), clock.time()).toMSecsSinceEpoch());
}

QList<QLineSeries*> LiveChart::piecesOf(const Drawn& drawn)
{
    if (!drawn.older)
        return {};
    return {drawn.older, drawn.recent, drawn.tail};
}

QList<QLineSeries*> LiveChart::countPieces(int channel, bool up) const
{
    if (channel < 1 || channel > kChannelCount)
        return {};
    return piecesOf(m_counts[countIndex(channel, up)]);
}

QList<QLineSeries*> LiveChart::conductivityPieces() const { return piecesOf(m_conductivity); }

void LiveChart::addToChart(QLineSeries* line, QValueAxis* valueAxis)
{
    chart()->addSeries(line);
    line->attachAxis(m_time);
    line->attachAxis(valueAxis);
}

LiveChart::Drawn LiveChart::makeLine(const QString& name, const QPen& pen, QValueAxis* valueAxis)
{
    Drawn drawn;
    drawn.axis = valueAxis;
    for (QLineSeries** piece : {&drawn.older, &drawn.recent, &drawn.tail}) {
        *piece = new QLineSeries;
        (*piece)->setName(name);
        (*piece)->setPen(pen);
        addToChart(*piece, valueAxis);
    }
    for (QLineSeries* piece : {drawn.recent, drawn.tail})
        hideFromLegend(chart(), piece);
    return drawn;
}

void LiveChart::startRun(const UpdateSession& session)
{
    chart()->removeAllSeries();
    m_counts = {};
    m_run = session.run();
    // The zone's offset at the run's start: reading the zone for every point costs more
    // than drawing it.
    m_axisShift = axisTime(session.startTime()) - session.startTime();
    m_timeFrom = m_timeTo = m_fishTop = m_condLow = m_condHigh = m_condMin = m_condMax = -1;
    m_conductivity = makeLine(QStringLiteral("Conductivity"), QPen(kConductivityColour, 1.5), m_conductivityAxis);
}

void LiveChart::orderLegend()
{
    // The legend lists the lines in the order they were added, and they are drawn in that
    // order: a channel that counts its first fish goes to its place, and the conductivity,
    // the whole of it, comes last, over the counts.
    for (const Drawn& drawn : m_counts) {
        if (!drawn.older)
            continue;
        chart()->removeSeries(drawn.older);
        addToChart(drawn.older, drawn.axis);
    }
    for (QLineSeries* piece : piecesOf(m_conductivity)) {
        chart()->removeSeries(piece);
        addToChart(piece, m_conductivityAxis);
        if (piece != m_conductivity.older)
            hideFromLegend(chart(), piece);
    }
}

void LiveChart::follow(const UpdateSession& session)
{
    if (session.run() != m_run)
        startRun(session);
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        for (bool up : {true, false}) {
            const StepSeries& counts = session.counts(channel, up);
            Drawn& drawn = m_counts[countIndex(channel, up)];
            if (!drawn.older && !counts.hasSteps())
                continue;
            if (!drawn.older) {
                QPen pen(kChannelColours[size_t(channel - 1)], 2, up ? Qt::SolidLine : Qt::DashLine);
                drawn = makeLine(QStringLiteral("Ch %1 %2").arg(channel).arg(up ? QStringLiteral("up")
                                                                                 : QStringLiteral("down")),
                                 pen, m_lineAxes[countIndex(channel, up)]);
                orderLegend();
            }
            copyChanges(counts, drawn);
        }
    }
    copyChanges(session.conductivity(), m_conductivity);
    fitAxes(session);
}

void LiveChart::copyChanges(const StepSeries& from, Drawn& to) const
{
    // Between thinnings a line changes only at its last change and its end, and grows
    // there: the points before the recent part stay as they are.
    const QList<QPointF>& points = from.points();
    if (points.size() < 2)
        return;
    const qsizetype lastChange = points.size() - 2;
    const bool rethinned = to.revision != from.revision();
    to.revision = from.revision();
    const bool resplit = rethinned || lastChange - to.split > kRecentPoints;
    if (resplit) {
        to.split = std::max<qsizetype>(0, lastChange - kRecentPoints / 2);
        to.older->replace(shifted(points.mid(0, to.split + 1), m_axisShift));
    }
    const qsizetype recentCount = lastChange - to.split + 1;
    if (resplit || to.recent->count() != recentCount
        || to.recent->points().last() != points.at(lastChange) + QPointF(m_axisShift, 0))
        to.recent->replace(shifted(points.mid(to.split, recentCount), m_axisShift));
    const QList<QPointF> tail = shifted(points.mid(lastChange, 2), m_axisShift);
    if (to.tail->points() != tail)
        to.tail->replace(tail);
}

void LiveChart::fitAxes(const UpdateSession& session)
{
    // A change of an axis lays every line out anew, so the axes are set only now and then:
    // the time axis runs ahead of the clock by an eighth of its span (whole minutes), and
    // the fish axis grows in a few round steps.
    const double start = session.startTime();
    const double end = session.endTime();
    if (start != m_timeFrom || end > m_timeTo) {
        m_timeFrom = start;
        const double ahead = std::max(kShortestSpanMs, (end - start) / 8);
        m_timeTo = start + std::max(kShortestSpanMs, std::ceil((end + ahead - start) / kMinuteMs) * kMinuteMs);
        m_time->setFormat(timeFormat(m_timeTo - m_timeFrom));
        m_time->setRange(QDateTime::fromMSecsSinceEpoch(qint64(m_timeFrom + m_axisShift)),
                         QDateTime::fromMSecsSinceEpoch(qint64(m_timeTo + m_axisShift)));
    }
    double most = 0;
    for (int channel = 1; channel <= kChannelCount; ++channel)
        most = std::max({most, session.counts(channel, true).value(), session.counts(channel, false).value()});
    const double fishTop = roundFishTop(most + std::ceil(most / 10));
    if (fishTop != m_fishTop) {
        m_fishTop = fishTop;
        placeFishAxes();
    }
    // Conductivity with a margin, in steps of five; the range takes in every value of the
    // run, so that the line does not jump about as it moves.
    const double value = session.conductivity().value();
    m_condMin = m_condMin < 0 ? value : std::min(m_condMin, value);
    m_condMax = std::max(m_condMax, value);
    const double low = std::max(0.0, std::floor((m_condMin - 5) / 10) * 10);
    double high = std::ceil((m_condMax + 5) / 10) * 10;
    if (std::fmod(high - low, 20) != 0)
        high += 10;
    if (low != m_condLow || high != m_condHigh) {
        m_condLow = low;
        m_condHigh = high;
        m_conductivityAxis->setRange(low, high);
    }
}

} // namespace kfc::status
