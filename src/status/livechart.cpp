#include "livechart.h"

#include "counter/counterstatus.h"
#include "counter/updatesession.h"

#include <QChart>
#include <QDateTimeAxis>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QResizeEvent>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace kfc::status {

namespace {

// One colour per channel, told apart also by those who confuse red and green.
const std::array<QColor, kChannelCount> kChannelColours{QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e),
                                                        QColor(0x2c, 0xa0, 0x2c), QColor(0x94, 0x67, 0xbd)};
const QColor kConductivityColour(0x70, 0x70, 0x70);
// The time axis spans at least this much, so that the first minutes are not one column.
constexpr double kShortestSpanMs = 60 * 1000;
// Below this size the chart leaves out its legend and axis titles.
constexpr int kRoomyWidth = 520;
constexpr int kRoomyHeight = 220;

size_t countIndex(int channel, bool up) { return size_t(2 * (channel - 1) + (up ? 0 : 1)); }

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
    m_fish->setTickCount(5);
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
    chart->addAxis(m_conductivityAxis, Qt::AlignRight);
    // The view lets go of the chart it was made with, and that one would be left behind.
    QChart* initial = this->chart();
    setChart(chart);
    delete initial;
}

void LiveChart::resizeEvent(QResizeEvent* event)
{
    // In a small frame the lines get the room: no legend, no axis titles, fewer labels.
    const bool compact = event->size().width() < kRoomyWidth || event->size().height() < kRoomyHeight;
    chart()->legend()->setVisible(!compact);
    m_fish->setTitleVisible(!compact);
    m_conductivityAxis->setTitleVisible(!compact);
    const int ticks = compact ? 3 : 5;
    m_fish->setTickCount(ticks);
    m_conductivityAxis->setTickCount(ticks);
    m_time->setTickCount(ticks);
    QChartView::resizeEvent(event);
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
    for (QLineSeries** piece : {&drawn.older, &drawn.recent, &drawn.tail}) {
        *piece = new QLineSeries;
        (*piece)->setName(name);
        (*piece)->setPen(pen);
        addToChart(*piece, valueAxis);
    }
    // The legend names each line once.
    for (QLineSeries* piece : {drawn.recent, drawn.tail}) {
        for (QLegendMarker* marker : chart()->legend()->markers(piece))
            marker->setVisible(false);
    }
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
    m_conductivity = makeLine(QStringLiteral("Conductivity"), QPen(kConductivityColour, 1), m_conductivityAxis);
}

void LiveChart::orderLegend()
{
    // The legend lists the lines in the order they were added; a channel that counts its
    // first fish goes to its place, as the conductivity's comes last.
    QList<Drawn> lines;
    for (const Drawn& drawn : m_counts) {
        if (drawn.older)
            lines << drawn;
    }
    lines << m_conductivity;
    for (const Drawn& drawn : lines) {
        QValueAxis* axis = drawn.older == m_conductivity.older ? m_conductivityAxis : m_fish;
        chart()->removeSeries(drawn.older);
        addToChart(drawn.older, axis);
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
                                 pen, m_fish);
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
        m_fish->setRange(0, fishTop);
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
