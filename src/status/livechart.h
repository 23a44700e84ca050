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
//
// Lines with equal counts would lie on one another and hide each other and the
// conductivity: each count line is drawn a pixel or two off its value, through a hidden
// axis of its own that the visible fish axis moves with, and the conductivity is drawn
// over them all. A large chart names each line in a legend at its right; a small one, which
// has no room for that, keeps a row at its top that ties each colour to its channel and
// each kind of line to its direction.

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

    // How far above its value line `index` (channel 1 up, 1 down, 2 up, ...) is drawn, in
    // pixels; the lines of one count spread evenly around it.
    static double lineOffsetPx(int index);

    bool compact() const { return m_compact; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    // The compact legend's row.
    void drawForeground(QPainter* painter, const QRectF& rect) override;

private:
    struct Drawn {
        QLineSeries* older = nullptr;   // the one the legend names
        QLineSeries* recent = nullptr;
        QLineSeries* tail = nullptr;
        QValueAxis* axis = nullptr;     // the axis it is drawn against
        int revision = -1;
        // Where the older part ends and the recent one starts (a point of both).
        qsizetype split = 0;
    };
    static QList<QLineSeries*> piecesOf(const Drawn& drawn);
    void startRun(const UpdateSession& session);
    Drawn makeLine(const QString& name, const QPen& pen, QValueAxis* valueAxis);
    void addToChart(QLineSeries* line, QValueAxis* valueAxis);
    void orderLegend();
    // The fish axis from a little below 0, so that the lowest lines show whole, and the
    // hidden axis of each count line moved by that line's offset.
    void placeFishAxes();
    void copyChanges(const StepSeries& from, Drawn& to) const;
    void fitAxes(const UpdateSession& session);

    QDateTimeAxis* m_time = nullptr;
    QValueAxis* m_fish = nullptr;
    std::array<QValueAxis*, 8> m_lineAxes{};
    QValueAxis* m_conductivityAxis = nullptr;
    bool m_compact = false;
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
