// The terminal: its screen for each control byte, an escape sequence shown as text, a full
// screen scrolling; the window against the simulated counter, with the keys it sends, the
// line kept from every other command, and the three ways out.

#include "support/statustest.h"

#include "connect/terminalscreen.h"
#include "connect/terminalview.h"
#include "connect/tfterminal.h"
#include "link/errors.h"

#include <QKeyEvent>

using namespace kfc;
using namespace kfc::test;
using kfc::connect::TerminalScreen;

namespace {

QStringList trimmedRows(const TerminalScreen& screen, int count)
{
    QStringList rows;
    for (int r = 0; r < count; ++r) {
        QString row = screen.row(r);
        while (row.endsWith(QLatin1Char(' ')))
            row.chop(1);
        rows << row;
    }
    return rows;
}

void press(QWidget* view, int key, const QString& text)
{
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(view, &event);
}

QString rowText(connect::TfTerminal* terminal, int r)
{
    return terminal->view()->screen().row(r).trimmed();
}

} // namespace

class TestTerminal : public QObject {
    Q_OBJECT
private slots:
    void screen_data();
    void screen();
    void fullScreenScrollsUp_data();
    void fullScreenScrollsUp();
    void windowOwnsTheLineAndHandsItOver_data();
    void windowOwnsTheLineAndHandsItOver();
    void plainModeLeavesTheLinkAsItWas_data();
    void plainModeLeavesTheLinkAsItWas();
};

void TestTerminal::screen_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("rows"); // the top two, trailing blanks cut
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("bells");
    QTest::addColumn<bool>("newLineOnCr");

    const QByteArray full(80, 'x');
    QTest::newRow("printable") << QByteArray("AB~") << QStringList{"AB~", ""} << 0 << 3 << 0 << false;
    QTest::newRow("BEL rings, moves nothing") << QByteArray("A\aB") << QStringList{"AB", ""} << 0 << 2 << 1 << false;
    QTest::newRow("BS steps back") << QByteArray("AB\bC") << QStringList{"AC", ""} << 0 << 2 << 0 << false;
    QTest::newRow("BS stops at the edge") << QByteArray("\b\bA") << QStringList{"A", ""} << 0 << 1 << 0 << false;
    QTest::newRow("TAB to the next stop") << QByteArray("A\tB\tC") << QStringList{"A       B       C", ""} << 0 << 17 << 0 << false;
    QTest::newRow("TAB on a stop") << QByteArray("12345678\tB") << QStringList{"12345678        B", ""} << 0 << 17 << 0 << false;
    QTest::newRow("TAB stops at the last column") << QByteArray(10, '\t') + "Z"
                                                  << QStringList{QString(79, ' ') + "Z", ""} << 0 << 79 << 0 << false;
    QTest::newRow("LF keeps the column") << QByteArray("AB\nC") << QStringList{"AB", "  C"} << 1 << 3 << 0 << false;
    QTest::newRow("CR to the first column") << QByteArray("AB\rC") << QStringList{"CB", ""} << 0 << 1 << 0 << false;
    QTest::newRow("CR LF") << QByteArray("AB\r\nC") << QStringList{"AB", "C"} << 1 << 1 << 0 << false;
    QTest::newRow("other controls ignored") << QByteArray("A\x01\x0b\x0c\x1b\x7f", 6) + QByteArray(1, '\0') + "B"
                                            << QStringList{"AB", ""} << 0 << 2 << 0 << false;
    QTest::newRow("escape sequence shown as text") << QByteArray("X\x1b[2J") << QStringList{"X[2J", ""} << 0 << 4 << 0 << false;
    QTest::newRow("Latin-1 byte") << QByteArray("\xe9") << QStringList{QString(QChar(0xe9)), ""} << 0 << 1 << 0 << false;
    QTest::newRow("last column then wrap") << full + "y" << QStringList{QString(80, 'x'), "y"} << 1 << 1 << 0 << false;
    QTest::newRow("full row then CR LF adds no blank row") << full + "\r\ny"
                                                           << QStringList{QString(80, 'x'), "y"} << 1 << 1 << 0 << false;
    // The counter's CR-ended lines stack.
    QTest::newRow("CR moves down") << QByteArray("AB\rC") << QStringList{"AB", "C"} << 1 << 1 << 0 << true;
    QTest::newRow("CR LF is one line end") << QByteArray("AB\r\nC") << QStringList{"AB", "C"} << 1 << 1 << 0 << true;
    QTest::newRow("CR CR leaves a blank row") << QByteArray("A\r\rB") << QStringList{"A", ""} << 2 << 1 << 0 << true;
    QTest::newRow("LF alone moves down") << QByteArray("AB\nC\n\nD") << QStringList{"AB", "  C"} << 3 << 4 << 0 << true;
    QTest::newRow("full row then CR") << full + "\ry" << QStringList{QString(80, 'x'), "y"} << 1 << 1 << 0 << true;
}

