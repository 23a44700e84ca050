// The main frame: settings of a first run and of later runs, menus, status panels, clock,
// lamps, connecting to the simulated counter, hang-up, the close query and what the
// counter receives on exit, a line that dies, a counter behind a serial device server,
// merged menus, the general error handler.

#include "support/apptest.h"

#include "app/activitylamp.h"
#include "app/mergedmenus.h"
#include "app/statuswindowapi.h"
#include "app/tfblank.h"
#include "app/tfrmdebug.h"
#include "link/errors.h"
#include "sim/tcpcounter.h"
#include "support/fakeportdevice.h"
#include "support/logtext.h"

#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>

using namespace kfc;
using namespace kfc::app;
using kfc::test::AppFixture;
using kfc::test::child;
using kfc::test::frontWindow;
using kfc::test::menuBarTitles;
using kfc::test::menuItem;
using kfc::test::panelText;

namespace {

struct MenuStates {
    bool direct, modem, terminal, hangup;
    friend bool operator==(const MenuStates&, const MenuStates&) = default;
};

MenuStates menuStates(const TfMain& main)
{
    return {menuItem(main, "menuConnectDirect")->isEnabled(),
            menuItem(main, "menuConnectModem")->isEnabled(),
            menuItem(main, "menuConnectTerminal")->isEnabled(),
            menuItem(main, "menuConnectHangup")->isEnabled()};
}

// A child window with menus of its own, as the status window and the terminal have.
class MenuChild : public QMdiSubWindow, public MergedMenus {
public:
    MenuChild()
    {
        setObjectName("menuChild");
        setWidget(new QWidget);
        m_first.setTitle("&Information");
        m_second.setTitle("Counter &Setup");
    }
    QList<QMenu*> mergedMenus() const override
    {
        return {const_cast<QMenu*>(&m_first), const_cast<QMenu*>(&m_second)};
    }

private:
    QMenu m_first;
    QMenu m_second;
};

} // namespace

class TestMainFrame : public QObject {
    Q_OBJECT
private slots:
    void firstRunUsesDefaultsAndSavesAllNineValues();
    void savedSettingsAreRestoredAndBadOnesLogged();
    void captionMenusAndPanelsAtStart();
    void clockIsEmptyUntilTheFirstTick();
    void clockTextFormat();
    void connectionPanelTexts();
    void directConnectionToSimulatedCounter();
    void hangupAnsweredNoChangesNothing();
    void hangupLogsOffAndClosesTheLine();
    void hangupWithoutAnswerToStateQueryStillClosesTheLine();
    void closeQueryAnsweredNoKeepsRunning();
    void exitWithPasswordSendsLogoffThenGoodbye();
    void portSettingsSurviveARestart();
    void lampsLightWhileBytesPass();
    void deadLineIsReportedOnceAndLeavesNotConnected();
    void networkLineIsReachedAndLostAsACableIs();
    void childMenusAreMergedWhileActive();
    void generalErrorHandlerShowsTheTextAndCarriesOn();
    void exitDuringAnExchangeIsRefused();
};

void TestMainFrame::firstRunUsesDefaultsAndSavesAllNineValues()
{
    AppFixture fixture;
    QVERIFY(fixture.store()->allKeys().isEmpty());
    auto windows = test::makeWindows();
    TfMain& main = windows->main();
    QCOMPARE(main.size(), QSize(627, 480));
    QCOMPARE(main.comPort().settings, (SerialSettings{1, 19200, Parity::Even, 7, 1}));
    QVERIFY2(fixture.store()->allKeys().isEmpty(), "nothing is written before exit");

    messageBoxes().queueAnswer(true);
    QVERIFY(main.close());
    const QPoint position = main.pos();
    windows.reset();

    auto store = fixture.store();
    QCOMPARE(store->childKeys(), QStringList({"DirectBaud", "DirectComPort", "DirectDataBits",
                                              "DirectParity", "DirectStopBits", "Height", "Left",
                                              "Top", "Width"}));
    QCOMPARE(store->value("Top").toInt(), position.y());
    QCOMPARE(store->value("Left").toInt(), position.x());
    QCOMPARE(store->value("Width").toInt(), 627);
    QCOMPARE(store->value("Height").toInt(), 480);
    QCOMPARE(store->value("DirectComPort").toInt(), 1);
    QCOMPARE(store->value("DirectBaud").toInt(), 19200);
    QCOMPARE(store->value("DirectParity").toInt(), 2);
    QCOMPARE(store->value("DirectStopBits").toInt(), 1);
    QCOMPARE(store->value("DirectDataBits").toInt(), 7);
}

