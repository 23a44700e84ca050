// The counter tool windows against the simulated counter, opened as the operator opens
// them from the status window: the profile dialog's values and type, the probe
// calibration's commands and messages, the conductivity monitor's reads, bad replies and
// stop, and the dummy fish with and without continuous update.

#include "support/recordingport.h"
#include "support/tooltest.h"

#include "app/radiogroup.h"
#include "link/errors.h"

#include <QRadioButton>
#include <QSlider>

using namespace kfc;
using namespace kfc::test;
using kfc::app::messageBoxes;

namespace {

QTableWidget* grid(const StatusSession& s) { return s.control<QTableWidget>("sgCond"); }

} // namespace

class TestTools : public QObject {
    Q_OBJECT
private slots:
    void profile_data();
    void profile();
    void probe_data();
    void probe();
    void conductivity_data();
    void conductivity();
    void dummyFish_data();
    void dummyFish();
    void dummyFishDuringContinuousUpdate();
    void lineDyingClosesTheTool_data();
    void lineDyingClosesTheTool();
};

void TestTools::profile_data()
{
    QTest::addColumn<QString>("cell1");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QStringList>("row");   // cells 1 to 3 afterwards
    QTest::addColumn<QString>("saved");     // what "&Save" then sends
    QTest::newRow("OK at once") << "100" << "" << "D" << QStringList{"100", "100", "95"} << "E6D";
    QTest::newRow("below and above the range") << "10" << "" << "D" << QStringList{"20", "100", "95"} << "E6D";
    QTest::newRow("flat") << "900" << "flat" << "F" << QStringList{"500", "100", "95"} << "E6F";
    QTest::newRow("slider 3 to the top") << "100" << "top3" << "N" << QStringList{"100", "100", "500"}
                                         << "E6N100100500090085080075070";
    QTest::newRow("100 typed into 3") << "100" << "type3" << "N" << QStringList{"100", "100", "100"}
                                      << "E6N100100100090085080075070";
    QTest::newRow("cancel") << "10" << "cancel" << "" << QStringList{"10", "100", "95"} << "";
}

void TestTools::profile()
{
    QFETCH(QString, cell1);
    QFETCH(QString, action);
    QFETCH(QString, type);
    QFETCH(QStringList, row);
    QFETCH(QString, saved);
    StatusSession s;
    QVERIFY(s.connect());
    s.button("bbtnChange")->click();
    grid(s)->item(1, 1)->setText(cell1);
    s.clearCommands();
    bool valuesDisabled = false, track3Follows = false;
    QVERIFY(withDialog([&] { s.button("bbtnProfile")->click(); }, [&](QDialog* d) {
        QVERIFY(QTest::qWaitFor([&] { return child<QRadioButton>(d, "rbDefault")->isChecked(); }));
        QCOMPARE(d->windowTitle(), QString("Calibration"));
        auto* spin3 = child<QSpinBox>(d, "SpinEdit3");
        auto* track3 = child<QSlider>(d, "TrackBar3");
        valuesDisabled = !spin3->isEnabled() && !track3->isEnabled();
        track3Follows = track3->value() == 520 - spin3->value();
        if (action == "flat")
            child<QRadioButton>(d, "rbFlat")->click();
        if (action.startsWith("t"))
            child<QRadioButton>(d, "rbManual")->click();
        if (action == "top3")
            track3->triggerAction(QAbstractSlider::SliderToMinimum);
        if (action == "type3") {
            spin3->clear();
            QTest::keyClicks(spin3, "100");
            QCOMPARE(track3->value(), 420);
        }
        child<QPushButton>(d, action == "cancel" ? "BitBtn2" : "BitBtn1")->click();
    }));
    QVERIFY(valuesDisabled);
    QVERIFY(track3Follows);
    QCOMPARE((QStringList{grid(s)->item(1, 1)->text(), grid(s)->item(1, 2)->text(), grid(s)->item(1, 3)->text()}), row);
    QCOMPARE(s.control<QLineEdit>("eCondType")->text(), type);
    // Closing the dialog is no activation of the status window: still editing, nothing read.
    QVERIFY(s.button("bbtnSave")->isEnabled());
    QCOMPARE(s.settledCommands(), QStringList());
    s.button("bbtnSave")->click();
    QCOMPARE(s.settledCommands(), (saved.isEmpty() ? QStringList() : QStringList{saved}) + statusRead());
}

