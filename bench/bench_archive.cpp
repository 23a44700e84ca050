// The archive at the size of an agency's:
//  - archive-write: what recording a visit costs the collection besides the line (the
//    event file written, synced and measured, the visit's rows and its journal line), per
//    visit of E events;
//  - history-open: ten years of nightly visits at ten sites, read by `report` (text and
//    JSON) and by Counts History's numbers for every site; each in a process of its own,
//    so that its peak resident memory is its own.
//
// Both kinds of archive: a folder (SQLite) and a database on a PostgreSQL server of the
// benchmark's own on a Unix socket, the tests' throw-away server (which runs with fsync off).
//
//   bench_archive [visits written (20)] [events a visit (4000)] [visits a site (3650)]
//   bench_archive --fill LOCATION [visits a site]   (an archive kept, to profile its readers)
//   bench_archive --read report|"report --json"|model LOCATION

#include "archive/archive.h"
#include "archive/location.h"
#include "archive/recorder.h"
#include "history/countshistory.h"
#include "cli/cli.h"
#include "counter/eventfile.h"
#include "support/archivetest.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

using namespace kfc;

namespace {

constexpr int kSites = 10;

QString siteName(int site)
{
    return QStringLiteral("Weir %1").arg(site + 1);
}

// A visit of the night `night` after 2020-01-01 at 02:00, with the two status reads of a
// visit that flushed (before the download and the check before the flush).
archive::VisitRecord nightlyVisit(int site, int night)
{
    archive::VisitRecord visit;
    visit.id = QStringLiteral("bench-%1-%2").arg(site).arg(night);
    visit.site = siteName(site);
    visit.started = QDateTime(QDate(2020, 1, 1).addDays(night), QTime(2, 0), Qt::OffsetFromUTC, 3600);
    visit.finished = visit.started.addSecs(95);
    visit.outcome = QStringLiteral("collected");
    visit.attempts = 1;
    visit.events = visit.expected = 40;
    visit.clockDrift = 3;
    for (int read = 0; read < 2; ++read) {
        archive::StatusRecord status;
        status.readAt = visit.started.addSecs(20 + 60 * read);
        status.counterClock = QDateTime(status.readAt.date(), status.readAt.time(), Qt::UTC);
        status.version = QStringLiteral("8.90 Kestrova FC4");
        status.eventCount = 40;
        status.conductivity = 120;
        for (size_t channel = 0; channel < size_t(archive::kChannels); ++channel) {
            status.up[channel] = 10 * night + int(channel);
            status.down[channel] = 3 * night;
        }
        visit.statusReads << status;
    }
    return visit;
}

qint64 peakRssMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() / 1024;
    return -1;
}

// Writes `visits` visits of `events` events each through the recorder, as a collection
// does; the milliseconds a visit.
double writeVisits(const QString& location, const QString& spool, int visits, int events, QString* error)
{
    archive::Recorder recorder;
    if (!recorder.open(location, spool, archive::Recorder::Hold::Exclusive, error))
        return -1;
    QStringList lines;
    for (int i = 0; i < 7; ++i)
        lines << QStringLiteral("Ch: %1   En: Y   Ut: 20   Dt: 20   Uc:  120   Dc:   40   Sa: 100   Wa: 100").arg(i);
    QElapsedTimer timer;
    timer.start();
    for (int n = 0; n < visits; ++n) {
        archive::VisitRecord visit = nightlyVisit(0, n);
        EventFileWriter file;
        visit.file = recorder.newEventFile(visit.site, visit.started,
                                           [&file](const QString& path) { return file.openNew(path); }, error);
        if (visit.file.isEmpty())
            return -1;
        for (const QString& line : lines)
            file.writeLine(line);
        for (int event = 0; event < events; ++event)
            file.writeLine(QStringLiteral("%1/01/26 02:%2:%3 U 1 %4 045 120")
                               .arg(n % 28 + 1, 2, 10, QLatin1Char('0'))
                               .arg(event / 60 % 60, 2, 10, QLatin1Char('0'))
                               .arg(event % 60, 2, 10, QLatin1Char('0'))
                               .arg(n * events + event, 6, 10, QLatin1Char('0')));
        file.sync();
        file.close();
        recorder.settleEventFile(visit);
        visit.events = visit.expected = events;
        if (const archive::Recorded recorded = recorder.record(visit, true); !recorded.whole()) {
            *error = recorded.notInDatabase + recorded.notInJournal;
            return -1;
        }
    }
    return double(timer.elapsed()) / visits;
}