void TestMainFrame::savedSettingsAreRestoredAndBadOnesLogged()
{
    AppFixture fixture;
    {
        auto store = fixture.store();
        store->setValue("Width", 700);
        store->setValue("Height", "tall");
        store->setValue("DirectComPort", 4);
        store->setValue("DirectBaud", 9600);
        store->setValue("DirectParity", 3);
        store->setValue("DirectStopBits", 2);
        store->setValue("DirectDataBits", 8);
    }
    auto windows = test::makeWindows();
    TfMain& main = windows->main();
    QCOMPARE(main.size(), QSize(700, 480));
    QCOMPARE(main.comPort().settings, (SerialSettings{4, 9600, Parity::Mark, 8, 2}));
    const QString memo = child<QPlainTextEdit>(&main, "Memo1")->toPlainText();
    QVERIFY2(memo.contains("The setting \"Height\" (tall) is not a whole number; it is ignored."),
             qPrintable(memo));

    messageBoxes().queueAnswer(true);
    main.close();
    windows.reset();
    QCOMPARE(fixture.store()->value("Height").toInt(), 480);
    QCOMPARE(fixture.store()->value("DirectParity").toInt(), 3);
}

void TestMainFrame::captionMenusAndPanelsAtStart()
{
    AppFixture fixture;
    auto windows = test::makeWindows();
    TfMain& main = windows->main();
    // The maximised child's caption joins the frame's, as in any multiple-document frame.
    QCOMPARE(main.windowTitle(), QString("Kestrova Fish Counters - [Not Connected]"));
    QCOMPARE(menuBarTitles(main), QStringList({"&File", "Co&nnect", "&Help"}));
    QStringList connectItems;
    for (QAction* item : child<QMenu>(&main, "menuConnect")->actions())
        connectItems << (item->isSeparator() ? item->objectName() + " -" : item->text());
    QCOMPARE(connectItems, QStringList({"&Direct Connection", "&Modem Connection", "N2 -",
                                        "&Terminal", "N1 -", "&Hangup"}));
    QCOMPARE(menuItem(main, "menuExit")->text(), QString("E&xit"));
    QCOMPARE(menuItem(main, "menuAbout")->text(), QString("&About"));
    QCOMPARE(menuStates(main), (MenuStates{true, true, true, false}));

    QCOMPARE(panelText(main, "panConnect"), QString("  Not Connected"));
    QCOMPARE(panelText(main, "panMessage"), QString());
    QVERIFY(child<QLabel>(&main, "panConnect")->width() >= 144);
    QCOMPARE(child<QWidget>(&main, "panStatus")->height(), 22);
    auto* tx = child<ActivityLamp>(&main, "apdslTx");
    auto* rx = child<ActivityLamp>(&main, "apdslRx");
    QCOMPARE(tx->size(), QSize(16, 16));
    QCOMPARE(tx->currentColour(), ActivityLamp::unlitColour());
    QCOMPARE(rx->currentColour(), ActivityLamp::unlitColour());
    QVERIFY(tx->x() < rx->x());

    QCOMPARE(frontWindow(main), QString("fBlank"));
    // Out of reach until a connection grants access.
    QVERIFY(!child<QMdiSubWindow>(&main, "fStatus")->isVisible());
    QVERIFY(fBlank->isMaximized());
    QVERIFY(!frmDebug->isVisible());
    QVERIFY(!child<QWidget>(&main, "fCounterLogon")->isVisible());
    QCOMPARE(main.conductivityPoints(), (std::array<qint32, 8>{10, 40, 70, 100, 150, 200, 300, 500}));
}

