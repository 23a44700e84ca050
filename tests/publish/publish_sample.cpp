// Writes a sample archive for the published pages' pictures (not a test): four sites
// collected every night from the first of January to last night, with a run of fish in the
// autumn, one site whose counts were cleared in the summer and whose last success is days
// old, and one whose last call met a busy line. Each collection brings an event file of the
// day's fish, and flushes the counter after it.
//
//   publish_sample ARCHIVE_FOLDER

#include "archive/archive.h"
#include "archive/recorder.h"
#include "support/archivetest.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cmath>

using namespace kfc;

namespace {

struct Site {
    QString name;
    std::array<double, 4> upShare, downShare;   // of the day's fish, per channel
    double size;                                // fish on a day of the run's peak
    int clearedOn = 0;                          // day of the year the counts were cleared
    int lastCollected = 0;                      // days before today of the last success
    bool lastFailed = false;
};

// The day's fish: a few all year, most in a run that peaks in October, and some noise.
int fishOn(int day, double size, quint32& seed)
{
    seed = seed * 1664525u + 1013904223u;
    const double noise = 0.6 + 0.8 * double(seed >> 8) / double(1u << 24);
    const double run = std::exp(-std::pow((day - 285) / 28.0, 2));
    const double spring = 0.25 * std::exp(-std::pow((day - 120) / 20.0, 2));
    return int(std::lround(size * (0.02 + run + spring) * noise));
}

// The day's fish as the counter logs them, through the night before the visit.
QStringList eventLines(const QDate& date, int fish, const std::array<double, 4>& upShare, int& number)
{
    QStringList lines;
    const QDateTime evening(date.addDays(-1), QTime(18, 0));
    for (int i = 0; i < fish; ++i) {
        const int channel = 1 + (i * 7 + number) % 4;
        const bool up = upShare[size_t(channel - 1)] > 0 && i % 9 != 4;
        number = number % 99999 + 1;
        lines << QStringLiteral("%1 CH%2 %3 EV%4")
                     .arg(evening.addSecs(qint64(i) * 28800 / std::max(fish, 1)).toString(QStringLiteral("dd/MM/yy hh:mm:ss")))
                     .arg(channel)
                     .arg(up ? QStringLiteral("UP  ") : QStringLiteral("DOWN"))
                     .arg(number, 5, 10, QLatin1Char('0'));
    }
    return lines;
}

QString writeSite(archive::Recorder& recorder, const Site& site, const QDate& today)
{
    const QDate first(today.year(), 1, 1);
    std::array<int, 4> up{}, down{};
    quint32 seed = quint32(qHash(site.name));
    int number = 0;
    const int days = int(first.daysTo(today));
    for (int day = 0; day < days; ++day) {
        const QDate date = first.addDays(day);
        archive::VisitRecord visit;
        visit.id = QStringLiteral("%1-%2").arg(site.name, date.toString(Qt::ISODate));
        visit.site = site.name;
        visit.started = QDateTime(date, QTime(2, 0, 4));
        visit.finished = visit.started.addSecs(300);
        visit.attempts = 1;
        const int back = days - day;
        const bool failed = (site.lastFailed && back == 1) || (back < site.lastCollected) || day % 97 == 40;
        if (failed) {
            visit.outcome = QStringLiteral("failed");
            visit.error = site.lastFailed && back == 1 ? QStringLiteral("Number is busy. Please try later")
                                                       : QStringLiteral("No reply to the password state (9D)");
            visit.attempts = 3;
        } else {
            const int fish = fishOn(day, site.size, seed);
            if (day == site.clearedOn)
                up = down = {};
            for (int channel = 0; channel < 4; ++channel) {
                up[size_t(channel)] += int(std::lround(fish * site.upShare[size_t(channel)]));
                down[size_t(channel)] += int(std::lround(fish * site.downShare[size_t(channel)]));
            }
            visit.outcome = QStringLiteral("collected");
            archive::StatusRecord status;
            status.readAt = visit.started.addSecs(25);
            status.up = up;
            status.down = down;
            status.eventCount = fish;
            visit.events = visit.expected = fish;
            visit.statusReads << status;
            visit.flushed = true;
            if (const QString error = test::writeEventFile(recorder, visit, eventLines(date, fish, site.upShare, number));
                !error.isEmpty())
                return error;
        }
        if (const archive::Recorded recorded = recorder.record(visit, true); !recorded.whole())
            return recorded.notInDatabase + recorded.notInJournal;
    }
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    if (app.arguments().size() != 2) {
        err << "usage: publish_sample ARCHIVE_FOLDER\n";
        return 2;
    }
    archive::Recorder recorder;
    QString error;
    if (!recorder.open(app.arguments()[1], {}, archive::Recorder::Hold::Exclusive, &error)) {
        err << error << '\n';
        return 1;
    }
    const QList<Site> sites{
        {QStringLiteral("Kestrel Weir"), {0.30, 0.25, 0.25, 0.20}, {0.04, 0.03, 0.03, 0.02}, 60},
        {QStringLiteral("Mill Race"), {0.65, 0.35, 0, 0}, {0.06, 0.03, 0, 0}, 18, 190, 4},
        {QStringLiteral("Bridge Pool & Ladder"), {0.4, 0.3, 0.2, 0.1}, {0.1, 0.05, 0.05, 0.02}, 25},
        {QStringLiteral("Weir B (phone)"), {0.35, 0.35, 0.15, 0.15}, {0.05, 0.05, 0.02, 0.02}, 35, 0, 0, true},
    };
    for (const Site& site : sites) {
        if (const QString problem = writeSite(recorder, site, QDate::currentDate()); !problem.isEmpty()) {
            err << problem << '\n';
            return 1;
        }
    }
    return 0;
}
