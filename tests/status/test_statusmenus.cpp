// The status window's menus in the main frame's menu bar, the password state after a
// connection (NEW, 1OR2, OLD with a right and with three wrong passwords, no answer), the
// password entries, and the maintenance commands with their confirmations, the
// recalibration countdown and the display choice.

#include "support/statustest.h"

#include "app/tfblank.h"

#include <QDialog>
#include <QElapsedTimer>

using namespace kfc;
using namespace kfc::test;
using kfc::app::messageBoxes;
using kfc::app::RecordedMessage;

namespace {

QStringList entries(const QMenu* menu)
{
    QStringList texts;
    for (QAction* action : menu->actions())
        texts << (action->isSeparator() ? QString("-") : action->text());
    return texts;
}

QMenu* menu(const StatusSession& s, const QString& name) { return s.status->findChild<QMenu*>(name); }


// A question that guards data on the counter: its default answer is No.
RecordedMessage warningQuestion(const QString& text, bool yes)
{
    return {MessageKind::Warning, text, true, yes, true};
}

} // namespace

class TestStatusMenus : public QObject {
    Q_OBJECT
private slots:
    void menusJoinTheMenuBarWhileTheWindowIsActive();
    void newCounterOffersSetPassword();
    void loggedOnCounterOffersChangeAfterItsPause();
    void threeWrongPasswordsKeepTheWindowClosed();
    void rightPasswordOpensTheWindow();
    void clearPasswordLeavesTheCounterWithout();
    void noPasswordStateShowsNothingAndSaysWhy();
    void confirmationsAnsweredNoSendNothing();
    void clearCountsAndFlushThenRead();
    void recalibrateCountsDownAndDoesNotRead();
    void displayChoices();
};

void TestStatusMenus::menusJoinTheMenuBarWhileTheWindowIsActive()
{
    StatusSession s;
    QCOMPARE(menuBarTitles(*s.main), QStringList({"&File", "Co&nnect", "&Help"}));
    QVERIFY(s.connect());
    QCOMPARE(menuBarTitles(*s.main),
             QStringList({"&File", "Co&nnect", "&Information", "Counter &Setup", "&Advanced Setup", "&Help"}));
    QCOMPARE(entries(menu(s, "Information1")), QStringList({"&Download", "C&urrent Conductivity"}));
    QCOMPARE(entries(menu(s, "menuCounterSetup")),
             QStringList({"Insert Dummy &Fish", "&Clear Counts", "-", "&Display", "&Probe Calibrate", "-",
                          "&Save Session..."}));
    QCOMPARE(entries(menu(s, "menuDisplay")), QStringList({"&Kestrova", "&Counts"}));
    QCOMPARE(entries(menu(s, "menuAdvancedSetup")),
             QStringList({"Set &Baud Rate", "&Send Command", "-", "Set &Password", "&Clear Password", "-",
                          "&Recalibrate", "&Flush Buffer", "&Weir Dimensions", "-", "&Terminal"}));
    for (const char* name : {"ClearCounts1", "menuDisplayKestrova", "menuDisplayCounts", "menuPasswords",
                             "menuClearPwd", "menuRecalibrate", "menuFlush"})
        QVERIFY2(s.item(name), name);

    messageBoxes().queueAnswer(true);
    child<QAction>(s.main, "menuConnectHangup")->trigger();
    QCOMPARE(menuBarTitles(*s.main), QStringList({"&File", "Co&nnect", "&Help"}));
}

void TestStatusMenus::newCounterOffersSetPassword()
{
    StatusSession s;
    QVERIFY(s.connect());
    QCOMPARE(s.settledCommands(), QStringList{"9D"} + statusRead());
    QVERIFY(s.status->accessGranted());
    QVERIFY(!s.status->passwordSet());
    QCOMPARE(s.item("menuPasswords")->text(), QString("Set &Password"));
    QVERIFY(!s.item("menuClearPwd")->isEnabled());

    s.clearCommands();
    QString caption;
    answerPasswordWindow({"1234"}, &caption);
    s.item("menuPasswords")->trigger();
    QCOMPARE(caption, QString("Set Counter Password"));
    // The state is asked again, and the menu offers what now fits.
    QCOMPARE(s.settledCommands(), QStringList({"9D", "91234", "9D"}));
    QCOMPARE(s.counterState().password, QString("1234"));
    QCOMPARE(s.item("menuPasswords")->text(), QString("Change &Password"));
    QVERIFY(s.item("menuClearPwd")->isEnabled());
}

