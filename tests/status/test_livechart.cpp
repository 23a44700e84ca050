// The live chart after a fixed sequence of continuous-update lines, read from its series:
// stepped counts per channel and direction from zero at the mode's start, the
// conductivity from the record's value on, a clock that never goes back, and a new run
// that starts empty.

#include "counter/counterstatus.h"
#include "counter/updateline.h"
#include "counter/updatesession.h"
#include "status/livechart.h"

#include <QApplication>
#include <QLineSeries>
#include <QTest>

using namespace kfc;
using status::LiveChart;

namespace {

const QDateTime kStart(QDate(2026, 12, 25), QTime(10, 0, 0), Qt::UTC);

// Points given as (seconds after the start, value), as the chart's axis holds them.
QList<QPointF> onAxis(const QList<QPointF>& points)
{
    QList<QPointF> mapped;
    for (const QPointF& p : points)
        mapped << QPointF(LiveChart::axisTime(double(kStart.toMSecsSinceEpoch()) + p.x() * 1000), p.y());
    return mapped;
}

// A line as drawn: its pieces one after the other, each starting where the one before
// ends (a piece that does not shows as a point at -1, -1).
QList<QPointF> pointsOf(const QList<QLineSeries*>& pieces)
{
    QList<QPointF> points;
    for (const QLineSeries* piece : pieces) {
        QList<QPointF> more = piece->points();
        if (!points.isEmpty()) {
            if (more.isEmpty() || more.first() != points.last())
                points << QPointF(-1, -1);
            else
                more.removeFirst();
        }
        points += more;
    }
    return points;
}

const QStringList kLines{"F1U 1", "F1U 2", "T25/12/26 10:01:00", "F1U 3", "F2D 4", "C 1 2 3 4 5 6 7 8 120",
                         "X", "F9U 5", "T25/12/26 10:02:30", "C 1 2 3 4 5 6 7 8 90"};

} // namespace

class TestLiveChart : public QObject {
    Q_OBJECT
private slots:
    void seriesFollowTheLines_data();
    void seriesFollowTheLines();
};

void TestLiveChart::seriesFollowTheLines_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("restart");
    QTest::addColumn<QString>("series");
    QTest::addColumn<QList<QPointF>>("points");
    // Fish of the same clock make one riser; a "T" line carries every line on to it.
    QTest::newRow("channel 1 up") << kLines << false << "1U"
                                  << QList<QPointF>{{0, 0}, {0, 0}, {0, 2}, {60, 2}, {60, 3}, {150, 3}};
    QTest::newRow("channel 2 down") << kLines << false << "2D"
                                    << QList<QPointF>{{0, 0}, {60, 0}, {60, 1}, {150, 1}};
    QTest::newRow("a direction without fish has no line") << kLines << false << "1D" << QList<QPointF>{};
    QTest::newRow("conductivity from the read's value")
        << kLines << false << "C"
        << QList<QPointF>{{0, 100}, {60, 100}, {60, 120}, {150, 120}, {150, 90}, {150, 90}};
    QTest::newRow("a clock set back holds the axis")
        << QStringList{"T25/12/26 10:05:00", "F1U 1", "T25/12/26 09:00:00", "F1U 2"} << false << "1U"
        << QList<QPointF>{{0, 0}, {300, 0}, {300, 2}, {300, 2}};
    QTest::newRow("the next run starts without fish") << kLines << true << "1U" << QList<QPointF>{};
    QTest::newRow("the next run's conductivity") << kLines << true << "C" << QList<QPointF>{{0, 90}, {0, 90}};
}

void TestLiveChart::seriesFollowTheLines()
{
    QFETCH(QStringList, lines);
    QFETCH(bool, restart);
    QFETCH(QString, series);
    QFETCH(QList<QPointF>, points);
    CounterStatus record;
    record.dateTime = kStart;
    record.conductivity = 100;
    UpdateSession session;
    session.start(record);
    LiveChart chart;
    chart.follow(session);
    for (const QString& line : lines) {
        session.add(ApplyUpdateLine(record, line), record);
        chart.follow(session);
    }
    if (restart) {
        record.dateTime = kStart;
        session.start(record);
        chart.follow(session);
    }
    const bool conductivity = series == "C";
    const int channel = conductivity ? 0 : series.at(0).digitValue();
    const bool up = !conductivity && series.at(1) == 'U';
    const QList<QPointF> drawn = pointsOf(conductivity ? chart.conductivityPieces() : chart.countPieces(channel, up));
    QCOMPARE(drawn, onAxis(points));
}

QTEST_MAIN(TestLiveChart)
#include "test_livechart.moc"
