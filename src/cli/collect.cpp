#include "collect.h"

#include "cli.h"
#include "archive/archive.h"
#include "session.h"
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

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>

#include <optional>

namespace kfc::cli {

namespace {

// One site's visit: every attempt until it is collected or given up.
// What the archive keeps of a visit, and what the run needs besides.
struct Visit : archive::VisitRecord {
    Visit() { outcome = QStringLiteral("failed"); }
    const Site* entry = nullptr;
    QString notFlushed;                 // why, when flush-after was set
    bool retry = false;                 // the call met BUSY, NO CARRIER or silence
    QDeadlineTimer retryAt;
};

Timing runTiming()
{
    return qEnvironmentVariable("KESTROVA_TIMING") == QLatin1String("shrunk") ? Timing::shrunk() : Timing();
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

// What was written, read back from the disk: the line count and the SHA-256 the
// database keeps, so that a file altered later can be told.
bool measureFile(const QString& fileName, int* lines, QString* sha256)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    *lines = 0;
    while (!file.atEnd()) {
        const QByteArray chunk = file.read(1 << 16);
        if (chunk.isEmpty())
            return false;
        hash.addData(chunk);
        *lines += int(chunk.count('\n'));
    }
    *sha256 = QString::fromLatin1(hash.result().toHex());
    return true;
}

// Ends a download that ran past the site's time online.
struct OnlineLimitReached {};

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

class SiteSession {
public:
    SiteSession(Visit& visit, const CollectOptions& options, QTextStream& err)
        : m_visit(visit), m_site(*visit.entry), m_options(options), m_err(err)
    {
    }

    // One attempt at the site; the visit holds what came of it.
    void attempt()
    {
        m_visit.retry = false;
        m_visit.error.clear();
        ++m_visit.attempts;
        step(m_site.dial.isEmpty() ? QStringLiteral("connecting") : QStringLiteral("dialling"));
        ComPort port;
        loadUserPortNames(port.portNames());
        port.settings = m_site.line;
        if (const QString problem = applyPortText(m_site.port, port); !problem.isEmpty()) {
            m_visit.error = problem;
            return;
        }
        QString said;
        QTextStream sayStream(&said);
        hooks().showMessage = [&sayStream](MessageKind, const QString& text) {
            sayStream << printable(text) << '\n';
        };
        auto clearHook = qScopeGuard([] { hooks().showMessage = nullptr; });
        QObject::connect(&port, &ComPort::lineLost, &port,
                         [&sayStream](const QString& reason) { sayStream << printable(reason) << '\n'; });
        QString problem;
        if (!port.openQuietly(&problem)) {
            m_visit.error = printable(problem);
            return;
        }
        m_online = QDeadlineTimer(m_options.maxOnlineMs, Qt::PreciseTimer);
        Link link(port);
        link.timing = runTiming();
        if (m_options.log)
            QObject::connect(&link, &Link::logged, &link, [this](const QString& line) {
                m_err << printable(line) << '\n';
                m_err.flush();
            });
        if (!m_site.dial.isEmpty()) {
            QString failure;
            if (dialModem(port, m_site.dial, link.timing.modemDialTimeoutMs, sayStream, &failure) != Ok) {
                m_visit.error = printable(failure);
                m_visit.retry = callWorthRetrying(failure, m_site.dial);
                return;
            }
        }
        try {
            step(QStringLiteral("logging on"));
            if (logOn(link, m_site.password, sayStream))
                collect(link, port);
        } catch (const std::exception& e) {
            sayStream << e.what() << '\n';
        }
        try {
            step(QStringLiteral("hanging up"));
            hangUp(link, port);
        } catch (const std::exception& e) {
            sayStream << e.what() << '\n';
        }
        port.ClosePort();
        sayStream.flush();
        if (m_visit.outcome != QLatin1String("collected") && m_visit.error.isEmpty())
            m_visit.error = lastError(said);
    }

private:
    void step(const QString& what)
    {
        if (m_options.progress)
            m_options.progress(QStringLiteral("%1: %2").arg(printable(m_site.name), what));
    }

    // Reads the status and keeps the record for the archive; the PC's clock at the read in *pcClock.
    bool readStatus(Link& link, CounterStatus& status, QDateTime* pcClock)
    {
        *pcClock = QDateTime::currentDateTime();
        if (!ReadCounterStatus(link, status))
            return false;
        m_visit.statusReads << statusRecord(status, *pcClock);
        return true;
    }

