#pragma once
// The live chart of continuous update: the fish counted since the mode started, per
// channel (one colour each) and direction (up solid, down dashed), as stepped lines over
// the counter's clock, and the conductivity on a second axis at the right. It draws an
// UpdateSession and follows it line by line: each call copies only what changed, and it
// has no timer of its own.
//
// Qt Charts lays a whole line out again whenever one of its points changes, and the
// counter's clock moves the end of every line. So each line is drawn in three pieces that
// join end to start: the older part, laid out again only now and then; the recent part,
// a few dozen points up to the last change, which a fish (or a "C" line) changes; and the
// tail, two points from there to the clock now, which follows each "T" line.

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

    // The pieces of a channel's line of one direction, in order; none until it has counted
    // a fish.
    QList<QLineSeries*> countPieces(int channel, bool up) const;
    QList<QLineSeries*> conductivityPieces() const;
    // Where the time axis puts a time of the counter's clock (kept in UTC, shown as it
    // reads, whatever the PC's zone).
    static double axisTime(double counterMs);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Drawn {
        QLineSeries* older = nullptr;   // the one the legend names
        QLineSeries* recent = nullptr;
        QLineSeries* tail = nullptr;
        int revision = -1;
        // Where the older part ends and the recent one starts (a point of both).
        qsizetype split = 0;
    };
    static QList<QLineSeries*> piecesOf(const Drawn& drawn);
    void startRun(const UpdateSession& session);
    Drawn makeLine(const QString& name, const QPen& pen, QValueAxis* valueAxis);
    void addToChart(QLineSeries* line, QValueAxis* valueAxis);
    void orderLegend();
    void copyChanges(const StepSeries& from, Drawn& to) const;
    void fitAxes(const UpdateSession& session);

    QDateTimeAxis* m_time = nullptr;
    QValueAxis* m_fish = nullptr;
    QValueAxis* m_conductivityAxis = nullptr;
    std::array<Drawn, 8> m_counts{};
    Drawn m_conductivity;
    int m_run = -1;
    // From the counter's clock to the time axis.
    double m_axisShift = 0;
    // What the axes show, set again only when it changes.
    double m_timeFrom = 0, m_timeTo = 0, m_fishTop = 0, m_condLow = 0, m_condHigh = 0;
    // The lowest and highest conductivity of the run.
    double m_condMin = -1, m_condMax = -1;
};

} // namespace kfc::status
