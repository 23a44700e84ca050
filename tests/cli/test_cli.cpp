// The command-line client against the simulated counter on a pseudo-terminal.

#include "cli/cli.h"
#include "counter/download.h"
#include "sim/ptycounter.h"
#include "support/logtext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace kfc;

namespace {

struct Run {
    int code;
    QString out;
    QString err;
};

Run runCli(const QStringList& args, QTextStream* in = nullptr)
{
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    const int code = cli::run(QStringList{QStringLiteral("kestrova-cli")} + args, outStream, errStream, in);
    outStream.flush();
    errStream.flush();
    return {code, out, err};
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

    std::unique_ptr<sim::PtyCounter> pty;

private slots:
    void initTestCase() { qputenv("KESTROVA_TIMING", "shrunk"); }

    void init()
    {
        pty = std::make_unique<sim::PtyCounter>();
        QString error;
        QVERIFY2(pty->start(&error), qPrintable(error));
    }
    void cleanup() { pty.reset(); }

    // --dial through the simulated modem: the call's outcome by the number's last digit.
    void dialThroughModem_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("err");
        QTest::newRow("send over a call") << QStringList{"send", "--dial", "0161", "9D"} << 0 << "";
        QTest::newRow("busy") << QStringList{"status", "--dial", "0162"} << 3
                              << "kestrova-cli: Number is busy. Please try later\n";
        QTest::newRow("no dial tone") << QStringList{"send", "--dial", "0164", "9D"} << 3
                                      << "kestrova-cli: No Dial Tone detected. Is modem connected to phone line?\n";
        QTest::newRow("silence") << QStringList{"status", "--dial", "0165", "--dial-timeout", "300"} << 3
                                 << "kestrova-cli: No answer within 0.3 seconds\n";
    }
    void dialThroughModem()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, err);
        sim::SimModem modem;
        modem.setRingMs(30);
        pty->hangUp();
        pty->setModem(&modem);
        QVERIFY(pty->start());
        const Run r = runCli(args + QStringList{"--port", pty->devicePath()});
        QCOMPARE(r.err, err);
        QCOMPARE(r.code, code);
        QCOMPARE(r.out, code == 0 ? QString("NEW\n") : QString());
        QCOMPARE(pty->received().left(9), QByteArray("ATDT016") + args[2].back().toLatin1() + '\r');
    }

    void escapesDecodeToSingleBytes()
    {
        QString command;
        QVERIFY(cli::decodeCommand(QStringLiteral("\\x06"), &command));
        QCOMPARE(command, QString(QChar(0x06)));
        QVERIFY(cli::decodeCommand(QStringLiteral("E5T\\x31\\\\"), &command));
        QCOMPARE(command, QStringLiteral("E5T1\\"));
        QVERIFY(!cli::decodeCommand(QStringLiteral("\\x0"), &command));
        QVERIFY(!cli::decodeCommand(QStringLiteral("\\xZZ"), &command));
        QVERIFY(!cli::decodeCommand(QStringLiteral("a\\"), &command));
    }

    void usageErrorsExitWithTwo_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("no verb") << QStringList{} << "no verb given";
        QTest::newRow("unknown verb") << QStringList{"dial"} << "unknown verb: dial";
        QTest::newRow("no port") << QStringList{"send", "a"} << "--port is required";
        QTest::newRow("bad port") << QStringList{"send", "--port", "LPT1", "a"} << "PORT must be";
        QTest::newRow("bad network line") << QStringList{"send", "--port", "tcp://10.1.2.3", "a"}
                                          << "tcp://10.1.2.3 is not a network line: the port number is missing";
        QTest::newRow("bad parity") << QStringList{"send", "--port", "COM1", "--parity", "M", "a"} << "--parity";
        QTest::newRow("bad data bits") << QStringList{"send", "--port", "COM1", "--data-bits", "6", "a"} << "--data-bits";
        QTest::newRow("no command") << QStringList{"send", "--port", "COM1"} << "at least one COMMAND";
        QTest::newRow("too long") << QStringList{"send", "--port", "COM1", QString(255, 'x')} << "at most 254";
        // Sent as Latin-1 it would become "??" and the run would report success.
        QTest::newRow("emoji") << QStringList{"send", "--port", "COM1", "9D", QString::fromUtf8("E5T\xF0\x9F\x90\x9F")}
                               << QString::fromUtf8("'\xF0\x9F\x90\x9F' in command E5T\xF0\x9F\x90\x9F is not a character the counter can receive");
        // Each verb takes its own options only: send prints replies, it logs on to nothing.
        QTest::newRow("send with --json") << QStringList{"send", "--json", "9D"} << "send does not take --json";
        QTest::newRow("send with --password-file") << QStringList{"send", "--password-file", "pw", "9D"}
                                                   << "send does not take --password-file";
        for (const char* lines : {"0", "two"})
            QTest::newRow(qPrintable(QStringLiteral("collect --parallel ") + lines))
                << QStringList{"collect", "--sites", "s.ini", "--archive", "a", "--parallel", QString(lines)}
                << "--parallel must be a whole number, 1 or more";
        QTest::newRow("status with --output") << QStringList{"status", "--output", "f"}
                                              << "status does not take --output";
    }
    void usageErrorsExitWithTwo()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        const Run r = runCli(args);
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
        QVERIFY(pty->counter().commands().isEmpty());
    }

    void portThatCannotOpenExitsWithTwo()
    {
        const Run r = runCli({"send", "--port", "/dev/kfc-no-such-device", "a"});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains("Cannot open"), qPrintable(r.err));
    }

    void repliesArePrintedOnePerLineInOrder()
    {
        const Run r = runCli({"send", "--port", pty->devicePath(), "9D", "g", "\\x06", "E5T2"});
        QCOMPARE(r.code, 1);  // one of them, the ACK, is not answered
        const QStringList lines = r.out.split('\n');
        QCOMPARE(lines.size(), 5);  // four replies and the final newline
        QCOMPARE(lines[0], QStringLiteral("NEW"));
        QCOMPARE(lines[1], QStringLiteral("%1").arg(pty->counter().state.conductivity, 3, 10, QChar('0')));
        QCOMPARE(lines[2], QString());  // the ACK after "g" gets no reply
        QCOMPARE(lines[3], QStringLiteral("0250120"));
        QCOMPARE(pty->counter().commands(),
                 (QStringList{"9D", "g", QString(QChar(0x06)), "E5T2"}));
    }

    void everyCommandAnsweredExitsWithZero()
    {
        const Run r = runCli({"send", "--port", pty->devicePath(), "--baud", "9600", "9D"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("NEW\n"));
    }

    void anEmptyReplyExitsWithOne()
    {
        sim::SimFault fault;
        fault.kind = sim::SimFault::NoReply;
        fault.command = QStringLiteral("9D");
        pty->counter().addFault(fault);
        const Run r = runCli({"send", "--port", pty->devicePath(), "9D", "9D"});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, QStringLiteral("\nNEW\n"));
    }

    void logGoesToStandardError()
    {
        const Run r = runCli({"send", "--log", "--port", pty->devicePath(), "i1", "i0"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("UPDON\nUPDOFF\n"));
        QCOMPARE(test::withoutFrameTimes(r.err), QStringLiteral("Tx  i1\nRx  UPDON\nTx  i0\nRx  UPDOFF\n"));

        // A password is logged as '*': the logon's, and what follows "9" or "91".
        pty->counter().state.password = QStringLiteral("0042");
        // The password comes from standard input ("-"), not the command line.
        QString input = "0042\n913210\n";
        QTextStream in(&input);
        const Run logon = runCli({"send", "--log", "--port", pty->devicePath(), "9", "-"}, &in);
        QCOMPARE(logon.out, QStringLiteral("PASSWORD\nOK\n\n"));
        QCOMPARE(test::withoutFrameTimes(logon.err),
                 QStringLiteral("Tx  9\nRx  PASSWORD\nTx  ****\nRx  OK\nTx  9*****\nRx  \n"));
        QCOMPARE(pty->counter().state.password, QStringLiteral("3210"));
    }

    void versionAndHelp()
    {
        const Run version = runCli({"--version"});
        QCOMPARE(version.code, 0);
        QCOMPARE(version.out, QStringLiteral("kestrova-cli %1\n").arg(KFC_TEST_VERSION));
        const Run help = runCli({"--help"});
        QCOMPARE(help.code, 0);
        QVERIFY2(help.out.startsWith("Usage: kestrova-cli ports\n") && help.out.contains("--version"),
                 qPrintable(help.out));
    }

    // Whatever the counter sends, the client's output and errors stay plain text, whole.
    void repliesReachTheTerminalEscaped_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QByteArray statusLine = " 08/12/26 10:00:00 1 0 0 1 0 00042 V8.9 Kestrova FC4";
        QTest::newRow("zero byte starts a field")
            << QStringList{"status"} << "a" << QByteArray("\0" "8/12/26 10:00:00 1 0 0 1 0 00042 V8.9 x", 40)
            << 1 << QString() << "kestrova-cli: '\\x008/12/26' is not a valid date\n";
        QTest::newRow("escape sequence in a reply")
            << QStringList{"send", "9D"} << "9D" << QByteArray("\x1b[2J\x9b" "31m\x07\x7f\\x41") << 0
            << "\\x1B[2J\\x9B31m\\x07\\x7F\\\\x41\n" << QString();
        QTest::newRow("escape sequence in the status")
            << QStringList{"status"} << "a" << QByteArray(statusLine + "\x1b]0;t\x07") << 0
            << "Kestrova FC4\\x1B]0;t\\x07" << QString();
        QTest::newRow("escape sequence in a downloaded event")
            << QStringList{"download"} << "d00000" << QByteArray("06/12/26 19:05:13 CH2 UP \x1b[2J\x9b" "31m\\x41") << 0
            << "06/12/26 19:05:13 CH2 UP \\x1B[2J\\x9B31m\\\\x41\n" << QString();
        QTest::newRow("C1 control in the JSON status")
            << QStringList{"status", "--json"} << "a" << QByteArray(statusLine + "\x9b" "2J") << 0
            << "Kestrova FC4\\u009b2J" << QString();
    }
    void repliesReachTheTerminalEscaped()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, command);
        QFETCH(QByteArray, reply);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        sim::SimFault fault;
        fault.kind = sim::SimFault::Replace;
        fault.command = command;
        fault.bytes = reply;
        pty->counter().addFault(fault);
        // An empty buffer answers a download with silence, which no fault can spoil.
        pty->counter().logPastEvents(1);
        args.insert(1, "--port");
        args.insert(2, pty->devicePath());
        const Run r = runCli(args);
        QCOMPARE(r.code, code);
        QCOMPARE(r.err, err);
        if (out.isEmpty())
            QVERIFY(r.out.isEmpty());
        else
            QVERIFY2(args.contains("send") ? r.out == out : r.out.contains(out), qPrintable(r.out));
        for (QChar c : r.out + r.err)
            QVERIFY2(c == '\n' || (c >= ' ' && c != QChar(0x7f) && (c < QChar(0x80) || c > QChar(0x9f))),
                     qPrintable(QString::number(c.unicode(), 16)));
    }

    void statusAsJsonHasTheRecordsFieldNames()
    {
        pty->counter().state.channels[1].upCount = 17;
        pty->counter().state.condProfile[7] = 55;
        const Run r = runCli({"status", "--json", "--port", pty->devicePath()});
        QCOMPARE(r.code, 0);
        const QJsonObject json = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(json.value("version").toDouble(), 8.9);
        QCOMPARE(json.value("versionText").toString(), QStringLiteral("Kestrova FC4"));
        QCOMPARE(json.value("channels").toArray().size(), 4);
        QCOMPARE(json.value("channels").toArray().at(1).toObject().value("upCount").toInt(), 17);
        QCOMPARE(json.value("condProfile").toArray().size(), 8);
        QCOMPARE(json.value("condProfile").toArray().at(7).toInt(), 55);
        const QDateTime clock = QDateTime::fromString(json.value("dateTime").toString(), "yyyy-MM-ddTHH:mm:ss");
        QVERIFY(clock.isValid());
        // Logged on (no password here), the status read, then the session ends as on hang-up.
        QCOMPARE(pty->counter().commands().mid(0, 2), (QStringList{"9D", "a"}));
        QCOMPARE(pty->counter().commands().mid(pty->counter().commands().size() - 2), (QStringList{"9D", "e"}));
    }

    void statusThatFailsExitsWithOneAndTheProgramsText()
    {
        sim::SimFault fault;
        fault.kind = sim::SimFault::WrongLength;
        fault.command = QStringLiteral("f");
        pty->counter().addFault(fault);
        const Run r = runCli({"status", "--port", pty->devicePath()});
        QCOMPARE(r.code, 1);
        QVERIFY(r.out.isEmpty());
        QCOMPARE(r.err, QStringLiteral("kestrova-cli: Invalid response from Counter reading conductivity\n"));
    }

    // A verb's help lists its own options only.
    void helpAndVersion_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("says");
        QTest::addColumn<QString>("lacks");
        QTest::newRow("help") << QStringList{"--help"} << "kestrova-cli download --port PORT" << "--output <FILE>";
        QTest::newRow("version") << QStringList{"--version"} << "kestrova-cli 1." << "Usage";
        QTest::newRow("send's help") << QStringList{"send", "--help"} << "--dial-timeout" << "--json";
        QTest::newRow("status's help") << QStringList{"--help", "status"} << "--password-file" << "--output";
        QTest::newRow("download's help") << QStringList{"download", "--help"} << "--output" << "--json";
    }
    void helpAndVersion()
    {
        QFETCH(QStringList, args);
        const Run r = runCli(args);
        QCOMPARE(r.code, 0);
        QFETCH(QString, says);
        QFETCH(QString, lacks);
        QVERIFY2(r.out.contains(says), qPrintable(r.out));
        QVERIFY2(!r.out.contains(lacks), qPrintable(r.out));
    }

    // A counter holding three events; password: the counter's, env: KESTROVA_PASSWORD,
    // file: the --password-file's content; loseAt: the command whose reply is lost.
    void download_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("env");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("loseAt");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("lines");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QStringList>("commands");
        const QString d = "d00000", ack(QChar(6));
        QTest::newRow("all") << QStringList{} << "" << "" << "" << -1 << 0 << 3 << ""
                             << QStringList{"9D", d, ack, ack, ack, "9D", "e"};
        QTest::newRow("two") << QStringList{"--count", "2"} << "" << "" << "" << -1 << 0 << 2 << ""
                             << QStringList{"9D", "d00002", ack, ack, "9D", "e"};
        QTest::newRow("password from the environment") << QStringList{} << "0042" << "42" << "" << -1 << 0 << 3 << ""
            << QStringList{"9D", "9D", "9", "0042", d, ack, ack, ack, "9D", "92", "e"};
        QTest::newRow("password from a file") << QStringList{} << "7777" << "1" << "7777\n" << -1 << 0 << 3 << ""
            << QStringList{"9D", "9D", "9", "7777", d, ack, ack, ack, "9D", "92", "e"};
        QTest::newRow("no password given") << QStringList{} << "0042" << "" << "" << -1 << 1 << 0
            << "the counter has a password; give it as the first line of a file with --password-file FILE"
            << QStringList{"9D", "9D", "92", "e"};
        QTest::newRow("wrong password") << QStringList{} << "0042" << "43" << "" << -1 << 1 << 0 << "Response DENIED"
            << QStringList{"9D", "9D", "9", "0043", "9D", "92", "e"};
        QTest::newRow("reply lost: 2 of 3") << QStringList{"--status"} << "" << "" << "" << 14 << 1 << 9
            << "kestrova-cli: 2 of 3 events received" << QStringList{};
        QTest::newRow("count out of range") << QStringList{"--count", "100000"} << "" << "" << "" << -1 << 2 << 0
            << "--count must be a whole number from 0 to 99999" << QStringList{};
    }
    void download()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, password);
        QFETCH(QString, env);
        QFETCH(QString, file);
        QFETCH(int, loseAt);
        QFETCH(int, lines);
        QFETCH(QString, err);
        QFETCH(QStringList, commands);
        sim::SimCounter& counter = pty->counter();
        counter.state.events.clear();
        counter.logPastEvents(3);
        counter.state.password = password;
        env.isEmpty() ? qunsetenv("KESTROVA_PASSWORD") : qputenv("KESTROVA_PASSWORD", env.toLatin1());
        QTemporaryDir folder;
        if (!file.isEmpty()) {
            QFile passwordFile(folder.filePath("password"));
            QVERIFY(passwordFile.open(QIODevice::WriteOnly));
            passwordFile.write(file.toLatin1());
            args << "--password-file" << passwordFile.fileName();
        }
        int seen = 0;
        connect(&counter, &sim::SimCounter::commandReceived, this, [&](const QString&) {
            if (seen++ == loseAt)
                counter.addFault({sim::SimFault::NoReply, {}, 1, 0});
        });
        const Run r = runCli(QStringList{"download", "--port", pty->devicePath()} + args);
        qunsetenv("KESTROVA_PASSWORD");
        QTEST(r.code, "code");
        QVERIFY2(r.err.contains(err), qPrintable(r.err));
        QCOMPARE(r.out.count('\n'), lines);
        if (lines && loseAt < 0)
            QVERIFY(r.out.endsWith(counter.state.events.last() + '\n'));
        if (!commands.isEmpty())
            QCOMPARE(counter.commands(), commands);
    }

    // The event file as the window writes it: header first, CR LF, nothing else.
    void downloadToAnEventFile()
    {
        pty->counter().state.events.clear();
        pty->counter().logPastEvents(3);
        pty->counter().state.events[1] += QStringLiteral(" \x1b[2J\\x41");
        QTemporaryDir folder;
        const QString file = folder.filePath("events.LG2");
        const Run r = runCli({"download", "--status", "--output", file, "--port", pty->devicePath()});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.isEmpty());
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray bytes = written.readAll();
        QVERIFY(bytes.endsWith("\r\n") && bytes.count('\n') == bytes.count("\r\n"));
        const QStringList lines = QString::fromLatin1(bytes.chopped(2)).split("\r\n");
        QCOMPARE(lines.size(), 10);
        QVERIFY(lines[0].startsWith("Date:   ") && lines[6].startsWith("Ch: 4   En: Y"));
        QCOMPARE(lines.mid(7), pty->counter().state.events);
    }

    void statusAsText()
    {
        const Run r = runCli({"status", "--port", pty->devicePath()});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.contains("Kestrova FC4"), qPrintable(r.out));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
