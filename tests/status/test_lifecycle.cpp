// A connection as a technician lives it, against the simulated counter: connect, hang up
// and connect again; the status window's close box; a hang-up or a dead line during the
// logon pause; access refused; a line that dies in each step of a dialogue; the controls
// while a dialogue holds the line.

#include "support/statustest.h"

#include <QLabel>

using namespace kfc;
using namespace kfc::test;
using kfc::app::messageBoxes;

namespace {

void hangUp(StatusSession& s)
{
    messageBoxes().queueAnswer(true);
    menuItem(*s.main, "menuConnectHangup")->trigger();
}

// The frame as it is after a connection has ended.
void verifyNotConnected(StatusSession& s)
{
    QCOMPARE(child<QLabel>(s.main, "panConnect")->text(), QString("  Not Connected"));
    QCOMPARE(s.messagePanel(), QString());
    QVERIFY(!s.main->comPort().PortIsOpen());
    QVERIFY(!s.status->isVisible());
    QCOMPARE(s.frontWindow(), QString("fBlank"));
    QVERIFY(menuItem(*s.main, "menuConnectDirect")->isEnabled());
    QVERIFY(!menuItem(*s.main, "menuConnectHangup")->isEnabled());
}

} // namespace

class TestLifecycle : public QObject {
    Q_OBJECT
private slots:
    void init() { messageBoxes().reset(); }

    void everyConnectionShowsAWorkingWindow_data();
    void everyConnectionShowsAWorkingWindow();
    void closeBoxMeansHangUp();
    void connectionEndingInTheLogonPause_data();
    void connectionEndingInTheLogonPause();
    void refusedAccessKeepsTheWindowOutOfReach();
    void lineDyingInADialogueIsToldOnce_data();
    void lineDyingInADialogueIsToldOnce();
    void controlsAreOffWhileTheLineIsHeld();
};

void TestLifecycle::everyConnectionShowsAWorkingWindow_data()
{
    QTest::addColumn<QString>("password");
    QTest::newRow("no password") << QString();
    QTest::newRow("password") << QString("4321");
}

void TestLifecycle::everyConnectionShowsAWorkingWindow()
{
    QFETCH(QString, password);
    StatusSession s;
    s.counterState().password = password;
    for (int round = 1; round <= 3; ++round) {
        s.counterState().channels[0].upCount = 10 * round;
        if (!password.isEmpty())
            answerPasswordWindow({password});
        QVERIFY(s.connect());
        QCOMPARE(s.frontWindow(), QString("fStatus"));
        QVERIFY2(s.status->widget()->isVisible(), "the window's area is there");
        QVERIFY(s.button("bbtnRefresh")->isVisible());
        QCOMPARE(s.text("eUpCnt1"), QString::number(10 * round));

        s.counterState().channels[0].upCount = 10 * round + 1;
        s.button("bbtnRefresh")->click();
        QCOMPARE(s.text("eUpCnt1"), QString::number(10 * round + 1));

        hangUp(s);
        verifyNotConnected(s);
        QVERIFY(!s.counterState().loggedOn);
    }
}

void TestLifecycle::closeBoxMeansHangUp()
{
    StatusSession s;
    QVERIFY(s.connect());
    messageBoxes().queueAnswer(false);
    s.status->close();
    QTRY_COMPARE(messageBoxes().recordedTexts(), QStringList({"About to drop connection. Are you sure?"}));
    QVERIFY(s.main->comPort().PortIsOpen());
    QCOMPARE(s.frontWindow(), QString("fStatus"));

    messageBoxes().queueAnswer(true);
    s.status->close();
    QTRY_VERIFY(!s.main->comPort().PortIsOpen());
    verifyNotConnected(s);
    // The next connection shows the window whole.
    QVERIFY(s.connect());
    QVERIFY(s.status->widget()->isVisible());
}

void TestLifecycle::connectionEndingInTheLogonPause_data()
{
    QTest::addColumn<bool>("lineDies");
    QTest::newRow("hang-up") << false;
    QTest::newRow("line lost") << true;
}

void TestLifecycle::connectionEndingInTheLogonPause()
{
    QFETCH(bool, lineDies);
    StatusSession s;
    s.counterState().password = "4321";
    s.counterState().loggedOn = true;
    s.main->link().timing.loggedOnSettleMs = 1500;
    QTimer::singleShot(500, s.main, [&] {
        if (lineDies)
            s.line.pty.hangUp();
        else
            hangUp(s);
    });
    s.connect();
    QTest::qWait(200);
    verifyNotConnected(s);
    QVERIFY(!s.commands().contains("a"));
    QCOMPARE(messageBoxes().recordedTexts().size(), 1);
    QVERIFY(messageBoxes().recordedTexts().first().contains(lineDies ? "was lost" : "About to drop"));
}

void TestLifecycle::refusedAccessKeepsTheWindowOutOfReach()
{
    StatusSession s;
    s.counterState().password = "4321";
    answerPasswordWindow({});
    s.connect();
    QVERIFY(!s.status->accessGranted());
    QVERIFY(!s.status->isVisible());
    s.main->mdiArea()->activateNextSubWindow();
    s.main->mdiArea()->activatePreviousSubWindow();
    QCOMPARE(s.frontWindow(), QString("fBlank"));
    // No empty window on an open line: the counter hears the session is over, and the
    // line is closed.
    QCOMPARE(s.settledCommands(), QStringList({"9D", "e"}));
    QVERIFY(!s.main->comPort().PortIsOpen());
    QCOMPARE(child<QLabel>(s.main, "panConnect")->text(), QString("  Not Connected"));
    QCOMPARE(s.messagePanel(), app::TfMain::kNotLoggedOn);
    QVERIFY(menuItem(*s.main, "menuConnectDirect")->isEnabled());
    QVERIFY(!menuItem(*s.main, "menuConnectHangup")->isEnabled());
}