void TestTerminal::screen()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, newLineOnCr);
    TerminalScreen screen;
    screen.setNewLineOnCr(newLineOnCr);
    screen.feed(bytes);
    QTEST(trimmedRows(screen, 2), "rows");
    QTEST(screen.cursorRow(), "row");
    QTEST(screen.cursorColumn(), "column");
    QTEST(screen.bells(), "bells");
}

void TestTerminal::fullScreenScrollsUp_data()
{
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::addColumn<bool>("newLineOnCr");
    QTest::newRow("CR LF") << QByteArray("\r\n") << false;
    QTest::newRow("CR, new line on CR") << QByteArray("\r") << true;
}

void TestTerminal::fullScreenScrollsUp()
{
    QFETCH(QByteArray, lineEnd);
    QFETCH(bool, newLineOnCr);
    TerminalScreen screen;
    screen.setNewLineOnCr(newLineOnCr);
    for (int n = 0; n < 30; ++n)
        screen.feed(QStringLiteral("line %1").arg(n).toLatin1() + lineEnd);
    const QStringList rows = trimmedRows(screen, TerminalScreen::kRows);
    // 30 lines and the blank one the cursor stands on: the first seven went off the top.
    QCOMPARE(rows.first(), QStringLiteral("line 7"));
    QCOMPARE(rows.at(22), QStringLiteral("line 29"));
    QCOMPARE(rows.last(), QString());
    QCOMPARE(screen.cursorRow(), TerminalScreen::kRows - 1);
}

void TestTerminal::windowOwnsTheLineAndHandsItOver_data()
{
    QTest::addColumn<QString>("way");            // the menu item that leaves the terminal
    QTest::addColumn<QString>("panel");          // "" for the direct-connection text
    QTest::addColumn<QString>("front");
    QTest::addColumn<bool>("open");
    QTest::addColumn<QString>("title");   // the main frame's, with the front child's caption
    // The counter answers the password state with what it says to a wrong password, as one
    // left waiting for a password by a "9" typed in the terminal does.
    QTest::addColumn<bool>("refuses");

    QTest::newRow("hand over") << "menuConnectClose" << "" << "fStatus" << true << "Kestrova Fish Counters - [Status]"
                               << false;
    QTest::newRow("hand over, logon refused") << "menuConnectClose" << "  Not Connected" << "fBlank" << false
                                              << "Kestrova Fish Counters - [Not Connected]" << true;
    QTest::newRow("drop") << "menuDisconnectClose" << "  Not Connected" << "fBlank" << false
                          << "Kestrova Fish Counters - [Not Connected]" << false;
}

