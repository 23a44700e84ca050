// Collection from a site list, against simulated counters on pseudo-terminals and on the
// network, directly and through a real serial device server.

#include "archive/archive.h"
#include "cli/cli.h"
#include "sim/ptycounter.h"
#include "sim/tcpcounter.h"
#include "support/archivetest.h"
#include "support/ser2net.h"
#include "counter/eventfile.h"
#include "link/comport.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <unistd.h>
#endif

using namespace kfc;

namespace {

int runCli(const QStringList& args, QString* out, QString* err)
{
    QTextStream outStream(out), errStream(err);
    const int code = cli::run(QStringList{QStringLiteral("kestrova-cli")} + args, outStream, errStream);
    outStream.flush();
    errStream.flush();
    return code;
}

// The journal's visits: a visit written again (before and after its flush) is its last line.
QList<QJsonObject> journal(const QString& archive, bool everyLine = false)
{
    QFile file(archive + "/journal.jsonl");
    QList<QJsonObject> entries;
    QStringList ids;
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QJsonObject entry = QJsonDocument::fromJson(line).object();
            const QString id = everyLine ? QString::number(ids.size()) : entry.value("visit").toString();
            if (line.isEmpty())
                continue;
            if (ids.contains(id))
                entries[ids.indexOf(id)] = entry;
            else
                entries << entry, ids << id;
        }
    return entries;
}

void writeFile(const QString& name, const QByteArray& bytes, QFile::Permissions permissions)
{
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    QVERIFY(file.setPermissions(permissions));
}

// The database holds the journal's visits, each file's measure, and the counts read.
void checkArchive(const QString& folder, const QList<QJsonObject>& entries, const sim::SimCounter& counter)
{
    archive::Archive database;
    QString error;
    QVERIFY2(database.open(folder, archive::Archive::Mode::Read, &error), qPrintable(error));
    QStringList sites = database.sites();
    sites.sort();
    QCOMPARE(sites, (QStringList{"Weir A", "Weir B:2"}));
    for (const QJsonObject& entry : entries) {
        const QList<archive::VisitRecord> visits = database.visits(entry.value("site").toString());
        QCOMPARE(visits.size(), 1);
        const archive::VisitRecord& visit = visits.first();
        QCOMPARE(visit.outcome, entry.value("outcome").toString());
        QCOMPARE(visit.events, entry.value("events").toInt());
        QCOMPARE(visit.attempts, entry.value("attempts").toInt());
        QCOMPARE(visit.file, entry.value("file").toString());
        if (visit.outcome == "failed") {
            QVERIFY(visit.statusReads.isEmpty());
            continue;
        }
        QFile file(folder + "/" + visit.file);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(visit.fileLines, int(bytes.count('\n')));
        QCOMPARE(visit.fileSha256, QString(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
        QVERIFY(!visit.statusReads.isEmpty());
        QCOMPARE(visit.statusReads.first().eventCount, entry.value("expected").toInt());
    }
    const archive::StatusRecord last = database.visits("Weir A").first().statusReads.last();
    QCOMPARE(last.up[0], counter.state.channels[0].upCount);
    QCOMPARE(last.down[3], counter.state.channels[3].downCount);
}

// A night's visit with channel 1's counts and channel 2's up count; a failed one met BUSY and read none.
archive::VisitRecord visitAt(const QString& site, int day, const QString& outcome, int up1, int down1, int up2 = 7)
{
    archive::VisitRecord visit = test::visitOn(site, day, outcome, {up1, up2, 0, 0}, {down1, 0, 0, 0}, outcome != "failed");
    visit.events = visit.expected = up1 + down1;
    if (outcome == "failed")
        visit.error = "BUSY";
    return visit;
}

const QString kAck(QChar(6));

// Weir A alone, on a direct line to a counter holding `events` events.
struct OneSite {
    explicit OneSite(int events = 3)
    {
        started = pty.start();
        counter().state.events.clear();
        counter().logPastEvents(events);
    }
    sim::SimCounter& counter() { return pty.counter(); }
    QString archive() const { return folder.filePath("archive"); }
    QStringList args(const QByteArray& keys)
    {
        writeFile(folder.filePath("sites.ini"), "[Weir A]\nport=" + pty.devicePath().toLatin1() + "\n" + keys,
                  QFile::ReadOwner | QFile::WriteOwner);
        return {"collect", "--sites", folder.filePath("sites.ini"), "--archive", archive(), "--retries", "0"};
    }
    int run(const QByteArray& keys, QString* out, QString* err) { return runCli(args(keys), out, err); }

    sim::PtyCounter pty;
    QTemporaryDir folder;
    bool started = false;
};

// The site list of these sites, each on its simulated counter (modem lines dial 0161).
QStringList collectArgs(const QTemporaryDir& folder, const QList<std::pair<QString, sim::PtyCounter*>>& sites,
                        const QByteArray& keys = {})
{
    QByteArray list;
    for (const auto& [name, pty] : sites)
        list += "[" + name.toLatin1() + "]\nport=" + pty->devicePath().toLatin1() + "\n"
                + (pty->modem() ? "dial=0161\n" : "") + keys;
    writeFile(folder.filePath("sites.ini"), list, QFile::ReadOwner | QFile::WriteOwner);
    return {"collect", "--sites", folder.filePath("sites.ini"), "--archive", folder.filePath("archive")};
}

// The commands from the last status line asked for before the flush to the flush.
QStringList lastWindow(const QStringList& commands)
{
    const qsizetype flush = commands.indexOf("c");
    return flush < 0 ? QStringList() : commands.mid(commands.lastIndexOf("a", flush), flush - commands.lastIndexOf("a", flush) + 1);
}

// A collection of these sites into an archive in folder: the exit status, the journal.
struct Collected {
    int code = -1;
    QString output;
    QString archive;
    QList<QJsonObject> entries;

    // The i-th visit's event file.
    QByteArray file(int i) const
    {
        QFile file(archive + "/" + entries.value(i).value("file").toString());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("cannot read ") + file.fileName().toLatin1();
    }
};

Collected collectSites(const QTemporaryDir& folder, const QByteArray& sites, const QStringList& args = {})
{
    writeFile(folder.filePath("sites.ini"), sites, QFile::ReadOwner | QFile::WriteOwner);
    Collected run;
    run.archive = folder.filePath("archive");
    QString err;
    run.code = runCli(QStringList{"collect", "--sites", folder.filePath("sites.ini"), "--archive", run.archive, "--retries", "0"} + args,
                      &run.output, &err);
    run.output += err;
    run.entries = journal(run.archive);
    return run;
}

// The report as a user who may only read the archive runs it: the folder and the database
// made read-only, and the program run as nobody when the test runs as root, whom no
// permission stops.
void reportAsReader(const QString& folder, int* code, QString* out, QString* err)
{
    const QString database = archive::databasePath(folder);
    auto restore = qScopeGuard([&folder] { QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); });
    QVERIFY(QFile::setPermissions(database, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                                              | QFile::ReadOther | QFile::ExeOther));
    QStringList reader;
#ifdef Q_OS_UNIX
    if (::geteuid() == 0)
        reader = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
#endif
    auto run = [&reader](const QStringList& command, QProcess& process) {
        const QStringList all = reader + command;
        process.start(all.first(), all.mid(1));
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
    };
    QProcess probe, report;
    QVERIFY2(run({"test", "-w", folder}, probe) && probe.exitCode() == 1, "the reader may still write the folder");
    QVERIFY2(run({KFC_CLI_EXE, "report", "--archive", folder}, report), qPrintable(report.errorString()));
    *code = report.exitCode();
    *out = QString::fromUtf8(report.readAllStandardOutput());
    *err = QString::fromUtf8(report.readAllStandardError());
}

} // namespace