void TestLifecycle::lineDyingInADialogueIsToldOnce_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("dieOn");
    QTest::addColumn<int>("occurrence");
    const QString ack(QChar(0x06));
    QTest::newRow("read: a") << "refresh" << "a" << 1;
    QTest::newRow("read: channel 3") << "refresh" << ack << 3;
    QTest::newRow("read: f") << "refresh" << "f" << 1;
    QTest::newRow("read: g") << "refresh" << "g" << 1;
    QTest::newRow("save: thresholds") << "save" << "01A0600" << 1;
    QTest::newRow("update: i1") << "update" << "i1" << 1;
    QTest::newRow("update: its first read") << "update" << "i1" << 0;
    QTest::newRow("clear counts: 1C") << "ClearCounts1" << "1C" << 1;
    QTest::newRow("display: EA1") << "menuDisplayCounts" << "EA1" << 1;
    QTest::newRow("recalibrate: its countdown") << "menuRecalibrate" << "E1" << 0;
    QTest::newRow("dump choice: ED1") << "cbDump" << "ED1" << 1;
    QTest::newRow("hang-up: 9D") << "menuConnectHangup" << "9D" << 1;
}

void TestLifecycle::lineDyingInADialogueIsToldOnce()
{
    QFETCH(QString, action);
    QFETCH(QString, dieOn);
    QFETCH(int, occurrence);
    StatusSession s;
    s.counterState().channels[0].upThreshold = 5;
    s.counterState().channels[0].downThreshold = 0;
    QVERIFY(s.connect());
    int seen = 0;
    // Occurrence 0: the line dies a little after the command, under the reads that follow.
    QObject::connect(&s.counter(), &sim::SimCounter::commandReceived, s.main, [&](const QString& command) {
        if (command != dieOn || ++seen != qMax(occurrence, 1))
            return;
        if (occurrence)
            s.line.pty.hangUp();
        else
            QTimer::singleShot(200, s.main, [&] { s.line.pty.hangUp(); });
    });
    // Pressed at once, not through the event loop: a failure that left its handler would
    // reach this test.
    if (action == "save" || action == "cbDump")
        s.button("bbtnChange")->click();
    if (action == "save") {
        s.control<QSpinBox>("seUpTh1")->setValue(6);
        s.button("bbtnSave")->click();
    } else if (action == "cbDump") {
        s.control<QComboBox>("cbDump")->setCurrentIndex(1);
        emit s.control<QComboBox>("cbDump")->activated(1);
    } else if (action == "refresh" || action == "update") {
        s.button(action == "refresh" ? "bbtnRefresh" : "bbtnContUpd")->click();
    } else {
        messageBoxes().queueAnswer(true);
        QAction* item = action == "menuConnectHangup" ? menuItem(*s.main, action) : s.item(action);
        item->trigger();
    }
    QTRY_VERIFY_WITH_TIMEOUT(!s.main->comPort().PortIsOpen(), 5000);
    QTest::qWait(300);
    QStringList told;
    for (const app::RecordedMessage& message : messageBoxes().recorded())
        if (!message.question)
            told << message.text;
    QCOMPARE(told.size(), 1);
    QVERIFY(told.first().contains("was lost"));
    verifyNotConnected(s);
    QVERIFY(!s.status->contUpdActive());
    QVERIFY(s.main->findChild<QMenu*>("menuFile")->menuAction()->isEnabled());
}

void TestLifecycle::controlsAreOffWhileTheLineIsHeld()
{
    StatusSession s;
    QVERIFY(s.connect());
    struct Seen {
        bool refresh = true, change = true, hangup = true, information = true, exit = true;
    } during;
    QObject::connect(&s.counter(), &sim::SimCounter::commandReceived, s.main, [&](const QString& command) {
        if (command != "f")
            return;
        during = {s.button("bbtnRefresh")->isEnabled(), s.button("bbtnChange")->isEnabled(),
                  menuItem(*s.main, "menuConnectHangup")->isEnabled(),
                  s.status->findChild<QMenu*>("Information1")->menuAction()->isEnabled(),
                  menuItem(*s.main, "menuExit")->isEnabled()};
    });
    s.button("bbtnRefresh")->click();
    QVERIFY(!during.refresh && !during.change && !during.hangup && !during.information && !during.exit);
    QVERIFY(s.button("bbtnRefresh")->isEnabled());
    QVERIFY(s.button("bbtnChange")->isEnabled());
    QVERIFY(menuItem(*s.main, "menuConnectHangup")->isEnabled());
    QVERIFY(s.status->findChild<QMenu*>("Information1")->menuAction()->isEnabled());
    QVERIFY(menuItem(*s.main, "menuExit")->isEnabled());
    QVERIFY(messageBoxes().recorded().isEmpty());
}

KFC_APP_TEST_MAIN(TestLifecycle)
#include "test_lifecycle.moc"
