#include "collect.h"

#include "cli.h"
#include "archive/recorder.h"
#include "session.h"
#include "stopsignals.h"
#include "counter/counterstatus.h"
#include "counter/download.h"
#include "counter/eventfile.h"
#include "counter/saveplan.h"
#include "link/comport.h"
#include "link/errors.h"
#include "link/hooks.h"
#include "link/link.h"
#include "link/modemdial.h"
#include "link/untrusted.h"
#include "link/wait.h"

#include <QDeadlineTimer>
#include <QMutex>
#include <QThread>
#include <QUuid>

#include <atomic>

namespace kfc::cli {

namespace {

const QString kPasswordFileHint =
    QStringLiteral("give it as the first line of a file named by password-file in the site's group of the site list");

// What the archive keeps of one site's visit, and what the run needs besides. A call
// that is made again stays the same visit, unless it wrote an event file: that attempt is
// recorded as it ended, and the next one is a visit of its own with a file of its own.
struct Visit : archive::VisitRecord {
    explicit Visit(const Site* site = nullptr) : entry(site)
    {
        id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        outcome = QStringLiteral("failed");
    }
    const Site* entry = nullptr;
    bool countKnown = false;    // the status was read before the download
    bool retry = false;         // BUSY, NO CARRIER, silence, a port in use, or a line lost
    QDeadlineTimer retryAt;
    bool forGood = false;       // recorded as it ended: the site is not called again
    // Where the site stands in the run. Only the run's own thread changes it.
    enum class Stage { NotCalled, Calling, Waiting, Settled } stage = Stage::NotCalled;
    int line = 0;               // which of the run's lines the site is reached on
};

// The next attempt at a site after one that was recorded.
Visit nextVisit(const Visit& recorded)
{
    Visit next(recorded.entry);
    next.attempts = recorded.attempts;
    next.stage = recorded.stage;
    next.line = recorded.line;
    return next;
}

Timing runTiming()
{
    return qEnvironmentVariable("KESTROVA_TIMING") == QLatin1String("shrunk") ? Timing::shrunk() : Timing();
}

QString stoppedText()
{
    return QStringLiteral("stopped by signal (%1)").arg(StopSignals::signalName());
}

// The last thing said on the visit's error stream, without the program's prefix.
QString lastError(const QString& said)
{
    QStringList lines = said.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QString line = lines.isEmpty() ? QString() : lines.last();
    if (line.startsWith(QLatin1String("kestrova-cli: ")))
        line = line.mid(14);
    return line;
}

bool callWorthRetrying(const QString& failure, const QString& number)
{
    return failure == progressTextFor(ModemLine::Busy, number) || failure == progressTextFor(ModemLine::NoCarrier, number)
           || failure.startsWith(noAnswerText(1).section(QLatin1Char(' '), 0, 2));
}

// The counter's clock is a naive date and time kept as UTC; the PC's is taken as the
// same wall-clock reading, so that the drift is what a glance at both would show.
qint64 driftAt(const CounterStatus& status, const QDateTime& pcClock)
{
    const QDateTime pcWall(pcClock.date(), pcClock.time(), Qt::UTC);
    return pcWall.secsTo(status.dateTime);
}

archive::StatusRecord statusRecord(const CounterStatus& status, const QDateTime& readAt)
{
    archive::StatusRecord record;
    record.readAt = readAt;
    record.counterClock = status.dateTime;
    record.version = status.versionText.isEmpty() ? QString::number(status.version, 'f', 2)
                                                  : QString::number(status.version, 'f', 2) + QLatin1Char(' ')
                                                        + status.versionText;
    record.eventCount = status.eventCount;
    record.conductivity = status.conductivity;
    for (int n = 1; n <= kChannelCount; ++n) {
        record.up[size_t(n - 1)] = status.channel(n).upCount;
        record.down[size_t(n - 1)] = status.channel(n).downCount;
    }
    return record;
}

// Which count differs between the read before the download and the one after it; empty
// when none does. A full buffer keeps its event count while fish push the oldest events
// out, so the channels' counts are the proof that no fish came.
QString countChanged(const CounterStatus& before, const CounterStatus& after)
{
    const QString during = QStringLiteral(" during the download");
    if (after.eventCount != before.eventCount)
        return QStringLiteral("the event count changed from %1 to %2").arg(before.eventCount).arg(after.eventCount)
               + during;
    for (int n = 1; n <= kChannelCount; ++n) {
        for (const bool up : {true, false}) {
            const int was = up ? before.channel(n).upCount : before.channel(n).downCount;
            const int is = up ? after.channel(n).upCount : after.channel(n).downCount;
            if (was != is)
                return QStringLiteral("channel %1's %2 count changed from %3 to %4")
                           .arg(n)
                           .arg(up ? QStringLiteral("up") : QStringLiteral("down"))
                           .arg(was)
                           .arg(is)
                       + during;
        }
    }
    return {};
}

// The fish counted after the last check that the buffer no longer holds: they came
// between that check and the flush, and the flush erased them.
int erasedByFlush(const CounterStatus& checked, const CounterStatus& after)
{
    if (!after.eventLogging)
        return 0;   // fish are not logged, so none was erased
    int fish = 0;
    for (int n = 1; n <= kChannelCount; ++n)
        fish += std::max(0, after.channel(n).upCount - checked.channel(n).upCount)
                + std::max(0, after.channel(n).downCount - checked.channel(n).downCount);
    return std::max(0, fish - after.eventCount);
}

// Ends a download that ran past the site's time online, or that a signal stopped.
struct OnlineLimitReached {};
struct StopAsked {};

// Sets the counter's clock to the PC's with the save's own date and time commands.
void setCounterClock(Link& link, const CounterStatus& status)
{
    EditedSettings edited;
    const QDateTime now = QDateTime::currentDateTime();
    edited.date = now.date();
    edited.time = now.time();
    // The plan of a save holds every other setting too, taken as the window's controls
    // would hold them: only its date and time commands go out.
    for (const QString& command : planCommands(planSave(status, edited))) {
        if (command.startsWith(QLatin1String("3A")) || command.startsWith(QLatin1String("4A")))
            link.SendCommand(command);
    }
}

// Standard error, shared by the threads of every line: each text goes out whole.
class SharedStream {
public:
    explicit SharedStream(QTextStream& stream) : m_stream(stream) {}