class TestCollect : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("KESTROVA_TIMING", "shrunk"); }

    // Each is refused whole, before any call: the counter on the port hears nothing.
    void siteFileRefused_data()
    {
        QTest::addColumn<QByteArray>("site");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown key") << QByteArray("flush=true\n") << "[Weir B] flush: unknown key";
        QTest::newRow("missing port") << QByteArray("#") << "[Weir B] port: missing";
        QTest::newRow("bad tolerance") << QByteArray("clock-tolerance=2m\n")
                                       << "[Weir B] clock-tolerance: must be a whole number of seconds";
        QTest::newRow("bad flag") << QByteArray("flush-after=yes\n") << "[Weir B] flush-after: must be true or false";
        QTest::newRow("bad parity") << QByteArray("parity=M\n") << "[Weir B] parity: must be E, O or N";
        QTest::newRow("group-readable password") << QByteArray("password-file=pw\n")
                                                 << "[Weir B] password-file: %1/pw may be read by other users; "
                                                    "make it the owner's only with: chmod 600 %1/pw";
        // Weir B's own port in place of the counter's.
        for (const char* port : {"COM0", "COM100", "foo"})
            QTest::newRow(port) << "port=" + QByteArray(port) + "\n"
                                << QStringLiteral("[Weir B] port: must be COM1..COM99, a device path or tcp://HOST:PORT: %1").arg(QLatin1String(port));
        QTest::newRow("a group twice") << QByteArray("[Weir A]\nset-clock=true\n")
                                       << "[Weir A] is given twice, on lines 1 and 5; give each site one group";
        QTest::newRow("a key twice") << QByteArray("set-clock=true\nset-clock=false\n")
                                     << "[Weir B] set-clock: given twice, on lines 5 and 6";
        for (const char* name : {"Weir/C", "Weir\\C", "Weir%20C"})
            QTest::newRow(name) << "[" + QByteArray(name) + "]\nport=COM3\n"
                                << QStringLiteral("[%1]: a site's name cannot hold /, \\ or %").arg(QLatin1String(name));
        QTest::newRow("General") << QByteArray("[General]\nport=COM3\n")
                                 << "[General]: General cannot name a site: the INI format keeps it for keys "
                                    "outside any group";
        QTest::newRow("a long name") << "[" + QByteArray(101, 'W') + "]\nport=COM3\n"
                                     << "[" + QString(101, 'W') + "]: a site's name holds at most 100 characters";
    }
    void siteFileRefused()
    {
        QFETCH(QByteArray, site);
        QFETCH(QString, message);
        sim::PtyCounter pty;
        QVERIFY(pty.start());
        QTemporaryDir folder;
        writeFile(folder.filePath("pw"), "0042\n", QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        const QByteArray port = "port=" + pty.devicePath().toLatin1() + "\n";
        writeFile(folder.filePath("sites.ini"),
                  "[Weir A]\n" + port + "[Weir B]\n"
                      + (site == "#" ? QByteArray() : site.startsWith("port=") ? site : port + site),
                  QFile::ReadOwner | QFile::WriteOwner);
        QString out, err;
        const int code = runCli({"collect", "--sites", folder.filePath("sites.ini"), "--archive",
                                 folder.filePath("archive")}, &out, &err);
        QCOMPARE(code, 2);
        QVERIFY2(err.contains(message.contains("%1") ? message.arg(folder.path()) : message), qPrintable(err));
        QVERIFY(pty.counter().commands().isEmpty());
        QVERIFY(!QFile::exists(folder.filePath("archive")));
    }

    // Weir A on a direct line holding three events, Weir B behind a modem holding two.
    void collection_data()
    {
        QTest::addColumn<QString>("number");     // Weir B's: 5 is never answered
        QTest::addColumn<int>("busyCalls");
        QTest::addColumn<QByteArray>("siteA");   // more keys for Weir A
        QTest::addColumn<QString>("fault");      // during Weir A's download
        QTest::addColumn<bool>("clockSetA");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("outcomeA");
        QTest::addColumn<bool>("flushedA");
        QTest::addColumn<QString>("notFlushedA");
        QTest::addColumn<QString>("outcomeB");
        QTest::addColumn<int>("attemptsB");
        QTest::newRow("both collected") << "0161" << 0 << QByteArray() << "" << false << 0 << "collected" << false
                                        << "" << "collected" << 1;
        QTest::newRow("busy, called again after A") << "0161" << 1 << QByteArray() << "" << false << 0 << "collected"
                                                    << false << "" << "collected" << 2;
        QTest::newRow("never answers") << "0165" << 0 << QByteArray() << "" << false << 1 << "collected" << false << ""
                                       << "failed" << 2;
        QTest::newRow("flushed") << "0161" << 0 << QByteArray("flush-after=true\n") << "" << false << 0 << "collected"
                                 << true << "" << "collected" << 1;
        QTest::newRow("a fish during the download") << "0161" << 0 << QByteArray("flush-after=true\n") << "fish"
            << false << 0 << "collected" << false << "the event count changed from 3 to 4 during the download"
            << "collected" << 1;
        QTest::newRow("a fish before the download") << "0161" << 0 << QByteArray("flush-after=true\n")
            << "fish before" << false << 0 << "collected" << false
            << "the event count changed from 3 to 4 during the download" << "collected" << 1;
        // Ten minutes behind with set-clock: set beyond the tolerance, and confirmed by a second read.
        QTest::newRow("clock set") << "0161" << 0 << QByteArray("set-clock=true\nclock-tolerance=60\n") << "" << true
                                   << 0 << "collected" << false << "" << "collected" << 1;
        QTest::newRow("clock within the tolerance") << "0161" << 0 << QByteArray("set-clock=true\nclock-tolerance=900\n")
                                                    << "" << false << 0 << "collected" << false << "" << "collected" << 1;
        QTest::newRow("a reply lost") << "0161" << 0 << QByteArray("flush-after=true\n") << "lost" << false << 1
                                      << "incomplete" << false << "the download was not complete" << "collected" << 1;
        // Weir B never answers here, so that only Weir A's session meets the limit.
        QTest::newRow("past the time online") << "0165" << 0 << QByteArray("flush-after=true\n") << "slow" << false
                                              << 1 << "incomplete" << false << "the download was not complete"
                                              << "failed" << 2;
        // With --log: the trace shows the logon, never the password.
        QTest::newRow("password") << "0161" << 0 << QByteArray() << "password" << false << 0 << "collected" << false
                                  << "" << "collected" << 1;
    }
    void collection()
    {
        QFETCH(QString, number);
        QFETCH(int, busyCalls);
        QFETCH(QByteArray, siteA);
        QFETCH(QString, fault);
        sim::PtyCounter a, b;
        sim::SimModem modem;
        modem.setRingMs(30);
        modem.setBusyCalls(busyCalls);
        b.setModem(&modem);
        QVERIFY(a.start() && b.start());
        a.counter().state.events.clear();
        a.counter().logPastEvents(3);
        b.counter().state.events.clear();
        b.counter().logPastEvents(2);
        const QStringList eventsA = a.counter().state.events, eventsB = b.counter().state.events;
        bool downloading = false;
        int acks = 0;
        connect(&a.counter(), &sim::SimCounter::commandReceived, this, [&](const QString& command) {
            downloading = downloading || command == "d00000";
            if (!downloading)
                return;
            // The fish comes once the last line is in, before the status is read again.
            if (fault == "fish before" && command == "d00000")
                a.counter().passFish(2, false);
            if (fault == "fish" && command == "a")
                a.counter().passFish(1, true);
            if (fault == "lost" && command == QString(QChar(6)) && ++acks == 1)
                a.counter().addFault({sim::SimFault::NoReply, {}, 1, 0});
            if (fault == "slow" && command == "d00000")
                a.counter().addFault({sim::SimFault::SlowReply, QString(QChar(6)), -1, 900});
        });
        QFETCH(bool, clockSetA);
        a.counter().state.clockOffsetSecs = siteA.contains("set-clock") ? -600 : 0;
        QTemporaryDir folder;
        QStringList extra;
        if (fault == "password") {
            a.counter().state.password = "7319";
            writeFile(folder.filePath("pw"), "7319\n", QFile::ReadOwner | QFile::WriteOwner);
            siteA += "password-file=" + folder.filePath("pw").toLatin1() + "\n";
            extra << "--log";
        }
        if (fault == "slow")
            extra << "--max-online" << "0.02";
        writeFile(folder.filePath("sites.ini"),
                  "[Weir A]\nport=" + a.devicePath().toLatin1() + "\n" + siteA + "[Weir B:2]\nport="
                      + b.devicePath().toLatin1() + "\ndial=" + number.toLatin1() + "\n",
                  QFile::ReadOwner | QFile::WriteOwner);
        const QString archive = folder.filePath("archive");
        QString out, err;
        const int runCode = runCli(QStringList{"collect", "--sites", folder.filePath("sites.ini"), "--archive", archive,
                                             "--retries", "1", "--retry-wait", "0"}
                                     + extra,
                                 &out, &err);
        QFETCH(int, code);
        QVERIFY2(runCode == code, qPrintable(out + err));

        // The two lines are called at once: the journal's order is the order the visits ended in.
        QList<QJsonObject> entries = journal(archive);
        QCOMPARE(entries.size(), 2);
        if (entries[0].value("site") != "Weir A")
            entries.swapItemsAt(0, 1);
        const QJsonObject& entryA = entries[0];
        const QJsonObject& entryB = entries[1];
        QTEST(entryA.value("outcome").toString(), "outcomeA");
        QTEST(entryA.value("flushed").toBool(), "flushedA");
        QTEST(entryA.value("notFlushed").toString(), "notFlushedA");
        QTEST(entryB.value("outcome").toString(), "outcomeB");
        QTEST(entryB.value("attempts").toInt(), "attemptsB");
        QCOMPARE(entryA.value("expected").toInt(), 3);
        QVERIFY(std::abs(entryA.value("clockDrift").toInt() - (siteA.contains("set-clock") ? -600 : 0)) <= 2);
        QCOMPARE(entryA.value("clockSet").toBool(), clockSetA);
        QCOMPARE(a.counter().commands().filter(QRegularExpression("^4A\\d{6}$")).size(), clockSetA ? 1 : 0);
        if (fault == "password") {
            QVERIFY2(err.contains("Tx") && !err.contains("7319"), qPrintable(err));
            QVERIFY(a.counter().commands().contains("7319"));
        }
        // Logon, log-off and setting the clock change nothing else on the counter.
        QCOMPARE(a.counter().commands().filter(QRegularExpression("^[0-9]")).filter(QRegularExpression("^(?!9|4A|3A|7319$)")),
                 QStringList{});

        QVERIFY(QDateTime::fromString(entryA.value("finished").toString(), Qt::ISODate).isValid());
        QVERIFY(entryA.value("finished").toString().contains(QRegularExpression("([+-]\\d\\d:\\d\\d|Z)$")));
        QCOMPARE(a.counter().state.events.isEmpty(), entryA.value("flushed").toBool());
        QCOMPARE(a.counter().commands().last(), QStringLiteral("e"));

        // The event file as the download window writes it: the header, then every line.
        const auto checkFile = [&](const QJsonObject& entry, const QStringList& events, int received) {
            QFile file(archive + "/" + entry.value("file").toString());
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
            const QStringList lines = QString::fromLatin1(file.readAll()).split("\r\n");
            QCOMPARE(lines.size(), 7 + received + 1);
            QVERIFY2(lines[0].startsWith("Date:   ") && lines[6].startsWith("Ch: 4   En: Y"), qPrintable(lines.join("|")));
            QCOMPARE(lines.mid(7, received), events.mid(0, received));
            QCOMPARE(entry.value("events").toInt(), received);
        };
        // Past the time online the download ends before the end of the buffer, each line kept.
        const int receivedA = fault == "lost"          ? 1
                              : fault == "slow"        ? entryA.value("events").toInt()
                              : fault == "fish before" ? 4
                                                       : 3;
        QVERIFY(fault != "slow" || (receivedA >= 1 && receivedA <= 3));
        QVERIFY(fault != "slow" || entryA.value("error").toString().contains(QRegularExpression("^stopped after \\d+ s online \\(--max-online\\)$")));
        checkFile(entryA, fault == "fish before" ? a.counter().state.events : eventsA, receivedA);
        checkArchive(archive, {entryA, entryB}, a.counter());
        if (entryB.value("outcome") == "collected") {
            QVERIFY(entryB.value("file").toString().startsWith("Weir B_2/"));
            checkFile(entryB, eventsB, 2);
        } else {
            QCOMPARE(entryB.value("error").toString(), QStringLiteral("No answer within 2 seconds"));
        }
        QCOMPARE(out.count('\n'), 2);
        QVERIFY2(out.startsWith("Weir A: " + entryA.value("outcome").toString()), qPrintable(out));
    }

    // The flush goes ahead only on proof that no fish came: every count the same in the
    // read before the download and the one after it, and nothing else sent between that
    // read and "c". The visit is recorded before "c"; the fish in that last window are counted.
    void flush_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("flushed");
        QTest::addColumn<QString>("notFlushed");   // %1 and %2: the count before and after
        QTest::addColumn<int>("lostInFlush");      // -1: not measured
        QTest::newRow("proven") << "" << true << "" << 0;
        QTest::newRow("event count") << "event count" << false
                                     << "the event count changed from 3 to 4 during the download" << -1;
        // With event logging off a fish is counted and not logged.
        QTest::newRow("one channel's up") << "channel 2 up" << false
                                          << "channel 2's up count changed from %1 to %2 during the download" << -1;
        QTest::newRow("one channel's down") << "channel 3 down" << false
                                            << "channel 3's down count changed from %1 to %2 during the download" << -1;
        QTest::newRow("a full buffer") << "full buffer" << false
                                       << "channel 1's up count changed from %1 to %2 during the download" << -1;
        QTest::newRow("a fish in the last window") << "fish in the window" << true << "" << 1;
        QTest::newRow("a fish after the flush") << "fish after" << true << "" << 0;
        QTest::newRow("c refused by the link") << "c refused" << false
                                               << "the line was lost at the flush command: The connection on COM 99 was lost" << -1;
        QTest::newRow("event file not synced") << "not synced" << false << "the event file could not be synced to disk" << -1;
    }
    void flush()
    {
        QFETCH(QString, fault);
        QFETCH(bool, flushed);
        QFETCH(QString, notFlushed);
        OneSite site;
        QVERIFY(site.started);
        sim::SimCounter& counter = site.counter();
        if (fault == "full buffer")
            counter.state.maxEvents = 3;
        int statusLines = 0, acks = 0, from = 0;
        QJsonObject atFlush;
        connect(&counter, &sim::SimCounter::commandReceived, this, [&](const QString& command) {
            acks = command == "a" ? 0 : acks + (command == kAck);
            statusLines += command == "a";
            if (command == "d00000" && fault != "" && fault.contains(QRegularExpression("count|channel|full"))) {
                const int channel = fault == "channel 2 up" ? 2 : fault == "channel 3 down" ? 3 : 1;
                const bool up = fault != "channel 3 down";
                counter.state.eventLogging = fault.startsWith("channel") ? 0 : 1;
                from = up ? counter.state.channels[channel - 1].upCount : counter.state.channels[channel - 1].downCount;
                counter.passFish(channel, up);
            }
            // The check's four blocks and its closing ACK are in: the window before "c".
            const bool windowOpens = statusLines == 2 && acks == 5 && command == kAck;
            if (windowOpens && fault == "fish in the window")
                counter.passFish(4, true);
            if (statusLines == 3 && command == "a" && fault == "fish after")
                counter.passFish(4, true);
            if (command == "c")
                atFlush = journal(site.archive(), true).value(0);
        });
        if (fault == "c refused")
            counter.addFault({sim::SimFault::DropLine, "c", 1, 0});
        EventFileWriter::failSyncs(fault == "not synced");
        auto syncsAgain = qScopeGuard([] { EventFileWriter::failSyncs(false); });
        QString out, err;
        const int code = site.run("flush-after=true\n", &out, &err);
        QVERIFY2(code == 0, qPrintable(out + err));

        const QJsonObject entry = journal(site.archive()).value(0);
        const qsizetype eventsLeft = fault == "fish after" ? 1 : flushed ? 0 : 3 + (fault == "event count");
        // The frame of "c" goes out whole as the line drops: the drop is seen before the send
        // returns (not flushed), or only by the status read after it (flushed, as far as the
        // program can know, with that read's failure told). Which one is a matter of timing.
        if (fault == "c refused" && entry.value("flushed").toBool()) {
            flushed = true;
            notFlushed.clear();
            QVERIFY2(entry.value("error").toString().startsWith("the status read after the flush failed"),
                     qPrintable(entry.value("error").toString()));
        }
        QCOMPARE(entry.value("flushed").toBool(), flushed);
        QCOMPARE(entry.value("notFlushed").toString().left(notFlushed.size()),
                 notFlushed.contains("%1") ? notFlushed.arg(from).arg(from + 1) : notFlushed);
        QTEST(entry.value("lostInFlush").toInt(-1), "lostInFlush");
        QCOMPARE(counter.state.events.size(), eventsLeft);
        QCOMPARE(counter.commands().contains("c"), flushed || fault == "c refused");
        if (counter.commands().contains("c")) {
            // On disk, file measure and all, before "c"; nothing but the check in between.
            QVERIFY(atFlush.value("flushed") == "pending" && atFlush.value("file") == entry.value("file"));
            QCOMPARE(atFlush.value("fileLines").toInt(), 7 + 3);
            QCOMPARE(lastWindow(counter.commands()), (QStringList{"a", kAck, kAck, kAck, kAck, kAck, "c"}));
        }
        archive::Archive database;
        QString error;
        QVERIFY2(database.open(site.archive(), archive::Archive::Mode::Read, &error), qPrintable(error));
        const archive::VisitRecord visit = database.visits("Weir A").value(0);
        QVERIFY(visit.flushed == flushed && !visit.flushPending && visit.lostInFlush.value_or(-1) == entry.value("lostInFlush").toInt(-1));
        QCOMPARE(runCli({"report", "--archive", site.archive()}, &out, &err), 0);
        QCOMPARE(out.contains(": the flush erased 1 events that came after the last check (lostInFlush)\n"), visit.lostInFlush == 1);
    }

    // One site, one thing gone wrong on the way to its events.
    void visitFaults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QByteArray>("keys");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("error");        // the start of the journal's error
        QTest::addColumn<QString>("notFlushed");
        // A run killed between "9" and the password leaves the counter taking the next "9D" for one.
        QTest::newRow("left waiting for a password") << "waiting for a password" << QByteArray() << 0 << "collected" << "" << "";
        QTest::newRow("silent counter") << "silent" << QByteArray("flush-after=true\n") << 1 << "failed"
                                        << "the counter did not answer; check the cable" << "nothing was downloaded";
        QTest::newRow("password missing") << "no password file" << QByteArray() << 1 << "failed"
            << "the counter has a password; give it as the first line of a file named by password-file" << "";
        QTest::newRow("status spoilt once") << "spoilt 1" << QByteArray("flush-after=true\n") << 0 << "collected" << "" << "";
        QTest::newRow("status spoilt twice") << "spoilt 2" << QByteArray("flush-after=true\n") << 1 << "incomplete"
                                             << "the status could not be read (" << "the count of events is not known";
        QTest::newRow("spoilt twice, clock set") << "spoilt 2" << QByteArray("set-clock=true\n") << 0 << "collected" << "" << "";
        QTest::newRow("file name taken") << "name taken" << QByteArray() << 0 << "collected" << "" << "";
    }
    void visitFaults()
    {
        QFETCH(QString, fault);
        QFETCH(QByteArray, keys);
        OneSite site;
        QVERIFY(site.started);
        sim::SimCounter& counter = site.counter();
        if (fault == "waiting for a password" || fault == "no password file")
            counter.state.password = "7319";
        if (fault == "waiting for a password") {
            writeFile(site.folder.filePath("pw"), "7319\n", QFile::ReadOwner | QFile::WriteOwner);
            keys += "password-file=pw\n";
            counter.receive(QByteArray("\x02" "9\x03"));
        }
        if (fault == "silent")
            counter.addFault({sim::SimFault::NoReply, {}, -1, 0});
        if (fault.startsWith("spoilt"))
            counter.addFault({sim::SimFault::Replace, "a", fault.right(1).toInt(), 0,
                              "99/99/26 12:00:00 0 1 0 1 1 00003 KFC V8.90 Kestrova FC4"});
        QStringList earlier;   // event files of the seconds the visit may fall in
        for (int second = 0; fault == "name taken" && second < 8; ++second) {
            earlier << site.archive() + "/Weir A/" + QDateTime::currentDateTime().addSecs(second).toString("yyyy-MM-dd_HHmmss") + ".LG2";
            QVERIFY(QDir().mkpath(site.archive() + "/Weir A"));
            writeFile(earlier.last(), "earlier\r\n", QFile::ReadOwner | QFile::WriteOwner);
        }
        QString out, err;
        QTEST(site.run(keys, &out, &err), "code");
        const QJsonObject entry = journal(site.archive()).value(0);
        QTEST(entry.value("outcome").toString(), "outcome");
        QFETCH(QString, error);
        QVERIFY2(entry.value("error").toString().left(error.size()) == error && error.isEmpty() == entry.value("error").isNull(),
                 QJsonDocument(entry).toJson().constData());
        QTEST(entry.value("notFlushed").toString(), "notFlushed");
        QCOMPARE(counter.state.events.isEmpty(), entry.value("flushed").toBool());
        if (fault == "waiting for a password")
            QCOMPARE(counter.commands().mid(1, 6), (QStringList{"9D", "e", "9D", "9D", "9", "7319"}));
        if (fault == "spoilt 2")
            QCOMPARE(entry.value("expected").isNull(), !keys.contains("set-clock"));
        if (fault.startsWith("spoilt"))
            QCOMPARE(entry.value("events").toInt(), 3);
        if (fault == "spoilt 2" && keys.contains("set-clock"))
            QVERIFY(entry.value("clockSet").toBool() && counter.commands().filter(QRegularExpression("^4A\\d{6}$")).size() == 1);
        for (const QString& name : earlier) {
            QFile file(name);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("earlier\r\n"));
        }
        if (fault == "name taken")
            QVERIFY2(entry.value("file").toString().endsWith("-2.LG2"), qPrintable(entry.value("file").toString()));
    }

    // A stop asked for by SIGTERM (systemctl stop) ends the run cleanly: the event in hand
    // is kept, the file measured, the visit recorded, the counter hung up; exit status 1.
    void stopped_data()
    {
        QTest::addColumn<QString>("when");
        QTest::newRow("mid-download, one line at a time") << "mid-download";
        QTest::newRow("waiting to call again") << "waiting";
        // Each line stops after its own event in hand.
        QTest::newRow("every line mid-download") << "every line";
    }
    void stopped()
    {
        QFETCH(QString, when);
        const bool waiting = when == "waiting", everyLine = when == "every line";
        sim::PtyCounter a, b;
        sim::SimModem modem;
        modem.setBusyCalls(waiting ? 1 : 0);
        b.setModem(&modem);
        QVERIFY(a.start() && b.start());
        int acksA = -1, acksB = -1;   // of the downloads
        for (auto [pty, acks] : {std::pair{&a, &acksA}, std::pair{&b, &acksB}}) {
            pty->counter().state.events.clear();
            pty->counter().logPastEvents(everyLine ? 200 : 5);   // the first line's lasts till the other's starts
            connect(&pty->counter(), &sim::SimCounter::commandReceived, this, [&, acks](const QString& command) {
                *acks = command == "d00000" ? 0 : *acks + (*acks >= 0 && command == kAck);
                if (!waiting && command == kAck && *acks == 2 && acksA >= 2 && (!everyLine || acksB >= 2))
                    ::kill(::getpid(), SIGTERM);
                if (waiting && command == "e")
                    QTimer::singleShot(300, this, [] { ::kill(::getpid(), SIGTERM); });
            });
        }
        QTemporaryDir folder;
        const QList<std::pair<QString, sim::PtyCounter*>> sites{{"Weir A", &a}, {"Weir B", &b}};
        QStringList args = collectArgs(folder, waiting ? QList{sites[1], sites[0]} : sites, "flush-after=true\n");
        QString out, err;
        QCOMPARE(runCli(args << "--retry-wait" << "3000" << "--parallel" << (everyLine ? "2" : "1"), &out, &err), 1);
        QVERIFY2(err.endsWith("kestrova-cli: the collection was stopped by signal (SIGTERM)\n"), qPrintable(err));
        QList<QJsonObject> entries = journal(folder.filePath("archive"));
        QCOMPARE(entries.size(), 2);
        if (entries[0].value("site") != "Weir A")
            entries.swapItemsAt(0, 1);
        for (const QJsonObject& entry : everyLine ? entries : entries.mid(0, 1)) {
            QCOMPARE(entry.value("outcome").toString(), QString(waiting ? "collected" : "incomplete"));
            QCOMPARE(entry.value("error").toString(), QString(waiting ? "" : "stopped by signal (SIGTERM)"));
            QVERIFY(waiting ? entry.value("events").toInt() == 5 : entry.value("events").toInt() < (everyLine ? 200 : 5));
            QCOMPARE(entry.value("fileLines").toInt(), 7 + entry.value("events").toInt());
            QCOMPARE(entry.value("notFlushed").toString(), QString(waiting ? "" : "the download was not complete"));
        }
        if (!everyLine)
            QCOMPARE(entries[0].value("events").toInt(), waiting ? 5 : 3);
        for (sim::PtyCounter* pty : everyLine ? QList{&a, &b} : QList{&a})
            QCOMPARE(pty->counter().commands().mid(pty->counter().commands().lastIndexOf("9D")), (QStringList{"9D", "e"}));
        if (everyLine)
            return;
        QCOMPARE(entries[1].value("outcome").toString(), QStringLiteral("failed"));
        QCOMPARE(entries[1].value("error").toString(),
                 QString(waiting ? "not called again" : "not visited") + ": the collection was stopped by signal (SIGTERM)");
        QVERIFY(b.counter().commands().isEmpty());
    }

    // A run killed outright: the visit is in the archive before "c", so the rerun, which
    // finds the counter empty, still leaves the file named. A second signal during the
    // hang-up ends the run at once.
    void killed_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("SIGKILL after the flush, then a rerun") << "after the flush";
        QTest::newRow("SIGTERM, and another during the hang-up") << "twice";
    }
    void killed()
    {
        QFETCH(QString, how);
        OneSite site(5);
        QVERIFY(site.started);
        QProcess run;
        int acks = -1;   // of the download
        connect(&site.counter(), &sim::SimCounter::commandReceived, this, [&](const QString& command) {
            acks = command == "d00000" ? 0 : acks + (acks >= 0 && command == kAck);
            if (how == "after the flush" && command == "c")
                run.kill();
            if (how == "twice" && ((command == kAck && acks == 2) || (command == "9D" && acks >= 2)))
                ::kill(pid_t(run.processId()), SIGTERM);
        });
        run.start(KFC_CLI_EXE, site.args("flush-after=true\n"));
        QTRY_VERIFY_WITH_TIMEOUT(run.state() == QProcess::NotRunning, 60000);
        const QString said = QString::fromLocal8Bit(run.readAllStandardError());
        const QJsonObject entry = journal(site.archive()).value(0);
        if (how == "twice") {
            QCOMPARE(run.exitCode(), 1);
            QVERIFY2(said.endsWith("kestrova-cli: stopped at once by a second signal\n"), qPrintable(said));
            QCOMPARE(site.counter().commands().last(), QStringLiteral("9D"));
            QCOMPARE(entry.value("error").toString(), QStringLiteral("stopped by signal (SIGTERM)"));
            QCOMPARE(entry.value("fileLines").toInt(), 7 + entry.value("events").toInt());
            return;
        }
        QVERIFY(site.counter().state.events.isEmpty());
        // The rerun on the same line, which the killed run left with its own settings.
        QString out, err;
        QVERIFY2(runCli(collectArgs(site.folder, {{"Weir A", &site.pty}}, "flush-after=true\n"), &out, &err) == 0,
                 qPrintable(out + err));
        QVERIFY2(out.startsWith("Weir A: collected, 0 of 0 events"), qPrintable(out));
        archive::Archive database;
        QString error;
        QVERIFY2(database.open(site.archive(), archive::Archive::Mode::Read, &error), qPrintable(error));
        const QList<archive::VisitRecord> visits = database.visits("Weir A");
        QCOMPARE(visits.size(), 2);
        const archive::VisitRecord& killedVisit = visits.first();
        QVERIFY(killedVisit.flushPending && !killedVisit.flushed);
        QCOMPARE(killedVisit.file, entry.value("file").toString());
        QVERIFY(QFile::exists(site.archive() + "/" + killedVisit.file));
        QCOMPARE(killedVisit.fileLines, 7 + 5);
        QCOMPARE(entry.value("flushed").toString(), QStringLiteral("pending"));
        QCOMPARE(runCli({"report", "--archive", site.archive()}, &out, &err), 0);
        QVERIFY2(out.contains(QString(": the run ended during the flush after %1; the counter may have been flushed\n").arg(killedVisit.file)),
                 qPrintable(out));
    }

    // The nightly run meets one started by hand: the second leaves at once and writes nothing.
    void twoRunsOnOneArchive()
    {
        OneSite first;
        sim::PtyCounter other;
        QVERIFY(first.started && other.start());
        first.counter().addFault({sim::SimFault::SlowReply, kAck, -1, 100});
        QProcess run;
        qint64 pid = 0;
        connect(&run, &QProcess::started, this, [&] { pid = run.processId(); });
        QString out, err, lockStarted;
        QStringList before, after;
        int code = -1;
        connect(&first.counter(), &sim::SimCounter::commandReceived, this, [&](const QString& command) {
            if (command != "d00000")
                return;
            lockStarted = QFileInfo(first.archive() + "/collect.lock").lastModified().toString("HH:mm");
            before = QDir(first.archive()).entryList(QDir::AllEntries | QDir::Hidden);
            code = runCli(collectArgs(first.folder, {{"Weir B", &other}}), &out, &err);
            after = QDir(first.archive()).entryList(QDir::AllEntries | QDir::Hidden);
        });
        const QStringList args = first.args({});
        run.start(KFC_CLI_EXE, args);
        QTRY_VERIFY_WITH_TIMEOUT(run.state() == QProcess::NotRunning, 60000);
        QCOMPARE(code, 2);
        QCOMPARE(err, QString("kestrova-cli: Another collection (process %1, started %2) is using %3\n")
                          .arg(pid)
                          .arg(lockStarted, first.archive()));
        QVERIFY(before.contains("collect.lock"));
        QCOMPARE(after, before);
        QVERIFY(other.counter().commands().isEmpty());
        QCOMPARE(run.exitCode(), 0);
        QCOMPARE(journal(first.archive()).size(), 1);
    }

    // A site met by BUSY, by its port in another program's hands, or by its line lost
    // mid-download waits while the others are visited, one line at a time as the run
    // always went, and is called again only after --retry-wait.
    void retryAfterTheOthers_data()
    {
        QTest::addColumn<QString>("why");
        QTest::addColumn<QStringList>("order");   // the journal's visits
        QTest::newRow("busy line") << "busy" << QStringList{"Weir A", "Weir C", "Weir B"};
        QTest::newRow("port in use") << "in use" << QStringList{"Weir A", "Weir C", "Weir B"};
        // The attempt that lost its line is recorded as it ended, with its own file.
        QTest::newRow("line lost mid-download") << "lost" << QStringList{"Weir B", "Weir A", "Weir C", "Weir B"};
    }
    void retryAfterTheOthers()
    {
        QFETCH(QString, why);
        sim::PtyCounter a, b, c;
        sim::TcpCounter network;   // Weir B's line when it is lost
        sim::SimModem modem;
        modem.setBusyCalls(1);
        if (why == "busy")
            b.setModem(&modem);
        QVERIFY(a.start() && b.start() && c.start() && network.listen(QHostAddress::LocalHost, 0));
        sim::SimCounter& counterB = why == "lost" ? network.counter() : b.counter();
        counterB.state.events.clear();
        counterB.logPastEvents(3);
        int acks = -1;   // of the first download
        connect(&network.counter(), &sim::SimCounter::commandReceived, this, [&](const QString& command) {
            acks = command == "d00000" && acks < 0 ? 0 : acks + (acks >= 0 && command == kAck);
            if (command == kAck && acks == 1)
                network.counter().addFault({sim::SimFault::HangUp, {}, 1, 0});
        });
        ComPort holder, probe;
        QString problem;
        for (ComPort* port : {&holder, &probe})
            port->portNames().setOverride(port->settings.comNumber = 98, b.devicePath());
        if (why == "in use") {
            QVERIFY2(holder.openQuietly(&problem) && !probe.openQuietly(&problem), qPrintable(problem));
            QCOMPARE(problem, QString("COM 98 (%1) is in use by another program").arg(b.devicePath()));
            connect(&c.counter(), &sim::SimCounter::commandReceived, &holder, [&holder] { holder.ClosePort(); });
        }
        QTemporaryDir folder;
        const qint64 startedNs = sim::monotonicNs();
        QString out, err;
        QStringList args = collectArgs(folder, {{"Weir B", &b}, {"Weir A", &a}, {"Weir C", &c}});
        if (why == "lost") {
            QFile list(folder.filePath("sites.ini"));
            QVERIFY(list.open(QIODevice::ReadOnly));
            const QByteArray sites = list.readAll().replace(b.devicePath().toLatin1(), network.address().toLatin1());
            writeFile(list.fileName(), sites, QFile::ReadOwner | QFile::WriteOwner);
        }
        args << "--retries" << "1" << "--retry-wait" << "2" << "--parallel" << "1";
        QVERIFY2(runCli(args, &out, &err) == 0, qPrintable(out + err));
        const QList<QJsonObject> entries = journal(folder.filePath("archive"));
        QStringList order;
        for (const QJsonObject& entry : entries)
            order << entry.value("site").toString();
        QTEST(order, "order");
        QCOMPARE(entries.last().value("attempts").toInt(), 2);
        QCOMPARE(entries.last().value("outcome").toString(), QStringLiteral("collected"));
        QCOMPARE(entries.last().value("fileLines").toInt(), 7 + 3);
        if (why == "lost") {
            QCOMPARE(entries[0].value("outcome").toString(), QStringLiteral("incomplete"));
            QCOMPARE(entries[0].value("attempts").toInt(), 1);
            QCOMPARE(entries[0].value("fileLines").toInt(), 7 + 1);
            QVERIFY(entries[0].value("file") != entries.last().value("file"));
            QVERIFY(entries[0].value("visit") != entries.last().value("visit"));
        }
        QVERIFY(a.counter().commandTimesNs().first() < c.counter().commandTimesNs().first());
        // The first call: the run's start for the port, the modem's first ATDT for the line,
        // the first command on the network line; the second after the others.
        const QStringList& commandsB = counterB.commands();
        const qint64 firstCallNs = why == "in use" ? startedNs
                                   : why == "busy" ? b.byteTimesNs().at(b.received().indexOf("ATDT"))
                                                   : counterB.commandTimesNs().first();
        const qint64 secondCallNs = why == "in use" ? counterB.commandTimesNs().first()
                                    : why == "busy" ? b.byteTimesNs().at(b.received().lastIndexOf("ATDT"))
                                                    : counterB.commandTimesNs().at(commandsB.indexOf("9D", commandsB.indexOf("d00000")));
        QVERIFY(c.counter().commandTimesNs().last() < secondCallNs);
        QVERIFY2(secondCallNs - firstCallNs >= 2'000'000'000LL, qPrintable(QString::number(secondCallNs - firstCallNs)));
    }

    // Sites on lines of their own are called at once, at most --parallel lines at a time;
    // the sites that share a line (numbers dialled through one modem) one after another on
    // it, in the order of the list. A line that hangs holds up no other.
    void lines_data()
    {
        QTest::addColumn<QStringList>("sites");   // a, b, c: a line each; m and a number: the modem's line
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("atOnce");         // the first calls on the lines overlap
        QTest::newRow("three lines") << QStringList{"a", "b", "c"} << QStringList{} << true;
        QTest::newRow("two sites through one modem") << QStringList{"m0161", "a", "m0171"} << QStringList{} << true;
        QTest::newRow("one line at a time") << QStringList{"a", "b", "c"} << QStringList{"--parallel", "1"} << false;
        // The modem never answers: three calls of 2 s each, and the other line goes on meanwhile.
        QTest::newRow("a hanging line beside a good one") << QStringList{"m0165", "a"} << QStringList{"--retries", "2"}
                                                          << true;
    }
    void lines()
    {
        QFETCH(QStringList, sites);
        QFETCH(QStringList, args);
        QFETCH(bool, atOnce);
        sim::PtyCounter a, b, c, m;
        sim::SimModem modem;
        m.setModem(&modem);
        const QMap<QChar, sim::PtyCounter*> lines{{'a', &a}, {'b', &b}, {'c', &c}, {'m', &m}};
        for (sim::PtyCounter* pty : lines) {
            QVERIFY(pty->start());
            pty->counter().state.events.clear();
            pty->counter().logPastEvents(3);
        }
        QByteArray list;
        for (qsizetype i = 0; i < sites.size(); ++i)
            list += QStringLiteral("[Site %1]\nport=%2\n").arg(i + 1).arg(lines[sites[i][0]]->devicePath()).toLatin1()
                    + (sites[i][0] == 'm' ? "dial=" + sites[i].mid(1).toLatin1() + "\n" : QByteArray());
        QTemporaryDir folder;
        writeFile(folder.filePath("sites.ini"), list, QFile::ReadOwner | QFile::WriteOwner);
        QString out, err;
        const int code = runCli(QStringList{"collect", "--sites", folder.filePath("sites.ini"), "--archive",
                                            folder.filePath("archive"), "--retry-wait", "0"} + args, &out, &err);
        const bool hanging = sites.contains("m0165");
        QVERIFY2(code == (hanging ? 1 : 0), qPrintable(out + err));

        // A site's call: from its first byte on the line (its first ATDT through the modem) to
        // the "e" of its hang-up, or the line's last byte.
        const auto call = [&](qsizetype i) {
            const sim::PtyCounter* pty = lines[sites[i][0]];
            const qsizetype from = sites[i][0] == 'm' ? pty->received().indexOf("ATDT" + sites[i].mid(1).toLatin1()) : 0;
            const qsizetype end = pty->received().indexOf("\x02" "e\x03", from);
            return std::pair{pty->byteTimesNs().at(from), pty->byteTimesNs().at(end < 0 ? pty->received().size() - 1 : end)};
        };
        for (qsizetype i = 0; i < sites.size(); ++i) {
            for (qsizetype j = i + 1; j < sites.size(); ++j) {
                const bool firstOnTheirLines = sites.indexOf(QRegularExpression("^" + sites[i].left(1))) == i
                                               && sites.indexOf(QRegularExpression("^" + sites[j].left(1))) == j;
                if (sites[i][0] == sites[j][0] || !atOnce)
                    QVERIFY2(call(i).second < call(j).first, qPrintable(sites[i] + " before " + sites[j]));
                else if (firstOnTheirLines)
                    QVERIFY2(call(j).first < call(i).second && call(i).first < call(j).second,
                             qPrintable(sites[i] + " beside " + sites[j]));
            }
        }
        // The journal and the database hold every site's one visit whole; the summary
        // follows the list.
        const QList<QJsonObject> entries = journal(folder.filePath("archive"));
        QCOMPARE(entries.size(), sites.size());
        archive::Archive database;
        QString error;
        QVERIFY2(database.open(folder.filePath("archive"), archive::Archive::Mode::Read, &error), qPrintable(error));
        const QStringList summary = out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(summary.size(), sites.size());
        for (qsizetype i = 0; i < sites.size(); ++i) {
            const QString site = QStringLiteral("Site %1").arg(i + 1);
            const bool failed = sites[i] == "m0165";
            QVERIFY2(summary[i].startsWith(site + (failed ? ": failed" : ": collected, 3 of 3 events")), qPrintable(out));
            const auto entry = std::find_if(entries.begin(), entries.end(), [&](const QJsonObject& e) { return e.value("site") == site; });
            QVERIFY(entry != entries.end());
            QCOMPARE(entry->value("attempts").toInt(), failed ? 3 : 1);
            QCOMPARE(entry->value("fileLines").toInt(-1), failed ? -1 : 7 + 3);
            const QList<archive::VisitRecord> visits = database.visits(site);
            QCOMPARE(visits.size(), 1);
            QCOMPARE(visits[0].id, entry->value("visit").toString());
            QCOMPARE(visits[0].outcome, entry->value("outcome").toString());
            QCOMPARE(visits[0].fileSha256, entry->value("fileSha256").toString());
        }
    }

    // An archive of the format before is brought up to date when a collection opens it,
    // and keeps every visit as it was.
    void upgradeKeepsTheArchive()
    {
        QTemporaryDir folder;
        const QList<archive::VisitRecord> written{visitAt("Weir A", 1, "collected", 10, 4), visitAt("Weir B", 2, "failed", 0, 0)};
        QCOMPARE(test::writeArchive(folder.path(), written), QString());
        // Format 1 is today's without the later columns, indexes and tables.
        QStringList drops{"DROP INDEX visits_by_uid", "DROP INDEX visits_in_order", "DROP INDEX visits_by_file",
                          "DROP INDEX status_reads_by_visit", "DROP TABLE event_files", "PRAGMA user_version=1"};
        for (const char* column : {"uid", "flush_pending", "lost_in_flush", "not_flushed", "started_ms",
                                   "file_header_lines", "new_events", "gap_before"})
            drops << QString("ALTER TABLE visits DROP COLUMN ") + column;
        // and with a read's counts a row per channel.
        drops << "CREATE TABLE channel_counts (status_id INTEGER NOT NULL REFERENCES status_reads(id), channel INTEGER "
                 "NOT NULL, up INTEGER NOT NULL, down INTEGER NOT NULL, PRIMARY KEY (status_id, channel))";
        for (int channel = 1; channel <= archive::kChannels; ++channel)
            drops << QString("INSERT INTO channel_counts SELECT id, %1, up_%1, down_%1 FROM status_reads").arg(channel)
                  << QString("ALTER TABLE status_reads DROP COLUMN up_%1").arg(channel)
                  << QString("ALTER TABLE status_reads DROP COLUMN down_%1").arg(channel);
        QVERIFY(test::execOn(folder.path(), drops));
        archive::Archive database;
        QString error;
        QVERIFY2(database.open(folder.path(), archive::Archive::Mode::Read, &error), qPrintable(error));
        QVERIFY(database.visits("Weir A") == written.mid(0, 1));
        QVERIFY2(database.open(folder.path(), archive::Archive::Mode::Write, &error), qPrintable(error));
        QVERIFY(database.visits("Weir A") == written.mid(0, 1) && database.visits("Weir B") == written.mid(1));
        archive::VisitRecord again = written.first();
        again.id = "a visit";
        again.flushPending = true;
        QVERIFY2(database.addVisit(again, &error) && database.addVisit(again, &error), qPrintable(error));
        QCOMPARE(database.visits("Weir A").size(), 2);
        QVERIFY(database.visits("Weir A").last() == again);
    }


    // A counter behind a serial device server, its site's port a tcp:// line.
    void networkCollection_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<int>("received");
        QTest::addColumn<QString>("error");
        QTest::newRow("served") << "served" << "collected" << 3 << "";
        // The far end closes the connection halfway through the second event line.
        QTest::newRow("closed by the far end mid-download")
            << "closed" << "incomplete" << 1
            << "The connection on COM 99 was lost: the device %1 is gone (unplugged, switched off or taken away).";
        QTest::newRow("refused") << "refused" << "failed" << 0
                                 << "Cannot reach 127.0.0.1:%1: the connection was refused (nothing listens on that port)";
    }
    void networkCollection()
    {
        QFETCH(QString, line);
        QFETCH(QString, outcome);
        QFETCH(int, received);
        QFETCH(QString, error);
        sim::TcpCounter counter;
        QVERIFY(counter.listen(QHostAddress::LocalHost, 0));
        counter.counter().state.events.clear();
        counter.counter().logPastEvents(3);
        bool downloading = false;
        connect(&counter.counter(), &sim::SimCounter::commandReceived, this, [&](const QString& command) {
            downloading = downloading || command == "d00000";
            if (line == "closed" && downloading && command == QString(QChar(6)))
                counter.counter().addFault({sim::SimFault::HangUp, {}, 1, 0});
        });
        QString where = counter.address();
        if (line == "refused") {
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
            where = QString::number(closed.serverPort());
        }
        QTemporaryDir folder;
        const QString port = line == "refused" ? "tcp://127.0.0.1:" + where : where;
        const Collected run = collectSites(folder, "[Weir N]\nport=" + port.toLatin1() + "\n");
        QVERIFY2(run.code == (outcome == "collected" ? 0 : 1), qPrintable(run.output));
        QCOMPARE(run.entries.size(), 1);
        QCOMPARE(run.entries[0].value("outcome").toString(), outcome);
        QCOMPARE(run.entries[0].value("events").toInt(), received);
        QCOMPARE(run.entries[0].value("error").toString(), error.isEmpty() ? error : error.arg(where));
        QCOMPARE(counter.counter().commands().isEmpty(), outcome == "failed");
        // Every line that came whole is in the file, after the status header.
        if (outcome != "failed")
            QCOMPARE(QString::fromLatin1(run.file(0)).split("\r\n").mid(7),
                     counter.counter().state.events.mid(0, received) + QStringList{""});
    }

    // The same counter visited on its pseudo-terminal and through ser2net: the same file.
    void ser2netGivesTheSameEventFileAsADirectLine()
    {
        sim::PtyCounter pty;
        QVERIFY(pty.start());
        pty.counter().state.events.clear();
        pty.counter().logPastEvents(5);
        // One status reply for both visits, so that the header shows the same clock.
        pty.counter().addFault({sim::SimFault::Replace, "a", -1, 0, pty.counter().statusReply().toLatin1()});
        test::Ser2net server;
        const QString problem = server.start(pty.devicePath());
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QTemporaryDir folder;
        // Two lines to one counter: called one after the other.
        const Collected run = collectSites(folder, "[Direct]\nport=" + pty.devicePath().toLatin1() + "\n[Served]\nport="
                                                       + server.address().toLatin1() + "\n", {"--parallel", "1"});
        QVERIFY2(run.code == 0, qPrintable(run.output));
        QCOMPARE(run.entries.size(), 2);
        QCOMPARE(run.entries[1].value("outcome").toString(), QStringLiteral("collected"));
        QCOMPARE(run.file(1), run.file(0));
        QCOMPARE(run.file(0).count("\r\n"), 7 + 5);
    }

    // Weir A: counts rise twice, then go down after a Clear Counts while channel 2 rose past its
    // old count; Weir B never answered.
    void report_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("expected");   // the whole of standard output, or the error
        const QString header = "  read at                   new events  ch1 up      ch1 down    ch2 up      ch2 down    ch3 up      "
                               "ch3 down    ch4 up      ch4 down\n";
        const QString lastA = "Weir A\n"
                              "  last visit 2026-12-04T02:00:00+01:00: incomplete, 3 of 3 events\n";
        const QString night2 = "  2026-12-02T02:00:20+01:00 0           13 (+3)     4 (+0)      7 (+0)      0 (+0)      0 (+0)      0 (+0)      0 (+0)      0 (+0)\n";
        const QString night3 = "  2026-12-03T02:00:20+01:00 0           15 (+2)     4 (+0)      7 (+0)      0 (+0)      0 (+0)      0 (+0)      0 (+0)      0 (+0)\n";
        const QString night4 = "  2026-12-04T02:00:20+01:00 0           2 (cleared) 1 (cleared) 9 (cleared) 0 (cleared) 0 (cleared) 0 (cleared) 0 (cleared) 0 (cleared)\n";
        const QString weirB = "Weir B\n"
                              "  last visit 2026-12-03T02:00:00+01:00: failed, 0 of 0 events: BUSY\n"
                              "  0 new events in 1 visit (0 downloaded)\n";
        // The season's totals of Weir A from `from`, when its read of the 1st (or 3rd) is the
        // first step's start; none read (Weir B).
        auto seasonA = [](const QString& from, int firstDay, int upOne) {
            return QString("  season from %1, between the reads of 2026-12-0%2T02:00:20+01:00 and 2026-12-04T02:00:20+01:00:\n"
                           "  season total              0           %3           0           0           0           0           0           0           0\n"
                           "  at least: the counts were cleared at 1 of the season's visits, and the fish between each "
                           "of them and the visit before are not known\n\n").arg(from).arg(firstDay).arg(upOne);
        };
        auto noneRead = [](const QString& from) { return QString("  season from %1: no counts read\n\n").arg(from); };
        // Without --since the season is this year's.
        const QString year = QString::number(QDate::currentDate().year()) + "-01-01";
        const QString all = lastA + "  0 new events in 4 visits (53 downloaded)\n" + header
                            + "  2026-12-01T02:00:20+01:00 0           10          4           7           0           0           0           0           0\n"
                            + night2 + night3 + night4 + (year == "2026-01-01" ? seasonA(year, 1, 5) : noneRead(year))
                            + weirB + noneRead(year);
        QTest::newRow("all") << QStringList() << 0 << all;
        QTest::newRow("since") << QStringList{"--since", "2026-12-02T00:00+01:00"} << 0
                               << lastA + "  0 new events in 3 visits (39 downloaded)\n" + header + night2 + night3 + night4
                                      + seasonA("2026-12-02", 1, 5) + weirB + noneRead("2026-12-02");
        QTest::newRow("since a time") << QStringList{"--since", "2026-12-03T03:00+01:00"} << 0
                                      << lastA + "  0 new events in 1 visit (3 downloaded)\n" + header + night4
                                             + seasonA("2026-12-03T03:00:00+01:00", 3, 0) + "Weir B\n  no visits\n"
                                             + noneRead("2026-12-03T03:00:00+01:00");
        QTest::newRow("hour 25") << QStringList{"--since", "2026-12-03T25:00"} << 2 << "kestrova-cli: --since must be a date";
        QTest::newRow("read-only archive") << QStringList{"read-only"} << 0 << all;
        QTest::newRow("json") << QStringList{"--json", "--since", "2026-12-01"} << 0 << "json";
        QTest::newRow("missing") << QStringList{"--archive", "/nonexistent/archive"} << 2
            << "kestrova-cli: There is no archive database at /nonexistent/archive/archive.sqlite. Run a collection into this folder first.\n";
        QTest::newRow("newer format") << QStringList{"newer"} << 2
            << QString("was written by a newer version of this program (format %1;").arg(archive::kFormatVersion + 1);
        QTest::newRow("bad date") << QStringList{"--since", "yesterday"} << 2 << "kestrova-cli: --since must be a date";
        QTest::newRow("title without pages") << QStringList{"--title", "Fish"} << 2 << "kestrova-cli: --title goes with --html";
        QTest::newRow("pages and json") << QStringList{"--html", "pages", "--json"} << 2
                                        << "kestrova-cli: report takes --html FOLDER or --json, not both";
        // CONF:TEXT is a publish.conf holding TEXT, beside the archive (DIR).
        QTest::newRow("publish.conf") << QStringList{"--publish-conf", "CONF:folder=pages\ntitle=Weirs\n"} << 0
                                      << "Pages of 2 sites written to DIR/pages\n";
        QTest::newRow("publish.conf without a folder") << QStringList{"--publish-conf", "CONF:title=Weirs\n"} << 0
                                                       << "No pages written: DIR/publish.conf names no folder\n";
        QTest::newRow("publish.conf with another key") << QStringList{"--publish-conf", "CONF:folder=p\nfolders=q\n"} << 2
            << "kestrova-cli: DIR/publish.conf: unknown key folders (it takes folder, title and since)\n";
    }
    void report()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, expected);
        QTemporaryDir folder;
        QCOMPARE(test::writeArchive(folder.path(), {visitAt("Weir A", 1, "collected", 10, 4),
                                                    visitAt("Weir A", 2, "collected", 13, 4),
                                                    visitAt("Weir B", 3, "failed", 0, 0),
                                                    visitAt("Weir A", 3, "collected", 15, 4),
                                                    visitAt("Weir A", 4, "incomplete", 2, 1, 9)}),
                 QString());
        if (args.removeAll("newer"))
            QVERIFY(test::stampFormat(folder.path(), archive::kFormatVersion + 1));
        for (QString& arg : args)
            if (arg.startsWith("CONF:")) {
                QFile conf(folder.filePath("publish.conf"));
                QVERIFY(conf.open(QIODevice::WriteOnly) && conf.write(arg.mid(5).toUtf8()) > 0);
                arg = conf.fileName();
            }
        expected.replace("DIR", folder.path());
        QString out, err;
        int runCode = -1;
        const QStringList archiveArgs = args.contains("--archive") ? QStringList() : QStringList{"--archive", folder.path()};
        if (args.removeAll("read-only"))
            reportAsReader(folder.path(), &runCode, &out, &err);
        else
            runCode = runCli(QStringList{"report"} + archiveArgs + args, &out, &err);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(runCode == code, qPrintable(err));
        if (code != 0) {
            QVERIFY2(err.contains(expected), qPrintable(err));
            return;
        }
        if (expected != "json") {
            QCOMPARE(out, expected);
            return;
        }
        // Written a line at a time, the same text as Qt's JSON writes for the whole.
        QCOMPARE(out, cli::jsonText(QJsonDocument::fromJson(out.toUtf8())));
        const QJsonArray sites = QJsonDocument::fromJson(out.toUtf8()).object().value("sites").toArray();
        QCOMPARE(sites.size(), 2);
        const QJsonArray counts = sites[0].toObject().value("counts").toArray();
        QCOMPARE(counts.size(), 4);
        auto up = [&counts](int visit, int channel) {
            return counts[visit].toObject().value("channels").toArray()[channel - 1].toObject().value("up").toObject();
        };
        QCOMPARE(up(1, 1).value("difference").toInt(), 3);
        QCOMPARE(up(2, 1).value("difference").toInt(), 2);
        QVERIFY(!counts[2].toObject().value("cleared").toBool() && counts[3].toObject().value("cleared").toBool());
        for (int channel : {1, 2})
            QVERIFY(up(3, channel).value("cleared").toBool() && up(3, channel).value("difference").isNull());
        QCOMPARE(sites[1].toObject().value("lastVisit").toObject().value("outcome").toString(), QStringLiteral("failed"));
        const QJsonObject season = sites[0].toObject().value("season").toObject();
        QCOMPARE(season.value("channels").toArray()[0].toObject().value("up").toInt(), 5);
        QVERIFY(season.value("atLeast").toBool() && season.value("visits").toInt() == 4);
    }
};

QTEST_GUILESS_MAIN(TestCollect)
#include "test_collect.moc"
