// The event download against the simulated counter (a separate process) over a
// pseudo-terminal:
//  - with the real protocol timing: how close the wall time comes to the protocol's floor
//    (every frame's fixed delays, plus the one reply time-out that ends a download) and how
//    much CPU the waiting burns;
//  - with no pacing delays and a long buffer written to an event file: how much the
//    resident memory grows (lines are written through, never kept).
//
//   bench_download [events at real timing (100)] [events to file (100000)]

#include "counter/download.h"
#include "link/comport.h"
#include "link/link.h"
#include "protocolfloor.h"
#include "simprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

using namespace kfc;

namespace {

struct Session {
    bench::SimProcess sim;
    ComPort port;
    Link link{port};

    bool open(int events, QString* error)
    {
        const QString device = sim.start({QStringLiteral("--fish-interval"), QStringLiteral("0"),
                                          QStringLiteral("--events"), QString::number(events)},
                                         error);
        if (device.isEmpty())
            return false;
        port.portNames().setOverride(99, device);
        port.settings.comNumber = 99;
        return port.openQuietly(error);
    }
};

int realTiming(int events, QTextStream& out, QTextStream& err)
{
    Session session;
    QString error;
    if (!session.open(events, &error)) {
        err << "bench_download: " << error << '\n';
        return 2;
    }
    const Timing& t = session.link.timing;
    const double floorMs = bench::frameFloorMs(t, DownloadRequest(QStringLiteral("0"))) + events * bench::frameFloorMs(t, ACK)
                           + t.replyTimeoutMs;
    const double cpuBefore = bench::processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    const int received = RunDownload(session.link, QStringLiteral("0"), [](const QString&) {});
    const double wallS = wall.nsecsElapsed() / 1e9;
    const double cpuS = bench::processCpuSeconds() - cpuBefore;
    out << QStringLiteral("download: %1 events, wall %2 s, floor %3 s, ratio %4, cpu %5 % of wall\n")
               .arg(received)
               .arg(wallS, 0, 'f', 3)
               .arg(floorMs / 1000.0, 0, 'f', 3)
               .arg(wallS / (floorMs / 1000.0), 0, 'f', 4)
               .arg(100.0 * cpuS / wallS, 0, 'f', 2);
    out.flush();
    return received == events ? 0 : 1;
}

int memory(int events, QTextStream& out, QTextStream& err)
{
    Session session;
    QString error;
    if (!session.open(events, &error)) {
        err << "bench_download: " << error << '\n';
        return 2;
    }
    session.link.timing.settleMs = 0;
    session.link.timing.byteGapMs = 0;
    session.link.timing.replyTimeoutMs = 1000;
    QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("events.LG2")));
    if (!file.open(QIODevice::WriteOnly)) {
        err << "bench_download: " << file.errorString() << '\n';
        return 2;
    }
    const double before = bench::residentMb();
    const int received = RunDownload(session.link, QStringLiteral("0"), [&file](const QString& line) {
        file.write(line.toLatin1() + "\r\n");
        file.flush();
    });
    const double growth = bench::residentMb() - before;
    out << QStringLiteral("download-memory: %1 events to file, rss growth %2 MB\n")
               .arg(received)
               .arg(growth, 0, 'f', 2);
    return received == events ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    const int timed = args.value(1, QStringLiteral("100")).toInt();
    const int stored = args.value(2, QStringLiteral("100000")).toInt();
    const int first = timed > 0 ? realTiming(timed, out, err) : 0;
    const int second = stored > 0 ? memory(stored, out, err) : 0;
    return std::max(first, second);
}