    void write(const QString& text)
    {
        const QMutexLocker lock(&m_mutex);
        m_stream << text;
        m_stream.flush();
    }

private:
    QMutex m_mutex;
    QTextStream& m_stream;
};

// What the run shares between its visits, on every line.
struct Run {
    const CollectOptions& options;
    archive::Recorder& archive;
    SharedStream& err;
    // The progress of the visit in hand on the line ("Weir A: downloading, ..."); empty:
    // nothing is shown.
    std::function<void(const QString&)> progress;
};

// Records the visit in the archive, saying on err what could not be written: false when
// the database or the journal does not hold it.
bool record(Run& run, Visit& visit)
{
    // Every visit that asked for a flush and had none says why.
    if (visit.entry->flushAfter && !visit.flushed && !visit.flushPending && visit.notFlushed.isEmpty())
        visit.notFlushed = visit.file.isEmpty() ? QStringLiteral("nothing was downloaded")
                                                : QStringLiteral("the visit ended before the flush");
    archive::VisitRecord told = visit;
    told.site = visit.entry->name;
    told.error = printable(visit.error);
    const archive::Recorded recorded = run.archive.record(told, visit.countKnown);
    for (const QString& problem : {recorded.notInDatabase, recorded.notInJournal})
        if (!problem.isEmpty())
            run.err.write(QStringLiteral("kestrova-cli: %1\n").arg(printable(problem)));
    return recorded.whole();
}

class SiteSession {
public:
    SiteSession(Visit& visit, Run& run) : m_visit(visit), m_site(*visit.entry), m_run(run) {}

