// Writes the pictures of the status window used in the documentation: view mode, edit
// mode and continuous update, against the simulated counter. Run offscreen:
//   QT_QPA_PLATFORM=offscreen status_screenshots docs

#include "support/statustest.h"

#include "support/screenshot.h"

#include <QDir>

using namespace kfc;

using test::saveScreenshot;

int main(int argc, char** argv)
{
    app::Application application(argc, argv);
    application.setQuitOnLastWindowClosed(false);
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    bool ok = true;
    {
        test::StatusSession session;
        if (!session.line.started)
            return 1;
        sim::SimState& state = session.counterState();
        state.channels[1].upCount = 1234;
        state.channels[1].downCount = 56;
        state.channels[0].upCount = 17;
        state.channels[3].enabled = 0;
        state.channels[2].upRelay2 = 4;
        if (!session.connect())
            return 1;
        // The clock shows from its first tick on.
        auto* clock = session.main->findChild<QLabel*>(QStringLiteral("panDateTime"));
        if (!QTest::qWaitFor([clock] { return !clock->text().isEmpty(); }, 5000))
            qWarning("The clock did not tick.");
        QTest::qWait(300);
        ok = saveScreenshot(session.main, folder, QStringLiteral("status-view.png")) && ok;

        session.button(QStringLiteral("bbtnChange"))->click();
        session.control<QSpinBox>(QStringLiteral("seUpTh2"))->setValue(35);
        QTest::qWait(200);
        ok = saveScreenshot(session.main, folder, QStringLiteral("status-edit.png")) && ok;
        session.button(QStringLiteral("bbtnCancel"))->click();

        QTimer::singleShot(200, session.main, [&] {
            session.counter().passFish(1, true);
            session.counter().passFish(2, false);
            session.counter().changeConductivity(131);
            session.counter().passFish(2, true);
            QTimer::singleShot(800, session.main, [&] {
                ok = saveScreenshot(session.main, folder, QStringLiteral("status-contupdate.png")) && ok;
                session.button(QStringLiteral("bbtnCancel"))->click();
            });
        });
        session.button(QStringLiteral("bbtnContUpd"))->click();
    }
    return ok ? 0 : 1;
}
