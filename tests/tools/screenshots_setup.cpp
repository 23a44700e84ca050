// Writes the pictures of the weir dimensions, baud rate and raw command windows used in
// the documentation, against the simulated counter. Run offscreen:
//   QT_QPA_PLATFORM=offscreen tools_setup_screenshots docs

#include "support/screenshot.h"
#include "support/statustest.h"

#include <QApplication>
#include <QDir>

using namespace kfc;

int main(int argc, char** argv)
{
    app::Application application(argc, argv);
    application.setQuitOnLastWindowClosed(false);
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    test::StatusSession session;
    session.counterState().weirLength = {1200, 950, 400, 250};
    session.counterState().weirDepth = {45, 60, 120, 35};
    if (!session.line.started || !session.connect())
        return 1;
    bool ok = true;
    // Each window once it is up and idle: filled in, pictured, closed.
    auto picture = [&](const QString& item, const QString& file, std::function<void(QWidget*)> fill) {
        test::Script script;
        script.then([] {
            QWidget* d = QApplication::activeModalWidget();
            return d && test::child<QPushButton>(d, QStringLiteral("OKBtn"))->isEnabled();
        }, [&] {
            QWidget* d = QApplication::activeModalWidget();
            fill(d);
            QTest::qWait(100);
            ok = test::saveScreenshot(d, folder, file) && ok;
            qobject_cast<QDialog*>(d)->reject();
        });
        script.start(10000);
        emit session.status->findChild<QMenu*>(QStringLiteral("menuAdvancedSetup"))->aboutToShow();
        session.item(item)->trigger();
        ok = script.completed() && ok;
    };
    picture(QStringLiteral("menuWeirDim"), QStringLiteral("weir-dimensions.png"), [](QWidget*) {});
    picture(QStringLiteral("BaudRate1"), QStringLiteral("baud-rate.png"), [](QWidget* d) {
        test::child<QWidget>(d, QStringLiteral("RGPrinter_4"))->setProperty("checked", true);
    });
    picture(QStringLiteral("menuSendCommand"), QStringLiteral("send-command.png"), [](QWidget* d) {
        test::child<QLineEdit>(d, QStringLiteral("eCommand"))->setText(QStringLiteral("E5T1"));
        test::child<QPushButton>(d, QStringLiteral("OKBtn"))->click();
    });
    return ok ? 0 : 1;
}
