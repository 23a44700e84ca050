#pragma once
// The live chart of continuous update: the fish counted since the mode started, per
// channel (one colour each) and direction (up solid, down dashed), as stepped lines over
// the counter's clock, and the conductivity on a second axis at the right. It draws an
// UpdateSession and follows it line by line: each call copies only what changed, and it
// has no timer of its own.

#include <QChartView>

#include <array>

class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

namespace kfc {
class StepSeries;
class UpdateSession;
}

namespace kfc::status {

class LiveChart : public QChartView {
    Q_OBJECT
public:
    explicit LiveChart(QWidget* parent = nullptr);

    // Draws what changed in the session since the last call; a new run starts afresh.
    void follow(const UpdateSession& session);

    // A channel's line of one direction; null until it has counted a fish.
    QLineSeries* countSeries(int channel, bool up) const;
    QLineSeries* conductivitySeries() const { return m_conductivity.line; }
    // Where the time axis puts a time of the counter's clock (kept in UTC, shown as it
    // reads, whatever the PC's zone).
    static double axisTime(double counterMs);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Drawn {
        QLineSeries* line = nullptr;
        int revision = -1;
    };
    void startRun(const UpdateSession& session);
    QLineSeries* makeLine(const QString& name, const QPen& pen, QValueAxis* valueAxis);
    void orderLegend();
    static void copyChanges(const StepSeries& from, Drawn& to);
    void fitAxes(const UpdateSession& session);

    QDateTimeAxis* m_time = nullptr;
    QValueAxis* m_fish = nullptr;
    QValueAxis* m_conductivityAxis = nullptr;
    std::array<Drawn, 8> m_counts{};
    Drawn m_conductivity;
    int m_run = -1;
    // What the axes show, set again only when it changes.
    double m_timeFrom = 0, m_timeTo = 0, m_fishTop = 0, m_condLow = 0, m_condHigh = 0;
    // The lowest and highest conductivity of the run.
    double m_condMin = -1, m_condMax = -1;
};

} // namespace kfc::status
