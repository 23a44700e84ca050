#pragma once
// One run of continuous update as a whole: every line the record took since the mode
// started, and what a live chart draws of them: the fish counted per channel and
// direction, and the conductivity, each as a stepped line over the counter's clock.
// No I/O and no widgets: the status window feeds it line by line, draws it, and saves
// its lines.

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QPointF>

#include <array>
#include <functional>

namespace kfc {

struct CounterStatus;
struct UpdateLineResult;

// One line as the session keeps it.
struct SessionLine {
    enum class Kind { Fish, Conductivity, Clock };
    Kind kind = Kind::Clock;
    // The counter's clock as last reported when the line came (a "T" line's own time).
    QDateTime stamp;
    int channel = 0;     // a fish's, 1 to 4
    bool up = false;
    qint32 eventCount = 0;
    // A "C" line's numbers: sAtt and wAtt of channels 1 to 4, then the conductivity.
    std::array<qint32, 9> numbers{};
};

// A stepped line: the value holds from each point to the next and changes in a vertical
// riser. Its points are the start, a pair (before, after) at each change, and the end,
// which follows the latest clock. x is the counter's clock in milliseconds.
class StepSeries {
public:
    void start(double x, double value);
    // The value becomes `value` at x (never before the end). Changes at the same x make
    // one riser.
    void step(double x, double value);
    void extendTo(double x);
    // Keeps at most maxPoints (at least 6) by merging neighbouring changes into one at the
    // later one's time. The start, the end, the last change's time and the value now stay
    // exact.
    void thin(int maxPoints);

    const QList<QPointF>& points() const { return m_points; }
    double value() const { return m_points.isEmpty() ? 0 : m_points.last().y(); }
    bool hasSteps() const { return m_points.size() > 2; }
    // Goes up whenever points other than the last two may have changed (a thinning): a
    // copy of the points must then be taken again as a whole.
    int revision() const { return m_revision; }

private:
    QList<QPointF> m_points;
    int m_revision = 0;
};

class UpdateSession {
public:
    // Enough for a smooth line across a wide chart; a redraw stays cheap.
    static constexpr int kDefaultMaxPoints = 2000;
    // The PC's monotonic clock in milliseconds; by default since the session was made.
    using Now = std::function<qint64()>;
    explicit UpdateSession(int maxPointsPerSeries = kDefaultMaxPoints, Now now = {});

    // A new run from the record as the mode starts: no lines, no fish, the record's
    // conductivity, its clock as the start of the time axis.
    void start(const CounterStatus& status);
    // A line that the record has taken; status is the record after it. The kinds that
    // change nothing (Other, Rejected) add nothing. The counter reports its clock only at
    // the start and in a "T" line a minute: a fish or a "C" line is drawn at the clock last
    // reported plus the time passed on the PC since, and each "T" line sets it right.
    void add(const UpdateLineResult& result, const CounterStatus& status);
    void clear();

    const QList<SessionLine>& lines() const { return m_lines; }
    const StepSeries& counts(int channel, bool up) const;
    const StepSeries& conductivity() const { return m_conductivity; }
    // The start of the time axis and its latest time: the counter's clock in ms, never
    // going back (a clock set back holds the axis where it was).
    double startTime() const { return m_startMs; }
    double endTime() const { return m_endMs; }
    // Goes up by one at each start: whoever drew an earlier run starts afresh.
    int run() const { return m_run; }

private:
    double clockMs(const QDateTime& clock) const;
    qint64 pcNow() const;
    // Where a line that comes now goes on the time axis.
    double estimatedClockMs() const;
    void setClock(double counterMs);
    void addFish(int channel, bool up);
    void addConductivity(double value);
    void advanceClock(double ms);

    int m_maxPoints;
    Now m_now;
    QElapsedTimer m_pcClock;
    // The counter's clock as last reported, and the PC's clock at that moment.
    double m_reportedMs = 0;
    qint64 m_reportedAtPc = 0;
    int m_run = 0;
    QList<SessionLine> m_lines;
    std::array<StepSeries, 8> m_counts{};
    StepSeries m_conductivity;
    double m_startMs = 0;
    double m_endMs = 0;
};

} // namespace kfc
