// Runs the status window in continuous update against a silent simulated counter (a
// separate kestrova-sim process, no fish) with the real protocol timing, and prints how
// much of a core the program uses while it listens and nothing arrives, with the live
// chart shown: once on a pseudo-terminal (a serial line), once over TCP on loopback (a
// network line, the counter served by kestrova-sim --listen). A loop that spun while
// waiting for a line would show close to 100 %.
//
// Then it hands 50,000 fish lines (and a clock line after every ten) back to back to the
// status form as continuous update does, once with the live chart following and once
// without, and prints how long a line takes each way, how many points the chart then
// holds, and how long one redraw of it takes.
//
//   bench_contupdate [seconds]     (30 by default; offscreen unless a platform is set)

#include "app/messageboxes.h"
#include "app/program.h"
#include "app/settingsstore.h"
#include "app/tfmain.h"
#include "benchapp.h"
#include "simprocess.h"
#include "counter/counterstatus.h"
#include "counter/updateline.h"
#include "counter/updatesession.h"
#include "status/contupdate.h"
#include "status/livechart.h"
#include "status/statusform.h"
#include "status/tfstatus.h"

#include <QLineSeries>

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
    bool chartShown = false;
};

constexpr int kFishLines = 50000;
constexpr int kFishPerClockLine = 10;
constexpr int kRedraws = 10;

QStringList fishLines()
{
    const QDateTime start(QDate(2026, 12, 9), QTime(6, 0, 0), Qt::UTC);
    QStringList lines;
    for (int i = 0; i < kFishLines; ++i) {
        lines << QStringLiteral("F%1%2 %3").arg(1 + i % 4).arg(i % 5 == 0 ? 'D' : 'U').arg(i + 1);
        if ((i + 1) % kFishPerClockLine == 0)
            lines << QLatin1Char('T') + start.addSecs((i + 1) / kFishPerClockLine).toString(QStringLiteral("dd/MM/yy hh:mm:ss"));
    }
    return lines;
}

// What continuous update does with each line, the chart's part only when asked; the
// nanoseconds a line took on average.
double handleLines(const QStringList& lines, status::StatusForm& form, UpdateSession& session, bool chart)
{
    CounterStatus record;
    record.dateTime = QDateTime(QDate(2026, 12, 9), QTime(6, 0, 0), Qt::UTC);
    record.conductivity = 120;
    form.showUpdateMode(true);
    session.start(record);
    if (chart)
        form.followSession(session);
    QElapsedTimer clock;
    clock.start();
    for (const QString& line : lines) {
        const UpdateLineResult result = ApplyUpdateLine(record, line);
        session.add(result, record);
        if (!result.memo.isEmpty())
            form.addEventLine(status::ContinuousUpdate::eventStamp(record.dateTime) + QLatin1Char(' ') + result.memo);
        form.showRecord(record);
        if (chart)
            form.followSession(session);
    }
    return double(clock.nsecsElapsed()) / double(lines.size());
}

void measureChart(QTextStream& out)
{
    const QStringList lines = fishLines();
    status::StatusForm form;
    form.resize(1000, 700);
    form.show();
    UpdateSession session;
    const double withoutNs = handleLines(lines, form, session, false);
    const double withNs = handleLines(lines, form, session, true);
    auto* chart = form.findChild<status::LiveChart*>();
    qsizetype points = 0;
    for (QAbstractSeries* series : chart->chart()->series())
        points += static_cast<QLineSeries*>(series)->count();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kRedraws; ++i)
        chart->grab();
    const double redrawMs = clock.nsecsElapsed() / 1e6 / kRedraws;
    out << QStringLiteral("chart: %1 points, redraw %2 ms\n").arg(points).arg(redrawMs, 0, 'f', 2);
    out << QStringLiteral("chart: %1 fish lines and %2 clock lines back to back: %3 us a line with the chart, "
                          "%4 us without\n")
               .arg(kFishLines)
               .arg(lines.size() - kFishLines)
               .arg(withNs / 1000, 0, 'f', 1)
               .arg(withoutNs / 1000, 0, 'f', 1);
}

// Continuous update on the line that the simulator started with these arguments offers;
// prints the figure after label. False when it could not be measured.
bool measureIdle(const QString& label, const QStringList& simArguments, int seconds, QTextStream& out)
{
    bench::SimProcess sim;
    QString error;
    const QString device = sim.start(QStringList{QStringLiteral("--fish-interval"), QStringLiteral("0")} + simArguments,
                                     &error);
    if (device.isEmpty()) {
        QTextStream(stderr) << "bench_contupdate: " << error << '\n';
        return false;
    }

    bool measured = true;
    app::messageBoxes().reset();   // what the run before asked
    app::ProgramWindows windows(
        [](app::TfMain& main) -> app::StatusWindowApi* { return new status::TfStatus(main); });
    app::TfMain& main = windows.main();
    main.show();
    main.comPort().portNames().setOverride(99, device);
    main.comPort().settings.comNumber = 99;
    if (!main.comPort().openQuietly(&error)) {
        QTextStream(stderr) << "bench_contupdate: " << error << '\n';
        return false;
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
            measure.chartShown = status->findChild<status::LiveChart*>()->isVisible();
            status->findChild<QPushButton*>(QStringLiteral("bbtnCancel"))->click();
        });
    });
    status->findChild<QPushButton*>(QStringLiteral("bbtnContUpd"))->click();

    if (measure.cpuS < 0) {
        QTextStream(stderr) << "bench_contupdate: continuous update ended before the measurement\n";
        measured = false;
    } else {
        out << QStringLiteral("%1: cpu %2 % of a core (%3 s of cpu in %4 s), chart %5\n")
                   .arg(label)
                   .arg(100.0 * measure.cpuS / measure.wallS, 0, 'f', 2)
                   .arg(measure.cpuS, 0, 'f', 3)
                   .arg(measure.wallS, 0, 'f', 1)
                   .arg(measure.chartShown ? QStringLiteral("shown") : QStringLiteral("not shown"));
        out.flush();
    }
    const QStringList messages = app::messageBoxes().recordedTexts();
    if (!messages.isEmpty()) {
        QTextStream(stderr) << "bench_contupdate: the program said: " << messages.join(QStringLiteral("; ")) << '\n';
        measured = false;
    }
    app::messageBoxes().queueAnswer(true);
    main.close();
    return measured;
}

} // namespace

int main(int argc, char** argv)
{
    bench::BenchApp run(argc, argv);
    QTextStream out(stdout);
    const bool serial = measureIdle(QStringLiteral("continuous-update-idle"), {}, run.seconds, out);
    const bool network = measureIdle(QStringLiteral("continuous-update-idle tcp"),
                                     {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")}, run.seconds, out);
    measureChart(out);
    app::SettingsStore::useUserStore();
    return serial && network ? 0 : 1;
}
