// Runs the modem window's dial against a simulated modem that never answers (a separate
// kestrova-sim --modem process, number ending in 5) and prints how much of a core the
// program uses while it waits for a result line. A dial loop that polled without sleeping
// would show close to 100 %.
//
//   bench_modemdial [seconds]     (30 by default; offscreen unless a platform is set)

#include "app/settingsstore.h"
#include "connect/tfrmmodem.h"
#include "link/link.h"
#include "benchapp.h"
#include "simprocess.h"

#include <QElapsedTimer>
#include <QTextStream>

using namespace kfc;

int main(int argc, char** argv)
{
    bench::BenchApp run(argc, argv);
    const int seconds = run.seconds;
    QTextStream out(stdout);

    bench::SimProcess sim;
    QString error;
    const QString device = sim.start({QStringLiteral("--modem"), QStringLiteral("--quiet")}, &error);
    if (device.isEmpty()) {
        QTextStream(stderr) << "bench_modemdial: " << error << '\n';
        return 2;
    }
    {
        auto store = app::SettingsStore::open();
        store->setValue(QStringLiteral("Ports/COM99"), device);
        store->setValue(connect::kModemsGroup + QStringLiteral("/Silent Modem"), QStringLiteral("COM99"));
    }

    ComPort port;
    port.portNames().load(*app::SettingsStore::open());
    Link link(port);
    link.timing.modemDialTimeoutMs = seconds * 1000;
    link.timing.modemClosePauseMs = 0;
    connect::TfrmModem modem(link);
    modem.setComPort(&port);

    const double cpuAtStart = bench::processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    const bool connected = modem.Dial(QStringLiteral("0165"));
    const double cpuS = bench::processCpuSeconds() - cpuAtStart;
    const double wallS = wall.elapsed() / 1000.0;
    if (connected) {
        QTextStream(stderr) << "bench_modemdial: the silent modem connected\n";
        return 1;
    }
    out << QStringLiteral("modem-dial-idle: cpu %1 % of a core (%2 s of cpu in %3 s)\n")
               .arg(100.0 * cpuS / wallS, 0, 'f', 2)
               .arg(cpuS, 0, 'f', 3)
               .arg(wallS, 0, 'f', 1);
    return 0;
}
