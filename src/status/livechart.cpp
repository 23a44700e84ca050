#include "livechart.h"

#include "counter/counterstatus.h"
#include "counter/updatesession.h"

#include <QChart>
#include <QDateTimeAxis>
#include <QLegend>
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

QString timeFormat(double spanMs)
{
    if (spanMs <= 10 * 60 * 1000)
        return QStringLiteral("HH:mm:ss");
    if (spanMs <= 24 * 60 * 60 * 1000)
        return QStringLiteral("HH:mm");
    return QStringLiteral("d MMM HH:mm");
}

QPointF onAxis(const QPointF& point) { return {LiveChart::axisTime(point.x()), point.y()}; }

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
    setChart(chart);
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

QLineSeries* LiveChart::countSeries(int channel, bool up) const
{
    if (channel < 1 || channel > kChannelCount)
        return nullptr;
    return m_counts[countIndex(channel, up)].line;
}

QLineSeries* LiveChart::makeLine(const QString& name, const QPen& pen, QValueAxis* valueAxis)
{
    auto* line = new QLineSeries;
    line->setName(name);
    line->setPen(pen);
    chart()->addSeries(line);
    line->attachAxis(m_time);
    line->attachAxis(valueAxis);
    return line;
}

void LiveChart::startRun(const UpdateSession& session)
{
    chart()->removeAllSeries();
    m_counts = {};
    m_conductivity = {};
    m_run = session.run();
    m_timeFrom = m_timeTo = m_fishTop = m_condLow = m_condHigh = m_condMin = m_condMax = -1;
    m_conductivity.line = makeLine(QStringLiteral("Conductivity"), QPen(kConductivityColour, 1), m_conductivityAxis);
}

void LiveChart::orderLegend()
{
    // The legend lists the lines in the order they were added; a channel that counts its
    // first fish goes to its place, as the conductivity's comes last.
    QList<QLineSeries*> lines;
    for (const Drawn& drawn : m_counts) {
        if (drawn.line)
            lines << drawn.line;
    }
    lines << m_conductivity.line;
    for (QLineSeries* line : lines) {
        chart()->removeSeries(line);
        chart()->addSeries(line);
        line->attachAxis(m_time);
        line->attachAxis(line == m_conductivity.line ? m_conductivityAxis : m_fish);
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
            if (!drawn.line && !counts.hasSteps())
                continue;
            if (!drawn.line) {
                QPen pen(kChannelColours[size_t(channel - 1)], 2, up ? Qt::SolidLine : Qt::DashLine);
                drawn.line = makeLine(QStringLiteral("Ch %1 %2").arg(channel).arg(up ? QStringLiteral("up")
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

void LiveChart::copyChanges(const StepSeries& from, Drawn& to)
{
    const QList<QPointF>& points = from.points();
    if (to.revision != from.revision()) {
        QList<QPointF> all;
        all.reserve(points.size());
        for (const QPointF& point : points)
            all << onAxis(point);
        to.line->replace(all);
        to.revision = from.revision();
        return;
    }
    // Between thinnings a series changes only at its last two points and grows at its end.
    const int drawn = int(to.line->count());
    for (int i = std::max(0, drawn - 2); i < drawn; ++i) {
        const QPointF point = onAxis(points.at(i));
        if (to.line->at(i) != point)
            to.line->replace(i, point);
    }
    if (points.size() > drawn) {
        QList<QPointF> added;
        added.reserve(points.size() - drawn);
        for (qsizetype i = drawn; i < points.size(); ++i)
            added << onAxis(points.at(i));
        to.line->append(added);
    }
}

void LiveChart::fitAxes(const UpdateSession& session)
{
    const double from = axisTime(session.startTime());
    const double to = axisTime(std::max(session.endTime(), session.startTime() + kShortestSpanMs));
    if (from != m_timeFrom || to != m_timeTo) {
        m_timeFrom = from;
        m_timeTo = to;
        m_time->setFormat(timeFormat(to - from));
        m_time->setRange(QDateTime::fromMSecsSinceEpoch(qint64(from)), QDateTime::fromMSecsSinceEpoch(qint64(to)));
    }
    // Four intervals of whole fish, with some room above the highest line.
    double most = 0;
    for (int channel = 1; channel <= kChannelCount; ++channel)
        most = std::max({most, session.counts(channel, true).value(), session.counts(channel, false).value()});
    const double fishTop = std::max(4.0, std::ceil((most + std::ceil(most / 10)) / 4) * 4);
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
