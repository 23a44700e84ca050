// The unattended collection against simulated counters (separate processes) over
// pseudo-terminals, run as `kestrova-cli collect` runs it:
//  - three sites with the real protocol timing and a few events each, one line at a time:
//    how close the wall time comes to the protocol's floor (the fixed delays of every frame
//    the collection sent, read from its own trace, plus the one reply time-out that ends
//    each site's download) and how much CPU the waiting burns;
//  - six sites on six lines at once, the same way: how close the wall time comes to the
//    floor of the longest line, and the CPU of all six;
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
#include <QMap>
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

// Each site's floor from a collection's Tx/Rx trace: the fixed delays of every whole frame
// ("Site 1: Tx  COMMAND  (581 ms)", a control character shown as \xHH), and the one reply
// time-out that ends its download.
QMap<QString, double> siteFloorsMs(const QString& trace, const Timing& t, int* frames)
{
    static const QRegularExpression tx(QStringLiteral("^(Site \\d+): Tx  (.*)  \\(\\d+ ms\\)$"),
                                       QRegularExpression::MultilineOption);
    static const QRegularExpression escaped(QStringLiteral("\\\\x[0-9A-F]{2}"));
    QMap<QString, double> floors;
    *frames = 0;
    for (auto match = tx.globalMatch(trace); match.hasNext();) {
        const QRegularExpressionMatch frame = match.next();
        QString command = frame.captured(2);
        command.replace(escaped, QStringLiteral("?"));
        if (!floors.contains(frame.captured(1)))
            floors[frame.captured(1)] = t.replyTimeoutMs;
        floors[frame.captured(1)] += bench::frameFloorMs(t, command);
        ++*frames;
    }
    return floors;
}

// A collection of the fleet at the real timing, its trace kept: the wall and CPU seconds.
struct TimedRun {
    int status = 0;
    double wallS = 0;
    double cpuS = 0;
    QString summary;
    QString trace;
};

TimedRun collectTimed(const Fleet& fleet, int parallel)
{
    cli::CollectOptions options;
    options.archive = fleet.archive();
    options.log = true;
    options.parallel = parallel;
    TimedRun run;
    QTextStream summaryStream(&run.summary), traceStream(&run.trace);
    const double cpuBefore = bench::processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    run.status = cli::collectSites(fleet.sites, options, summaryStream, traceStream);
    run.wallS = wall.nsecsElapsed() / 1e9;
    run.cpuS = bench::processCpuSeconds() - cpuBefore;
    traceStream.flush();
    summaryStream.flush();
    return run;
}

int realTiming(int events, QTextStream& out, QTextStream& err)
{
    Fleet fleet;
    QString error;
    if (!fleet.start({events, events, events}, &error)) {
        err << "bench_collect: " << error << '\n';
        return 2;
    }
    const TimedRun run = collectTimed(fleet, 1);
    int frames = 0;
    double floorMs = 0;
    for (const double siteMs : siteFloorsMs(run.trace, Timing(), &frames))
        floorMs += siteMs;
    const double floorS = floorMs / 1000.0;
    out << QStringLiteral("collect: %1 sites, %2 events, wall %3 s, floor %4 s, ratio %5, cpu %6 % of wall\n")
               .arg(fleet.sites.size())
               .arg(events * fleet.sites.size())
               .arg(run.wallS, 0, 'f', 3)
               .arg(floorS, 0, 'f', 3)
               .arg(run.wallS / floorS, 0, 'f', 4)
               .arg(100.0 * run.cpuS / run.wallS, 0, 'f', 2);
    out << QStringLiteral("  (%1 frames)\n").arg(frames);
    out.flush();
    if (run.status != 0)
        err << "bench_collect: the collection did not collect every site:\n" << run.summary;
    return run.status;
}

// Six sites on six lines, all at once: the wall time against the floor of the longest line.
int parallelLines(int events, QTextStream& out, QTextStream& err)
{
    Fleet fleet;
    QString error;
    if (!fleet.start(QList<int>(6, events), &error)) {
        err << "bench_collect: " << error << '\n';
        return 2;
    }
    const TimedRun run = collectTimed(fleet, int(fleet.sites.size()));
    int frames = 0;
    const QMap<QString, double> floors = siteFloorsMs(run.trace, Timing(), &frames);
    const double floorS = *std::max_element(floors.begin(), floors.end()) / 1000.0;
    out << QStringLiteral("collect-parallel: %1 sites on %2 lines, wall %3 s, longest line floor %4 s, ratio %5, "
                          "cpu %6 % of wall\n")
               .arg(fleet.sites.size())
               .arg(floors.size())
               .arg(run.wallS, 0, 'f', 3)
               .arg(floorS, 0, 'f', 3)
               .arg(run.wallS / floorS, 0, 'f', 4)
               .arg(100.0 * run.cpuS / run.wallS, 0, 'f', 2);
    out << QStringLiteral("  (%1 frames)\n").arg(frames);
    out.flush();
    if (run.status != 0)
        err << "bench_collect: the collection did not collect every site:\n" << run.summary;
    return run.status;
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
    const int atOnce = timed > 0 ? parallelLines(timed, out, err) : 0;
    const int second = stored > 0 ? memory(stored, out, err) : 0;
    return std::max({first, atOnce, second});
}