void TestMainFrame::clockIsEmptyUntilTheFirstTick()
{
    AppFixture fixture;
    auto windows = test::makeWindows();
    TfMain& main = windows->main();
    QCOMPARE(panelText(main, "panDateTime"), QString());
    QCOMPARE(child<QTimer>(&main, "TimerDateTime")->interval(), 1000);
    QTRY_VERIFY_WITH_TIMEOUT(!panelText(main, "panDateTime").isEmpty(), 10000);
    QVERIFY(QRegularExpression(R"(^\d\d\D\d\d\D\d\d \d\d\D\d\d$)")
                .match(panelText(main, "panDateTime"))
                .hasMatch());
}

void TestMainFrame::clockTextFormat()
{
    const QString text = TfMain::clockText(QDateTime(QDate(2007, 3, 5), QTime(21, 4, 59)));
    QVERIFY2(QRegularExpression(R"(^05\D03\D07 21\D04$)").match(text).hasMatch(), qPrintable(text));
}

void TestMainFrame::connectionPanelTexts()
{
    AppFixture fixture;
    auto device = std::make_unique<test::FakePortDevice>();
    auto windows = test::makeWindows(std::move(device));
    TfMain& main = windows->main();
    ComPort& port = main.comPort();

    main.ShowConnectionState(QString("Hayes Accura 56K"));
    QCOMPARE(panelText(main, "panConnect"), QString("  Not Connected"));

    QVERIFY(port.OpenPort());
    main.ShowConnectionState();
    QCOMPARE(panelText(main, "panConnect"), QString("  Direct: Com 1, 19200, E, 7, 1"));
    main.ShowConnectionState(QString("Hayes Accura 56K"));
    QCOMPARE(panelText(main, "panConnect"), QString("  Modem: Hayes Accura 56K"));
    // A later direct connection shows the direct settings again.
    port.settings = {12, 2400, Parity::Odd, 8, 2};
    main.ShowConnectionState();
    QCOMPARE(panelText(main, "panConnect"), QString("  Direct: Com 12, 2400, O, 8, 2"));
    for (auto [parity, letter] : {std::pair{Parity::None, "N"}, {Parity::Mark, "M"}, {Parity::Space, "S"}}) {
        port.settings.parity = parity;
        main.ShowConnectionState();
        QCOMPARE(panelText(main, "panConnect"), QString("  Direct: Com 12, 2400, %1, 8, 2").arg(letter));
    }
    main.ShowMessageText("Getting Counter Status");
    QCOMPARE(panelText(main, "panMessage"), QString("Getting Counter Status"));
    main.ShowMessageText(QString());
    QCOMPARE(panelText(main, "panMessage"), QString());
    port.ClosePort();
}

void TestMainFrame::directConnectionToSimulatedCounter()
{
    test::MainFrameSession s;
    TfMain& main = *s.main;
    test::SimulatedLine& line = s.line;
    QVERIFY(line.started);
    QCOMPARE(menuStates(main), (MenuStates{true, true, true, false}));

    s.connect();
    QVERIFY(main.comPort().PortIsOpen());
    QCOMPARE(panelText(main, "panConnect"), QString("  Direct: Com %1, 19200, E, 7, 1").arg(line.comNumber));
    QCOMPARE(menuStates(main), (MenuStates{false, false, false, true}));
    QCOMPARE(frontWindow(main), QString("fStatus"));
    QCOMPARE(main.windowTitle(), QString("Kestrova Fish Counters - [Status]"));
    QVERIFY(messageBoxes().recorded().isEmpty());
    // The status window checked the password state, then read the counter.
    QCOMPARE(line.commands().mid(0, 2), QStringList({"9D", "a"}));
}

void TestMainFrame::hangupAnsweredNoChangesNothing()
{
    test::MainFrameSession s;
    s.connect();
    TfMain& main = *s.main;
    test::SimulatedLine& line = s.line;
    // What the status window said on connecting (password state, status read).
    line.pty.counter().clearCommands();
    QVERIFY(main.comPort().PortIsOpen());
    const QString panel = panelText(main, "panConnect");

    messageBoxes().queueAnswer(false);
    menuItem(main, "menuConnectHangup")->trigger();
    QCOMPARE(messageBoxes().recorded(),
             (QList<RecordedMessage>{{MessageKind::Information,
                                      "About to drop connection. Are you sure?", true, false}}));
    QVERIFY(main.comPort().PortIsOpen());
    QCOMPARE(panelText(main, "panConnect"), panel);
    QCOMPARE(menuStates(main), (MenuStates{false, false, false, true}));
    QCOMPARE(frontWindow(main), QString("fStatus"));
    QVERIFY(child<QMdiSubWindow>(&main, "fStatus")->isVisible());
    QTest::qWait(50);
    QCOMPARE(line.commands(), QStringList());
}