    // One attempt at the site. Once the visit is over, and before the hang-up, `settle`
    // records it or keeps it for another call; the attempt does not touch it after that.
    void attempt(const std::function<void()>& settle)
    {
        m_visit.retry = false;
        m_visit.error.clear();
        ++m_visit.attempts;
        hooks().showMessage = [this](MessageKind, const QString& text) { m_say << printable(text) << '\n'; };
        auto clearHook = qScopeGuard([] { hooks().showMessage = nullptr; });
        ComPort port;
        Link link(port);
        link.timing = runTiming();
        QObject::connect(&port, &ComPort::lineLost, &port,
                         [this](const QString& reason) { m_say << printable(reason) << '\n'; });
        if (m_run.options.log)
            QObject::connect(&link, &Link::logged, &link, [this](const QString& line) {
                m_run.err.write(printable(m_site.name) + QStringLiteral(": ") + printable(line) + QLatin1Char('\n'));
            });
        const bool online = reach(port, link);
        m_say.flush();
        // A line lost before every event was in is called again.
        if (online && port.lineDied() && m_visit.outcome != QLatin1String("collected"))
            m_visit.retry = true;
        if (m_visit.outcome != QLatin1String("collected") && m_visit.error.isEmpty())
            m_visit.error = lastError(m_said);
        m_visit.finished = QDateTime::currentDateTime();
        settle();
        if (!online)
            return;
        try {
            step(QStringLiteral("hanging up"));
            hangUp(link, port);
        } catch (const std::exception& e) {
            m_run.err.write(QStringLiteral("kestrova-cli: %1: hanging up: %2\n").arg(printable(m_site.name), e.what()));
        }
        port.ClosePort();
    }

private:
    void step(const QString& what)
    {
        if (m_run.progress)
            m_run.progress(QStringLiteral("%1: %2").arg(printable(m_site.name), what));
    }

    // True, with the visit told why, when a stop was asked for.
    bool stopAsked()
    {
        if (!StopSignals::requested())
            return false;
        m_visit.error = stoppedText();
        return true;
    }

    // Opens the line, dials, logs on and collects; false when the line never came up.
    bool reach(ComPort& port, Link& link)
    {
        step(m_site.dial.isEmpty() ? QStringLiteral("connecting") : QStringLiteral("dialling"));
        loadUserPortNames(port.portNames());
        port.settings = m_site.line;
        if (const QString problem = applyPortText(m_site.port, port); !problem.isEmpty()) {
            m_visit.error = problem;
            return false;
        }
        if (QString problem; !port.openQuietly(&problem)) {
            m_visit.error = printable(problem);
            m_visit.retry = port.device().inUseElsewhere();
            return false;
        }
        m_online = QDeadlineTimer(m_run.options.maxOnlineMs, Qt::PreciseTimer);
        if (!m_site.dial.isEmpty()) {
            QString failure;
            if (dialModem(port, m_site.dial, link.timing.modemDialTimeoutMs, m_say, &failure) != Ok) {
                m_visit.error = printable(failure);
                m_visit.retry = callWorthRetrying(failure, m_site.dial);
                return false;
            }
        }
        try {
            step(QStringLiteral("logging on"));
            if (!stopAsked() && logOn(link, m_site.password, m_say, kPasswordFileHint) && !stopAsked())
                collect(link, port);
        } catch (const std::exception& e) {
            m_say << e.what() << '\n';
        }
        return true;
    }

    // Reads the status and keeps the record for the archive; the PC's clock at the read in *pcClock.
    bool readStatus(Link& link, CounterStatus& status, QDateTime* pcClock)
    {
        *pcClock = QDateTime::currentDateTime();
        try {
            if (!ReadCounterStatus(link, status))
                return false;
        } catch (const ConversionError& e) {
            m_say << e.text() << '\n';
            return false;
        }
        m_visit.statusReads << statusRecord(status, *pcClock);
        return true;
    }

