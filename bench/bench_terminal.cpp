// Floods the terminal window with counter output at the pace of a 115200-baud line
// (11,520 bytes a second) and prints how many bytes reached the screen and how much of a
// core the program used. The bytes come from a second copy of this program on a
// pseudo-terminal, so that the figure is the terminal's own.
//
//   bench_terminal [seconds]       (30 by default; offscreen unless a platform is set)
//   bench_terminal --feed SECONDS  (the feeding side; prints "counter on DEVICE")

#include "app/application.h"
#include "app/program.h"
#include "app/tfmain.h"
#include "connect/terminalview.h"
#include "connect/tfterminal.h"
#include "sim/ptycounter.h"
#include "benchapp.h"
#include "simprocess.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

using namespace kfc;

namespace {

constexpr int kBytesPerSecond = 11520;
constexpr int kTickMs = 10;
// Time for the last bytes to arrive after the feeder stops.
constexpr int kDrainMs = 1500;

// The counter's continuous-update lines, numbered so that each is different; CR LF so
// that every line scrolls the screen, the most work for the view.
QByteArray counterLine(int n)
{
    return QStringLiteral("F%1 %2 U 08/12/26 14:%3:%4 C 12 34 12 34 12 34 12 34 127\r\n")
        .arg(n, 6, 10, QLatin1Char('0'))
        .arg(n % 4 + 1)
        .arg(n / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(n % 60, 2, 10, QLatin1Char('0'))
        .toLatin1();
}

int feed(int argc, char** argv, int seconds)
{
    QCoreApplication application(argc, argv);
    sim::PtyCounter pty;
    QString error;
    if (!pty.start(&error)) {
        std::fprintf(stderr, "bench_terminal: %s\n", qPrintable(error));
        return 2;
    }
    std::printf("counter on %s\n", qPrintable(pty.devicePath()));
    std::fflush(stdout);

    QByteArray pending;
    int line = 0;
    qint64 sent = 0;
    QElapsedTimer clock;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(kTickMs);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 due = qMin<qint64>(clock.elapsed(), seconds * 1000LL) * kBytesPerSecond / 1000;
        while (pending.size() < due - sent)
            pending += counterLine(line++);
        const QByteArray now = pending.left(due - sent);
        pending.remove(0, now.size());
        sent += now.size();
        if (!now.isEmpty())
            emit pty.counter().send(now, 0);
        if (clock.elapsed() >= seconds * 1000LL) {
            tick.stop();
            std::printf("sent %lld\n", sent);
            std::fflush(stdout);
        }
    });
    // Waits for the terminal to be attached before the first byte.
    QTimer::singleShot(1000, [&] {
        clock.start();
        tick.start();
    });
    return application.exec();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && qstrcmp(argv[1], "--feed") == 0)
        return feed(argc, argv, std::max(1, atoi(argv[2])));

    bench::BenchApp run(argc, argv);
    const int seconds = run.seconds;
    QTextStream out(stdout);

    QProcess feeder;
    feeder.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--feed"), QString::number(seconds)});
    QByteArray announced;
    static const QRegularExpression announce(QStringLiteral("counter on (\\S+)\\n"));
    QString device;
    while (device.isEmpty() && feeder.waitForReadyRead(5000)) {
        announced += feeder.readAllStandardOutput();
        device = announce.match(QString::fromLocal8Bit(announced)).captured(1);
    }
    if (device.isEmpty()) {
        QTextStream(stderr) << "bench_terminal: the feeder did not start\n";
        return 2;
    }

    int result = 0;
    {
        app::ProgramWindows windows(nullptr);
        app::TfMain& main = windows.main();
        main.show();
        main.comPort().portNames().setOverride(99, device);
        main.comPort().settings.comNumber = 99;
        main.comPort().settings.baud = 115200;
        if (!main.comPort().OpenPort())
            return 2;
        connect::TfTerminal* terminal = connect::TfTerminal::open(main, true);
        const connect::TerminalScreen& screen = terminal->view()->screen();

        // Measured from the first byte on the screen to the last.
        QElapsedTimer wall;
        double cpuFirst = -1;
        double cpuLast = 0;
        qint64 wallLastMs = 0;
        QObject::connect(&main.comPort(), &ComPort::inputArrived, &main, [&] {
            if (cpuFirst < 0) {
                cpuFirst = bench::processCpuSeconds();
                wall.start();
            }
            cpuLast = bench::processCpuSeconds();
            wallLastMs = wall.elapsed();
        });
        qint64 sent = -1;
        QObject::connect(&feeder, &QProcess::readyReadStandardOutput, [&] {
            announced += feeder.readAllStandardOutput();
            static const QRegularExpression total(QStringLiteral("sent (\\d+)"));
            const QRegularExpressionMatch match = total.match(QString::fromLocal8Bit(announced));
            if (match.hasMatch() && sent < 0) {
                sent = match.captured(1).toLongLong();
                // exit, not quit: quit would first ask the main frame to close.
                QTimer::singleShot(kDrainMs, &run.application, [] { QCoreApplication::exit(0); });
            }
        });
        run.application.exec();
        const double wallS = qMax<qint64>(1, wallLastMs) / 1000.0;
        const double cpu = cpuLast - cpuFirst;
        const qint64 shown = screen.bytesFed();
        out << QStringLiteral("terminal-flood: %1 bytes in %2 s, lost %3, cpu %4 % of a core\n")
                   .arg(sent)
                   .arg(wallS, 0, 'f', 1)
                   .arg(sent - shown)
                   .arg(100.0 * cpu / wallS, 0, 'f', 1);
        out.flush();
        if (sent < 0)
            result = 1;
        terminal->menuDisconnectCloseClick();
    }
    feeder.terminate();
    feeder.waitForFinished(3000);
    return result;
}