// Ten sites of `nights` nightly visits each.
bool fillArchive(const QString& location, int nights, QString* error)
{
    archive::Archive database;
    if ((!archive::isServerUri(location) && !QDir().mkpath(location))
        || !database.open(location, archive::Archive::Mode::Write, error))
        return false;
    for (int night = 0; night < nights; ++night)
        for (int site = 0; site < kSites; ++site)
            if (!database.addVisit(nightlyVisit(site, night), error))
                return false;
    return true;
}

// In the child: reads the archive one way and prints the milliseconds and the peak memory.
int readArchive(const QString& how, const QString& location)
{
    QElapsedTimer timer;
    timer.start();
    if (how == QLatin1String("model")) {
        archive::Archive database;
        QString error;
        if (!database.open(location, archive::Archive::Mode::Read, &error)) {
            QTextStream(stderr) << error << '\n';
            return 1;
        }
        qsizetype rows = 0;
        for (const QString& site : database.sites())
            rows += history::historyRows(archive::countsAtVisits(database.visits(site))).size();
        if (rows == 0)
            return 1;
    } else {
        QFile null(QStringLiteral("/dev/null"));
        if (!null.open(QIODevice::WriteOnly))
            return 1;
        QTextStream out(&null), err(stderr);
        QStringList args{QStringLiteral("kestrova-cli"), QStringLiteral("report"), QStringLiteral("--archive"), location};
        if (how == QLatin1String("report --json"))
            args << QStringLiteral("--json");
        if (cli::run(args, out, err) != 0)
            return 1;
        out.flush();
    }
    QTextStream(stdout) << timer.elapsed() << ' ' << peakRssMb() << '\n';
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("--read"))
        return readArchive(args.value(2), args.value(3));
    if (args.value(1) == QLatin1String("--fill")) {
        QString error;
        if (fillArchive(args.value(2), args.size() > 3 ? args[3].toInt() : 3650, &error))
            return 0;
        QTextStream(stderr) << error << '\n';
        return 1;
    }
    const int visits = args.size() > 1 ? args[1].toInt() : 20;
    const int events = args.size() > 2 ? args[2].toInt() : 4000;
    const int nights = args.size() > 3 ? args[3].toInt() : 3650;
    QTextStream out(stdout);
    test::TestArchives archives;
    for (const QString& kind : test::kArchiveKinds) {
        const QString backend = kind == QLatin1String("folder") ? QStringLiteral("sqlite") : QStringLiteral("postgresql");
        QString error;
        const QString written = archives.fresh(kind, &error);
        const double perVisit = written.isEmpty() ? -1 : writeVisits(written, archives.spool(), visits, events, &error);
        if (perVisit < 0) {
            out << "archive-write: backend " << backend << ": " << error << '\n';
            return 1;
        }
        out << QStringLiteral("archive-write: backend %1, %2 visits, %3 events each, %4 ms per visit\n")
                   .arg(backend)
                   .arg(visits)
                   .arg(events)
                   .arg(perVisit, 0, 'f', 1);
        out.flush();

        const QString history = archives.fresh(kind, &error);
        if (history.isEmpty() || !fillArchive(history, nights, &error)) {
            out << "history-open: " << error << '\n';
            return 1;
        }
        for (const QString& how : {QStringLiteral("report"), QStringLiteral("report --json"), QStringLiteral("model")}) {
            QProcess child;
            child.start(app.applicationFilePath(), {QStringLiteral("--read"), how, history});
            child.waitForFinished(-1);
            const QStringList figures = QString::fromLatin1(child.readAllStandardOutput()).split(QLatin1Char(' '));
            if (child.exitCode() != 0 || figures.size() != 2) {
                out << "history-open: " << how << " failed: " << child.readAllStandardError() << '\n';
                return 1;
            }
            out << QStringLiteral("history-open: %1 sites x %2 visits, backend %3, %4: %5 ms, rss %6 MB\n")
                       .arg(kSites)
                       .arg(nights)
                       .arg(backend, how, figures[0], figures[1].trimmed());
            out.flush();
        }
    }
    return 0;
}
