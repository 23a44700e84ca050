// Runs the status-read command sequence against the simulated counter over a
// pseudo-terminal with the real protocol timing, and prints how close the wall time comes
// to the protocol's floor (the sum of its fixed delays), how much CPU the waiting burns,
// and how late a 10 ms timer fires meanwhile (the window's responsiveness).

#include "link/comport.h"
#include "counter/counterstatus.h"
#include "link/link.h"
#include "simprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <functional>

using namespace kfc;

namespace {

struct Step {
    QString command;
    bool exchange;  // false: sent without reading a reply
};

const QList<Step> kStatusSequence = {
    {QStringLiteral("a"), true}, {ACK, true}, {ACK, true}, {ACK, true}, {ACK, true},
    {ACK, false}, {QStringLiteral("f"), true}, {ACK, true}, {ACK, false},
    {QStringLiteral("g"), true}, {ACK, false},
};

double frameFloorMs(const Link& link, const QString& command)
{
    return link.timing.settleMs + link.timing.byteGapMs * (command.size() + 2);
}

struct Measure {
    double wallS;
    double cpuS;
};

Measure measure(const std::function<void()>& work)
{
    const double cpuBefore = bench::processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    work();
    return {wall.nsecsElapsed() / 1e9, bench::processCpuSeconds() - cpuBefore};
}

// Measures the worst lateness of a 10 ms timer while it runs.
class TimerProbe : public QObject {
public:
    TimerProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_worstNs = qMax(m_worstNs, now - m_lastNs - 10'000'000);
            m_lastNs = now;
        });
    }
    void start()
    {
        m_clock.start();
        m_lastNs = 0;
        m_timer.start();
    }
    double worstDelayMs() const { return m_worstNs / 1e6; }
    void stop() { m_timer.stop(); }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    qint64 m_worstNs = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);

    bench::SimProcess sim;
    QString error;
    const QString device = sim.start({QStringLiteral("--fish-interval"), QStringLiteral("0")}, &error);
    if (device.isEmpty()) {
        QTextStream(stderr) << "bench_status: " << error << '\n';
        return 2;
    }

    ComPort port;
    port.portNames().setOverride(99, device);
    port.settings.comNumber = 99;
    if (!port.OpenPort())
        return 2;
    Link link(port);

    // The same frames as the sequence: the status read sends exactly these.
    double floorMs = 0;
    for (const Step& step : kStatusSequence)
        floorMs += frameFloorMs(link, step.command);

    TimerProbe probe;
    probe.start();
    int answered = 0;
    const Measure sequence = measure([&] {
        for (const Step& step : kStatusSequence) {
            if (step.exchange)
                answered += link.Exchange(step.command).isEmpty() ? 0 : 1;
            else
                link.SendCommand(step.command);
        }
    });
    probe.stop();

    bool readOk = false;
    CounterStatus status;
    const Measure read = measure([&] { readOk = ReadCounterStatus(link, status); });
    port.ClosePort();

    out << "replies: " << answered << " of 8; status read " << (readOk ? "succeeded" : "FAILED") << '\n';
    out << QStringLiteral("read-counter-status: wall %1 s, floor %2 s, ratio %3, cpu %4 % of wall\n")
               .arg(read.wallS, 0, 'f', 3)
               .arg(floorMs / 1000.0, 0, 'f', 3)
               .arg(read.wallS / (floorMs / 1000.0), 0, 'f', 4)
               .arg(100.0 * read.cpuS / read.wallS, 0, 'f', 2);
    out << QStringLiteral("status-sequence: wall %1 s, floor %2 s, ratio %3, cpu %4 % of wall, "
                          "worst timer delay %5 ms\n")
               .arg(sequence.wallS, 0, 'f', 3)
               .arg(floorMs / 1000.0, 0, 'f', 3)
               .arg(sequence.wallS / (floorMs / 1000.0), 0, 'f', 4)
               .arg(100.0 * sequence.cpuS / sequence.wallS, 0, 'f', 2)
               .arg(probe.worstDelayMs(), 0, 'f', 2);
    return answered == 8 && readOk ? 0 : 1;
}
