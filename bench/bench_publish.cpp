// The published pages of a long archive: ten sites with ten years of nightly visits each,
// written as report --html writes them, the whole season drawn.
//
//   bench_publish [sites (10)] [visits a site (3650)] [archive folder, kept and used again]
//
// Prints `publish: S sites, V visits, T ms, largest page P kB`, and how the time divides
// between reading the archive and writing the pages. Making the archive takes longer than publishing it (one
// transaction a visit); give a folder to keep it between runs.

#include "archive/archive.h"
#include "publish/publish.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

using namespace kfc;

namespace {

const QDateTime kFirst(QDate(2017, 1, 1), QTime(2, 0), Qt::OffsetFromUTC, 3600);

QString makeArchive(const QString& folder, int sites, int visits)
{
    archive::Archive database;
    QString error;
    if (!database.open(folder, archive::Archive::Mode::Write, &error))
        return error;
    for (int site = 1; site <= sites; ++site) {
        std::array<int, archive::kChannels> up{}, down{};
        for (int night = 0; night < visits; ++night) {
            archive::VisitRecord visit;
            visit.site = QStringLiteral("Weir %1").arg(site);
            visit.id = QStringLiteral("%1-%2").arg(site).arg(night);
            visit.started = kFirst.addDays(night);
            visit.finished = visit.started.addSecs(600);
            visit.outcome = night % 53 == 7 ? QStringLiteral("failed") : QStringLiteral("collected");
            visit.attempts = 1;
            if (visit.outcome == QLatin1String("collected")) {
                archive::StatusRecord status;
                status.readAt = visit.started.addSecs(30);
                for (size_t channel = 0; channel < up.size(); ++channel) {
                    up[channel] += (night * 7 + int(channel) * 13 + site) % 40;
                    down[channel] += (night * 3 + int(channel)) % 6;
                }
                status.up = up;
                status.down = down;
                visit.events = visit.expected = status.eventCount = 400 + night % 100;
                visit.statusReads << status;
            } else {
                visit.error = QStringLiteral("Number is busy. Please try later");
            }
            if (!database.addVisit(visit, &error))
                return error;
        }
    }
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream out(stdout), err(stderr);
    const int sites = args.size() > 1 ? args[1].toInt() : 10;
    const int visits = args.size() > 2 ? args[2].toInt() : 3650;
    QTemporaryDir scratch;
    const QString folder = args.size() > 3 ? args[3] : scratch.filePath(QStringLiteral("archive"));
    QDir().mkpath(folder);
    if (!QFile::exists(archive::databasePath(folder))) {
        QElapsedTimer made;
        made.start();
        if (const QString error = makeArchive(folder, sites, visits); !error.isEmpty()) {
            err << "bench_publish: " << error << '\n';
            return 2;
        }
        out << QStringLiteral("  (the archive made in %1 s)\n").arg(made.elapsed() / 1000.0, 0, 'f', 1);
        out.flush();
    }

    QElapsedTimer timer;
    timer.start();
    QList<publish::SiteVisits> read;
    QString error;
    if (!publish::readArchive(folder, &read, &error)) {
        err << "bench_publish: " << error << '\n';
        return 2;
    }
    const qint64 readMs = timer.restart();
    publish::Published published;
    if (!publish::writePages(read,
                             {folder, scratch.filePath(QStringLiteral("pages")), QStringLiteral("Fish counts"), kFirst,
                              QDateTime::currentDateTime()},
                             &published, &error)) {
        err << "bench_publish: " << error << '\n';
        return 2;
    }
    const qint64 pagesMs = timer.elapsed();
    out << QStringLiteral("publish: %1 sites, %2 visits, %3 ms, largest page %4 kB\n")
               .arg(published.sites)
               .arg(published.visits)
               .arg(readMs + pagesMs)
               .arg(double(published.largestPage) / 1000.0, 0, 'f', 1);
    out << QStringLiteral("  (reading the archive %1 ms, writing the pages %2 ms)\n").arg(readMs).arg(pagesMs);
    return 0;
}