void TestMainFrame::hangupLogsOffAndClosesTheLine()
{
    test::MainFrameSession s;
    s.connect();
    TfMain& main = *s.main;
    test::SimulatedLine& line = s.line;
    // What the status window said on connecting (password state, status read).
    line.pty.counter().clearCommands();
    main.comPort().TapiMode = true;

    messageBoxes().queueAnswer(true);
    menuItem(main, "menuConnectHangup")->trigger();
    QTRY_COMPARE(line.commands(), QStringList({"9D", "e"}));
    QVERIFY(!main.comPort().PortIsOpen());
    QVERIFY(!main.comPort().TapiMode);
    QCOMPARE(panelText(main, "panConnect"), QString("  Not Connected"));
    QCOMPARE(menuStates(main), (MenuStates{true, true, true, false}));
    QCOMPARE(frontWindow(main), QString("fBlank"));
    QCOMPARE(main.windowTitle(), QString("Kestrova Fish Counters - [Not Connected]"));
    QVERIFY(!child<QMdiSubWindow>(&main, "fStatus")->isVisible());
    // Only the question: a counter without a password logs off silently.
    QCOMPARE(messageBoxes().recorded().size(), 1);
}

void TestMainFrame::hangupWithoutAnswerToStateQueryStillClosesTheLine()
{
    test::MainFrameSession s;
    s.connect();
    TfMain& main = *s.main;
    test::SimulatedLine& line = s.line;
    // What the status window said on connecting (password state, status read).
    line.pty.counter().clearCommands();
    line.pty.counter().addFault({sim::SimFault::NoReply, "9D", 1, 0});

    messageBoxes().queueAnswer(true);
    menuItem(main, "menuConnectHangup")->trigger();
    QCOMPARE(messageBoxes().recordedTexts(),
             QStringList({"About to drop connection. Are you sure?", "Invalid Password Response - "}));
    QVERIFY(!main.comPort().PortIsOpen());
    QCOMPARE(panelText(main, "panConnect"), QString("  Not Connected"));
    QTRY_COMPARE(line.commands(), QStringList({"9D", "e"}));
}

void TestMainFrame::closeQueryAnsweredNoKeepsRunning()
{
    test::MainFrameSession s;
    s.connect();
    TfMain& main = *s.main;
    test::SimulatedLine& line = s.line;
    // What the status window said on connecting (password state, status read).
    line.pty.counter().clearCommands();

    messageBoxes().queueAnswer(false);
    menuItem(main, "menuExit")->trigger();
    QCOMPARE(messageBoxes().recorded(),
             (QList<RecordedMessage>{{MessageKind::Warning, "Exiting System. Are you sure?", true, false}}));
    QVERIFY(main.isVisible());
    QVERIFY(main.comPort().PortIsOpen());
    QTest::qWait(50);
    QCOMPARE(line.commands(), QStringList());
}

void TestMainFrame::exitWithPasswordSendsLogoffThenGoodbye()
{
    test::MainFrameSession s;
    s.connect();
    TfMain& main = *s.main;
    test::SimulatedLine& line = s.line;
    // What the status window said on connecting (password state, status read).
    line.pty.counter().clearCommands();
    // A password set on the counter after the connection: this one is not logged on.
    line.pty.counter().state.password = "4321";
    const qsizetype logStart = main.link().log().size();

    messageBoxes().queueAnswer(true);
    menuItem(main, "menuExit")->trigger();
    QVERIFY(!main.isVisible());
    QVERIFY(!main.comPort().PortIsOpen());
    QTRY_COMPARE(line.commands(), QStringList({"9D", "92", "e"}));
    // The log-off and "e" get no reply, and are logged all the same.
    QCOMPARE(test::withoutFrameTimes(main.link().log().mid(logStart)),
             QStringList({"Tx  9D", "Rx  OLD", "Tx  92", "Tx  e"}));
}