    void collect(Link& link, ComPort& port)
    {
        CounterStatus status;
        QDateTime pcClock;
        step(QStringLiteral("reading the status"));
        // A read spoilt on the line (a noise byte in the clock) is tried once more.
        m_visit.countKnown = readStatus(link, status, &pcClock) || readStatus(link, status, &pcClock);
        if (m_visit.countKnown) {
            m_visit.clockDrift = driftAt(status, pcClock);
            if (m_site.setClock && std::abs(*m_visit.clockDrift) > m_site.clockToleranceSecs) {
                step(QStringLiteral("setting the clock"));
                setCounterClock(link, status);
                // The drift kept is the one found: the events already logged carry it. The
                // count of the first read stands if this one fails.
                CounterStatus confirmed = status;
                if (readStatus(link, confirmed, &pcClock)) {
                    m_visit.clockSet = std::abs(driftAt(confirmed, pcClock)) <= m_site.clockToleranceSecs;
                    status = confirmed;
                }
            }
        } else if (m_site.setClock) {
            // A clock the counter cannot give (a date it has lost) is set, then read again.
            step(QStringLiteral("setting the clock"));
            setCounterClock(link, status);
            m_visit.countKnown = readStatus(link, status, &pcClock);
            m_visit.clockSet = m_visit.countKnown && std::abs(driftAt(status, pcClock)) <= m_site.clockToleranceSecs;
        }
        if (!m_visit.countKnown)
            m_statusProblem = lastError(m_said);
        if (stopAsked())
            return;
        download(link, port, status);
    }

    void openEventFile()
    {
        QString problem;
        m_visit.file = m_run.archive.newEventFile(
            m_site.name, QDateTime::currentDateTime(), [this](const QString& path) { return m_file.openNew(path); },
            &problem);
        if (m_visit.file.isEmpty())
            throw EventFileError(problem.toStdString());
    }

    // Every line goes to the file as it comes; past the time online, or when a stop is
    // asked for, the loop is ended after the line in hand, so nothing received is lost.
    int receiveEvents(Link& link)
    {
        DownloadClock clock(m_visit.expected);
        const auto sink = [this](const QString& line) {
            m_file.writeLine(line);
            if (StopSignals::requested())
                throw StopAsked{};
            if (m_online.hasExpired())
                throw OnlineLimitReached{};
        };
        const auto progress = [this, &clock](int done) {
            m_visit.events = done;
            step(QStringLiteral("downloading, ") + clock.text(done));
        };
        step(QStringLiteral("downloading"));
        try {
            return RunDownload(link, QStringLiteral("0"), sink, progress);
        } catch (const OnlineLimitReached&) {
            m_visit.error = QStringLiteral("stopped after %1 online (--max-online)")
                                .arg(DownloadClock::durationText(m_run.options.maxOnlineMs));
        } catch (const StopAsked&) {
            m_visit.error = stoppedText();
        }
        return m_visit.events + 1;
    }

    // Syncs the file and the folder entries that lead to it, closes it and measures it;
    // empty when all of it is on the disk, else what is not.
    QString finishEventFile()
    {
        const bool synced = m_file.sync();
        m_file.close();
        const QString settled = m_run.archive.settleEventFile(m_visit);
        return synced ? settled : QStringLiteral("the event file could not be synced to disk");
    }

    void download(Link& link, ComPort& port, const CounterStatus& status)
    {
        m_visit.expected = m_visit.countKnown ? status.eventCount : 0;
        openEventFile();
        m_visit.outcome = QStringLiteral("incomplete");
        m_visit.events = 0;
        // Whatever ends the download, the file is closed and measured below.
        try {
            for (const QString& line : StatusHeaderLines(status))
                m_file.writeLine(line);
            m_visit.events = receiveEvents(link);
        } catch (const EventFileError& e) {
            m_visit.error = QString::fromUtf8(e.what());
        } catch (const LinkError& e) {
            m_visit.error = e.text();
        }
        step(QStringLiteral("verifying"));
        // A fish between the status read and the download adds a line: every event counted
        // has still arrived.
        const bool complete = m_visit.countKnown && port.PortIsOpen() && m_visit.error.isEmpty()
                              && m_visit.events >= m_visit.expected;
        const QString notOnDisk = finishEventFile();
        if (!m_visit.countKnown && m_visit.error.isEmpty())
            m_visit.error = QStringLiteral("the status could not be read (%1), so the count of events is not known")
                                .arg(m_statusProblem);
        if (!complete && m_visit.error.isEmpty())
            m_visit.error = MissingEventsText(m_visit.events, m_visit.expected);
        if (complete)
            m_visit.outcome = QStringLiteral("collected");
        if (m_site.flushAfter)
            flushIfProven(link, status, complete, notOnDisk);
    }

