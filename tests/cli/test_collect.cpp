// Collection from a site list, against simulated counters on pseudo-terminals.

#include "cli/cli.h"
#include "sim/ptycounter.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

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

QList<QJsonObject> journal(const QString& archive)
{
    QFile file(archive + "/journal.jsonl");
    QList<QJsonObject> entries;
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray& line : file.readAll().split('\n'))
            if (!line.isEmpty())
                entries << QJsonDocument::fromJson(line).object();
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
                  "[Weir A]\n" + port + "[Weir B]\n" + (site == "#" ? QByteArray() : port + site),
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
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("outcomeA");
        QTest::addColumn<bool>("flushedA");
        QTest::addColumn<QString>("notFlushedA");
        QTest::addColumn<QString>("outcomeB");
        QTest::addColumn<int>("attemptsB");
        QTest::newRow("both collected") << "0161" << 0 << QByteArray() << "" << 0 << "collected" << false << ""
                                        << "collected" << 1;
        QTest::newRow("busy, called again after A") << "0161" << 1 << QByteArray() << "" << 0 << "collected"
                                                    << false << "" << "collected" << 2;
        QTest::newRow("never answers") << "0165" << 0 << QByteArray() << "" << 1 << "collected" << false << ""
                                       << "failed" << 2;
        QTest::newRow("flushed") << "0161" << 0 << QByteArray("flush-after=true\n") << "" << 0 << "collected"
                                 << true << "" << "collected" << 1;
        QTest::newRow("a fish during the download") << "0161" << 0 << QByteArray("flush-after=true\n") << "fish" << 0
            << "collected" << false << "the event count changed from 3 to 4 during the download" << "collected" << 1;
        // Ten minutes behind with set-clock: set, and confirmed by a second read.
        QTest::newRow("clock set") << "0161" << 0 << QByteArray("set-clock=true\nclock-tolerance=60\n") << "" << 0
                                   << "collected" << false << "" << "collected" << 1;
        QTest::newRow("a reply lost") << "0161" << 0 << QByteArray("flush-after=true\n") << "lost" << 1
                                      << "incomplete" << false << "the download was not complete" << "collected" << 1;
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
            if (fault == "fish" && command == "a")
                a.counter().passFish(1, true);
            if (fault == "lost" && command == QString(QChar(6)) && ++acks == 1)
                a.counter().addFault({sim::SimFault::NoReply, {}, 1, 0});
        });
        const bool setClock = siteA.contains("set-clock");
        a.counter().state.clockOffsetSecs = setClock ? -600 : 0;
        QTemporaryDir folder;
        writeFile(folder.filePath("sites.ini"),
                  "[Weir A]\nport=" + a.devicePath().toLatin1() + "\n" + siteA + "[Weir B:2]\nport="
                      + b.devicePath().toLatin1() + "\ndial=" + number.toLatin1() + "\n",
                  QFile::ReadOwner | QFile::WriteOwner);
        const QString archive = folder.filePath("archive");
        QString out, err;
        const int runCode = runCli({"collect", "--sites", folder.filePath("sites.ini"), "--archive", archive,
                                 "--retries", "1", "--retry-wait", "0"}, &out, &err);
        QFETCH(int, code);
        QVERIFY2(runCode == code, qPrintable(out + err));

        const QList<QJsonObject> entries = journal(archive);
        QCOMPARE(entries.size(), 2);
        // A busy line waits while the other site is visited.
        QCOMPARE(entries[0].value("site").toString(), QStringLiteral("Weir A"));
        const QJsonObject& entryA = entries[0];
        const QJsonObject& entryB = entries[1];
        QTEST(entryA.value("outcome").toString(), "outcomeA");
        QTEST(entryA.value("flushed").toBool(), "flushedA");
        QTEST(entryA.value("notFlushed").toString(), "notFlushedA");
        QTEST(entryB.value("outcome").toString(), "outcomeB");
        QTEST(entryB.value("attempts").toInt(), "attemptsB");
        QCOMPARE(entryA.value("expected").toInt(), 3);
        QVERIFY(std::abs(entryA.value("clockDrift").toInt()) <= 2);
        QCOMPARE(entryA.value("clockSet").toBool(), setClock);
        QCOMPARE(a.counter().commands().filter(QRegularExpression("^4A\\d{6}$")).size(), setClock ? 1 : 0);
        // Setting the clock changes nothing else on the counter.
        QCOMPARE(a.counter().commands().filter(QRegularExpression("^[0-9]")).filter(QRegularExpression("^(?!9D|4A|3A)")),
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
        checkFile(entryA, eventsA, fault == "lost" ? 1 : 3);
        if (entryB.value("outcome") == "collected") {
            QVERIFY(entryB.value("file").toString().startsWith("Weir B_2/"));
            checkFile(entryB, eventsB, 2);
        } else {
            QCOMPARE(entryB.value("error").toString(), QStringLiteral("No answer within 2 seconds"));
        }
        QCOMPARE(out.count('\n'), 2);
        QVERIFY2(out.startsWith("Weir A: " + entryA.value("outcome").toString()), qPrintable(out));
    }
};

QTEST_GUILESS_MAIN(TestCollect)
#include "test_collect.moc"