void TestTools::probe_data()
{
    QTest::addColumn<bool>("boardOk");
    QTest::addColumn<QString>("buttons");   // o OK, c Cancel, m choose manual, v value 35
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("open");
    QTest::newRow("automatic") << true << "oo" << QStringList{"E3T", "E3S", "C"}
                               << "Board calibration completed." << true;
    // A completed calibration starts afresh on the next "&OK".
    QTest::newRow("automatic, OK again") << true << "ooo" << QStringList{"E3T", "E3S", "C", "E3S"}
                                         << "Place probe in air and press OK or Cancel to abort" << true;
    QTest::newRow("automatic twice") << true << "oooo" << QStringList{"E3T", "E3S", "C", "E3S", "C"}
                                     << "Board calibration completed." << true;
    QTest::newRow("aborted") << true << "oc" << QStringList{"E3T", "E3S", "D"}
                             << "Board calibration Aborted." << true;
    QTest::newRow("aborted and closed") << true << "occ" << QStringList{"E3T", "E3S", "D"}
                                        << "Board calibration Aborted." << false;
    QTest::newRow("manual 35") << true << "mvo" << QStringList{"E3T", "E3S035"} << "Probe calibrated" << true;
    QTest::newRow("manual while waiting, then abort") << true << "omvoc" << QStringList{"E3T", "E3S", "E3S035", "D"}
                                                      << "Board calibration Aborted." << true;
    QTest::newRow("no board: manual only") << false << "vo" << QStringList{"E3T", "E3S035"}
                                           << "Probe calibrated" << true;
}

void TestTools::probe()
{
    QFETCH(bool, boardOk);
    QFETCH(QString, buttons);
    QFETCH(QStringList, commands);
    QFETCH(QString, message);
    QFETCH(bool, open);
    StatusSession s;
    s.counterState().boardOk = boardOk;
    QVERIFY(s.connect());
    s.clearCommands();
    bool automaticEnabled = !boardOk, valuesEnabled = boardOk, stillOpen = false;
    QString shown;
    QVERIFY(withDialog([&] { chooseEntry(s, "menuCounterSetup", "menuProbe"); }, [&](QDialog* d) {
        auto* automatic = child<QRadioButton>(d, "rbAutomatic");
        auto* manual = child<QRadioButton>(d, "rbManual");
        QVERIFY(QTest::qWaitFor([&] { return automatic->isChecked() || manual->isChecked(); }));
        QCOMPARE(d->windowTitle(), QString("Board Calibration"));
        automaticEnabled = automatic->isEnabled() && automatic->isChecked();
        valuesEnabled = child<QSpinBox>(d, "SpinEdit1")->isEnabled();
        for (const QChar b : buttons) {
            if (b == 'm')
                manual->click();
            else if (b == 'v')
                child<QSlider>(d, "TrackBar1")->setValue(35);
            else
                child<QPushButton>(d, b == 'o' ? "OKBtn" : "CancelBtn")->click();
        }
        shown = child<QLineEdit>(d, "eMessage")->text();
        stillOpen = d->isVisible();
    }));
    QCOMPARE(automaticEnabled, boardOk);
    QCOMPARE(valuesEnabled, !boardOk);
    QCOMPARE(s.settledCommands(), commands);
    QCOMPARE(shown, message);
    QCOMPARE(stillOpen, open);
}

void TestTools::conductivity_data()
{
    QTest::addColumn<QString>("run");   // once, bad (a reply of four characters), stop, close
    QTest::newRow("once") << "once";
    QTest::newRow("once, bad reply") << "bad";
    QTest::newRow("continuous until Stop") << "stop";
    // The dialog is not freed under its loop: the close stops the run and waits for it.
    QTest::newRow("continuous, closed") << "close";
    QTest::newRow("continuous, the line dies") << "dies";
}