void TestTerminal::windowOwnsTheLineAndHandsItOver()
{
    QFETCH(QString, way);
    StatusSession s;
    onNextModal([&](QWidget* dialog) {
        child<QComboBox>(dialog, "cbComPort")->setCurrentText(s.line.portEntry());
        child<QPushButton>(dialog, "OKBtn")->click();
    });
    menuItem(*s.main, "menuConnectTerminal")->trigger();
    connect::TfTerminal* terminal = connect::fTerminal;
    QVERIFY(terminal);
    QCOMPARE(s.frontWindow(), QStringLiteral("fTerminal"));
    QVERIFY(!s.main->connectMenuShown());
    QVERIFY(menuBarTitles(*s.main).contains("&Terminal"));
    QVERIFY(terminal->findChild<QAction*>("menuConnectClose")->isVisible());
    QVERIFY(terminal->findChild<QAction*>("menuDisconnectClose")->isVisible());
    QVERIFY(!terminal->findChild<QAction*>("menuClose")->isVisible());
    QVERIFY(s.main->comPort().monitoringRequested());

    // Keys go out as they are typed, Backspace as DEL, and nothing is echoed.
    QWidget* view = terminal->view();
    press(view, Qt::Key_X, "x");
    press(view, Qt::Key_Backspace, "\b");
    QTRY_COMPARE(s.line.pty.received(), QByteArray("x\x7f"));
    QTest::qWait(50);
    QCOMPARE(rowText(terminal, 0), QString());

    // A command typed by hand: the counter's reply is on the screen, and no command of the
    // program may take the line meanwhile.
    press(view, Qt::Key_B, "\x02");
    press(view, Qt::Key_9, "9");
    press(view, Qt::Key_D, "D");
    press(view, Qt::Key_C, "\x03");
    QTRY_COMPARE(rowText(terminal, 0), QStringLiteral("NEW"));
    QVERIFY_THROWS_EXCEPTION(LineBusyError, s.main->link().Exchange(QStringLiteral("a")));
    QCOMPARE(s.commands(), QStringList{"9D"});

    // The counter ends its replies with CR alone: by default each gets a row of its own.
    // Turned off, the choice is kept for the next terminal.
    QAction* newLineOnCr = terminal->findChild<QAction*>("menuNewLineOnCR");
    QVERIFY(newLineOnCr->isChecked());
    for (const char* key : {"\x02", "9", "D", "\x03"})
        press(view, 0, QString::fromLatin1(key));
    QTRY_COMPARE(rowText(terminal, 1), QStringLiteral("NEW"));
    newLineOnCr->trigger();
    QCOMPARE(app::SettingsStore::open()->value(app::SettingName::TerminalNewLineOnCR), QVariant(false));

    s.clearCommands();
    app::messageBoxes().reset();
    QFETCH(bool, refuses);
    if (refuses)
        s.counter().addFault({sim::SimFault::Replace, "9D", 10, 0, "DENIED"});
    terminal->findChild<QAction*>(way)->trigger();
    QVERIFY(!connect::fTerminal);
    // Nothing asks about a line that is already dropped; a refusal says what the counter said.
    QCoreApplication::processEvents();
    const QStringList said = app::messageBoxes().recordedTexts();
    QCOMPARE(said.isEmpty(), !refuses);
    for (const QString& text : said)
        QCOMPARE(text, QStringLiteral("Invalid Password Response - DENIED"));
    if (refuses) {
        // No empty window on an open line: the session is ended and nothing is read.
        QCOMPARE(s.settledCommands().last(), QStringLiteral("e"));
        QVERIFY(!s.commands().contains("a"));
        QCOMPARE(s.messagePanel(), app::TfMain::kNotLoggedOn);
    }
    QVERIFY(s.main->connectMenuShown());
    QFETCH(QString, panel);
    QCOMPARE(child<QLabel>(s.main, "panConnect")->text(),
             panel.isEmpty() ? app::TfMain::connectionText(s.main->comPort(), std::nullopt) : panel);
    QTEST(s.frontWindow(), "front");
    QFETCH(QString, title);
    QTRY_COMPARE(s.main->windowTitle(), title);
    QTEST(s.main->comPort().PortIsOpen(), "open");
    QTEST(menuItem(*s.main, "menuConnectHangup")->isEnabled(), "open");
    if (s.main->comPort().PortIsOpen()) {
        // The link is free again: the status window logged on and read the counter.
        QCOMPARE(s.commands().mid(0, 2), (QStringList{"9D", "a"}));
    }
}

void TestTerminal::plainModeLeavesTheLinkAsItWas_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("front");
    QTest::addColumn<bool>("open");
    QTest::newRow("close") << "close" << "fStatus" << true;
    QTest::newRow("hang-up closes it") << "hang-up" << "fBlank" << false;
    QTest::newRow("lost line closes it") << "lost" << "fBlank" << false;
}

void TestTerminal::plainModeLeavesTheLinkAsItWas()
{
    QFETCH(QString, how);
    StatusSession s;
    QVERIFY(s.connect());
    s.item("menuTerminal")->trigger();
    connect::TfTerminal* terminal = connect::fTerminal;
    QVERIFY(terminal);
    QVERIFY(!s.main->connectMenuShown());
    QVERIFY(terminal->findChild<QAction*>("menuClose")->isVisible());
    QVERIFY(!terminal->findChild<QAction*>("menuConnectClose")->isVisible());
    QVERIFY(!terminal->findChild<QAction*>("menuDisconnectClose")->isVisible());

    s.clearCommands();
    app::messageBoxes().reset();
    if (how == "hang-up") {
        app::messageBoxes().queueAnswer(true);
        s.main->menuConnectHangupClick();
        // The terminal let go of the line before the goodbye.
        QCOMPARE(s.settledCommands(), (QStringList{"9D", "e"}));
    } else if (how == "lost") {
        s.line.pty.hangUp();
        QTRY_VERIFY(!connect::fTerminal);
        QCOMPARE(app::messageBoxes().recorded().size(), 1);
    } else {
        terminal->findChild<QAction*>("menuClose")->trigger();
    }
    QVERIFY(!connect::fTerminal);
    QVERIFY(s.main->connectMenuShown());
    QTEST(s.frontWindow(), "front");
    QTEST(s.main->comPort().PortIsOpen(), "open");
}

KFC_APP_TEST_MAIN(TestTerminal)
#include "test_terminal.moc"
