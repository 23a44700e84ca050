// The live chart after a fixed sequence of continuous-update lines, read from its series:
// stepped counts per channel and direction from zero at the mode's start, the
// conductivity from the record's value on, a clock that never goes back, fish placed by
// the time passed since the clock was last reported, and a new run that starts empty.
// Then what the eye needs at the window's usual size: a legend, and lines with equal
// counts drawn apart with the conductivity over them.

#include "counter/counterstatus.h"
#include "counter/updateline.h"
#include "counter/updatesession.h"
#include "status/livechart.h"

#include <QApplication>
#include <QLegend>
#include <QLegendMarker>
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
    void everyLineCanBeToldApart_data();
    void everyLineCanBeToldApart();
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
    // "@N" is the PC's clock, in seconds since the run started, when the next line comes.
    QTest::newRow("fish by the time passed since the read")
        << QStringList{"@20", "F1U 1", "@45", "F1U 2"} << false << "1U"
        << QList<QPointF>{{0, 0}, {20, 0}, {20, 1}, {45, 1}, {45, 2}, {45, 2}};
    QTest::newRow("a T line sets the clock right")
        << QStringList{"@50", "T25/12/26 10:00:40", "@55", "F1U 1"} << false << "1U"
        << QList<QPointF>{{0, 0}, {45, 0}, {45, 1}, {45, 1}};
    QTest::newRow("a T line behind the estimate holds the axis")
        << QStringList{"@50", "F1U 1", "T25/12/26 10:00:30", "@52", "F1U 2"} << false << "1U"
        << QList<QPointF>{{0, 0}, {50, 0}, {50, 2}, {50, 2}};
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
    qint64 pcMs = 0;
    UpdateSession session(UpdateSession::kDefaultMaxPoints, [&pcMs] { return pcMs; });
    session.start(record);
    LiveChart chart;
    chart.follow(session);
    for (const QString& line : lines) {
        if (line.startsWith('@')) {
            pcMs = line.mid(1).toLongLong() * 1000;
            continue;
        }
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

void TestLiveChart::everyLineCanBeToldApart_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("compact");
    // Beside the list of lines at the frame's usual size, and in a large frame.
    QTest::newRow("usual size") << QSize(275, 110) << true;
    QTest::newRow("large") << QSize(700, 420) << false;
}

void TestLiveChart::everyLineCanBeToldApart()
{
    QFETCH(QSize, size);
    QFETCH(bool, compact);
    CounterStatus record;
    record.dateTime = kStart;
    record.conductivity = 100;
    UpdateSession session(UpdateSession::kDefaultMaxPoints, [] { return 0; });
    session.start(record);
    LiveChart chart;
    chart.resize(size);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    // One fish each way on channel 1 and one up on channel 2: three lines at 1, and the
    // conductivity's on the same height of the chart.
    for (const char* line : {"F1U 1", "F1D 2", "F2U 3"}) {
        session.add(ApplyUpdateLine(record, line), record);
        chart.follow(session);
    }
    QTest::qWait(50);
    QCOMPARE(chart.compact(), compact);

    // Drawn apart, every one a pixel or more from the others.
    QList<double> heights;
    for (auto [channel, up] : {std::pair{1, true}, {1, false}, {2, true}}) {
        QLineSeries* line = chart.countPieces(channel, up).value(0);
        QVERIFY(line);
        heights << chart.chart()->mapToPosition(line->points().last(), line).y();
    }
    for (int a = 0; a < heights.size(); ++a)
        for (int b = a + 1; b < heights.size(); ++b)
            QVERIFY2(std::abs(heights[a] - heights[b]) >= 1, qPrintable(QStringLiteral("%1 %2").arg(heights[a]).arg(heights[b])));
    // The conductivity over them all.
    const QList<QAbstractSeries*> drawnOrder = chart.chart()->series();
    for (QLineSeries* piece : chart.conductivityPieces())
        QVERIFY(drawnOrder.indexOf(piece) >= drawnOrder.size() - 3);

    // A legend at every size: the chart's own where there is room, else a row at the top
    // that holds every channel's colour.
    QCOMPARE(chart.chart()->legend()->isVisible(), !compact);
    if (!compact) {
        QStringList named;
        for (QLegendMarker* marker : chart.chart()->legend()->markers())
            if (marker->isVisible())
                named << marker->label();
        QCOMPARE(named, QStringList({"Ch 1 up", "Ch 1 down", "Ch 2 up", "Conductivity"}));
        return;
    }
    const QImage image = chart.grab().toImage();
    const int rowHeight = int(chart.chart()->plotArea().top()) / 2;
    for (int channel : {1, 2}) {
        const QColor colour = chart.countPieces(channel, true).value(0)->pen().color();
        bool found = false;
        for (int y = 0; y < rowHeight && !found; ++y)
            for (int x = 0; x < image.width() && !found; ++x)
                found = image.pixelColor(x, y) == colour;
        QVERIFY2(found, qPrintable(QStringLiteral("channel %1's colour is not in the legend").arg(channel)));
    }
}

QTEST_MAIN(TestLiveChart)
#include "test_livechart.moc"