    void collect(Link& link, ComPort& port)
    {
        CounterStatus status;
        QDateTime pcClock;
        step(QStringLiteral("reading the status"));
        if (!readStatus(link, status, &pcClock))
            return;
        m_visit.clockDrift = driftAt(status, pcClock);
        if (m_site.setClock && std::abs(*m_visit.clockDrift) > m_site.clockToleranceSecs) {
            step(QStringLiteral("setting the clock"));
            setCounterClock(link, status);
            if (!readStatus(link, status, &pcClock))
                return;
            // The drift kept is the one found: the events already logged carry it.
            m_visit.clockSet = std::abs(driftAt(status, pcClock)) <= m_site.clockToleranceSecs;
        }
        download(link, port, status);
    }

    // Every line goes to the file as it comes; past the time online the loop is ended
    // after the line in hand, so nothing received is lost.
    int receiveEvents(Link& link, EventFileWriter& file)
    {
        DownloadClock clock(m_visit.expected);
        const auto sink = [this, &file](const QString& line) {
            file.writeLine(line);
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
                                .arg(DownloadClock::durationText(m_options.maxOnlineMs));
            return m_visit.events + 1;
        }
    }

    void download(Link& link, ComPort& port, const CounterStatus& status)
    {
        const QString folder = siteFolderName(m_site.name);
        QDir archive(m_options.archive);
        if (!archive.mkpath(folder))
            throw EventFileError(QStringLiteral("Cannot create the folder %1").arg(archive.filePath(folder)).toStdString());
        m_visit.file = folder + QLatin1Char('/')
                       + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HHmmss")) + ".LG2";
        m_visit.expected = status.eventCount;
        m_visit.outcome = QStringLiteral("incomplete");
        EventFileWriter file;
        file.open(archive.filePath(m_visit.file));
        for (const QString& line : StatusHeaderLines(status))
            file.writeLine(line);
        m_visit.events = 0;
        m_visit.events = receiveEvents(link, file);
        step(QStringLiteral("verifying"));
        // A fish between the status read and the download adds a line: every event counted
        // has still arrived.
        const bool complete = port.PortIsOpen() && m_visit.error.isEmpty() && m_visit.events >= m_visit.expected;
        const bool synced = file.sync();
        file.close();
        if (!measureFile(archive.filePath(m_visit.file), &m_visit.fileLines, &m_visit.fileSha256))
            m_err << "kestrova-cli: cannot read back " << archive.filePath(m_visit.file) << '\n';
        if (!complete && m_visit.error.isEmpty())
            m_visit.error = MissingEventsText(m_visit.events, m_visit.expected);
        if (complete)
            m_visit.outcome = QStringLiteral("collected");
        if (m_site.flushAfter)
            flushIfSafe(link, complete, synced);
    }

    // Flushing destroys the counter's copy: only a download known whole, on disk, and
    // with no fish since.
    void flushIfSafe(Link& link, bool complete, bool synced)
    {
        if (!complete) {
            m_visit.notFlushed = QStringLiteral("the download was not complete");
            return;
        }
        if (!synced) {
            m_visit.notFlushed = QStringLiteral("the event file could not be synced to disk");
            return;
        }
        CounterStatus again;
        QDateTime pcClock;
        step(QStringLiteral("reading the status again"));
        if (!readStatus(link, again, &pcClock)) {
            m_visit.notFlushed = QStringLiteral("the second status read failed");
            return;
        }
        if (again.eventCount != m_visit.expected) {
            m_visit.notFlushed = QStringLiteral("the event count changed from %1 to %2 during the download")
                                     .arg(m_visit.expected)
                                     .arg(again.eventCount);
            return;
        }
        step(QStringLiteral("flushing"));
        link.SendCommand(QStringLiteral("c"));
        m_visit.flushed = true;
    }

