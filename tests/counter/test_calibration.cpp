// The calibration and dummy fish logic: a profile cell's gain, the probe dialogue's steps
// in every order the operator can press the buttons, and the commands' exact texts.

#include "counter/calibration.h"
#include "counter/dummyfish.h"
#include "link/errors.h"

#include <QTest>

using namespace kfc;

class TestCalibration : public QObject {
    Q_OBJECT
private slots:
    void gainFromCell_data();
    void gainFromCell();
    void probeSteps_data();
    void probeSteps();
    void dummyFishCommand_data();
    void dummyFishCommand();
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

void TestCalibration::probeSteps_data()
{
    // Buttons: "a" OK in automatic mode, "m" OK in manual mode (value 35), "c" Cancel.
    // Each step: command sent ("-" none) and message ("-" none: the window closes).
    QTest::addColumn<QString>("buttons");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QStringList>("messages");
    const QString place = "Place probe in air and press OK or Cancel to abort";
    QTest::newRow("automatic") << "aa" << QStringList{"E3S", "C"}
                               << QStringList{place, "Board calibration completed."};
    QTest::newRow("aborted, then closed") << "acc" << QStringList{"E3S", "D", "-"}
                                          << QStringList{place, "Board calibration Aborted.", "-"};
    QTest::newRow("manual") << "m" << QStringList{"E3S035"} << QStringList{"Probe calibrated"};
    QTest::newRow("manual while waiting keeps waiting")
        << "amc" << QStringList{"E3S", "E3S035", "D"}
        << QStringList{place, "Probe calibrated", "Board calibration Aborted."};
    QTest::newRow("again after completion") << "aaa" << QStringList{"E3S", "C", "E3S"}
                                            << QStringList{place, "Board calibration completed.", place};
}

void TestCalibration::probeSteps()
{
    QFETCH(QString, buttons);
    QFETCH(QStringList, commands);
    QFETCH(QStringList, messages);
    ProbeCalibration calibration;
    QStringList sent, shown;
    for (const QChar button : buttons) {
        const ProbeCalibration::Step step =
            button == 'c' ? calibration.cancel()
                          : calibration.ok(button == 'm' ? ProbeCalibration::Mode::Manual
                                                         : ProbeCalibration::Mode::Automatic,
                                           35);
        sent << (step.command.isEmpty() ? "-" : step.command);
        shown << (step.message.isEmpty() ? "-" : step.message);
    }
    QCOMPARE(sent, commands);
    QCOMPARE(shown, messages);
}

void TestCalibration::dummyFishCommand_data()
{
    QTest::addColumn<int>("value");      // channel, or a manual probe value
    QTest::addColumn<int>("direction");  // 0: a manual probe command
    QTest::addColumn<QString>("command");
    QTest::newRow("channel 3 down") << 3 << 2 << "23d2";
    QTest::newRow("channel 2 up") << 2 << 1 << "22d1";
    QTest::newRow("probe 20") << 20 << 0 << "E3S020";
    QTest::newRow("probe 500") << 500 << 0 << "E3S500";
}

void TestCalibration::dummyFishCommand()
{
    QFETCH(int, value);
    QFETCH(int, direction);
    QFETCH(QString, command);
    QCOMPARE(direction == 0 ? manualProbeCommand(value)
                            : kfc::dummyFishCommand(value, FishDirection(direction)),
             command);
}

QTEST_APPLESS_MAIN(TestCalibration)
#include "test_calibration.moc"
