// The unattended collection against simulated counters (separate processes) over
// pseudo-terminals, run as `kestrova-cli collect` runs it:
//  - three sites with the real protocol timing and a few events each: how close the wall
//    time comes to the protocol's floor (the fixed delays of every frame the collection
//    sent, read from its own trace, plus the one reply time-out that ends each site's
//    download) and how much CPU the waiting burns;
//  - two sites with a long buffer each and the shrunk timing (KESTROVA_TIMING=shrunk):
//    how much the resident memory grows (event lines go to the files, never kept).
//
//   bench_collect [events a site at real timing (5)] [events over two sites (100000)]

#include "cli/collect.h"
#include "cli/sitelist.h"
#include "protocolfloor.h"
#include "simprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <deque>

using namespace kfc;

namespace {

// Simulated counters with these many events each, and a site list naming them.
struct Fleet {
    std::deque<bench::SimProcess> sims;
    QTemporaryDir folder;
    QList<cli::Site> sites;

    bool start(const QList<int>& events, QString* error)
    {
        QByteArray ini;
        for (qsizetype i = 0; i < events.size(); ++i) {
            const QString device = sims.emplace_back().start(
                {QStringLiteral("--fish-interval"), QStringLiteral("0"), QStringLiteral("--events"),
                 QString::number(events[i])},
                error);
            if (device.isEmpty())
                return false;
            ini += QStringLiteral("[Site %1]\nport=%2\n").arg(i + 1).arg(device).toUtf8();
        }
        const QString fileName = folder.filePath(QStringLiteral("sites.ini"));
        QFile file(fileName);
        if (!file.open(QIODevice::WriteOnly) || file.write(ini) != ini.size()) {
            *error = QStringLiteral("cannot write %1").arg(fileName);
            return false;
        }
        file.close();
        return cli::loadSiteList(fileName, &sites, error);
    }

    QString archive() const { return folder.filePath(QStringLiteral("archive")); }
};

// The fixed delays of every whole frame in a Tx/Rx trace: "Tx  COMMAND  (581 ms)", with a
// control character shown as \xHH.
double framesFloorMs(const QString& trace, const Timing& t, int* frames)
{
    static const QRegularExpression tx(QStringLiteral("^Tx  (.*)  \\(\\d+ ms\\)$"),
                                       QRegularExpression::MultilineOption);
    static const QRegularExpression escaped(QStringLiteral("\\\\x[0-9A-F]{2}"));
    double floorMs = 0;
    *frames = 0;
    for (auto match = tx.globalMatch(trace); match.hasNext();) {
        QString command = match.next().captured(1);
        command.replace(escaped, QStringLiteral("?"));
        floorMs += bench::frameFloorMs(t, command);
        ++*frames;
    }
    return floorMs;
}

int realTiming(int events, QTextStream& out, QTextStream& err)
{
    Fleet fleet;
    QString error;
    if (!fleet.start({events, events, events}, &error)) {
        err << "bench_collect: " << error << '\n';
        return 2;
    }
    cli::CollectOptions options;
    options.archive = fleet.archive();
    options.log = true;
    QString summary, trace;
    QTextStream summaryStream(&summary), traceStream(&trace);
    const double cpuBefore = bench::processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    const int status = cli::collectSites(fleet.sites, options, summaryStream, traceStream);
    const double wallS = wall.nsecsElapsed() / 1e9;
    const double cpuS = bench::processCpuSeconds() - cpuBefore;
    traceStream.flush();
    const Timing t;
    int frames = 0;
    const double floorS = (framesFloorMs(trace, t, &frames) + fleet.sites.size() * t.replyTimeoutMs) / 1000.0;
    out << QStringLiteral("collect: %1 sites, %2 events, wall %3 s, floor %4 s, ratio %5, cpu %6 % of wall\n")
               .arg(fleet.sites.size())
               .arg(events * fleet.sites.size())
               .arg(wallS, 0, 'f', 3)
               .arg(floorS, 0, 'f', 3)
               .arg(wallS / floorS, 0, 'f', 4)
               .arg(100.0 * cpuS / wallS, 0, 'f', 2);
    out << QStringLiteral("  (%1 frames)\n").arg(frames);
    out.flush();
    if (status != 0)
        err << "bench_collect: the collection did not collect every site:\n" << summary;
    return status;
}

int memory(int events, QTextStream& out, QTextStream& err)
{
    Fleet fleet;
    QString error;
    const int first = events / 2;
    if (!fleet.start({first, events - first}, &error)) {
        err << "bench_collect: " << error << '\n';
        return 2;
    }
    qputenv("KESTROVA_TIMING", "shrunk");
    cli::CollectOptions options;
    options.archive = fleet.archive();
    QString summary, trace;
    QTextStream summaryStream(&summary), traceStream(&trace);
    const double before = bench::residentMb();
    const int status = cli::collectSites(fleet.sites, options, summaryStream, traceStream);
    const double growth = bench::residentMb() - before;
    out << QStringLiteral("collect-memory: %1 events, rss growth %2 MB\n").arg(events).arg(growth, 0, 'f', 2);
    out.flush();
    if (status != 0)
        err << "bench_collect: the collection did not collect every site:\n" << summary << trace;
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    const int timed = args.value(1, QStringLiteral("5")).toInt();
    const int stored = args.value(2, QStringLiteral("100000")).toInt();
    const int first = timed > 0 ? realTiming(timed, out, err) : 0;
    const int second = stored > 0 ? memory(stored, out, err) : 0;
    return std::max(first, second);
}