    // Flushing destroys the counter's copy: only a download known whole and on disk,
    // recorded before the flush, and with no fish since the status read before it.
    void flushIfProven(Link& link, const CounterStatus& before, bool complete, const QString& notOnDisk)
    {
        if (!complete) {
            m_visit.notFlushed = m_visit.countKnown ? QStringLiteral("the download was not complete")
                                                    : QStringLiteral("the count of events is not known");
            return;
        }
        if (!notOnDisk.isEmpty()) {
            m_visit.notFlushed = notOnDisk;
            return;
        }
        if (StopSignals::requested()) {
            m_visit.notFlushed = QStringLiteral("the collection was ") + stoppedText();
            return;
        }
        m_visit.flushPending = true;
        m_visit.finished = QDateTime::currentDateTime();
        const bool recorded = record(m_run, m_visit);
        m_visit.flushPending = false;
        if (!recorded) {
            m_visit.notFlushed = QStringLiteral("the visit could not be recorded before the flush");
            return;
        }
        // The check reads the counts alone ("a" and the channel blocks), so that nothing
        // but this comparison comes between the last count read and the flush. The rest
        // of its record (the conductivity) is the read before's.
        step(QStringLiteral("checking the counts"));
        CounterStatus checked = before;
        const QDateTime checkedAt = QDateTime::currentDateTime();
        QString failure;
        try {
            if (!ReadCounterCounts(link, checked))
                failure = lastError(m_said);
        } catch (const LinkError& e) {
            failure = e.text();
        }
        if (!failure.isEmpty()) {
            m_visit.notFlushed = QStringLiteral("the status read after the download failed: ") + failure;
            return;
        }
        m_visit.statusReads << statusRecord(checked, checkedAt);
        if (const QString changed = countChanged(before, checked); !changed.isEmpty()) {
            m_visit.notFlushed = changed;
            return;
        }
        if (StopSignals::requested()) {
            m_visit.notFlushed = QStringLiteral("the collection was ") + stoppedText();
            return;
        }
        try {
            m_visit.flushed = link.SendCommand(QStringLiteral("c"));
        } catch (const LinkError& e) {
            m_visit.notFlushed = QStringLiteral("the line was lost at the flush command: ") + e.text();
            return;
        }
        if (!m_visit.flushed) {
            m_visit.notFlushed = QStringLiteral("the flush command could not be sent");
            return;
        }
        measureFlush(link, checked);
    }

    // The window between the last check and the flush cannot be closed without the
    // counter's help: what fell in it is measured and told.
    void measureFlush(Link& link, const CounterStatus& checked)
    {
        step(QStringLiteral("reading the status after the flush"));
        CounterStatus after = checked;
        QDateTime pcClock;
        if (readStatus(link, after, &pcClock))
            m_visit.lostInFlush = erasedByFlush(checked, after);
        else
            m_visit.error = QStringLiteral("the status read after the flush failed, so the events it may have "
                                           "erased are not known");
    }

    Visit& m_visit;
    const Site& m_site;
    Run& m_run;
    EventFileWriter m_file;
    QDeadlineTimer m_online;
    QString m_said;                  // what the visit's dialogues said, the last line its failure
    QTextStream m_say{&m_said};
    QString m_statusProblem;
};

QString summaryLine(const Visit& visit)
{
    QString line = QStringLiteral("%1: %2, %3 of %4 events").arg(printable(visit.entry->name), visit.outcome)
                       .arg(visit.events)
                       .arg(visit.expected);
    if (!visit.file.isEmpty())
        line += QStringLiteral(" in %1").arg(printable(visit.file));
    if (visit.attempts > 1)
        line += QStringLiteral(", %1 calls").arg(visit.attempts);
    if (visit.flushed)
        line += QStringLiteral(", flushed");
    if (visit.lostInFlush.value_or(0) > 0)
        line += QStringLiteral(" (%1 events that came after the last check were erased)").arg(*visit.lostInFlush);
    if (!visit.error.isEmpty())
        line += QStringLiteral(": ") + printable(visit.error);
    return line;
}

// The calls of a run, on the lines that its sites are reached on. Each call runs on a
// thread of its own, whose event loop serves the waits of its dialogues; a line carries
// one call at a time, and at most options.parallel lines are busy at once. Which site is
// called when is decided here, on the run's own thread; a call's thread records its visit
// through the archive, which takes one record at a time, and hands the visit back when
// the thread ends.
class Calls : public QObject {
    Q_OBJECT
public:
    Calls(std::vector<Visit>& visits, const Run& run) : m_visits(visits), m_run(run), m_unsettled(int(visits.size()))
    {
        QStringList lines;
        for (Visit& visit : m_visits) {
            const QString line = lineOf(visit.entry->port);
            if (!lines.contains(line))
                lines << line;
            visit.line = int(lines.indexOf(line));
        }
        m_lines.resize(size_t(lines.size()));
    }

