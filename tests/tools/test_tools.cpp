// The counter tool windows against the simulated counter, opened as the operator opens
// them from the status window: the profile dialog's values and type, the probe
// calibration's commands and messages, the conductivity monitor's reads, bad replies and
// stop, and the dummy fish with and without continuous update.

#include "support/statustest.h"

#include "app/radiogroup.h"
#include "link/wait.h"

#include <QDialog>
#include <QScopeGuard>
#include <QRadioButton>
#include <QSlider>

using namespace kfc;
using namespace kfc::test;
using kfc::app::messageBoxes;

namespace {

// Runs act on the dialog that open brings up; a dialog still open afterwards is closed,
// so that a failed check cannot leave the test waiting on it.
bool withDialog(const std::function<void()>& open, const std::function<void(QDialog*)>& act)
{
    bool seen = false;
    // Acts only once the dialog's own handlers are done waiting (the first exchange).
    const int depth = EventWait::depth();
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || EventWait::depth() != depth)
            return;
        poll.stop();
        seen = true;
        const auto close = qScopeGuard([dialog] {
            if (dialog->isVisible())
                dialog->done(QDialog::Rejected);
        });
        act(dialog);
    });
    poll.start();
    open();
    return seen;
}

// A status window menu entry as the operator reaches it: the menu is opened first.
void chooseEntry(const StatusSession& s, const char* menu, const QString& entry)
{
    emit s.status->findChild<QMenu*>(menu)->aboutToShow();
    s.item(entry)->trigger();
}

template <typename T>
T* in(QDialog* dialog, const QString& name)
{
    return child<T>(dialog, name);
}

QTableWidget* grid(const StatusSession& s) { return s.control<QTableWidget>("sgCond"); }

QStringList profileRow(const StatusSession& s)
{
    QStringList cells;
    for (int n = 1; n <= 8; ++n)
        cells << grid(s)->item(1, n)->text();
    return cells;
}

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
    void monitorClosedDuringRunWaitsForTheLoop();
    void dummyFish_data();
    void dummyFish();
    void dummyFishDuringContinuousUpdate();
};

void TestTools::profile_data()
{
    QTest::addColumn<QString>("cell1");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QStringList>("row");   // cells 1 to 3 afterwards
    QTest::newRow("OK at once") << "100" << "" << "D" << QStringList{"100", "100", "95"};
    QTest::newRow("below and above the range") << "10" << "" << "D" << QStringList{"20", "100", "95"};
    QTest::newRow("flat") << "900" << "flat" << "F" << QStringList{"500", "100", "95"};
    QTest::newRow("slider 3 to the top") << "100" << "top3" << "N" << QStringList{"100", "100", "500"};
    QTest::newRow("100 typed into 3") << "100" << "type3" << "N" << QStringList{"100", "100", "100"};
    QTest::newRow("cancel") << "10" << "cancel" << "" << QStringList{"10", "100", "95"};
}

void TestTools::profile()
{
    QFETCH(QString, cell1);
    QFETCH(QString, action);
    QFETCH(QString, type);
    QFETCH(QStringList, row);
    StatusSession s;
    QVERIFY(s.connect());
    s.button("bbtnChange")->click();
    grid(s)->item(1, 1)->setText(cell1);
    s.clearCommands();
    bool valuesDisabled = false, track3Follows = false;
    QVERIFY(withDialog([&] { s.button("bbtnProfile")->click(); }, [&](QDialog* d) {
        QVERIFY(QTest::qWaitFor([&] { return in<QRadioButton>(d, "rbDefault")->isChecked(); }));
        QCOMPARE(d->windowTitle(), QString("Calibration"));
        auto* spin3 = in<QSpinBox>(d, "SpinEdit3");
        auto* track3 = in<QSlider>(d, "TrackBar3");
        valuesDisabled = !spin3->isEnabled() && !track3->isEnabled();
        track3Follows = track3->value() == 520 - spin3->value();
        if (action == "flat")
            in<QRadioButton>(d, "rbFlat")->click();
        if (action.startsWith("t"))
            in<QRadioButton>(d, "rbManual")->click();
        if (action == "top3")
            track3->triggerAction(QAbstractSlider::SliderToMinimum);
        if (action == "type3") {
            spin3->clear();
            QTest::keyClicks(spin3, "100");
            QCOMPARE(track3->value(), 420);
        }
        in<QPushButton>(d, action == "cancel" ? "BitBtn2" : "BitBtn1")->click();
    }));
    QVERIFY(valuesDisabled);
    QVERIFY(track3Follows);
    QCOMPARE(profileRow(s).mid(0, 3), row);
    QCOMPARE(s.control<QLineEdit>("eCondType")->text(), type);
    // Closing the dialog is no activation of the status window: still editing, nothing read.
    QVERIFY(s.button("bbtnSave")->isEnabled());
    QCOMPARE(s.settledCommands(), QStringList());
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
    QTest::newRow("aborted") << true << "oc" << QStringList{"E3T", "E3S", "D"}
                             << "Board calibration Aborted." << true;
    QTest::newRow("aborted and closed") << true << "occ" << QStringList{"E3T", "E3S", "D"}
                                        << "Board calibration Aborted." << false;
    QTest::newRow("manual 35") << true << "mvo" << QStringList{"E3T", "E3S035"} << "Probe calibrated" << true;
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
        auto* automatic = in<QRadioButton>(d, "rbAutomatic");
        auto* manual = in<QRadioButton>(d, "rbManual");
        QVERIFY(QTest::qWaitFor([&] { return automatic->isChecked() || manual->isChecked(); }));
        QCOMPARE(d->windowTitle(), QString("Board Calibration"));
        automaticEnabled = automatic->isEnabled() && automatic->isChecked();
        valuesEnabled = in<QSpinBox>(d, "SpinEdit1")->isEnabled();
        for (const QChar b : buttons) {
            if (b == 'm')
                manual->click();
            else if (b == 'v')
                in<QSlider>(d, "TrackBar1")->setValue(35);
            else
                in<QPushButton>(d, b == 'o' ? "OKBtn" : "CancelBtn")->click();
        }
        shown = in<QLineEdit>(d, "eMessage")->text();
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
    QTest::addColumn<bool>("continuous");
    QTest::addColumn<bool>("badReply");
    QTest::newRow("once") << false << false;
    QTest::newRow("once, reply of four characters") << false << true;
    QTest::newRow("continuous") << true << false;
}