void TestTools::conductivity()
{
    QFETCH(QString, run);
    const bool continuous = run != "once" && run != "bad";
    auto device = std::make_unique<RecordingSerialPort>();
    RecordingSerialPort& line = *device;
    StatusSession s(std::move(device));
    s.counterState().conductivity = 87;
    QVERIFY(s.connect());
    s.clearCommands();
    line.frames.clear();
    if (run == "bad")
        s.counter().addFault({sim::SimFault::WrongLength, "g", 1});
    if (run == "dies")
        s.counter().addFault({sim::SimFault::HangUp, "g", 1});
    QString value, exitDuringRun, exitAfter;
    bool startBack = false, openWhileRunning = false, closedAfterRun = false, startFocused = false;
    QVERIFY(withDialog([&] { chooseEntry(s, "Information1", "menuConductivity"); }, [&](QDialog* d) {
        QCOMPARE(d->windowTitle(), QString("Current Conductivity"));
        auto* exit = child<QPushButton>(d, "bbtnExit");
        child<QRadioButton>(d, continuous ? "rgMode_1" : "rgMode_0")->click();
        Script stop;
        stop.then([&] { return s.commands().count("g") >= 3; },
                  [&] {
                      exitDuringRun = exit->text();
                      run == "close" ? void(d->close()) : exit->click();
                      openWhileRunning = d->isVisible();
                  });
        if (continuous && run != "dies")
            stop.start();
        child<QPushButton>(d, "bbtnStart")->setFocus();
        child<QPushButton>(d, "bbtnStart")->click();
        closedAfterRun = !d->isVisible();
        // Enter reads again.
        startFocused = d->focusWidget() == child<QPushButton>(d, "bbtnStart");
        value = child<QLineEdit>(d, "eValue")->text();
        exitAfter = exit->text();
        startBack = child<QPushButton>(d, "bbtnStart")->isEnabled();
    }));
    QCOMPARE(exitAfter, QString("E&xit"));
    QVERIFY(startBack);
    if (run == "dies") {
        QVERIFY(!s.main->comPort().PortIsOpen());
        return;
    }
    const QStringList commands = s.settledCommands();
    QCOMPARE(value, run == "bad" ? QString() : QString("087"));
    QCOMPARE(closedAfterRun, run == "close");
    QCOMPARE(startFocused, !closedAfterRun);
    QCOMPARE(messageBoxes().recordedTexts(),
             run == "bad" ? QStringList{"Invalid response from Counter reading conductivity gain"} : QStringList());
    if (continuous) {
        QCOMPARE(exitDuringRun, QString("&Stop"));
        QVERIFY(openWhileRunning);
        QVERIFY(commands.count("g") >= 3);
        QCOMPARE(commands.count(kAck), commands.count("g"));
        // From the end of one reading to the next "g", the monitor's whole interval.
        for (qsizetype i = 1; i < line.frames.size(); ++i) {
            if (line.frames[i].command == "g")
                QCOMPARE_GE(line.frames[i].startMs - line.frames[i - 1].endMs, s.main->link().timing.monitorIntervalMs);
        }
    } else {
        QCOMPARE(commands, run == "bad" ? QStringList{"g"} : (QStringList{"g", kAck}));
    }
}

void TestTools::dummyFish_data()
{
    QTest::addColumn<QList<int>>("enabled");
    QTest::addColumn<int>("item");        // -1: none chosen
    QTest::addColumn<int>("direction");   // -1: none chosen
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("sent");    // empty: nothing sent
    QTest::addColumn<QString>("error");
    const QStringList all{"Channel 1", "Channel 2", "Channel 3", "Channel 4"};
    QTest::newRow("channel 2 up") << QList<int>{1, 1, 1, 1} << 1 << 0 << all << "22d1" << "";
    QTest::newRow("second of 1 and 3, down") << QList<int>{1, 0, 1, 0} << 1 << 1
                                             << QStringList{"Channel 1", "Channel 3"} << "23d2" << "";
    QTest::newRow("no channel enabled") << QList<int>{0, 0, 0, 0} << -1 << 0 << QStringList{} << ""
                                        << "Error: Channel must be selected";
    QTest::newRow("no direction") << QList<int>{1, 1, 1, 1} << 0 << -1 << all << ""
                                  << "Error: Direction must be selected";
}

void TestTools::dummyFish()
{
    QFETCH(QList<int>, enabled);
    QFETCH(int, item);
    QFETCH(int, direction);
    QFETCH(QStringList, items);
    QFETCH(QString, sent);
    QFETCH(QString, error);
    StatusSession s;
    for (int i = 0; i < 4; ++i)
        s.counterState().channels[size_t(i)].enabled = enabled[i];
    QVERIFY(s.connect());
    s.clearCommands();
    QStringList listed;
    QString progress;
    bool stillOpen = false;
    QVERIFY(withDialog([&] { chooseEntry(s, "menuCounterSetup", "menuDummyFish"); }, [&](QDialog* d) {
        QTest::qWait(20);
        QCOMPARE(d->windowTitle(), QString("Send Dummy Fish"));
        auto* channels = child<app::RadioGroup>(d, "rgChannel");
        for (int i = 0; i < channels->count(); ++i)
            listed << channels->button(i)->text();
        channels->setItemIndex(item);
        child<app::RadioGroup>(d, "rgDirection")->setItemIndex(direction);
        child<QPushButton>(d, "OKBtn")->click();
        progress = child<QLabel>(d, "labProgress")->text();
        stillOpen = d->isVisible();
    }));
    QCOMPARE(listed, items);
    QCOMPARE(messageBoxes().recordedTexts(), error.isEmpty() ? QStringList() : QStringList{error});
    QCOMPARE(s.settledCommands(), sent.isEmpty() ? QStringList() : QStringList{sent} + statusRead());
    QCOMPARE(progress, sent.isEmpty() ? QString() : QString("Status Updated"));
    QVERIFY(stillOpen);
}

