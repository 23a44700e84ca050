// Runs the status window in continuous update against a silent simulated counter (a
// separate kestrova-sim process, no fish) with the real protocol timing, and prints how
// much of a core the program uses while it listens and nothing arrives. A loop that spun
// while waiting for a line would show close to 100 %.
//
//   bench_contupdate [seconds]     (30 by default; offscreen unless a platform is set)

#include "app/messageboxes.h"
#include "app/program.h"
#include "app/settingsstore.h"
#include "app/tfmain.h"
#include "benchapp.h"
#include "simprocess.h"
#include "status/tfstatus.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QTextStream>
#include <QTimer>

using namespace kfc;

namespace {

// The mode is entered with a real "i1" exchange; the measurement starts after it.
constexpr int kSettleMs = 2000;

struct Measure {
    double cpuAtStart = 0;
    QElapsedTimer wall;
    double cpuS = -1;
    double wallS = 0;
};

} // namespace

int main(int argc, char** argv)
{
    bench::BenchApp run(argc, argv);
    const int seconds = run.seconds;
    QTextStream out(stdout);

    bench::SimProcess sim;
    QString error;
    const QString device = sim.start({QStringLiteral("--fish-interval"), QStringLiteral("0")}, &error);
    if (device.isEmpty()) {
        QTextStream(stderr) << "bench_contupdate: " << error << '\n';
        return 2;
    }

    int result = 0;
    {
        app::ProgramWindows windows(
            [](app::TfMain& main) -> app::StatusWindowApi* { return new status::TfStatus(main); });
        app::TfMain& main = windows.main();
        main.show();
        main.comPort().portNames().setOverride(99, device);
        main.comPort().settings.comNumber = 99;
        if (!main.comPort().openQuietly(&error)) {
            QTextStream(stderr) << "bench_contupdate: " << error << '\n';
            return 2;
        }
        main.ShowConnectionState();
        auto* status = dynamic_cast<status::TfStatus*>(app::fStatus);
        status->OpenAfterConnect();

        Measure measure;
        QTimer::singleShot(kSettleMs, &main, [&] {
            measure.cpuAtStart = bench::processCpuSeconds();
            measure.wall.start();
            QTimer::singleShot(seconds * 1000, &main, [&] {
                measure.cpuS = bench::processCpuSeconds() - measure.cpuAtStart;
                measure.wallS = measure.wall.nsecsElapsed() / 1e9;
                status->findChild<QPushButton*>(QStringLiteral("bbtnCancel"))->click();
            });
        });
        status->findChild<QPushButton*>(QStringLiteral("bbtnContUpd"))->click();

        if (measure.cpuS < 0) {
            QTextStream(stderr) << "bench_contupdate: continuous update ended before the measurement\n";
            result = 1;
        } else {
            out << QStringLiteral("continuous-update-idle: cpu %1 % of a core (%2 s of cpu in %3 s)\n")
                       .arg(100.0 * measure.cpuS / measure.wallS, 0, 'f', 2)
                       .arg(measure.cpuS, 0, 'f', 3)
                       .arg(measure.wallS, 0, 'f', 1);
        }
        const QStringList messages = app::messageBoxes().recordedTexts();
        if (!messages.isEmpty()) {
            QTextStream(stderr) << "bench_contupdate: the program said: " << messages.join(QStringLiteral("; "))
                                << '\n';
            result = 1;
        }
        app::messageBoxes().queueAnswer(true);
        main.close();
    }
    app::SettingsStore::useUserStore();
    return result;
}
