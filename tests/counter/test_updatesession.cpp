// A stepped line thinned to a bound: its start, its end, its last change and its value
// now stay exact, its points stay in order, and there are never more than the bound.

#include "counter/updatesession.h"

#include <QTest>

using namespace kfc;

class TestUpdateSession : public QObject {
    Q_OBJECT
private slots:
    void thinningKeepsTheEndsAndTheBound_data();
    void thinningKeepsTheEndsAndTheBound();
};

void TestUpdateSession::thinningKeepsTheEndsAndTheBound_data()
{
    QTest::addColumn<int>("changes");
    QTest::addColumn<int>("bound");
    QTest::addColumn<int>("points");
    QTest::newRow("under the bound, untouched") << 3 << 100 << 8;
    QTest::newRow("just over, halved") << 50 << 100 << 52;
    QTest::newRow("odd number of changes") << 7 << 10 << 10;
    QTest::newRow("many times over") << 50000 << 2000 << 1566;
    QTest::newRow("bound below the least") << 20 << 2 << 6;
}

void TestUpdateSession::thinningKeepsTheEndsAndTheBound()
{
    QFETCH(int, changes);
    QFETCH(int, bound);
    QFETCH(int, points);
    StepSeries series;
    series.start(0, 0);
    for (int i = 1; i <= changes; ++i)
        series.step(i * 1000.0, i);
    series.extendTo(changes * 1000.0 + 500);
    series.thin(bound);

    const QList<QPointF>& p = series.points();
    QCOMPARE(int(p.size()), points);
    QCOMPARE(p.first(), QPointF(0, 0));
    QCOMPARE(p.last(), QPointF(changes * 1000.0 + 500, changes));
    // The last riser, at the last change's time, up to the count now.
    QCOMPARE(p.at(p.size() - 2), QPointF(changes * 1000.0, changes));
    for (qsizetype i = 1; i < p.size(); ++i) {
        QVERIFY2(p.at(i).x() >= p.at(i - 1).x() && p.at(i).y() >= p.at(i - 1).y(), qPrintable(QString::number(i)));
        // Risers are vertical and the treads flat: each odd point starts a riser at the
        // height of the one before.
        if (i % 2 == 1)
            QCOMPARE(p.at(i).y(), p.at(i - 1).y());
        else if (i < p.size() - 1)
            QCOMPARE(p.at(i).x(), p.at(i - 1).x());
    }
}

QTEST_GUILESS_MAIN(TestUpdateSession)
#include "test_updatesession.moc"
