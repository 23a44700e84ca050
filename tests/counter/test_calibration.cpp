// A profile cell's gain: brought into range, and refused when it is not a number.

#include "counter/calibration.h"
#include "link/errors.h"

#include <QTest>

using namespace kfc;

class TestCalibration : public QObject {
    Q_OBJECT
private slots:
    void gainFromCell_data();
    void gainFromCell();
};

void TestCalibration::gainFromCell_data()
{
    QTest::addColumn<QString>("cell");
    QTest::addColumn<int>("gain");   // -1: not a number
    QTest::newRow("in range") << "100" << 100;
    QTest::newRow("below") << "10" << 20;
    QTest::newRow("above") << "900" << 500;
    QTest::newRow("negative") << "-5" << 20;
    QTest::newRow("wider than an int") << "99999999999" << 500;
    QTest::newRow("spaces") << " 35 " << 35;
    QTest::newRow("letters") << "abc" << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("hex is not decimal") << "0x20" << -1;
}

void TestCalibration::gainFromCell()
{
    QFETCH(QString, cell);
    QFETCH(int, gain);
    if (gain < 0)
        QVERIFY_THROWS_EXCEPTION(ConversionError, gainFromText(cell));
    else
        QCOMPARE(gainFromText(cell), gain);
}

QTEST_APPLESS_MAIN(TestCalibration)
#include "test_calibration.moc"
