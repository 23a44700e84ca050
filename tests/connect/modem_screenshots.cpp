// Writes the pictures of the phone book and of the modem window during a dial against the
// simulated modem, for the documentation. Run offscreen:
//   QT_QPA_PLATFORM=offscreen modem_screenshots docs

#include "support/apptest.h"

#include "connect/phonebookfile.h"
#include "connect/tfrmmodem.h"
#include "connect/tfrmphonebook.h"
#include "sim/simmodem.h"
#include "support/screenshot.h"

#include <QPlainTextEdit>

using namespace kfc;

int main(int argc, char** argv)
{
    app::Application application(argc, argv);
    application.setQuitOnLastWindowClosed(false);
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    test::AppFixture fixture;
    connect::usePhoneBookFolder(fixture.folder());

    sim::SimModem modem;
    sim::PtyCounter pty;
    pty.setModem(&modem);
    if (!pty.start())
        return 1;
    {
        auto store = fixture.store();
        store->setValue(QStringLiteral("Ports/COM40"), pty.devicePath());
        store->setValue(connect::kModemsGroup + QStringLiteral("/Simulated Modem"), QStringLiteral("COM40"));
    }
    QString error;
    if (!connect::writePhoneBook(connect::phoneBookPath(), connect::DemoSession::demoPhoneBook(), &error))
        return 1;
    auto windows = test::makeWindows();
    app::TfMain& main = windows->main();
    main.link().timing = Timing();
    bool ok = true;
    {
        connect::TfrmPhoneBook book(&main);
        book.show();
        QTest::qWait(200);
        ok = test::saveScreenshot(&book, folder, QStringLiteral("phone-book.png")) && ok;
    }
    connect::TfrmModem dial(main.link(), &main);
    dial.setComPort(&main.comPort());
    // Caught while the remote end rings, after the modem has taken the number.
    auto* lines = dial.findChild<QPlainTextEdit*>(QStringLiteral("memStatus"));
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (lines->toPlainText().contains(QLatin1String("Modem responded"))) {
            watch.stop();
            QTest::qWait(100);
            ok = test::saveScreenshot(&dial, folder, QStringLiteral("modem-dial.png")) && ok;
        }
    });
    watch.start();
    ok = dial.Dial(QStringLiteral("01632 960001")) && ok;
    main.comPort().ClosePort();
    app::messageBoxes().queueAnswer(true);
    main.close();
    connect::usePhoneBookFolder({});
    return ok ? 0 : 1;
}