void TestMainFrame::portSettingsSurviveARestart()
{
    AppFixture fixture;
    test::SimulatedLine line(*fixture.store());
    {
        auto windows = test::makeWindows();
        test::onNextModal([](QWidget* dialog) {
            child<QComboBox>(dialog, "cbRate")->setCurrentText("2400");
            child<QWidget>(dialog, "rgDataBits_1")->setProperty("checked", true);
            child<QWidget>(dialog, "rgParity_1")->setProperty("checked", true);
            child<QWidget>(dialog, "rgStopBits_1")->setProperty("checked", true);
            child<QPushButton>(dialog, "OKBtn")->click();
        });
        menuItem(windows->main(), "menuConnectDirect")->trigger();
        QVERIFY(windows->main().comPort().PortIsOpen());
        windows->main().resize(640, 500);
        messageBoxes().queueAnswer(true);
        windows->main().close();
    }
    auto windows = test::makeWindows();
    QCOMPARE(windows->main().comPort().settings,
             (SerialSettings{line.comNumber, 2400, Parity::Odd, 8, 2}));
    QCOMPARE(windows->main().size(), QSize(640, 500));
}

void TestMainFrame::lampsLightWhileBytesPass()
{
    test::MainFrameSession s;
    s.connect();
    TfMain& main = *s.main;
    auto* tx = child<ActivityLamp>(&main, "apdslTx");
    auto* rx = child<ActivityLamp>(&main, "apdslRx");
    // Out again after the status window's read on connecting.
    QTRY_VERIFY(!tx->isLit() && !rx->isLit());
    QSignalSpy txSpy(tx, &ActivityLamp::litChanged);
    QSignalSpy rxSpy(rx, &ActivityLamp::litChanged);

    QCOMPARE(main.link().Exchange("9D"), QString("NEW"));
    QVERIFY(txSpy.size() >= 1);
    QCOMPARE(txSpy.first().first().toBool(), true);
    QTRY_VERIFY(!tx->isLit() && !rx->isLit());
    QCOMPARE(txSpy.last().first().toBool(), false);
    QVERIFY(rxSpy.size() >= 2);
    QCOMPARE(rxSpy.first().first().toBool(), true);
    QCOMPARE(tx->currentColour(), ActivityLamp::unlitColour());
}

void TestMainFrame::deadLineIsReportedOnceAndLeavesNotConnected()
{
    test::MainFrameSession s;
    s.connect();
    TfMain& main = *s.main;
    test::SimulatedLine& line = s.line;
    QVERIFY(main.comPort().PortIsOpen());

    line.pty.hangUp();
    QTRY_COMPARE(messageBoxes().recorded().size(), 1);
    const RecordedMessage message = messageBoxes().recorded().first();
    QCOMPARE(message.kind, MessageKind::Error);
    QVERIFY2(message.text.startsWith(QString("The connection on COM %1 was lost").arg(line.comNumber)),
             qPrintable(message.text));
    QVERIFY(!main.comPort().PortIsOpen());
    QCOMPARE(panelText(main, "panConnect"), QString("  Not Connected"));
    QCOMPARE(menuStates(main), (MenuStates{true, true, true, false}));
    QCOMPARE(frontWindow(main), QString("fBlank"));
    QTest::qWait(100);
    QCOMPARE(messageBoxes().recorded().size(), 1);
}

