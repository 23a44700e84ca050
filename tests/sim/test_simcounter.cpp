// The simulated counter driven frame by frame: exact reply bytes, lengths and orders, the
// state each command leaves behind, and the fault knobs.

#include "sim/simcounter.h"
#include "sim/simmodem.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace kfc::sim;

namespace {

const QByteArray ack("\x06");

QByteArray frame(const QByteArray& command) { return '\x02' + command + '\x03'; }

// The counter and everything it sends.
struct Line {
    SimCounter sim;
    QList<QPair<QByteArray, int>> sent;
    QList<QByteArray> hangUps;

    Line()
    {
        QObject::connect(&sim, &SimCounter::send, [this](const QByteArray& b, int d) { sent.append({b, d}); });
        QObject::connect(&sim, &SimCounter::hangUpRequested, [this](const QByteArray& b) { hangUps.append(b); });
    }
    // Sends one framed command and returns all the bytes the counter answered with.
    QByteArray cmd(const QByteArray& command)
    {
        sent.clear();
        sim.receive(frame(command));
        QByteArray all;
        for (const auto& s : std::as_const(sent))
            all += s.first;
        return all;
    }
};

QStringList fieldsOf(const QByteArray& reply) { return QString::fromLatin1(reply.chopped(1)).split(' '); }

} // namespace