void TestTools::dummyFishDuringContinuousUpdate()
{
    StatusSession s;
    QVERIFY(s.connect());
    s.clearCommands();
    bool closedAtOnce = false;
    Script script;
    script
        .then([&] { return s.messagePanel() == "Continuous Update Mode. Press Cancel to stop"; },
              [&] {
                  withDialog([&] { chooseEntry(s, "menuCounterSetup", "menuDummyFish"); }, [&](QDialog* d) {
                      QTest::qWait(20);
                      child<app::RadioGroup>(d, "rgChannel")->setItemIndex(0);
                      child<app::RadioGroup>(d, "rgDirection")->setItemIndex(1);
                      child<QPushButton>(d, "OKBtn")->click();
                      closedAtOnce = !d->isVisible();
                  });
              })
        .then([&] { return !s.control<QPlainTextEdit>("memLastEvent")->toPlainText().isEmpty(); },
              [&] { s.button("bbtnCancel")->click(); });
    script.start();
    s.button("bbtnContUpd")->click();
    QVERIFY(script.completed());
    QVERIFY(closedAtOnce);
    // No status read between the fish and the end of the mode.
    const QStringList commands = s.settledCommands();
    QCOMPARE(commands.mid(0, 3), (QStringList{"i1", "21d2", "i0"}));
}

void TestTools::lineDyingClosesTheTool_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("dieOn");    // the first command starting so kills the line
    QTest::addColumn<QString>("press");    // empty: the dialog's own read on opening
    QTest::addColumn<QString>("usable");   // the button that must be back when it closes
    QTest::newRow("dummy fish, its status read") << "menuCounterSetup" << "menuDummyFish" << "a" << "OKBtn" << "OKBtn";
    QTest::newRow("probe test on opening") << "menuCounterSetup" << "menuProbe" << "E3T" << "" << "OKBtn";
    QTest::newRow("probe calibration step") << "menuCounterSetup" << "menuProbe" << "E3S" << "OKBtn" << "OKBtn";
    QTest::newRow("send command") << "menuAdvancedSetup" << "menuSendCommand" << "EA1" << "OKBtn" << "OKBtn";
    QTest::newRow("weir dimensions, read") << "menuAdvancedSetup" << "menuWeirDim" << "E5T2" << "" << "btnRead";
    QTest::newRow("weir dimensions, write") << "menuAdvancedSetup" << "menuWeirDim" << "E5S1" << "OKBtn" << "OKBtn";
}

// Pressed at once, not through the event loop: an error that left its handler would reach
// this test. The main frame alone tells of the dead line, and the tool, whose connection
// has ended, closes by itself. One that dies in its read on opening may be gone before
// the test sees it.
void TestTools::lineDyingClosesTheTool()
{
    QFETCH(QString, menu);
    QFETCH(QString, entry);
    QFETCH(QString, dieOn);
    QFETCH(QString, press);
    QFETCH(QString, usable);
    StatusSession s;
    QVERIFY(s.connect());
    connect(&s.counter(), &sim::SimCounter::commandReceived, s.main, [&](const QString& command) {
        if (command.startsWith(dieOn) && s.main->comPort().PortIsOpen())
            s.line.pty.hangUp();
    });
    bool closedByItself = false;
    const bool seen = withDialog([&] { chooseEntry(s, menu.toLatin1(), entry); }, [&](QDialog* d) {
        for (auto* group : d->findChildren<app::RadioGroup*>())
            group->setItemIndex(0);
        if (auto* command = d->findChild<QLineEdit*>("eCommand"))
            command->setText("EA1");
        if (auto* length = d->findChild<QSpinBox*>("seLength1"))
            length->setValue(length->value() + 1);
        if (!press.isEmpty())
            child<QPushButton>(d, press)->click();
        QTRY_VERIFY(!s.main->comPort().PortIsOpen());
        QTRY_VERIFY(!d->isVisible());
        closedByItself = true;
        QVERIFY(child<QPushButton>(d, usable)->isEnabled());
        if (auto* label = d->findChild<QLabel*>("labProgress"))
            QCOMPARE(label->text(), QString());
    }, press.isEmpty() ? Unseen::Allowed : Unseen::Fails);
    QVERIFY(press.isEmpty() ? !seen || closedByItself : closedByItself);
    QVERIFY(!s.main->comPort().PortIsOpen());
    QCOMPARE(messageBoxes().recordedTexts().size(), 1);
    QVERIFY(messageBoxes().recordedTexts().first().contains("was lost"));
}

KFC_APP_TEST_MAIN(TestTools)
#include "test_tools.moc"