// COM n mapped to tcp://HOST:PORT: "Com Port Setup" opens it, the status window reads the
// counter; the counter's new rate cannot be followed here, and the user is told what to
// change; the far end closing the connection is the line lost.
void TestMainFrame::networkLineIsReachedAndLostAsACableIs()
{
    AppFixture fixture;
    sim::TcpCounter counter;
    QVERIFY(counter.listen(QHostAddress::LocalHost, 0));
    const int comNumber = connect::DemoSession::mapPort(*fixture.store(), counter.address());
    auto windows = test::makeWindows();
    TfMain& main = windows->main();

    test::connectDirect(main);
    QVERIFY(main.comPort().PortIsOpen());
    QCOMPARE(frontWindow(main), QString("fStatus"));
    QCOMPARE(counter.counter().commands().mid(0, 2), QStringList({"9D", "a"}));

    test::onNextModal([](QDialog* dialog) {
        child<QRadioButton>(dialog, "RGComms_4")->setChecked(true);   // 9600
        child<QPushButton>(dialog, "OKBtn")->click();
    });
    emit fStatus->subWindow()->findChild<QMenu*>("menuAdvancedSetup")->aboutToShow();
    child<QAction>(fStatus->subWindow(), "BaudRate1")->trigger();
    QTRY_COMPARE(counter.counter().commands().last(), QString("B109600"));
    QCOMPARE(messageBoxes().recordedTexts(), QStringList{main.comPort().speedNotFollowedMessage(9600)});
    QVERIFY(messageBoxes().recordedTexts().first().contains("Change the device server's serial port to 9600 baud"));
    QCOMPARE(main.comPort().settings.baud, 19200);
    QVERIFY(main.comPort().PortIsOpen());

    messageBoxes().reset();
    counter.hangUp();
    QTRY_COMPARE(messageBoxes().recorded().size(), 1);
    QCOMPARE(messageBoxes().recordedTexts().first(),
             QString("The connection on COM %1 was lost: the device %2 is gone (unplugged, switched off or taken away).")
                 .arg(comNumber)
                 .arg(counter.address()));
    QCOMPARE(menuStates(main), (MenuStates{true, true, true, false}));
    QCOMPARE(frontWindow(main), QString("fBlank"));
    messageBoxes().queueAnswer(true);
    main.close();
}

void TestMainFrame::childMenusAreMergedWhileActive()
{
    AppFixture fixture;
    auto windows = test::makeWindows();
    TfMain& main = windows->main();
    auto* menuChild = new MenuChild;
    main.mdiArea()->addSubWindow(menuChild);
    menuChild->showMaximized();
    main.mdiArea()->setActiveSubWindow(menuChild);
    QCOMPARE(menuBarTitles(main),
             QStringList({"&File", "Co&nnect", "&Information", "Counter &Setup", "&Help"}));

    main.showBlank();
    QCOMPARE(menuBarTitles(main), QStringList({"&File", "Co&nnect", "&Help"}));
    main.mdiArea()->setActiveSubWindow(menuChild);
    QCOMPARE(menuBarTitles(main).size(), 5);
    delete menuChild;
    main.showBlank();
    QCOMPARE(menuBarTitles(main), QStringList({"&File", "Co&nnect", "&Help"}));
}

void TestMainFrame::generalErrorHandlerShowsTheTextAndCarriesOn()
{
    AppFixture fixture;
    bool after = false;
    QTimer::singleShot(0, [] { throw ConversionError("Bad number in reply: \"1x\""); });
    QTimer::singleShot(10, [&after] { after = true; });
    QTRY_VERIFY(after);
    QCOMPARE(messageBoxes().recorded(),
             (QList<RecordedMessage>{{MessageKind::Error, "Bad number in reply: \"1x\"", false, false}}));
}

void TestMainFrame::exitDuringAnExchangeIsRefused()
{
    test::MainFrameSession s;
    s.connect();
    TfMain& main = *s.main;
    test::SimulatedLine& line = s.line;
    // What the status window said on connecting (password state, status read).
    line.pty.counter().clearCommands();
    line.pty.counter().addFault({sim::SimFault::SlowReply, "9D", 1, 300});

    messageBoxes().queueAnswer(true);
    QTimer::singleShot(50, &main, [&main] { main.close(); });
    QCOMPARE(main.link().Exchange("9D"), QString("NEW"));
    QCOMPARE(messageBoxes().recordedTexts(),
             QStringList({"Exiting System. Are you sure?",
                          "The counter is busy with another command. Try again when it has finished."}));
    QVERIFY(main.isVisible());
    QVERIFY(main.comPort().PortIsOpen());
    QCOMPARE(line.commands(), QStringList({"9D"}));
}

KFC_APP_TEST_MAIN(TestMainFrame)
#include "test_mainframe.moc"