class TestSimCounter : public QObject {
    Q_OBJECT

private slots:
    void framesIgnoreNoiseAndRestartOnStx()
    {
        Line line;
        QSignalSpy spy(&line.sim, &SimCounter::send);
        line.sim.receive("xx\x03zz\x02" "E5");            // noise, then a frame cut short
        line.sim.receive("\x02" "E5T");                    // a new STX restarts it
        QVERIFY(spy.isEmpty());
        line.sim.receive("2\x03junk");
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toByteArray(), QByteArray("0250120\r"));
        QCOMPARE(line.sim.commands(), QStringList{"E5T2"});
        QCOMPARE(line.sim.commandTimesNs().size(), 1);
    }

    void overlongFrameIsDropped()
    {
        Line line;
        line.sim.receive('\x02' + QByteArray(5000, 'a') + '\x03');
        QVERIFY(line.sent.isEmpty());
        QVERIFY(line.sim.commands().isEmpty());
        QCOMPARE(line.cmd("g"), QByteArray("123\r"));
    }

    void statusReplyHasTheReadersLayout()
    {
        Line line;
        line.sim.state.clockOffsetSecs = 86400 + 3600;
        line.sim.state.printerEnabled = 1;
        line.sim.state.relayMode = 1;
        line.sim.state.bufferType = 0;
        line.sim.passFish(1, true);
        line.sim.passFish(2, false);
        const QByteArray reply = line.cmd("a");
        QVERIFY(reply.size() - 1 >= 32);
        static const QRegularExpression layout(QStringLiteral(
            "^(\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d) (\\d) (\\d) (\\d) (\\d) (\\d) (\\d{5}) ([^V]*)V(\\d+\\.\\d\\d) (.*)\r$"));
        const QRegularExpressionMatch m = layout.match(QString::fromLatin1(reply));
        QVERIFY2(m.hasMatch(), reply.constData());
        const QDateTime clock = QDateTime::fromString(m.captured(1), QStringLiteral("dd/MM/yy hh:mm:ss")).addYears(100);
        const QDateTime expected = QDateTime::currentDateTime().addSecs(86400 + 3600);
        QVERIFY2(qAbs(clock.secsTo(expected)) < 120, qPrintable(m.captured(1)));
        QCOMPARE(m.capturedTexts().mid(2, 6), (QStringList{"1", "1", "1", "1", "0", "00002"}));
        QCOMPARE(m.captured(9), QStringLiteral("8.90"));
        QCOMPARE(m.captured(10), QStringLiteral("Kestrova FC4"));
    }

    void channelBlocksFollowTheStatusOnePerAck()
    {
        Line line;
        SimChannel& c2 = line.sim.state.channels[1];
        c2 = {0, 5, 9, 123456, 42, 3, 4, 5, 6, 300, 7, 8, 250, 1, 1, 99};
        line.cmd("a");
        for (int n = 1; n <= 4; ++n) {
            const QByteArray block = line.cmd(ack);
            QCOMPARE(block.size(), 56);
            QVERIFY(block.endsWith('\r'));
            const QStringList f = fieldsOf(block);
            QCOMPARE(f.size(), 17);
            QCOMPARE(f.first(), QString::number(n));
            static const int widths[17] = {1, 1, 2, 2, 5, 5, 2, 2, 2, 2, 3, 2, 2, 3, 1, 2, 2};
            for (int i = 0; i < 17; ++i)
                QCOMPARE(f[i].size(), widths[i]);
            if (n == 2)
                QCOMPARE(f.join(' '), QStringLiteral("2 0 05 09 23456 00042 03 04 05 06 300 07 08 250 1 01 99"));
        }
        QCOMPARE(line.cmd(ack), QByteArray());   // the ACK after channel 4
        QCOMPARE(line.cmd(ack), QByteArray());   // and a lone ACK
    }

    void profileAndOtherStatusByVersion()
    {
        Line line;
        QCOMPARE(line.cmd("f"), QByteArray("100 100 095 090 085 080 075 070\r"));
        QCOMPARE(line.cmd(ack), QByteArray("0 0 0 100 100 04000\r"));
        QCOMPARE(line.cmd(ack), QByteArray());
        line.sim.state.version = 8.8;
        QVERIFY(line.cmd("a").contains("V8.80 "));
        QCOMPARE(line.cmd("f").size(), 32);
        QCOMPARE(line.cmd(ack), QByteArray());
    }

    void conductivityReplyIsThreeDigits()
    {
        Line line;
        line.sim.state.conductivity = 7;
        QCOMPARE(line.cmd("g"), QByteArray("007\r"));
        QCOMPARE(line.cmd(ack), QByteArray());
    }

    void weirDimensionsReadAndWrite()
    {
        Line line;
        QCOMPARE(line.cmd("E5T1"), QByteArray("0250120\r"));
        QCOMPARE(line.cmd("E5S41200035"), QByteArray());
        QCOMPARE(line.cmd("E5T4"), QByteArray("1200035\r"));
        QCOMPARE(line.cmd("E5T5"), QByteArray("?\r"));
        QCOMPARE(line.cmd("E5S4120003"), QByteArray("?\r"));
    }

    void passwordStatesAndLogon()
    {
        Line line;
        QCOMPARE(line.cmd("9D"), QByteArray("NEW\r"));
        QCOMPARE(line.cmd("91234"), QByteArray());          // set while NEW: logged on
        QCOMPARE(line.cmd("9D"), QByteArray("1OR2\r"));
        QCOMPARE(line.cmd("e"), QByteArray());              // end of session logs off
        QCOMPARE(line.cmd("9D"), QByteArray("OLD\r"));
        QCOMPARE(line.cmd("915555"), QByteArray());         // change refused while OLD
        QCOMPARE(line.cmd("9"), QByteArray("PASSWORD\r"));
        QCOMPARE(line.cmd("0000"), QByteArray("DENIED\r"));
        QCOMPARE(line.cmd("9D"), QByteArray("OLD\r"));
        QCOMPARE(line.cmd("9"), QByteArray("PASSWORD\r"));
        QCOMPARE(line.cmd("1234"), QByteArray("OK\r"));
        QCOMPARE(line.cmd("9D"), QByteArray("1OR2\r"));
        QCOMPARE(line.cmd("915678"), QByteArray());         // change while logged on
        QCOMPARE(line.sim.state.password, QStringLiteral("5678"));
        QCOMPARE(line.cmd("92"), QByteArray());
        QCOMPARE(line.cmd("9D"), QByteArray("OLD\r"));
        line.cmd("9");
        QCOMPARE(line.cmd("5678"), QByteArray("OK\r"));
        QCOMPARE(line.cmd("918642"), QByteArray());         // "Clear Password"
        QCOMPARE(line.cmd("9D"), QByteArray("NEW\r"));
        QVERIFY(line.sim.state.password.isEmpty());
    }

    void continuousUpdateLines()
    {
        Line line;
        line.sim.passFish(3, false);
        QVERIFY(line.sent.isEmpty());                       // no live lines while off
        QCOMPARE(line.cmd("i1"), QByteArray("UPDON\r"));
        line.sent.clear();
        line.sim.passFish(1, true);
        line.sim.changeConductivity(45);
        QCOMPARE(line.cmd("22d2"), QByteArray("F2D 3\r"));  // a dummy fish is a fish
        QCOMPARE(line.sim.state.channels[1].downCount, 1);
        QCOMPARE(line.sent.size(), 1);
        QCOMPARE(line.cmd("i0"), QByteArray("UPDOFF\r"));
        line.sim.passFish(1, true);
        QVERIFY(line.sent.size() == 1);
        QCOMPARE(line.sim.state.channels[0].upCount, 2);
    }

    void unsolicitedLinesLayout()
    {
        Line line;
        line.cmd("i1");
        line.sent.clear();
        line.sim.passFish(1, true);
        line.sim.changeConductivity(45);
        QCOMPARE(line.sent.size(), 2);
        QCOMPARE(line.sent[0].first, QByteArray("F1U 1\r"));
        QCOMPARE(line.sent[1].first, QByteArray("C 12 34 12 34 12 34 12 34 45\r"));
    }

    void clockLineWhenTheMinuteTurns()
    {
        Line line;
        // Put the counter's clock at second 58 of a minute, so the minute turns within seconds.
        line.sim.state.clockOffsetSecs = 58 - QDateTime::currentDateTime().time().second();
        QCOMPARE(line.cmd("i1"), QByteArray("UPDON\r"));
        line.sent.clear();
        QTRY_VERIFY_WITH_TIMEOUT(!line.sent.isEmpty(), 10000);
        static const QRegularExpression layout(QStringLiteral("^T\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\r$"));
        QVERIFY2(layout.match(QString::fromLatin1(line.sent.first().first)).hasMatch(), line.sent.first().first.constData());
        line.cmd("i0");
    }

    void eventDownloadOneLinePerAck()
    {
        Line line;
        QCOMPARE(line.cmd("d00000"), QByteArray());         // empty buffer: silence at once
        line.sim.passFish(1, true);
        line.sim.passFish(2, false);
        line.sim.passFish(4, true);
        static const QRegularExpression layout(QStringLiteral("^\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d CH(\\d) (UP  |DOWN) EV(\\d{5})\r$"));
        QStringList got;
        QByteArray r = line.cmd("d00000");
        for (; !r.isEmpty(); r = line.cmd(ack)) {
            const QRegularExpressionMatch m = layout.match(QString::fromLatin1(r));
            QVERIFY2(m.hasMatch(), r.constData());
            got << m.captured(1) + m.captured(2).trimmed() + m.captured(3);
        }
        QCOMPARE(got, (QStringList{"1UP00001", "2DOWN00002", "4UP00003"}));
        QVERIFY(line.cmd("d00002").contains("CH2 DOWN EV00002"));
        QVERIFY(line.cmd(ack).contains("CH4 UP   EV00003"));
        QCOMPARE(line.cmd(ack), QByteArray());
        QVERIFY(line.cmd("d00099").contains("EV00001"));    // more than there are: all
        QCOMPARE(line.cmd("c"), QByteArray());               // flush
        QVERIFY(line.cmd("a").contains(" 00000 KFC V"));
    }

    void eventBufferLimits()
    {
        Line line;
        line.sim.state.maxEvents = 2;
        for (int i = 0; i < 3; ++i)
            line.sim.passFish(1, true);
        QCOMPARE(line.sim.state.events.size(), 2);
        QVERIFY(line.sim.state.events.first().endsWith("EV00002"));   // circular: oldest dropped
        line.cmd("bn");
        line.sim.passFish(1, true);
        QVERIFY(line.sim.state.events.last().endsWith("EV00003"));    // linear: logging stopped
        QCOMPARE(line.sim.state.channels[0].upCount, 4);              // counting goes on
    }

    void probeGraphAndUnknownCommands()
    {
        Line line;
        QCOMPARE(line.cmd("E3T"), QByteArray("BOARDOK\r"));
        line.sim.state.boardOk = false;
        QCOMPARE(line.cmd("E3T"), QByteArray("NOBOARD\r"));
        for (const char* quiet : {"E3S", "C", "D", "E3S035", "E1", "EA1", "1C", "e"})
            QCOMPARE(line.cmd(quiet), QByteArray());
        QCOMPARE(line.sim.state.probeValue, 35);
        QCOMPARE(line.sim.state.displayMode, 1);
        QCOMPARE(line.cmd("E73A"), QByteArray("GRAPH\rOK\r"));
        QCOMPARE(line.sim.state.channels[2].graphEnabled, 1);
        for (const char* unknown : {"x", "", "E5T", "01A510", "6", "E6N100"})
            QCOMPARE(line.cmd(unknown), QByteArray("?\r"));
    }

    void saveCommandsChangeTheState()
    {
        Line line;
        SimState& s = line.sim.state;
        for (const char* c : {"01A0510", "611A03D010", "622A0405012", "633A0911007", "52A", "E6N100100095090085080075071",
                              "7A", "bn", "E81", "EE1", "E4020", "EC1", "ED1", "B119200", "B202400", "3A261207", "4A113045"})
            QVERIFY2(line.cmd(c).isEmpty(), c);
        const SimChannel& c1 = s.channels[0];
        QCOMPARE((QList<int>{c1.upThreshold, c1.downThreshold, c1.upRelay1, c1.upRelay2, c1.relayTime}),
                 (QList<int>{5, 10, 3, 0, 10}));
        const SimChannel& c2 = s.channels[1];
        QCOMPARE((QList<int>{c2.enabled, c2.downRelay1, c2.downRelay2, c2.relayTime}), (QList<int>{0, 4, 5, 12}));
        const SimChannel& c3 = s.channels[2];
        QCOMPARE((QList<int>{c3.eventRelay1, c3.eventRelay2, c3.eventRelayTime}), (QList<int>{9, 11, 7}));
        QCOMPARE(s.condProfile[7], 71);
        QCOMPARE((QList<int>{s.printerEnabled, s.bufferType, s.maxFishSize, s.algorithm, s.lengthComp, s.contOutput, s.dump}),
                 (QList<int>{1, 0, 127, 1, 20, 1, 1}));
        QCOMPARE(s.commsBaud, 19200);
        QCOMPARE(s.printerBaud, 2400);
        QVERIFY(line.cmd("a").startsWith("07/12/26 11:30:"));
        QCOMPARE(line.cmd("3A261332"), QByteArray("?\r"));   // no such date
        line.cmd("E6F");
        QCOMPARE(line.cmd("f"), QByteArray("100 100 100 100 100 100 100 100\r"));
        line.cmd("E6D");
        QCOMPARE(line.cmd("f"), QByteArray("100 100 095 090 085 080 075 070\r"));
        QCOMPARE(line.cmd(ack), QByteArray("1 1 1 127 020 04000\r"));
    }

    void eventFlagsAnswerOkLater()
    {
        Line line;
        line.cmd("8ACA");
        QCOMPARE(line.sent.size(), 1);
        QCOMPARE(line.sent[0].first, QByteArray("OK\r"));
        QVERIFY(line.sent[0].second >= 250 && line.sent[0].second < 1500);
        QCOMPARE(line.sim.state.eventsEnabled, 0);
        QCOMPARE(line.sim.state.relayMode, 0);
        QCOMPARE(line.sim.state.eventLogging, 0);
    }

    void faultKnobs()
    {
        Line line;
        line.sim.addFault({SimFault::NoReply, "g", 1, 0});
        QCOMPARE(line.cmd("g"), QByteArray());
        QCOMPARE(line.cmd("g"), QByteArray("123\r"));          // count spent

        line.sim.addFault({SimFault::WrongLength, "", 2, 0});  // any command, twice
        QCOMPARE(line.cmd("9D").size(), 5);
        QVERIFY(line.cmd("E5T1").startsWith("0250120"));
        QCOMPARE(line.cmd("E5T1"), QByteArray("0250120\r"));

        line.sim.addFault({SimFault::Garbage, "9D", -1, 0});
        for (int i = 0; i < 3; ++i) {
            const QByteArray r = line.cmd("9D");
            QVERIFY(r.endsWith("NEW\r") && r.size() > 4 && r.count('\r') == 1);
        }
        line.sim.clearFaults();

        line.sim.addFault({SimFault::SlowReply, "E3T", 1, 700});
        line.cmd("E3T");
        QCOMPARE(line.sent.size(), 1);
        QCOMPARE(line.sent[0].second, 700);

        line.sim.addFault({SimFault::HangUp, QString(QChar(6)), 1, 0});
        line.cmd("a");
        QCOMPARE(line.cmd(ack), QByteArray());
        QCOMPARE(line.hangUps.size(), 1);
        QCOMPARE(line.hangUps[0], QByteArray("1 1 20 20 00000 00000 01 00 "));   // half of 56 bytes
    }

    void lateAndInterleavedLines()
    {
        Line line;
        line.sim.state.graphSecondLineDelayMs = 200;
        line.cmd("E71A");
        QCOMPARE(line.sent, (QList<QPair<QByteArray, int>>{{"GRAPH\r", 0}, {"OK\r", 200}}));
        line.sim.state.updateLineBeforeReply = "F1U 7";
        QCOMPARE(line.cmd("g"), QByteArray("123\r"));                 // not while update is off
        QCOMPARE(line.cmd("i1"), QByteArray("F1U 7\rUPDON\r"));
        QCOMPARE(line.cmd("g"), QByteArray("F1U 7\r123\r"));
        QCOMPARE(line.cmd("i0"), QByteArray("F1U 7\rUPDOFF\r"));
        QCOMPARE(line.cmd("g"), QByteArray("123\r"));
    }

    void fishTimerCountsAndStops()
    {
        Line line;
        line.sim.state.channels[0].enabled = 0;
        line.sim.state.channels[2].enabled = 0;
        line.sim.setFishInterval(5);
        QCOMPARE(line.sim.fishInterval(), 5);
        QTRY_VERIFY(line.sim.state.events.size() >= 5);
        line.sim.setFishInterval(0);
        QCOMPARE(line.sim.fishInterval(), 0);
        const SimState& s = line.sim.state;
        QCOMPARE(s.channels[0].upCount + s.channels[0].downCount + s.channels[2].upCount + s.channels[2].downCount, 0);
        const int fish = s.channels[1].upCount + s.channels[1].downCount + s.channels[3].upCount + s.channels[3].downCount;
        QCOMPARE(fish, int(s.events.size()));
        QTest::qWait(30);
        QCOMPARE(int(s.events.size()), fish);
    }

    // The same number called again after the line was put down: what each call heard.
    void modemCallsByLastDigit_data()
    {
        QTest::addColumn<QByteArray>("number");
        QTest::addColumn<QByteArrayList>("results");
        QTest::newRow("answers") << QByteArray("01632 960001") << QByteArrayList{"CONNECT 9600", "CONNECT 9600"};
        QTest::newRow("busy") << QByteArray("01632 960002") << QByteArrayList{"BUSY", "BUSY"};
        QTest::newRow("busy first call only") << QByteArray("01632 960006")
                                              << QByteArrayList{"BUSY", "CONNECT 9600", "CONNECT 9600"};
    }
    void modemCallsByLastDigit()
    {
        QFETCH(QByteArray, number);
        QFETCH(QByteArrayList, results);
        SimModem modem;
        modem.setRingMs(0);
        QByteArrayList heard;
        QObject::connect(&modem, &SimModem::send, [&heard](const QByteArray& bytes, int) {
            if (bytes.startsWith("\r\n"))
                heard << bytes.trimmed();
        });
        for (qsizetype call = 0; call < results.size(); ++call) {
            modem.receive("ATDT" + number + '\r');
            QTRY_COMPARE(heard.size(), call + 1);
            modem.hangUp();
        }
        QCOMPARE(heard, results);
        QCOMPARE(modem.dialled(), QList<QByteArray>(results.size(), number));
    }
};

QTEST_GUILESS_MAIN(TestSimCounter)
#include "test_simcounter.moc"