    Visit& m_visit;
    const Site& m_site;
    const CollectOptions& m_options;
    QTextStream& m_err;
    QDeadlineTimer m_online;
};

QJsonObject journalEntry(const Visit& visit)
{
    QJsonObject entry{
        {"site", visit.entry->name},
        {"started", visit.started.toOffsetFromUtc(visit.started.offsetFromUtc()).toString(Qt::ISODate)},
        {"finished", visit.finished.toOffsetFromUtc(visit.finished.offsetFromUtc()).toString(Qt::ISODate)},
        {"outcome", visit.outcome},
        {"attempts", visit.attempts},
        {"events", visit.events},
        {"expected", visit.expected},
        {"file", visit.file.isEmpty() ? QJsonValue() : QJsonValue(visit.file)},
        {"clockDrift", visit.clockDrift ? QJsonValue(double(*visit.clockDrift)) : QJsonValue()},
        {"clockSet", visit.clockSet},
        {"flushed", visit.flushed},
        {"error", visit.error.isEmpty() ? QJsonValue() : QJsonValue(printable(visit.error))},
    };
    if (visit.entry->flushAfter && !visit.flushed)
        entry.insert("notFlushed", visit.notFlushed);
    return entry;
}

void appendToJournal(const QString& archive, const Visit& visit, QTextStream& err)
{
    QFile journal(QDir(archive).filePath(QStringLiteral("journal.jsonl")));
    const QByteArray line = QJsonDocument(journalEntry(visit)).toJson(QJsonDocument::Compact) + '\n';
    if (!journal.open(QIODevice::WriteOnly | QIODevice::Append) || journal.write(line) != line.size()
        || !journal.flush())
        err << "kestrova-cli: cannot write the journal " << journal.fileName() << ": " << journal.errorString() << '\n';
}

archive::VisitRecord archiveRecord(const Visit& visit)
{
    archive::VisitRecord record = visit;
    record.site = visit.entry->name;
    record.error = printable(visit.error);
    return record;
}

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
    if (!visit.error.isEmpty())
        line += QStringLiteral(": ") + printable(visit.error);
    return line;
}

} // namespace

int collectSites(const QList<Site>& sites, const CollectOptions& options, QTextStream& out, QTextStream& err)
{
    if (!QDir().mkpath(options.archive)) {
        err << "kestrova-cli: cannot create the archive " << options.archive << '\n';
        return UsageOrPortError;
    }
    archive::Archive database;
    if (QString problem; !database.open(options.archive, archive::Archive::Mode::Write, &problem)) {
        err << "kestrova-cli: " << problem << '\n';
        return UsageOrPortError;
    }
    bool archived = true;
    std::vector<Visit> visits(sites.size());
    QList<Visit*> waiting;
    // The journal line and the database's one transaction, once the visit is over.
    auto record = [&](const Visit& visit) {
        appendToJournal(options.archive, visit, err);
        if (QString problem; !database.addVisit(archiveRecord(visit), &problem)) {
            err << "kestrova-cli: " << problem << '\n';
            archived = false;
        }
    };
    auto visitOnce = [&](Visit& visit) {
        if (!visit.started.isValid())
            visit.started = QDateTime::currentDateTime();
        SiteSession(visit, options, err).attempt();
        visit.finished = QDateTime::currentDateTime();
        if (visit.retry && visit.attempts <= options.retries) {
            visit.retryAt = QDeadlineTimer(qint64(options.retryWaitSecs) * 1000, Qt::PreciseTimer);
            waiting << &visit;
            return;
        }
        record(visit);
    };
    for (qsizetype i = 0; i < sites.size(); ++i) {
        visits[i].entry = &sites[i];
        visitOnce(visits[i]);
    }
    // The sites whose line was busy, each when its wait is over, soonest first.
    while (!waiting.isEmpty()) {
        auto next = std::min_element(waiting.begin(), waiting.end(),
                                     [](Visit* a, Visit* b) { return a->retryAt < b->retryAt; });
        Visit* visit = *next;
        waiting.erase(next);
        if (const qint64 left = visit->retryAt.remainingTime(); left > 0) {
            if (options.progress)
                options.progress(QStringLiteral("%1: calling again in %2")
                                     .arg(printable(visit->entry->name), DownloadClock::durationText(left)));
            DelayWithEvents(unsigned(left));
        }
        visitOnce(*visit);
    }
    if (options.progress)
        options.progress(QString());
    bool allCollected = archived;
    for (const Visit& visit : visits) {
        out << summaryLine(visit) << '\n';
        allCollected = allCollected && visit.outcome == QLatin1String("collected");
    }
    out.flush();
    return allCollected ? Ok : EmptyReply;
}

} // namespace kfc::cli