void TestStatusMenus::loggedOnCounterOffersChangeAfterItsPause()
{
    StatusSession s;
    s.counterState().password = "4321";
    s.counterState().loggedOn = true;
    s.main->link().timing.loggedOnSettleMs = Timing{}.loggedOnSettleMs;
    QVERIFY(s.connect());
    QCOMPARE(s.settledCommands(), QStringList{"9D"} + statusRead());
    // The counter is given five seconds after saying this connection is logged on.
    const QList<qint64>& times = s.counter().commandTimesNs();
    QVERIFY2(times.at(1) - times.at(0) >= 5'000'000'000LL, qPrintable(QString::number(times.at(1) - times.at(0))));
    QVERIFY(s.status->passwordSet());
    QCOMPARE(s.item("menuPasswords")->text(), QString("Change &Password"));
    QVERIFY(s.item("menuClearPwd")->isEnabled());
    QCOMPARE(s.frontWindow(), QString("fStatus"));

    s.clearCommands();
    QString caption;
    answerPasswordWindow({"99"}, &caption);
    s.item("menuPasswords")->trigger();
    QCOMPARE(caption, QString("Change Counter Password"));
    QCOMPARE(s.settledCommands(), QStringList({"9D", "910099", "9D"}));
    QCOMPARE(s.counterState().password, QString("0099"));
}

void TestStatusMenus::threeWrongPasswordsKeepTheWindowClosed()
{
    StatusSession s;
    s.counterState().password = "4321";
    QString caption;
    answerPasswordWindow({"11", "22", "33"}, &caption);
    QVERIFY(!s.connect());
    QCOMPARE(caption, QString("Counter Logon"));
    // Refused: the session ends ("e") and the line is closed.
    QCOMPARE(s.settledCommands(),
             QStringList({"9D", "9D", "9", "0011", "9D", "9", "0022", "9D", "9", "0033", "e"}));
    QCOMPARE(child<QLabel>(s.main, "panConnect")->text(), QString("  Not Connected"));
    QCOMPARE(s.messagePanel(), app::TfMain::kNotLoggedOn);
    QCOMPARE(messageBoxes().recordedTexts(),
             QStringList({"Response DENIED", "Password Incorrect - you have 2 left", "Response DENIED",
                          "Password Incorrect - you have 1 left", "Response DENIED",
                          "Password Incorrect - Too many attempts"}));
    // Not shown, and nothing read.
    QVERIFY(!s.status->accessGranted());
    QVERIFY(child<QAction>(s.main, "menuConnectDirect")->isEnabled());
    QCOMPARE(s.frontWindow(), QString("fBlank"));
    QCOMPARE(s.item("menuPasswords")->text(), QString("&Passwords"));
    QVERIFY(!s.item("menuClearPwd")->isEnabled());
}

void TestStatusMenus::rightPasswordOpensTheWindow()
{
    StatusSession s;
    s.counterState().password = "4321";
    answerPasswordWindow({"11", "4321"});
    QVERIFY(s.connect());
    QCOMPARE(s.settledCommands(),
             QStringList({"9D", "9D", "9", "0011", "9D", "9", "4321"}) + statusRead());
    QVERIFY(s.status->accessGranted());
    QVERIFY(s.status->passwordSet());
    QCOMPARE(s.frontWindow(), QString("fStatus"));
    QCOMPARE(s.item("menuPasswords")->text(), QString("Change &Password"));
    QVERIFY(s.item("menuClearPwd")->isEnabled());
}

void TestStatusMenus::clearPasswordLeavesTheCounterWithout()
{
    StatusSession s;
    s.counterState().password = "4321";
    answerPasswordWindow({"4321"});
    QVERIFY(s.connect());
    s.clearCommands();
    messageBoxes().queueAnswer(true);
    s.item("menuClearPwd")->trigger();
    QCOMPARE(s.settledCommands(), QStringList({"9D", "918642", "9D"}));
    QCOMPARE(s.counterState().password, QString());
    QCOMPARE(s.item("menuPasswords")->text(), QString("Set &Password"));
    QVERIFY(!s.item("menuClearPwd")->isEnabled());
    QVERIFY(!s.status->passwordSet());
}

void TestStatusMenus::noPasswordStateShowsNothingAndSaysWhy()
{
    StatusSession s;
    s.counter().addFault({sim::SimFault::NoReply, "9D", 1, 0});
    // Nothing answers: the line is dropped at once, without a log-off into the silence.
    QVERIFY(!s.connect());
    QCOMPARE(messageBoxes().recordedTexts(),
             QStringList({"Invalid Password Response - the counter did not answer. "
                          "Check the cable, the port and the counter's power."}));
    QCOMPARE(s.settledCommands(), QStringList({"9D"}));
    QVERIFY(!s.status->accessGranted());
    QCOMPARE(s.frontWindow(), QString("fBlank"));
    QCOMPARE(child<QLabel>(s.main, "panConnect")->text(), QString("  Not Connected"));
    QVERIFY(child<QAction>(s.main, "menuConnectDirect")->isEnabled());
    QVERIFY(!child<QAction>(s.main, "menuConnectHangup")->isEnabled());
}

void TestStatusMenus::confirmationsAnsweredNoSendNothing()
{
    StatusSession s;
    QVERIFY(s.connect());
    s.clearCommands();
    const QString counts = s.text("eUpCnt1");
    s.counterState().password = "4321";
    s.counterState().loggedOn = true;
    s.status->CheckPasswordState();
    s.clearCommands();
    for (const char* name : {"ClearCounts1", "menuFlush", "menuRecalibrate", "menuClearPwd"}) {
        messageBoxes().queueAnswer(false);
        QVERIFY2(s.item(name)->isEnabled(), name);
        s.item(name)->trigger();
    }
    QCOMPARE(messageBoxes().recorded(),
             (QList<RecordedMessage>{
                 warningQuestion("Warning! Clearing counts. Are You Sure?", false),
                 warningQuestion("Warning. This will flush the buffer of counts. Are you sure?", false),
                 warningQuestion("Warning! Recalibrating counter. Are You Sure?", false),
                 warningQuestion("Warning! Clearing password. Are You Sure?", false)}));
    QTest::qWait(100);
    QCOMPARE(s.commands(), QStringList());
    QCOMPARE(s.frontWindow(), QString("fStatus"));
    QCOMPARE(s.text("eUpCnt1"), counts);
}

void TestStatusMenus::clearCountsAndFlushThenRead()
{
    StatusSession s;
    s.counterState().channels[2].upCount = 40;
    s.counterState().events = QStringList{"one", "two"};
    QVERIFY(s.connect());
    QCOMPARE(s.text("eUpCnt3"), QString("40"));
    s.clearCommands();

    messageBoxes().queueAnswer(true);
    s.item("ClearCounts1")->trigger();
    QCOMPARE(s.settledCommands(), QStringList{"1C"} + statusRead());
    QCOMPARE(s.text("eUpCnt3"), QString("0"));

    s.clearCommands();
    messageBoxes().queueAnswer(true);
    s.item("menuFlush")->trigger();
    QCOMPARE(s.settledCommands(), QStringList{"c"} + statusRead());
    QCOMPARE(s.text("labEvents"), QString("There are 0 events, max of 4000"));
}

void TestStatusMenus::recalibrateCountsDownAndDoesNotRead()
{
    StatusSession s;
    QVERIFY(s.connect());
    s.clearCommands();
    QLabel* panel = app::fBlank->panMain();
    panel->setText("left over");
    // What the placeholder shows while it is in front.
    QStringList shown;
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (s.frontWindow() != "fBlank")
            return;
        if (shown.isEmpty() || shown.last() != panel->text())
            shown << panel->text();
    });
    watch.start();
    // The countdown at its real length.
    s.main->link().timing.recalibrateMs = 5000;
    messageBoxes().queueAnswer(true);
    QElapsedTimer clock;
    clock.start();
    s.item("menuRecalibrate")->trigger();
    const qint64 elapsed = clock.elapsed();
    watch.stop();

    QCOMPARE(shown, QStringList({"5 Seconds until reset complete", "4 Seconds until reset complete",
                                 "3 Seconds until reset complete", "2 Seconds until reset complete",
                                 "1 Seconds until reset complete", "0 Seconds until reset complete"}));
    QVERIFY2(elapsed >= 5000, qPrintable(QString::number(elapsed)));
    QCOMPARE(s.frontWindow(), QString("fStatus"));
    QTest::qWait(100);
    QCOMPARE(s.commands(), QStringList({"E1"}));
}

void TestStatusMenus::displayChoices()
{
    StatusSession s;
    QVERIFY(s.connect());
    s.clearCommands();
    s.item("menuDisplayCounts")->trigger();
    QCOMPARE(s.settledCommands(), QStringList({"EA1"}));
    QCOMPARE(s.counterState().displayMode, 1);
    s.item("menuDisplayKestrova")->trigger();
    QCOMPARE(s.settledCommands(), QStringList({"EA1", "EA0"}));
    QCOMPARE(s.counterState().displayMode, 0);
    QVERIFY(messageBoxes().recorded().isEmpty());
}

KFC_APP_TEST_MAIN(TestStatusMenus)
#include "test_statusmenus.moc"
