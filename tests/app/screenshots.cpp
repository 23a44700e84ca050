// Writes the pictures of the program used in the documentation: the main window connected
// to the simulated counter, "Com Port Setup", the about box, the debug log and the
// terminal on the simulated counter's line. Run offscreen:
//   QT_QPA_PLATFORM=offscreen app_screenshots docs

#include "support/apptest.h"

#include "app/program.h"
#include "app/tfrmabout.h"
#include "app/tfrmdebug.h"
#include "connect/terminalview.h"
#include "connect/tfdirectcoms.h"
#include "connect/tfterminal.h"

#include "support/screenshot.h"

#include <QDir>
#include <QKeyEvent>
#include <QLabel>

using namespace kfc;

using test::saveScreenshot;

int main(int argc, char** argv)
{
    app::Application application(argc, argv);
    application.setQuitOnLastWindowClosed(false);
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    test::AppFixture fixture;
    test::SimulatedLine line(*fixture.store());
    if (!line.started)
        return 1;
    line.pty.counter().setFishInterval(3000);
    auto windows = test::makeWindows();
    app::TfMain& main = windows->main();
    bool ok = true;

    {
        connect::TfDirectComs setup(main.comPort(), &main);
        setup.show();
        QTest::qWait(200);
        ok = saveScreenshot(&setup, folder, QStringLiteral("com-port-setup.png")) && ok;
    }
    {
        app::TfrmAbout about(&main);
        about.show();
        QTest::qWait(200);
        ok = saveScreenshot(&about, folder, QStringLiteral("about.png")) && ok;
    }

    test::connectDirect(main);
    if (!main.comPort().PortIsOpen())
        return 1;
    // The clock shows from its first tick on.
    auto* clock = main.findChild<QLabel*>(QStringLiteral("panDateTime"));
    if (!QTest::qWaitFor([clock] { return !clock->text().isEmpty(); }, 5000))
        qWarning("The clock did not tick.");
    // Idle, as the technician sees it between commands (during one the buttons are off).
    ok = saveScreenshot(&main, folder, QStringLiteral("main-window.png")) && ok;
    app::messageBoxes().queueAnswer(true);
    main.menuConnectHangupClick();

    // The terminal: a few commands typed by hand (STX and ETX as Ctrl+B and Ctrl+C), the
    // counter's replies and its continuous-update lines on the screen.
    test::onNextModal([&](QWidget* dialog) {
        test::child<QPushButton>(dialog, QStringLiteral("OKBtn"))->click();
    });
    test::menuItem(main, QStringLiteral("menuConnectTerminal"))->trigger();
    if (!connect::fTerminal)
        return 1;
    auto type = [](QWidget* view, const QString& text) {
        for (QChar c : text) {
            QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(view, &key);
        }
    };
    connect::TerminalView* view = connect::fTerminal->view();
    type(view, QStringLiteral("\x02" "9D" "\x03"));
    QTest::qWait(700);
    type(view, QStringLiteral("\x02" "i1" "\x03"));
    QTest::qWait(700);
    line.pty.counter().passFish(1, true);
    line.pty.counter().passFish(3, false);
    line.pty.counter().changeConductivity(131);
    QTest::qWait(1500);
    ok = saveScreenshot(&main, folder, QStringLiteral("terminal.png")) && ok;
    type(view, QStringLiteral("\x02" "i0" "\x03"));
    QTest::qWait(500);
    connect::fTerminal->menuDisconnectCloseClick();

    app::frmDebug->resize(420, 320);
    app::frmDebug->show();
    QTest::qWait(200);
    ok = saveScreenshot(app::frmDebug, folder, QStringLiteral("debug-log.png")) && ok;

    app::messageBoxes().queueAnswer(true);
    main.close();
    return ok ? 0 : 1;
}
