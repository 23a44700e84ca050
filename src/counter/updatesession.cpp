#include "updatesession.h"

#include "counterstatus.h"
#include "updateline.h"

#include <algorithm>
#include <stdexcept>

namespace kfc {

// ---- a stepped line -------------------------------------------------------------------

void StepSeries::start(double x, double value)
{
    m_points = {QPointF(x, value), QPointF(x, value)};
    ++m_revision;
}

void StepSeries::step(double x, double value)
{
    const double before = this->value();
    if (value == before) {
        extendTo(x);
        return;
    }
    m_points.removeLast();
    // A change at the time of the last riser joins it; the start is no riser.
    if (m_points.size() > 2 && m_points.last().x() == x)
        m_points.last().setY(value);
    else
        m_points << QPointF(x, before) << QPointF(x, value);
    m_points << QPointF(x, value);
}

void StepSeries::extendTo(double x)
{
    if (!m_points.isEmpty() && x > m_points.last().x())
        m_points.last().setX(x);
}

void StepSeries::thin(int maxPoints)
{
    maxPoints = std::max(maxPoints, 6);
    if (m_points.size() <= maxPoints)
        return;
    // Change k is the pair of points 1 + 2k (before) and 2 + 2k (after). Each two
    // neighbours become one at the later one's time, from the first one's value before to
    // the second one's after.
    const int changes = int(m_points.size() - 2) / 2;
    QList<QPointF> thinned;
    thinned.reserve(2 + changes + 1);
    thinned << m_points.first();
    for (int k = 0; k < changes; k += 2) {
        const int later = std::min(k + 1, changes - 1);
        const double x = m_points.at(1 + 2 * later).x();
        thinned << QPointF(x, m_points.at(1 + 2 * k).y()) << QPointF(x, m_points.at(2 + 2 * later).y());
    }
    thinned << m_points.last();
    m_points = std::move(thinned);
    ++m_revision;
    // Once is not always enough for a small bound.
    thin(maxPoints);
}

// ---- the session ----------------------------------------------------------------------

UpdateSession::UpdateSession(int maxPointsPerSeries, Now now) : m_maxPoints(maxPointsPerSeries), m_now(std::move(now))
{
    m_pcClock.start();
}

qint64 UpdateSession::pcNow() const { return m_now ? m_now() : m_pcClock.elapsed(); }

void UpdateSession::setClock(double counterMs)
{
    m_reportedMs = counterMs;
    m_reportedAtPc = pcNow();
}

double UpdateSession::estimatedClockMs() const
{
    return std::max(m_endMs, m_reportedMs + double(pcNow() - m_reportedAtPc));
}

double UpdateSession::clockMs(const QDateTime& clock) const
{
    return clock.isValid() ? std::max(double(clock.toMSecsSinceEpoch()), m_endMs) : m_endMs;
}

void UpdateSession::start(const CounterStatus& status)
{
    clear();
    ++m_run;
    m_startMs = status.dateTime.isValid() ? double(status.dateTime.toMSecsSinceEpoch()) : 0;
    m_endMs = m_startMs;
    setClock(m_startMs);
    for (StepSeries& series : m_counts)
        series.start(m_startMs, 0);
    m_conductivity.start(m_startMs, status.conductivity);
}

void UpdateSession::clear()
{
    m_lines.clear();
    for (StepSeries& series : m_counts)
        series = StepSeries();
    m_conductivity = StepSeries();
    m_startMs = m_endMs = 0;
}

const StepSeries& UpdateSession::counts(int channel, bool up) const
{
    if (channel < 1 || channel > kChannelCount)
        throw std::out_of_range("no such channel");
    return m_counts[size_t(2 * (channel - 1) + (up ? 0 : 1))];
}

void UpdateSession::add(const UpdateLineResult& result, const CounterStatus& status)
{
    SessionLine line;
    line.stamp = status.dateTime;
    switch (result.kind) {
    case UpdateLineResult::Kind::Fish:
        line.kind = SessionLine::Kind::Fish;
        line.channel = result.channel;
        line.up = result.up;
        line.eventCount = status.eventCount;
        advanceClock(estimatedClockMs());
        addFish(result.channel, result.up);
        break;
    case UpdateLineResult::Kind::Conductivity:
        line.kind = SessionLine::Kind::Conductivity;
        for (int n = 1; n <= kChannelCount; ++n) {
            line.numbers[size_t(2 * (n - 1))] = status.channel(n).sAtt;
            line.numbers[size_t(2 * (n - 1) + 1)] = status.channel(n).wAtt;
        }
        line.numbers[8] = status.conductivity;
        advanceClock(estimatedClockMs());
        addConductivity(status.conductivity);
        break;
    case UpdateLineResult::Kind::Clock:
        line.kind = SessionLine::Kind::Clock;
        // The counter's own word: later lines count on from it, even where the estimate
        // had run ahead (the axis itself never goes back).
        if (status.dateTime.isValid())
            setClock(double(status.dateTime.toMSecsSinceEpoch()));
        advanceClock(clockMs(status.dateTime));
        break;
    case UpdateLineResult::Kind::Other:
    case UpdateLineResult::Kind::Rejected:
        return;
    }
    m_lines << line;
}

void UpdateSession::addFish(int channel, bool up)
{
    auto& series = m_counts[size_t(2 * (channel - 1) + (up ? 0 : 1))];
    series.step(m_endMs, series.value() + 1);
    series.thin(m_maxPoints);
}

void UpdateSession::addConductivity(double value)
{
    m_conductivity.step(m_endMs, value);
    m_conductivity.thin(m_maxPoints);
}

void UpdateSession::advanceClock(double ms)
{
    m_endMs = ms;
    for (StepSeries& series : m_counts)
        series.extendTo(ms);
    m_conductivity.extendTo(ms);
}

} // namespace kfc
