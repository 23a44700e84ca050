// The event download: the request text, the status header's exact layout and its reading
// back, and the loop against the simulated counter over a pseudo-terminal (ACK per line,
// the end at the first empty reply, a line that dies on the way).

#include "counter/counterstatus.h"
#include "counter/download.h"
#include "counter/eventfile.h"
#include "link/errors.h"
#include "support/simline.h"

#include <QTemporaryDir>
#include <QTest>

using namespace kfc;

namespace {

// A header as the download writes it, each value within its field.
QStringList headerLines()
{
    return {"Date:   07/12/26  Time:   14/05/09  Version:  Kestrova FC4 v8.9",
            "Events:  Y  Relays:  D  Evlog:   N  Buftyp:  C  Bufsiz:  127",
            "Cond:    10   40  100  150 1000    0   95   70",
            "Ch: 1   En: Y   Ut: 20   Dt:  9   Uc:   15   Dc:    0   Sa:  12   Wa:   5",
            "Ch: 2   En: N   Ut: 21   Dt: 10   Uc:   16   Dc:    1   Sa:  13   Wa:   6",
            "Ch: 3   En: Y   Ut: 22   Dt: 11   Uc:   17   Dc:    2   Sa:  14   Wa:   7",
            "Ch: 4   En: N   Ut: 23   Dt: 12   Uc:   18   Dc:    3   Sa:  15   Wa:   8"};
}

} // namespace

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

    // Each row is written, compared with its lines, and read back whole.
    void header_data()
    {
        QTest::addColumn<QDateTime>("clock");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QList<int>>("gains");
        QTest::addColumn<bool>("wide");
        QTest::addColumn<QStringList>("lines");
        const QDateTime clock(QDate(2026, 12, 7), QTime(14, 5, 9), Qt::UTC);
        const QString version = "Kestrova FC4 v8.9";
        const QList<int> gains{10, 40, 100, 150, 1000, 0, 95, 70};
        const QStringList lines = headerLines();
        QTest::newRow("values within their fields") << clock << version << gains << false << lines;
        QStringList wide = lines;
        wide[2] = "Cond:    10   40  100  150 1000    0   95123456";
        wide[3] = "Ch: 1   En: Y   Ut: 120   Dt:  9   Uc: 12345   Dc:    0   Sa: 1234   Wa:   5";
        QTest::newRow("values wider than their fields")
            << clock << version << QList<int>{10, 40, 100, 150, 1000, 0, 95, 123456} << true << wide;
        wide[2] = "Cond: 10000    5123456   4099999100000    0    7";
        QTest::newRow("gains filling and overflowing their fields")
            << clock << version << QList<int>{10000, 5, 123456, 40, 99999, 100000, 0, 7} << true << wide;
        const auto firstLine = [&lines](const QString& line) { return QStringList{line} + lines.mid(1); };
        QTest::newRow("first second of 2000") << QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC) << version << gains
                                              << false << firstLine("Date:   01/01/00  Time:   00/00/00  Version:  Kestrova FC4 v8.9");
        QTest::newRow("last second of 2049") << QDateTime(QDate(2049, 12, 31), QTime(23, 59, 59), Qt::UTC) << version << gains
                                             << false << firstLine("Date:   31/12/49  Time:   23/59/59  Version:  Kestrova FC4 v8.9");
        QTest::newRow("leap day of 2052") << QDateTime(QDate(2052, 2, 29), QTime(12, 0), Qt::UTC) << version << gains
                                          << false << firstLine("Date:   29/02/52  Time:   12/00/00  Version:  Kestrova FC4 v8.9");
        QTest::newRow("last second of 2099") << QDateTime(QDate(2099, 12, 31), QTime(23, 59, 59), Qt::UTC) << version << gains
                                             << false << firstLine("Date:   31/12/99  Time:   23/59/59  Version:  Kestrova FC4 v8.9");
        QTest::newRow("version text with blanks around") << clock << "  FC4  v9.1 " << gains << false
                                                         << firstLine("Date:   07/12/26  Time:   14/05/09  Version:    FC4  v9.1 ");
        QTest::newRow("no version text") << clock << "" << gains << false
                                         << firstLine("Date:   07/12/26  Time:   14/05/09  Version:  ");
    }
    void header()
    {
        QFETCH(QDateTime, clock);
        QFETCH(QString, version);
        QFETCH(QList<int>, gains);
        QFETCH(bool, wide);
        QFETCH(QStringList, lines);
        CounterStatus s;
        s.dateTime = clock;
        s.versionText = version;
        s.eventsEnabled = s.bufferType = 1;
        s.maxFishSize = 127;
        std::copy(gains.begin(), gains.end(), s.condProfile.begin());
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
        QCOMPARE(StatusHeaderLines(s), lines);
        const CounterStatus read = ReadStatusHeader(lines + QStringList{"07/12/26 14:06:00 UP 2 41"});
        QCOMPARE(StatusHeaderLines(read), lines);
        QVERIFY(read == s);
    }

    // The start of a file that is no status header, refused with the line named.
    void headerRefused_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("error");
        const QStringList header = headerLines();
        const QStringList events{"06/12/26 14:05:09 UP 1 45", "06/12/26 14:07:31 DOWN 3 52"};
        const auto with = [&header](int line, const QString& text) {
            QStringList lines = header;
            lines[line - 1] = text;
            return lines;
        };
        QTest::newRow("empty file") << QStringList() << "The file is empty: it has no status header";
        QTest::newRow("events only") << events << "Line 1 of the status header: \"Date:\" expected, found '06/12/26'";
        QTest::newRow("cut after three lines") << header.mid(0, 3) << "The status header ends after line 3 of 7";
        QTest::newRow("events after three lines")
            << header.mid(0, 3) + events << "Line 4 of the status header: \"Ch:\" expected, found '06/12/26'";
        QTest::newRow("no such day") << with(1, "Date:   31/02/26  Time:   14/05/09  Version:  X")
                                     << "Line 1 of the status header: '31/02/26' is not a valid date";
        QTest::newRow("time too long") << with(1, "Date:   07/12/26  Time:   14/05/099  Version:  X")
                                       << "Line 1 of the status header: '14/05/099' is not a valid time";
        QTest::newRow("no version") << with(1, "Date:   07/12/26  Time:   14/05/09")
                                    << "Line 1 of the status header: \"Version:\" expected, found the end of the line";
        QTest::newRow("flag not Y or N") << with(2, "Events:  Q  Relays:  D  Evlog:   N  Buftyp:  C  Bufsiz:  127")
                                         << "Line 2 of the status header: 'Q' is not Y or N";
        QTest::newRow("text after the last field") << with(2, header[1] + " 5")
                                                   << "Line 2 of the status header: '5' after the last field";
        QTest::newRow("seven gains") << with(3, "Cond:    10   40  100  150 1000    0   95")
                                     << "Line 3 of the status header: '   10   40  100  150 1000    0   95' is not eight gains";
        QTest::newRow("two wide gains side by side")
            << with(3, "Cond: 12345678901    0    0    0    0    0    0")
            << "Line 3 of the status header: '12345678901    0    0    0    0    0    0' splits into eight gains more than one way";
        QTest::newRow("count not a number")
            << with(6, "Ch: 3   En: Y   Ut: 22   Dt: 11   Uc:    x   Dc:    2   Sa:  14   Wa:   7")
            << "Line 6 of the status header: 'x' is not a valid integer value";
        QTest::newRow("channels out of order")
            << with(5, "Ch: 3   En: N   Ut: 21   Dt: 10   Uc:   16   Dc:    1   Sa:  13   Wa:   6")
            << "Line 5 of the status header: channel 3 where channel 2 belongs";
    }
    void headerRefused()
    {
        QFETCH(QStringList, lines);
        try {
            ReadStatusHeader(lines);
            QFAIL("read as a status header");
        } catch (const ConversionError& e) {
            QTEST(e.text(), "error");
        }
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
