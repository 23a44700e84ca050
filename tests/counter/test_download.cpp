// The event download: the request text, the status header's exact layout, and the loop
// against the simulated counter over a pseudo-terminal (ACK per line, the end at the
// first empty reply, a line that dies on the way).

#include "counter/counterstatus.h"
#include "counter/download.h"
#include "counter/eventfile.h"
#include "link/errors.h"
#include "support/simline.h"

#include <QTemporaryDir>
#include <QTest>

using namespace kfc;

class TestDownload : public QObject {
    Q_OBJECT

private slots:
    void request_data()
    {
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("request");
        QTest::newRow("all values") << "0" << "d00000";
        QTest::newRow("250") << "250" << "d00250";
        QTest::newRow("five digits") << "12345" << "d12345";
        QTest::newRow("six digits, not cut") << "123456" << "d123456";
    }
    void request()
    {
        QFETCH(QString, count);
        QTEST(DownloadRequest(count), "request");
    }

    void header_data()
    {
        QTest::addColumn<bool>("wide");
        QTest::addColumn<QStringList>("lines");
        QStringList lines{
            "Date:   07/12/26  Time:   14/05/09  Version:  Kestrova FC4 v8.9",
            "Events:  Y  Relays:  D  Evlog:   N  Buftyp:  C  Bufsiz:  127",
            "Cond:    10   40  100  150 1000    0   95   70",
            "Ch: 1   En: Y   Ut: 20   Dt:  9   Uc:   15   Dc:    0   Sa:  12   Wa:   5",
            "Ch: 2   En: N   Ut: 21   Dt: 10   Uc:   16   Dc:    1   Sa:  13   Wa:   6",
            "Ch: 3   En: Y   Ut: 22   Dt: 11   Uc:   17   Dc:    2   Sa:  14   Wa:   7",
            "Ch: 4   En: N   Ut: 23   Dt: 12   Uc:   18   Dc:    3   Sa:  15   Wa:   8"};
        QTest::newRow("values within their fields") << false << lines;
        lines[2] = "Cond:    10   40  100  150 1000    0   95123456";
        lines[3] = "Ch: 1   En: Y   Ut: 120   Dt:  9   Uc: 12345   Dc:    0   Sa: 1234   Wa:   5";
        QTest::newRow("values wider than their fields") << true << lines;
    }
    void header()
    {
        QFETCH(bool, wide);
        CounterStatus s;
        s.dateTime = QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9), Qt::UTC);
        s.versionText = QStringLiteral("Kestrova FC4 v8.9");
        s.eventsEnabled = s.bufferType = 1;
        s.maxFishSize = 127;
        s.condProfile = {10, 40, 100, 150, 1000, 0, 95, wide ? 123456 : 70};
        for (int n = 1; n <= 4; ++n) {
            s.channel(n) = {quint8(n % 2), 19 + n, 8 + n, 14 + n, n - 1};
            s.channel(n).sAtt = 11 + n;
            s.channel(n).wAtt = 4 + n;
        }
        if (wide) {
            s.channel(1).upThreshold = 120;
            s.channel(1).upCount = 12345;
            s.channel(1).sAtt = 1234;
        }
        QTEST(StatusHeaderLines(s), "lines");
    }

    // The counter holds 6 events. stopAtAck >= 0: the reply to the command of that number
    // (0 the request, 1 the first ACK) is lost, or the line dies in the middle of it.
    void loop_data()
    {
        QTest::addColumn<QString>("count");
        QTest::addColumn<int>("stopAtAck");
        QTest::addColumn<bool>("hangUp");
        QTest::addColumn<int>("lines");
        QTest::newRow("all values") << "0" << -1 << false << 6;
        QTest::newRow("four of six") << "4" << -1 << false << 4;
        QTest::newRow("more than held") << "250" << -1 << false << 6;
        QTest::newRow("reply lost at the third ACK") << "0" << 3 << false << 3;
        QTest::newRow("line dies at the second ACK") << "0" << 2 << true << 2;
        QTest::newRow("no reply to the request") << "0" << 0 << false << 0;
    }
    void loop()
    {
        QFETCH(QString, count);
        QFETCH(int, stopAtAck);
        QFETCH(bool, hangUp);
        QFETCH(int, lines);
        test::SimLine line;
        QString error;
        QVERIFY2(line.open(&error), qPrintable(error));
        line.counter().state.events.clear();
        line.counter().logPastEvents(6);
        const QStringList held = line.counter().state.events;
        const sim::SimFault fault{hangUp ? sim::SimFault::HangUp : sim::SimFault::NoReply, {}, 1, 0};
        int commandsSeen = 0;
        connect(&line.counter(), &sim::SimCounter::commandReceived, this, [&](const QString&) {
            if (commandsSeen++ == stopAtAck)
                line.counter().addFault(fault);
        });

        QStringList received;
        QList<int> progress;
        int n = -1;
        try {
            n = RunDownload(line.link, count, [&](const QString& text) { received << text; },
                            [&](int eventNumber) { progress << eventNumber; });
        } catch (const LineLostError&) {
            // A dead line ends the download at once; what came before it was handed on.
            n = int(received.size());
            QVERIFY(hangUp);
        }

        QCOMPARE(n, lines);
        const int asked = count.toInt() > 0 ? std::min<int>(count.toInt(), held.size()) : held.size();
        QCOMPARE(received, held.mid(held.size() - asked, lines));
        QCOMPARE(progress.size(), lines);
        if (lines)
            QCOMPARE(progress.last(), lines);
        // One ACK per line, and nothing after the first empty reply.
        QStringList expected{DownloadRequest(count)};
        for (int i = 0; i < lines; ++i)
            expected << ACK;
        QCOMPARE(line.counter().commands(), expected);
        QTRY_COMPARE_WITH_TIMEOUT(line.port.PortIsOpen(), !hangUp, 3000);
    }

    void missingEvents_data()
    {
        QTest::addColumn<int>("received");
        QTest::addColumn<int>("expected");
        QTest::addColumn<QString>("text");
        QTest::newRow("all came") << 40 << 40 << "";
        QTest::newRow("more came than counted") << 41 << 40 << "";
        QTest::newRow("count not known") << 3 << 0 << "";
        QTest::newRow("lines lost") << 37 << 40 << "37 of 40 events received";
    }
    void missingEvents()
    {
        QFETCH(int, received);
        QFETCH(int, expected);
        QTEST(MissingEventsText(received, expected), "text");
    }

    void timeLeft_data()
    {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("under a second") << qint64(400) << "1 s";
        QTest::newRow("seconds") << qint64(59000) << "59 s";
        QTest::newRow("minutes") << qint64(185000) << "3 min 5 s";
        QTest::newRow("hours") << qint64(3 * 3600000 + 120000) << "3 h 2 min";
    }
    void timeLeft()
    {
        QFETCH(qint64, ms);
        QTEST(DownloadClock::durationText(ms), "text");
        QCOMPARE(DownloadClock(0).text(12), QStringLiteral("12 events"));
        QCOMPARE(DownloadClock(40).text(0), QStringLiteral("0 of 40 events"));
    }

    // The time left comes from the events' own pace: a line held up once (a dialog left
    // open, the line held elsewhere) does not make the rest look slow, and with every
    // event in, the wait is for the counter's end of buffer.
    void pace_data()
    {
        QTest::addColumn<QList<qint64>>("arrivals");   // ms after the start, one per line
        QTest::addColumn<int>("total");
        QTest::addColumn<QString>("text");
        QList<qint64> steady, stalled;
        for (int line = 1; line <= 10; ++line) {
            steady << line * 500;
            stalled << line * 500 + (line > 5 ? 30000 : 0);
        }
        QTest::newRow("steady") << steady << 40 << "10 of 40 events, about 15 s left";
        QTest::newRow("held up half a minute once") << stalled << 40 << "10 of 40 events, about 15 s left";
        QTest::newRow("all in") << steady << 10 << "10 of 10 events, waiting for the counter's end of buffer";
        QTest::newRow("more than counted") << steady << 8 << "10 events, waiting for the counter's end of buffer";
    }
    void pace()
    {
        QFETCH(QList<qint64>, arrivals);
        QFETCH(int, total);
        qint64 now = 0;
        const DownloadClock clock(total, [&now] { return now; });
        for (int line = 1; line <= arrivals.size(); ++line) {
            now = arrivals[line - 1];
            clock.text(line);
        }
        QTEST(clock.text(int(arrivals.size())), "text");
    }

    // The event file: the bytes as received, CR LF, each line on disk before the next
    // comes; a file that cannot be made or written says which and why.
    void eventFile_data()
    {
        QTest::addColumn<QString>("name");   // in a fresh folder; "/dev/full" as it is
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        QTest::newRow("lines") << "events.LG2" << QByteArray("06/12/26 UP \xe9\x1b\r\n\r\n") << "";
        QTest::newRow("folder missing") << "none/events.LG2" << QByteArray() << "Cannot create the event file ";
        QTest::newRow("disk full") << "/dev/full" << QByteArray() << "Cannot write the event file: No space left on device (/dev/full)";
    }
    void eventFile()
    {
        QFETCH(QString, name);
        QFETCH(QString, error);
        QTemporaryDir folder;
        const QString fileName = name.startsWith('/') ? name : folder.filePath(name);
        EventFileWriter writer;
        try {
            writer.open(fileName);
            writer.writeLine(QStringLiteral("06/12/26 UP ") + QChar(0xe9) + QChar(0x1b));
            QFile written(fileName);
            QVERIFY(written.open(QIODevice::ReadOnly));
            QCOMPARE(written.readAll(), QByteArray("06/12/26 UP \xe9\x1b\r\n"));
            writer.writeLine(QString());
            writer.close();
            QVERIFY(error.isEmpty());
        } catch (const EventFileError& e) {
            QVERIFY2(QString::fromUtf8(e.what()).startsWith(error.isEmpty() ? "-" : error), e.what());
            QVERIFY2(QString::fromUtf8(e.what()).contains(fileName), e.what());
            return;
        }
        QFile written(fileName);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QTEST(written.readAll(), "bytes");
    }
};

QTEST_GUILESS_MAIN(TestDownload)
#include "test_download.moc"