    // Calls the sites until each is recorded for good, or a stop has ended the calls in hand.
    void run(const StopSignals& stop)
    {
        connect(&stop, &StopSignals::stopRequested, this, &Calls::changed);
        connect(this, &Calls::changed, this, [this] { m_changed = true; });
        while (startCalls()) {
            showRows();
            m_changed = false;
            EventWait::until(nextRetry(), this, &Calls::changed, [this] { return m_changed; });
        }
        if (m_run.options.progress)
            m_run.options.progress({});
    }

signals:
    // A call ended, a line's progress changed, or a stop was asked for.
    void changed();

private:
    struct Line {
        bool busy = false;
        QString row;   // the progress of its call
    };

    int busyLines() const
    {
        return int(std::count_if(m_lines.begin(), m_lines.end(), [](const Line& line) { return line.busy; }));
    }

    // Starts what may start now, each on a free line: the sites not called yet in the order
    // of the list, then those whose wait to be called again is over, soonest first. False
    // when nothing is left to wait for.
    bool startCalls()
    {
        if (StopSignals::requested()) {
            settleUncalled();
            return busyLines() > 0;
        }
        while (busyLines() < m_run.options.parallel) {
            Visit* next = nullptr;
            for (Visit& visit : m_visits) {
                if (m_lines[size_t(visit.line)].busy)
                    continue;
                if (visit.stage == Visit::Stage::NotCalled) {
                    next = &visit;
                    break;
                }
                if (visit.stage == Visit::Stage::Waiting && visit.retryAt.hasExpired()
                    && (!next || visit.retryAt < next->retryAt))
                    next = &visit;
            }
            if (!next)
                break;
            startCall(*next);
        }
        return busyLines() > 0 || m_unsettled > 0;
    }

    // When the next site waiting on a free line may be called again, while a line may
    // still be taken; otherwise the end of a call ends the wait.
    QDeadlineTimer nextRetry() const
    {
        QDeadlineTimer soonest(QDeadlineTimer::Forever);
        if (busyLines() >= m_run.options.parallel)
            return soonest;
        for (const Visit& visit : m_visits)
            if (visit.stage == Visit::Stage::Waiting && !m_lines[size_t(visit.line)].busy)
                soonest = std::min(soonest, visit.retryAt);
        return soonest;
    }

    void startCall(Visit& visit)
    {
        if (visit.stage == Visit::Stage::Waiting && !visit.file.isEmpty())
            visit = nextVisit(visit);
        if (!visit.started.isValid())
            visit.started = QDateTime::currentDateTime();
        visit.stage = Visit::Stage::Calling;
        Line& line = m_lines[size_t(visit.line)];
        line.busy = true;
        QThread* thread = QThread::create([this, &visit, &line] { call(visit, line); });
        connect(thread, &QThread::finished, this, [this, thread, &visit, &line] {
            thread->wait();
            delete thread;
            line.busy = false;
            line.row.clear();
            visit.stage = visit.forGood ? Visit::Stage::Settled : Visit::Stage::Waiting;
            emit changed();
        });
        thread->start();
    }

    // On the call's own thread; the visit is its alone until the thread ends.
    void call(Visit& visit, Line& line)
    {
        Run run = m_run;
        run.progress = [this, &line](const QString& row) {
            QMetaObject::invokeMethod(this, [this, &line, row] {
                line.row = row;
                emit changed();
            }, Qt::QueuedConnection);
        };
        bool settled = false;
        const auto settle = [&] {
            settled = true;
            settleAttempt(run, visit);
        };
        try {
            SiteSession(visit, run).attempt(settle);
        } catch (const std::exception& e) {
            if (!settled)
                visit.error = QString::fromUtf8(e.what());
            else
                run.err.write(QStringLiteral("kestrova-cli: %1: %2\n").arg(printable(visit.entry->name), e.what()));
        }
        if (!settled)
            settle();
    }