void TestTools::conductivity()
{
    QFETCH(bool, continuous);
    QFETCH(bool, badReply);
    StatusSession s;
    s.counterState().conductivity = 87;
    QVERIFY(s.connect());
    s.clearCommands();
    if (badReply)
        s.counter().addFault({sim::SimFault::WrongLength, "g", 1});
    QString value, exitDuringRun, exitAfter;
    bool startBack = false;
    QVERIFY(withDialog([&] { chooseEntry(s, "Information1", "menuConductivity"); }, [&](QDialog* d) {
        QCOMPARE(d->windowTitle(), QString("Current Conductivity"));
        auto* exit = in<QPushButton>(d, "bbtnExit");
        if (continuous)
            in<QRadioButton>(d, "rgMode_1")->click();
        Script stop;
        stop.then([&] { return s.commands().count("g") >= 3; },
                  [&] {
                      exitDuringRun = exit->text();
                      exit->click();
                  });
        if (continuous)
            stop.start();
        in<QPushButton>(d, "bbtnStart")->click();
        value = in<QLineEdit>(d, "eValue")->text();
        exitAfter = exit->text();
        startBack = in<QPushButton>(d, "bbtnStart")->isEnabled();
    }));
    const QStringList commands = s.settledCommands();
    QCOMPARE(value, badReply ? QString() : QString("087"));
    QCOMPARE(exitAfter, QString("E&xit"));
    QVERIFY(startBack);
    QCOMPARE(messageBoxes().recordedTexts(),
             badReply ? QStringList{"Invalid response from Counter reading conductivity gain"} : QStringList());
    if (continuous) {
        QCOMPARE(exitDuringRun, QString("&Stop"));
        QVERIFY(commands.count("g") >= 3);
        QCOMPARE(commands.count(kAck), commands.count("g"));
    } else {
        QCOMPARE(commands, badReply ? QStringList{"g"} : (QStringList{"g", kAck}));
    }
}

void TestTools::monitorClosedDuringRunWaitsForTheLoop()
{
    StatusSession s;
    QVERIFY(s.connect());
    bool openWhileRunning = false, closedAfterRun = false;
    QVERIFY(withDialog([&] { chooseEntry(s, "Information1", "menuConductivity"); }, [&](QDialog* d) {
        in<QRadioButton>(d, "rgMode_1")->click();
        Script close;
        close.then([&] { return s.commands().count("g") >= 1; },
                   [&] {
                       d->close();
                       openWhileRunning = d->isVisible();
                   });
        close.start();
        in<QPushButton>(d, "bbtnStart")->click();
        closedAfterRun = !d->isVisible();
    }));
    // The close stopped the run and was carried out once the loop had ended.
    QVERIFY(openWhileRunning);
    QVERIFY(closedAfterRun);
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
        auto* channels = in<app::RadioGroup>(d, "rgChannel");
        for (int i = 0; i < channels->count(); ++i)
            listed << channels->button(i)->text();
        channels->setItemIndex(item);
        in<app::RadioGroup>(d, "rgDirection")->setItemIndex(direction);
        in<QPushButton>(d, "OKBtn")->click();
        progress = in<QLabel>(d, "labProgress")->text();
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
                      in<app::RadioGroup>(d, "rgChannel")->setItemIndex(0);
                      in<app::RadioGroup>(d, "rgDirection")->setItemIndex(1);
                      in<QPushButton>(d, "OKBtn")->click();
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

KFC_APP_TEST_MAIN(TestTools)
#include "test_tools.moc"
