// The archive over both of its kinds, a folder and a database on the tests' own PostgreSQL
// server, as rows of one table: a visit written and read back whole, each site's events
// once however its downloads overlap, field downloads taken in, an archive of the format
// before upgraded, and the URIs that name a server.

#include "archive/location.h"
#include "archive/recorder.h"
#include "cli/cli.h"
#include "counter/counterstatus.h"
#include "counter/download.h"
#include "counter/eventfile.h"
#include "sim/ptycounter.h"
#include "support/archivetest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

using namespace kfc;

namespace {

int runCli(const QStringList& args, QString* out, QString* err = nullptr)
{
    QString ignored;
    QTextStream outStream(out), errStream(err ? err : &ignored);
    const int code = cli::run(QStringList{"kestrova-cli"} + args, outStream, errStream);
    outStream.flush();
    errStream.flush();
    return code;
}

// Event lines `from` to `to` as a counter logs them: "06/12/26 00:07:00 UP 4 7".
QStringList events(int from, int to)
{
    QStringList lines;
    for (int n = from; n <= to; ++n)
        lines << QString("06/12/26 %1:%2:00 UP %3 %4").arg(n / 60, 2, 10, QChar('0')).arg(n % 60, 2, 10, QChar('0')).arg(n % 4 + 1).arg(n);
    return lines;
}

// "1-5,9-12": those events, in turn.
QStringList eventsOf(const QString& ranges)
{
    QStringList lines;
    for (const QString& range : ranges.split(',', Qt::SkipEmptyParts))
        lines += events(range.section('-', 0, 0).toInt(), range.section('-', 1, 1).toInt());
    return lines;
}

// A simulated counter holding `events` events on a pseudo-terminal, and a site list that
// names it as the site.
struct CounterSite {
    CounterSite(const QString& site, int events, const QString& folder)
        : list(QDir(folder).filePath(site + ".ini"))
    {
        started = pty.start();
        pty.counter().state.events.clear();
        pty.counter().logPastEvents(events);
        held = pty.counter().state.events;
        QFile file(list);
        started = started && file.open(QIODevice::WriteOnly)
                  && file.write(QString("[%1]\nport=%2\nflush-after=true\n").arg(site, pty.devicePath()).toUtf8()) > 0;
    }
    sim::PtyCounter pty;
    QString list;
    QStringList held;   // the events before the collection
    bool started = false;
};

// Fails the row, saying why, when its kind of archive cannot be had.
#define FRESH_ARCHIVE(archives, kind, location)                                                                        \
    QString why;                                                                                                       \
    const QString location = archives.fresh(kind, &why);                                                               \
    QVERIFY2(why.isEmpty(), qPrintable("No archive on a server for this row: " + why))

} // namespace

class TestArchive : public QObject {
    Q_OBJECT

    test::TestArchives m_archives;

    void kinds()
    {
        QTest::addColumn<QString>("kind");
    }

private slots:
    void initTestCase() { qputenv("KESTROVA_TIMING", "shrunk"); }