    // Once an attempt is over: recorded for good, or kept to be called again after the
    // wait; an attempt that wrote a file is recorded now, and the call again is a visit of
    // its own.
    void settleAttempt(Run& run, Visit& visit)
    {
        visit.forGood = !visit.retry || visit.attempts > m_run.options.retries || StopSignals::requested();
        if (!visit.forGood) {
            visit.retryAt = QDeadlineTimer(qint64(m_run.options.retryWaitSecs) * 1000, Qt::PreciseTimer);
            if (!visit.file.isEmpty())
                record(run, visit);
            return;
        }
        record(run, visit);
        // Nothing is left to record: a second signal need not wait for the hang-ups.
        if (--m_unsettled == 0)
            StopSignals::exitAtOnceOnAnother(true);
    }

    // After a stop: the sites not called, and those waiting to be called again, are recorded
    // as such at once, so that only the calls in hand are left to record and a second
    // signal during their hang-ups may end the run.
    void settleUncalled()
    {
        for (Visit& visit : m_visits) {
            if (visit.stage == Visit::Stage::Settled || visit.stage == Visit::Stage::Calling)
                continue;
            const bool waiting = visit.stage == Visit::Stage::Waiting;
            if (waiting && !visit.file.isEmpty())
                visit = nextVisit(visit);
            visit.finished = QDateTime::currentDateTime();
            if (!visit.started.isValid())
                visit.started = visit.finished;
            visit.error = (waiting ? QStringLiteral("not called again") : QStringLiteral("not visited"))
                          + QStringLiteral(": the collection was ") + stoppedText();
            visit.retry = false;
            settleAttempt(m_run, visit);
            visit.stage = Visit::Stage::Settled;
        }
    }

    // A row for each busy line, in the order of the list; with none busy, when the next
    // site waiting is called again.
    void showRows()
    {
        if (!m_run.options.progress)
            return;
        QStringList rows;
        for (const Line& line : m_lines)
            if (line.busy)
                rows << line.row;
        const Visit* next = nullptr;
        for (const Visit& visit : m_visits)
            if (visit.stage == Visit::Stage::Waiting && (!next || visit.retryAt < next->retryAt))
                next = &visit;
        if (rows.isEmpty() && next)
            rows << QStringLiteral("%1: calling again in %2")
                        .arg(printable(next->entry->name), DownloadClock::durationText(next->retryAt.remainingTime()));
        if (rows != m_shownRows)
            m_run.options.progress(m_shownRows = rows);
    }

    std::vector<Visit>& m_visits;
    Run m_run;   // the run as the calls share it; each call has its own copy
    std::vector<Line> m_lines;
    std::atomic<int> m_unsettled;   // sites not yet recorded for good
    bool m_changed = false;
    QStringList m_shownRows;
};

} // namespace

int collectSites(const QList<Site>& sites, const CollectOptions& options, QTextStream& out, QTextStream& err)
{
    archive::Recorder archive;
    if (QString problem; !archive.open(options.archive, &problem)) {
        err << "kestrova-cli: " << printable(problem) << '\n';
        return UsageOrPortError;
    }
    StopSignals stop;
    SharedStream sharedErr(err);
    std::vector<Visit> visits;
    for (const Site& site : sites)
        visits.emplace_back(&site);
    Calls(visits, Run{options, archive, sharedErr, {}}).run(stop);
    bool allCollected = archive.allRecorded() && !StopSignals::requested();
    for (const Visit& visit : visits) {
        out << summaryLine(visit) << '\n';
        allCollected = allCollected && visit.outcome == QLatin1String("collected");
    }
    out.flush();
    if (StopSignals::requested())
        err << "kestrova-cli: the collection was " << stoppedText() << '\n';
    return allCollected ? Ok : EmptyReply;
}

} // namespace kfc::cli

#include "collect.moc"
