// Writes the pictures of the status window used in the documentation: view mode, edit
// mode, continuous update, and the live chart after a quarter of an hour of the counter's
// clock, against the simulated counter. Run offscreen:
//   QT_QPA_PLATFORM=offscreen status_screenshots docs

#include "support/statustest.h"

#include "support/screenshot.h"

#include <QDir>
#include <QRandomGenerator>

using namespace kfc;

using test::saveScreenshot;

namespace {

constexpr int kChartMinutes = 16;

// One minute of the counter's: fish pass (channel 2 the busiest, most of them up) until the
// water changes at minute 11, when the conductivity jumps and the fish almost stop; then
// the counter's clock turns over and says so in its "T" line.
void passMinute(test::StatusSession& session, QRandomGenerator& random, int minute)
{
    sim::SimCounter& counter = session.counter();
    const bool changed = minute >= 11;
    const int fish = changed ? int(random.bounded(2)) : 4 + int(random.bounded(6));
    for (int i = 0; i < fish; ++i) {
        const quint32 roll = random.bounded(10);
        counter.passFish(roll < 5 ? 2 : roll < 8 ? 1 : 3, random.bounded(10) < 8);
    }
    if (minute == 11)
        counter.changeConductivity(168);
    else if (random.bounded(3) == 0)
        counter.changeConductivity(session.counterState().conductivity + int(random.bounded(7)) - 3);
    session.counterState().clockOffsetSecs += 60;
    const QDateTime clock = QDateTime::currentDateTime().addSecs(session.counterState().clockOffsetSecs);
    session.counterSays("T" + clock.toString(QStringLiteral("dd/MM/yy hh:mm:ss")).toLatin1());
}

} // namespace

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

        // At the frame's usual size, as a technician first sees it.
        session.counterState().conductivity = 124;
        QRandomGenerator random(20261209);
        int minute = 0;
        QTimer minutes;
        minutes.setInterval(150);
        QObject::connect(&minutes, &QTimer::timeout, session.main, [&] {
            if (++minute <= kChartMinutes) {
                passMinute(session, random, minute);
                return;
            }
            minutes.stop();
            QTimer::singleShot(800, session.main, [&] {
                ok = saveScreenshot(session.main, folder, QStringLiteral("status-live-chart.png")) && ok;
                session.button(QStringLiteral("bbtnCancel"))->click();
            });
        });
        QTimer::singleShot(300, session.main, [&] { minutes.start(); });
        session.button(QStringLiteral("bbtnContUpd"))->click();
    }
    return ok ? 0 : 1;
}