    // Every field, status reads and all, as it went in; written again (before and after a
    // flush) it is still one visit; two threads recording at once both get theirs in.
    void readBack_data()
    {
        kinds();
        for (const QString& kind : test::kArchiveKinds)
            QTest::newRow(qPrintable(kind)) << kind;
    }
    void readBack()
    {
        QFETCH(QString, kind);
        FRESH_ARCHIVE(m_archives, kind, location);
        archive::Recorder recorder;
        QVERIFY2(recorder.open(location, m_archives.spool(), archive::Recorder::Hold::Exclusive, &why), qPrintable(why));
        archive::VisitRecord visit = test::fileVisit(recorder, "Weir \"A\"", 7, events(1, 4));
        visit.attempts = 2;
        visit.expected = 5;
        visit.clockDrift = -42;
        visit.clockSet = true;
        visit.flushPending = true;
        visit.lostInFlush = 1;
        visit.notFlushed = "the event count changed from 3 to 4 during the download";
        visit.error = "No answer within 2 seconds";
        visit.statusReads.first().counterClock = QDateTime(QDate(2026, 12, 7), QTime(1, 59, 3), Qt::UTC);
        visit.statusReads.first().version = "8.90 Kestrova FC4";
        visit.statusReads.first().eventCount = 4;
        visit.statusReads.first().conductivity = 311;
        visit.statusReads << visit.statusReads.first();
        visit.statusReads.last().readAt = visit.statusReads.last().readAt.toOffsetFromUtc(-5 * 3600).addSecs(30);
        visit.statusReads.last().up = {1, 2, 3, 4};
        const archive::Recorded recorded = recorder.record(visit, true);
        QVERIFY2(recorded.whole(), qPrintable(recorded.notInDatabase + recorded.notInJournal));
        visit.flushPending = false;
        visit.flushed = true;
        QVERIFY(recorder.record(visit, true).whole());   // its file has left the spool
        archive::VisitRecord expected = visit;
        expected.newEvents = 4;

        auto more = [&recorder](const QString& site) {
            for (int night = 10; night < 13; ++night)
                recorder.record(test::fileVisit(recorder, site, night, events(1, night)), true);
        };
        std::unique_ptr<QThread> one(QThread::create(more, "Weir B")), two(QThread::create(more, "Weir C"));
        one->start();
        two->start();
        QVERIFY(one->wait(60000) && two->wait(60000));
        QVERIFY(recorder.allRecorded());

        archive::Archive database;
        QVERIFY2(database.open(location, archive::Archive::Mode::Read, &why), qPrintable(why));
        QCOMPARE(database.sites().size(), 3);
        const QList<archive::VisitRecord> read = database.visits("Weir \"A\"");
        QCOMPARE(read.size(), 1);
        QVERIFY(read.first() == expected);
        QCOMPARE(database.newEventLines(read.first(), &why).join('|'), events(1, 4).join('|').toLatin1());
        for (const char* site : {"Weir B", "Weir C"})
            QCOMPARE(database.visits(site).size(), 3);
        if (kind == "folder")
            return;
        // A password refused: the server and the database named, never the password.
        const QString passFile = QDir::temp().filePath("kestrova-wrong-pgpass");
        QVERIFY(m_archives.server().writePassFile(passFile, "s3cret:wrong").isEmpty());
        const QByteArray kept = qgetenv("PGPASSFILE");
        qputenv("PGPASSFILE", QFile::encodeName(passFile));
        archive::Archive refused;
        QVERIFY(!refused.open(location, archive::Archive::Mode::Read, &why));
        qputenv("PGPASSFILE", kept);
        QFile::remove(passFile);
        QVERIFY2(why.startsWith("Cannot connect to the archive, database fishcounts on " + m_archives.server().socketDir()
                                + ":15432: ") && why.contains("password authentication failed") && !why.contains("s3cret"),
                 qPrintable(why));
    }

    // Consecutive downloads of one counter, each "FROM-TO[,FROM-TO]" of its events, on
    // nights 1, 2, ... unless "@NIGHT" says otherwise, "!" when the buffer was flushed
    // after it; recorded in the order given. The new events and the gaps are in the order
    // the visits happened, and `events` writes each event once.
    void overlap_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QList<int>>("newEvents");
        QTest::addColumn<QString>("gaps");
        QTest::addColumn<QString>("series");
        for (const QString& kind : test::kArchiveKinds) {
            const auto row = [&kind](const char* name) -> QTestData& { return QTest::newRow(qPrintable(kind + ": " + name)) << kind; };
            row("linear buffer growing") << QStringList{"1-5", "1-9", "1-12"} << QList{5, 4, 3} << "---" << "1-12";
            row("circular buffer wrapping") << QStringList{"1-6", "4-9", "8-13"} << QList{6, 3, 4} << "---" << "1-13";
            row("flushed buffer") << QStringList{"1-5!", "6-8"} << QList{5, 3} << "--" << "1-8";
            row("gap: cleared on the counter") << QStringList{"1-5", "9-12"} << QList{5, 4} << "-G" << "1-5,9-12";
            row("a download cut short") << QStringList{"1-6", "1-3", "1-9"} << QList{6, 0, 3} << "---" << "1-9";
            row("a field download taken in late") << QStringList{"1-4@1", "1-10@3", "1-7@2"} << QList{4, 3, 3} << "---"
                                                  << "1-10";
            // Each file is looked for in the files of more visits before it than the files
            // read at once had room for.
            QStringList nightly{"1-60!"};
            for (int event = 61; event <= 115; ++event)
                nightly << QString("%1-%1!").arg(event);
            row("flushed every night after a big download") << nightly << (QList{60} + QList<int>(55, 1))
                                                           << QString(56, '-') << "1-115";
        }
    }
    void overlap()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, files);
        FRESH_ARCHIVE(m_archives, kind, location);
        {
            archive::Recorder recorder;
            QVERIFY2(recorder.open(location, m_archives.spool(), archive::Recorder::Hold::Exclusive, &why), qPrintable(why));
            for (qsizetype i = 0; i < files.size(); ++i) {
                const QRegularExpressionMatch described = QRegularExpression("^([-0-9,]+)(?:@(\\d+))?(!?)$").match(files[i]);
                const int night = described.captured(2).isEmpty() ? int(i + 1) : described.captured(2).toInt();
                archive::VisitRecord visit = test::fileVisit(recorder, "Weir A", night, eventsOf(described.captured(1)));
                visit.flushed = described.captured(3) == "!";
                QVERIFY(recorder.record(visit, true).whole());
            }
        }
        archive::Archive database;
        QVERIFY2(database.open(location, archive::Archive::Mode::Read, &why), qPrintable(why));
        QList<int> newEvents;
        QString gaps;
        for (const archive::VisitRecord& visit : database.visits("Weir A"))
            newEvents << visit.newEvents, gaps += visit.gapBefore ? 'G' : '-';
        QTEST(newEvents, "newEvents");
        QTEST(gaps, "gaps");
        QString out, err;
        QCOMPARE(runCli({"events", "--archive", location, "--site", "Weir A"}, &out, &err), 0);
        QFETCH(QString, series);
        QCOMPARE(out, eventsOf(series).join('\n') + '\n');
        QCOMPARE(err.contains("events may be missing before the visit of 2026-12-02T02:00:00+01:00"), gaps.endsWith('G'));
        QCOMPARE(runCli({"report", "--archive", location}, &out), 0);
        QVERIFY2(out.contains(QString("  %1 new events in %2 visits (").arg(eventsOf(series).size()).arg(files.size())),
                 qPrintable(out));
    }

    // Files a download window wrote, taken in as visits of a site: the status header gives
    // the counts; a file without one is refused unless --no-status; a file taken twice is
    // stored once.
    void import_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("file");      // "header" or "bare"
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");      // the start of the output, or of the error
        QTest::addColumn<int>("visits");
        for (const QString& kind : test::kArchiveKinds) {
            const auto row = [&kind](const char* name) -> QTestData& { return QTest::newRow(qPrintable(kind + ": " + name)) << kind; };
            row("with the status header") << "header" << QStringList() << 0
                                          << "FILE: 5 events, a visit of Weir A at 2026-12-07T14:05:09" << 1;
            row("without it") << "bare" << QStringList() << 2
                              << "kestrova-cli: FILE does not begin with the status header that a download with "
                                 "Include Status writes (Line 1 of the status header: " << 0;
            row("without it, --no-status") << "bare" << QStringList{"--no-status"} << 0 << "FILE: 5 events, a visit of Weir A at " << 1;
            row("the same file twice") << "header" << QStringList{"again"} << 0
                                       << "FILE: 5 events, a visit of Weir A at 2026-12-07T14:05:09" << 1;
        }
    }
    void import()
    {
        QFETCH(QString, kind);
        QFETCH(QString, file);
        QFETCH(QStringList, options);
        FRESH_ARCHIVE(m_archives, kind, location);
        CounterStatus status;
        status.dateTime = QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9), Qt::UTC);
        status.channel(3).upCount = 41;
        QTemporaryDir folder;
        const QString name = folder.filePath("WEIR-A.LG2");
        QFile written(name);
        QVERIFY(written.open(QIODevice::WriteOnly));
        written.write(((file == "header" ? StatusHeaderLines(status) : QStringList()) + events(1, 5)).join("\r\n").toLatin1() + "\r\n");
        written.close();
        const bool again = options.removeAll("again");
        const QStringList args = QStringList{"import", "--archive", location, "--spool", m_archives.spool(), "--site", "Weir A"}
                                 + options + QStringList{name};
        QString out, err;
        QTEST(runCli(args, &out, &err), "code");
        QFETCH(QString, said);
        QVERIFY2((out + err).startsWith(QString(said).replace("FILE", name)), qPrintable(out + err));
        if (again) {
            out.clear();
            QCOMPARE(runCli(args + QStringList{name}, &out, &err), 0);
            QCOMPARE(out, QString("%1: the archive holds this file already\n").arg(name).repeated(2));
        }
        archive::Archive database;
        QFETCH(int, visits);
        if (visits == 0) {
            QVERIFY(!database.open(location, archive::Archive::Mode::Read, &why) || database.sites().isEmpty());
            return;
        }
        QVERIFY2(database.open(location, archive::Archive::Mode::Read, &why), qPrintable(why));
        const QList<archive::VisitRecord> read = database.visits("Weir A");
        QCOMPARE(read.size(), visits);
        QCOMPARE(read.first().outcome, QString("imported"));
        QCOMPARE(read.first().newEvents, 5);
        QCOMPARE(read.first().statusReads.isEmpty(), file == "bare");
        if (file == "header")
            QCOMPARE(read.first().statusReads.first().up, (std::array<int, 4>{0, 0, 41, 0}));
    }

    // Two PCs collecting into one server at once, each with a spool of its own: both
    // collections complete, and the archive holds each counter's events once.
    void twoCollectionsAtOnce()
    {
        FRESH_ARCHIVE(m_archives, "server", location);
        QTemporaryDir folder;
        CounterSite a("Weir A", 300, folder.path()), b("Weir B", 250, folder.path());
        QVERIFY(a.started && b.started);
        QProcess one, two;
        for (auto [process, site] : {std::pair{&one, &a}, std::pair{&two, &b}})
            process->start(KFC_CLI_EXE, {"collect", "--sites", site->list, "--archive", location, "--spool",
                                         site->list + ".spool", "--retries", "0"});
        QTRY_VERIFY_WITH_TIMEOUT(one.state() == QProcess::NotRunning && two.state() == QProcess::NotRunning, 120000);
        for (QProcess* process : {&one, &two})
            QVERIFY2(process->exitCode() == 0, process->readAllStandardOutput() + process->readAllStandardError());
        archive::Archive database;
        QVERIFY2(database.open(location, archive::Archive::Mode::Read, &why), qPrintable(why));
        for (CounterSite* site : {&a, &b}) {
            const QList<archive::VisitRecord> visits = database.visits(site->list.section('/', -1).chopped(4));
            QCOMPARE(visits.size(), 1);
            QVERIFY(visits.first().flushed && visits.first().outcome == "collected");
            QCOMPARE(database.newEventLines(visits.first(), &why).join('\n'), site->held.join('\n').toLatin1());
            QVERIFY(site->pty.counter().state.events.isEmpty());
        }
    }

    // The server stops during a visit that flushes: the visit is safe in the spool, so the
    // counter is flushed, and the journal says where the visit waits. `sync` after the
    // server is back stores it once, with every event; a second `sync` has nothing to send.
    void serverAwayDuringAVisit()
    {
        FRESH_ARCHIVE(m_archives, "server", location);
        QTemporaryDir folder;
        CounterSite site("Weir A", 40, folder.path());
        QVERIFY(site.started);
        QString stopped = "not stopped";
        connect(&site.pty.counter(), &sim::SimCounter::commandReceived, this, [&](const QString& command) {
            if (command == "d00000")
                stopped = m_archives.server().stop();
        });
        const QString spool = folder.filePath("spool");
        const QStringList archiveArgs{"--archive", location, "--spool", spool};
        QString out, err;
        const int code = runCli(QStringList{"collect", "--sites", site.list, "--retries", "0"} + archiveArgs, &out, &err);
        QVERIFY2(code == 1, qPrintable(out + err));   // not all in the archive yet
        QCOMPARE(stopped, QString());
        QVERIFY2(out.contains("Weir A: collected") && out.contains(", flushed, waiting in the spool"), qPrintable(out));
        QVERIFY2(err.contains("could not be reached; the visits wait in the spool " + spool), qPrintable(err));
        QVERIFY(site.pty.counter().state.events.isEmpty());
        QFile journal(QDir(spool).filePath("journal.jsonl"));
        QVERIFY(journal.open(QIODevice::ReadOnly));
        const QJsonObject last = QJsonDocument::fromJson(journal.readAll().trimmed().split('\n').last()).object();
        QVERIFY(last.value("inSpool").toBool() && last.value("notInDatabase").toString().contains("database fishcounts"));

        QCOMPARE(m_archives.server().start(), QString());
        for (const QString& said : {"Sent 1 of 1 visits waiting in the spool " + spool + " to the archive.\n",
                                    "No visit waits in the spool " + spool + ".\n"}) {
            out.clear();
            QCOMPARE(runCli(QStringList{"sync"} + archiveArgs, &out, &err), 0);
            QCOMPARE(out, said);
            archive::Archive database;
            QVERIFY2(database.open(location, archive::Archive::Mode::Read, &why), qPrintable(why));
            const QList<archive::VisitRecord> visits = database.visits("Weir A");
            QCOMPARE(visits.size(), 1);
            QVERIFY(visits.first().flushed && !visits.first().flushPending);
            QCOMPARE(database.newEventLines(visits.first(), &why).join('\n'), site.held.join('\n').toLatin1());
        }
        QVERIFY(QDir(spool).entryList({"*.LG2"}, QDir::Files, QDir::NoSort).isEmpty());
    }

    // An archive that the program before this format made (two collections of a counter
    // whose buffer grew, one more after fish came, a buffer of another counter flushed, and
    // one after the flush; a site that never answered) opens, upgrades and keeps every
    // visit as it was, with each file's new events worked out.
    void upgradeOfAFolderArchive()
    {
        QTemporaryDir folder;
        const QDir fixture(QFINDTESTDATA("data/format2"));
        QVERIFY(QDir().mkpath(folder.filePath("Weir A")));
        for (const char* name : {"archive.sqlite", "journal.jsonl"})
            QVERIFY(QFile::copy(fixture.filePath(name), folder.filePath(name)));
        for (const QString& name : QDir(fixture.filePath("Weir A")).entryList(QDir::Files))
            QVERIFY(QFile::copy(fixture.filePath("Weir A/" + name), folder.filePath("Weir A/" + name)));
        QString why;
        archive::Archive before;
        QVERIFY2(before.open(folder.path(), archive::Archive::Mode::Read, &why), qPrintable(why));
        QList<archive::VisitRecord> visits = before.visits("Weir A") + before.visits("Weir B");
        QCOMPARE(visits.size(), 7);
        archive::Archive after;
        QVERIFY2(after.open(folder.path(), archive::Archive::Mode::Write, &why), qPrintable(why));
        QList<int> newEvents;
        for (archive::VisitRecord& visit : visits)
            newEvents << visit.newEvents;
        const QList<archive::VisitRecord> upgraded = after.visits("Weir A") + after.visits("Weir B");
        QCOMPARE(newEvents, (QList{13, 23, 30, 41, 5, 3, 0}));   // read as they stood: every event of each file
        newEvents.clear();
        for (qsizetype i = 0; i < upgraded.size(); ++i) {
            newEvents << upgraded[i].newEvents;
            visits[i].newEvents = upgraded[i].newEvents;
            visits[i].gapBefore = upgraded[i].gapBefore;
            QVERIFY2(upgraded[i] == visits[i], qPrintable(upgraded[i].id));
        }
        QCOMPARE(newEvents, (QList{13, 10, 7, 11, 5, 3, 0}));
        QCOMPARE(upgraded[4].gapBefore, true);   // another counter's buffer, no flush between
        QCOMPARE(upgraded[5].gapBefore, false);  // after the flush
        QFile journal(folder.filePath("journal.jsonl")), original(fixture.filePath("journal.jsonl"));
        QVERIFY(journal.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
        QCOMPARE(journal.readAll(), original.readAll());
    }

    // A moment as the archive writes it: as Qt writes it in ISO 8601, in the moment's own
    // offset, and read back as the same moment in the same offset.
    void momentText_data()
    {
        QTest::addColumn<QDateTime>("moment");
        const QDate day(2026, 3, 29);
        const QTime night(2, 0, 5, 250);
        QTest::newRow("an hour east") << QDateTime(day, night, Qt::OffsetFromUTC, 3600);
        QTest::newRow("three and a half hours west") << QDateTime(day, night, Qt::OffsetFromUTC, -12600);
        QTest::newRow("five and three quarters east") << QDateTime(day, QTime(23, 59, 59), Qt::OffsetFromUTC, 20700);
        QTest::newRow("UTC") << QDateTime(day, QTime(0, 0), Qt::UTC);
        QTest::newRow("the PC's zone") << QDateTime(day, night, Qt::LocalTime);
        QTest::newRow("a year of three digits") << QDateTime(QDate(999, 12, 31), night, Qt::OffsetFromUTC, 3600);
    }
    void momentText()
    {
        QFETCH(QDateTime, moment);
        const QString text = archive::momentText(moment);
        QCOMPARE(text, moment.toOffsetFromUtc(moment.offsetFromUtc()).toString(Qt::ISODate));
        const QDateTime read = archive::momentFrom(text);
        QCOMPARE(read, moment.addMSecs(-moment.time().msec()));
        QCOMPARE(read.offsetFromUtc(), moment.offsetFromUtc());
    }

    // The URI of a server's database as libpq reads it, made the driver's options; a
    // password anywhere in it refused.
    void uri_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("options");   // or the error
        QTest::addColumn<QString>("name");
        const QString timeout = "connect_timeout='10' ";
        QTest::newRow("host and database") << "postgresql://kestrova@db.example/fishcounts"
                                           << timeout + "host='db.example' dbname='fishcounts' user='kestrova'"
                                           << "database fishcounts on db.example";
        QTest::newRow("socket folder as a keyword") << "postgresql:///fishcounts?host=/run/postgresql"
                                                    << timeout + "dbname='fishcounts' host='/run/postgresql'"
                                                    << "database fishcounts on /run/postgresql";
        QTest::newRow("percent-encoded socket, port") << "postgres://%2Ftmp%2Fpg:5433/fish%20counts"
                                                      << timeout + "host='/tmp/pg' port='5433' dbname='fish counts'"
                                                      << "database fish counts on /tmp/pg:5433";
        QTest::newRow("IPv6 and two hosts") << "postgresql://[::1]:5432,db2.example/fishcounts?sslmode=require"
                                            << timeout + "host='::1,db2.example' port='5432,' dbname='fishcounts' sslmode='require'"
                                            << "database fishcounts on ::1,db2.example";
        QTest::newRow("service, quotes, ssl=true") << "postgresql://?service=agency&application_name=it's&ssl=true"
                                                   << timeout + "service='agency' application_name='it\\'s' sslmode='require'"
                                                   << "the default database on the server of service agency";
        QTest::newRow("a timeout of its own") << "postgresql://db/fc?connect_timeout=3"
                                              << timeout + "host='db' dbname='fc' connect_timeout='3'" << "database fc on db";
        const QString password = "The archive's URI holds a password. Leave it out and put it in ~/.pgpass";
        QTest::newRow("password in the user part") << "postgresql://kestrova:secret@db/fc" << password << "";
        QTest::newRow("password as a keyword") << "postgresql://db/fc?password=secret" << password << "";
        QTest::newRow("bad escape") << "postgresql://db/fc%2" << "The archive's URI is malformed: postgresql://db/fc%2" << "";
        QTest::newRow("a keyword without a value") << "postgresql://db/fc?sslmode" << "The archive's URI is malformed" << "";
    }
    void uri()
    {
        QFETCH(QString, uri);
        QFETCH(QString, options);
        QVERIFY(archive::isServerUri(uri));
        archive::ServerAddress address;
        QString error;
        const bool parsed = archive::parseServerUri(uri, &address, &error);
        QVERIFY2(parsed ? address.connectOptions == options : error.startsWith(options),
                 qPrintable(parsed ? address.connectOptions : error));
        if (parsed)
            QTEST(address.text(), "name");
        QVERIFY(!error.contains("secret"));
    }
};

QTEST_GUILESS_MAIN(TestArchive)
#include "test_archive.moc"
