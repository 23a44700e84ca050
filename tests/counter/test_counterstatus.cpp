// The status dialogue, the conductivity reading and the weir dimensions: against the
// simulated counter over a pseudo-terminal, and against hand-made replies on an in-memory
// port for the exact lengths and malformed fields that a well-behaved counter never sends.

#include "link/comport.h"
#include "counter/counterstatus.h"
#include "counter/password.h"
#include "link/errors.h"
#include "link/hooks.h"
#include "link/link.h"
#include "counter/statusformat.h"
#include "sim/ptycounter.h"
#include "support/fakeportdevice.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace kfc;
using kfc::test::FakePortDevice;

namespace {

const QString a = QStringLiteral("a");
const QString f = QStringLiteral("f");
const QString g = QStringLiteral("g");

QStringList readSequence(bool otherStatus)
{
    QStringList commands{a, ACK, ACK, ACK, ACK, ACK, f};
    if (otherStatus)
        commands << ACK;
    return commands << ACK << g << ACK;
}

QStringList progressTexts(bool otherStatus)
{
    QStringList texts{QStringLiteral("Getting Counter Status")};
    for (int n = 1; n <= 4; ++n)
        texts << QStringLiteral("Getting Channel %1 Status").arg(n);
    texts << QStringLiteral("Getting Conductivity Settings");
    if (otherStatus)
        texts << QStringLiteral("Getting Other Status Settings");
    return texts << QStringLiteral("Getting Conductivity Gain") << QString();
}

// A record whose every field differs from anything the tests' counters report, so that a
// field left alone by a failed read is visible.
CounterStatus sentinel()
{
    CounterStatus s;
    s.dateTime = QDateTime(QDate(2001, 1, 1), QTime(1, 1, 1), Qt::UTC);
    s.version = 7.77;
    s.versionText = QStringLiteral("old");
    s.printerEnabled = s.eventsEnabled = s.relayMode = s.eventLogging = s.bufferType = 7;
    s.algorithm = s.contOutput = s.dump = 7;
    s.eventCount = s.maxFishSize = s.lengthComp = s.maxEvents = s.conductivity = 777;
    ChannelStatus c{7, 7, 7, 777, 777, 7, 7, 7, 7, 7, 7, 77, 77, 77, 7, 7, 7};
    s.channels.fill(c);
    s.condProfile.fill(7);
    return s;
}

QString json(const CounterStatus& s)
{
    return QString::fromUtf8(QJsonDocument(counterStatusToJson(s)).toJson(QJsonDocument::Compact));
}

// Hand-made replies of a well-formed 8.9 counter; each test spoils the one it is about.
struct Replies {
    QByteArray status = "07/12/26 14:05:09 1 1 0 1 0 00012 KFC V8.90 Kestrova FC4";
    std::array<QByteArray, 4> channels{block(1), block(2), block(3), block(4)};
    QByteArray profile = "100 100 095 090 085 080 075 070";
    QByteArray other = "1 1 0 127 250 04000";
    QByteArray conductivity = "123";

    // The 17 numbers of channel n, all different from the other channels' and each other's.
    static QByteArray block(int n)
    {
        return QString::asprintf("%1d %1d %02d %02d %05d %05d %02d %02d %02d %02d %03d %02d "
                                 "%02d %03d %1d %02d %02d",
                                 n, n % 2, 10 + n, 20 + n, 100 * n + 1, 100 * n + 2, n, n + 4,
                                 n + 1, n + 5, 30 + n, n + 2, n + 6, 40 + n, 1 - n % 2, 50 + n,
                                 60 + n)
            .toLatin1();
    }
    static ChannelStatus channel(int n)
    {
        return {quint8(n % 2), 10 + n, 20 + n, 100 * n + 1, 100 * n + 2, n, n + 4, n + 1, n + 5,
                n + 2, n + 6, 30 + n, 30 + n, 40 + n, quint8(1 - n % 2), 50 + n, 60 + n};
    }

    // What the counter sends for each frame of a read, in order; empty: nothing.
    QList<QByteArray> frames(bool otherStatus) const
    {
        QList<QByteArray> out{status + '\r'};
        for (const QByteArray& block : channels)
            out << block + '\r';
        out << QByteArray() << profile + '\r';
        if (otherStatus)
            out << other + '\r';
        return out << QByteArray() << conductivity + '\r' << QByteArray();
    }
};

} // namespace

class TestCounterStatus : public QObject {
    Q_OBJECT

    std::unique_ptr<sim::PtyCounter> pty;
    FakePortDevice* fake = nullptr;
    std::unique_ptr<ComPort> port;
    std::unique_ptr<Link> link;
    QStringList messages;
    QStringList progress;
    QStringList sent;                 // commands the in-memory port saw
    QList<QByteArray> script;         // what it answers to each

    void startFake()
    {
        auto device = std::make_unique<FakePortDevice>();
        fake = device.get();
        fake->onFrame = [this](const QByteArray& command) {
            sent << QString::fromLatin1(command);
            const QByteArray reply = script.isEmpty() ? QByteArray() : script.takeFirst();
            if (!reply.isEmpty())
                QTimer::singleShot(0, fake, [this, reply] { fake->feed(reply); });
        };
        port = std::make_unique<ComPort>(std::move(device));
        port->portNames().setOverride(1, QStringLiteral("/dev/fake"));
        QVERIFY(port->OpenPort());
        link = std::make_unique<Link>(*port);
        link->timing = {0, 0, 1000};
    }

    void startSim()
    {
        pty = std::make_unique<sim::PtyCounter>();
        QString error;
        QVERIFY2(pty->start(&error), qPrintable(error));
        port = std::make_unique<ComPort>();
        port->portNames().setOverride(9, pty->devicePath());
        port->settings.comNumber = 9;
        QVERIFY(port->OpenPort());
        link = std::make_unique<Link>(*port);
        link->timing = {20, 1, 1000};
    }

    // A read of hand-made replies into a record that starts as the sentinel.
    bool readFake(const QList<QByteArray>& frames, CounterStatus& status)
    {
        startFake();
        script = frames;
        status = sentinel();
        return ReadCounterStatus(*link, status);
    }

private slots:
    void init()
    {
        messages.clear();
        progress.clear();
        sent.clear();
        script.clear();
        hooks().showMessage = [this](MessageKind kind, const QString& text) {
            QCOMPARE(kind, MessageKind::Error);
            messages << text;
        };
        hooks().showProgress = [this](const QString& text) { progress << text; };
    }

    void cleanup()
    {
        hooks().showMessage = nullptr;
        hooks().showProgress = nullptr;
        link.reset();
        port.reset();
        pty.reset();
        fake = nullptr;
    }

    // ---- against the simulated counter ---------------------------------------------

    void readsEverythingTheCounterHolds_data()
    {
        QTest::addColumn<double>("version");
        QTest::newRow("8.8: no other-status block") << 8.8;
        QTest::newRow("8.9 has one") << 8.9;
    }

    void readsEverythingTheCounterHolds()
    {
        QFETCH(double, version);
        startSim();
        sim::SimState& counter = pty->counter().state;
        counter.version = version;
        counter.clockOffsetSecs = -86400 * 400 + 1234;
        counter.printerEnabled = 1, counter.eventsEnabled = 0, counter.relayMode = 1;
        counter.eventLogging = 0, counter.bufferType = 0;
        counter.events = {QStringLiteral("e1"), QStringLiteral("e2"), QStringLiteral("e3")};
        counter.algorithm = 1, counter.contOutput = 1, counter.dump = 1;
        counter.maxFishSize = 127, counter.lengthComp = 321, counter.maxEvents = 2500;
        counter.conductivity = 45;
        counter.condProfile = {11, 22, 33, 44, 55, 66, 77, 88};
        for (int n = 1; n <= 4; ++n) {
            sim::SimChannel& c = counter.channels[size_t(n - 1)];
            c = {n % 2, 10 + n, 20 + n, 1000 * n + 1, 1000 * n + 2, n, n + 4, n + 1, n + 5,
                 30 + n, n + 2, n + 6, 40 + n, 1 - n % 2, 50 + n, 60 + n};
        }

        // The clock as the counter put it in its reply to "a": under load the read may end
        // seconds after the counter answered.
        QString sentClock;
        connect(&pty->counter(), &sim::SimCounter::send, this, [&](const QByteArray& bytes) {
            if (sentClock.isEmpty() && pty->counter().commands().endsWith(a))
                sentClock = QString::fromLatin1(bytes.left(17));
        });

        CounterStatus status;
        status.condProfileType = QStringLiteral("F");  // a save's, never read
        QVERIFY(ReadCounterStatus(*link, status));

        const bool otherStatus = version >= 8.9;
        QCOMPARE(pty->counter().commands(), readSequence(otherStatus));
        QCOMPARE(progress, progressTexts(otherStatus));
        QCOMPARE(messages, QStringList());

        QCOMPARE(status.dateTime.timeSpec(), Qt::UTC);
        QCOMPARE(status.dateTime.toString(QStringLiteral("dd/MM/yy hh:mm:ss")), sentClock);
        QCOMPARE(status.dateTime.date().year() / 100, 20);

        CounterStatus expected;
        expected.dateTime = status.dateTime;
        expected.version = version;
        expected.versionText = counter.versionText;
        expected.printerEnabled = 1, expected.relayMode = 1;
        expected.eventCount = 3;
        if (otherStatus) {
            expected.algorithm = 1, expected.contOutput = 1, expected.dump = 1;
            expected.maxFishSize = 127, expected.lengthComp = 321, expected.maxEvents = 2500;
        }
        expected.conductivity = 45;
        for (int n = 1; n <= 4; ++n) {
            expected.channel(n) = {quint8(n % 2), 10 + n, 20 + n, 1000 * n + 1, 1000 * n + 2,
                                   n, n + 4, n + 1, n + 5, n + 2, n + 6, 30 + n, 30 + n, 40 + n,
                                   quint8(1 - n % 2), 50 + n, 60 + n};
        }
        expected.condProfile = {11, 22, 33, 44, 55, 66, 77, 88};
        expected.condProfileType = QStringLiteral("F");
        QCOMPARE(json(status), json(expected));
        QVERIFY(status == expected);
    }

    void noReplyToTheStatusCommandFailsTheLengthTest()
    {
        startSim();
        pty->counter().addFault({sim::SimFault::NoReply, a});
        CounterStatus status = sentinel();
        QVERIFY(!ReadCounterStatus(*link, status));
        QCOMPARE(messages, QStringList{QStringLiteral("Invalid response from Counter")});
        QCOMPARE(pty->counter().commands(), QStringList{a});
        QCOMPARE(progress, QStringList{QStringLiteral("Getting Counter Status")});
        QVERIFY(status == sentinel());
    }

    void wrongProfileLengthStopsBeforeTheClosingAck()
    {
        startSim();
        pty->counter().addFault({sim::SimFault::WrongLength, f});
        CounterStatus status;
        QVERIFY(!ReadCounterStatus(*link, status));
        QCOMPARE(messages,
                 QStringList{QStringLiteral("Invalid response from Counter reading conductivity")});
        QCOMPARE(pty->counter().commands(), readSequence(true).mid(0, 7));
        QCOMPARE(progress.last(), QStringLiteral("Getting Conductivity Settings"));
        QCOMPARE(status.channel(4).sAtt, pty->counter().state.channels[3].sAtt);
    }

    void badConductivityReadingDoesNotFailTheRead()
    {
        startSim();
        pty->counter().addFault({sim::SimFault::WrongLength, g});
        CounterStatus status = sentinel();
        QVERIFY(ReadCounterStatus(*link, status));
        QCOMPARE(messages, QStringList{QStringLiteral(
                               "Invalid response from Counter reading conductivity gain")});
        QStringList commands = readSequence(true);
        commands.removeLast();  // a rejected reading is not acknowledged
        QCOMPARE(pty->counter().commands(), commands);
        QCOMPARE(status.conductivity, 777);
        QCOMPARE(progress, progressTexts(true));
    }

    void secondDialogueDuringAReadIsRefused()
    {
        startSim();
        CounterStatus other = sentinel();
        int refused = 0;
        connect(&pty->counter(), &sim::SimCounter::commandReceived, this,
                [&](const QString& command) {
                    if (command != ACK || refused)
                        return;
                    // Runs inside one of the first read's waits, as a click would.
                    try {
                        ReadCounterStatus(*link, other);
                    } catch (const LineBusyError&) {
                        ++refused;
                    }
                });
        CounterStatus status;
        QVERIFY(ReadCounterStatus(*link, status));
        QCOMPARE(refused, 1);
        QCOMPARE(pty->counter().commands(), readSequence(true));
        QCOMPARE(progress, progressTexts(true));
        QVERIFY(other == sentinel());
        QCOMPARE(status.conductivity, pty->counter().state.conductivity);
        QVERIFY(!link->lineHeld());
    }

    void logoffByPasswordState_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("loggedOn");
        QTest::addColumn<QStringList>("sent");
        QTest::newRow("NEW") << QString() << false << QStringList{"9D"};
        QTest::newRow("OLD") << "1234" << false << QStringList({"9D", "92"});
        QTest::newRow("1OR2") << "1234" << true << QStringList({"9D", "92"});
    }
    void logoffByPasswordState()
    {
        startSim();
        QFETCH(QString, password);
        QFETCH(bool, loggedOn);
        pty->counter().state.password = password;
        pty->counter().state.loggedOn = loggedOn;
        QFETCH(QStringList, sent);
        QVERIFY(CounterLogoff(*link));
        QTRY_COMPARE(pty->counter().commands(), sent);
        QVERIFY(!pty->counter().state.loggedOn);
    }

    void weirDimensionsRoundTrip()
    {
        startSim();
        pty->counter().state.weirLength = {150, 250, 3500, 10};
        pty->counter().state.weirDepth = {80, 120, 999, 5};
        WeirDimensions weir;
        weir.channel(2).changed = true;
        QVERIFY(ReadWeirDimensions(*link, weir));
        const WeirDimensions expected{{{{150, 80, false, true}, {250, 120, false, true},
                                        {3500, 999, false, true}, {10, 5, false, true}}}};
        QVERIFY(weir.entries == expected.entries);

        pty->counter().clearCommands();
        weir.channel(4) = {1200, 35, true, true};
        QVERIFY(WriteWeirDimensions(*link, weir));
        QCOMPARE(pty->counter().commands(), QStringList{QStringLiteral("E5S41200035")});
        QCOMPARE(pty->counter().state.weirLength[3], 1200);
        QCOMPARE(pty->counter().state.weirDepth[3], 35);
        QVERIFY(!weir.channel(4).changed);
    }

    // ---- hand-made replies ------------------------------------------------------------

    void fullReadOfHandMadeReplies()
    {
        startFake();
        script = Replies().frames(true);
        CounterStatus status = sentinel();
        status.condProfileType = QStringLiteral("N");
        QVERIFY(ReadCounterStatus(*link, status));
        QCOMPARE(sent, readSequence(true));
        QCOMPARE(fake->written.left(3), QByteArray("\x02" "a\x03"));
        QCOMPARE(fake->written.mid(3, 3), QByteArray("\x02\x06\x03"));

        QCOMPARE(status.dateTime, QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9), Qt::UTC));
        QCOMPARE(status.version, 8.9);
        QCOMPARE(status.versionText, QStringLiteral("Kestrova FC4"));
        QCOMPARE(QList<int>({status.printerEnabled, status.eventsEnabled, status.relayMode,
                             status.eventLogging, status.bufferType}),
                 QList<int>({1, 1, 0, 1, 0}));
        QCOMPARE(status.eventCount, 12);
        for (int n = 1; n <= 4; ++n)
            QVERIFY2(status.channel(n) == Replies::channel(n), qPrintable(QString::number(n)));
        // One relay-time field on the line, two copies in the record.
        QCOMPARE(status.channel(3).upRelayTime, 33);
        QCOMPARE(status.channel(3).downRelayTime, 33);
        QCOMPARE(status.channel(3).eventRelay1, 5);
        QCOMPARE(QList<qint32>(status.condProfile.begin(), status.condProfile.end()),
                 QList<qint32>({100, 100, 95, 90, 85, 80, 75, 70}));
        QCOMPARE(QList<int>({status.algorithm, status.contOutput, status.dump}),
                 QList<int>({1, 1, 0}));
        QCOMPARE(status.maxFishSize, 127);
        QCOMPARE(status.lengthComp, 250);
        QCOMPARE(status.maxEvents, 4000);
        QCOMPARE(status.conductivity, 123);
        QCOMPARE(status.condProfileType, QStringLiteral("N"));
    }

    void statusReplyLength_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("32 accepted") << QByteArray("07/12/26 14:05:09 1 1 0 1 0 12V8") << true;
        QTest::newRow("31 refused") << QByteArray("07/12/26 14:05:09 1 1 0 1 0 1V8") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }

    void statusReplyLength()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, accepted);
        startFake();
        Replies replies;
        replies.status = reply;
        script = replies.frames(false);
        CounterStatus status = sentinel();
        QCOMPARE(ReadCounterStatus(*link, status), accepted);
        if (accepted) {
            QCOMPARE(sent, readSequence(false));
            QCOMPARE(status.version, 8.0);
            QCOMPARE(status.eventCount, 12);
            QCOMPARE(status.versionText, QString());
            QCOMPARE(status.maxEvents, 777);  // no other-status block before 8.9
            return;
        }
        QCOMPARE(messages, QStringList{QStringLiteral("Invalid response from Counter")});
        QCOMPARE(sent, QStringList{a});
        QVERIFY(status == sentinel());
    }

    void wrongChannelLength_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("length");
        for (int n = 1; n <= 4; ++n) {
            QTest::addRow("channel %d, 54", n) << n << 54;
            QTest::addRow("channel %d, 56", n) << n << 56;
        }
        QTest::addRow("channel 3, no reply") << 3 << 0;
    }

    void wrongChannelLength()
    {
        QFETCH(int, channel);
        QFETCH(int, length);
        Replies replies;
        QByteArray& block = replies.channels[size_t(channel - 1)];
        block = length == 0 ? QByteArray() : block.leftJustified(length, ' ', true);
        CounterStatus status;
        QVERIFY(!readFake(replies.frames(true), status));

        QCOMPARE(messages, QStringList{QStringLiteral(
                               "Invalid response from Counter reading channel %1").arg(channel)});
        QCOMPARE(sent, readSequence(true).mid(0, 1 + channel));
        QCOMPARE(progress.last(), QStringLiteral("Getting Channel %1 Status").arg(channel));
        QCOMPARE(status.eventCount, 12);
        for (int n = 1; n <= 4; ++n) {
            const ChannelStatus expected = n < channel ? Replies::channel(n) : sentinel().channel(n);
            QVERIFY2(status.channel(n) == expected, qPrintable(QString::number(n)));
        }
    }

    void wrongOtherStatusLength_data()
    {
        QTest::addColumn<QByteArray>("block");
        QTest::newRow("18") << QByteArray("1 1 0 127 250 0400");
        QTest::newRow("20") << QByteArray("1 1 0 127 250 04000 ");
    }

    void wrongOtherStatusLength()
    {
        QFETCH(QByteArray, block);
        Replies replies;
        replies.other = block;
        CounterStatus status;
        QVERIFY(!readFake(replies.frames(true), status));
        QCOMPARE(messages,
                 QStringList{QStringLiteral("Invalid response from Counter reading conductivity")});
        QCOMPARE(sent, readSequence(true).mid(0, 8));
        QCOMPARE(progress.last(), QStringLiteral("Getting Other Status Settings"));
        QCOMPARE(status.profileGain(3), 95);
        QCOMPARE(status.maxEvents, 777);
    }

    void versionIsComparedWithEightPointNine_data()
    {
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<bool>("otherStatus");
        QTest::newRow("8.89") << QByteArray("8.89") << false;
        QTest::newRow("8.9") << QByteArray("8.9") << true;
        QTest::newRow("10.0") << QByteArray("10.0") << true;
    }

    void versionIsComparedWithEightPointNine()
    {
        QFETCH(QByteArray, version);
        QFETCH(bool, otherStatus);
        startFake();
        Replies replies;
        replies.status = "07/12/26 14:05:09 1 1 0 1 0 00012 KFC V" + version + " X";
        script = replies.frames(otherStatus);
        CounterStatus status;
        QVERIFY(ReadCounterStatus(*link, status));
        QCOMPARE(sent, readSequence(otherStatus));
    }

    void versionText_data()
    {
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<QString>("text");
        QTest::newRow("blank ABC") << QByteArray(" ABC") << QStringLiteral("ABC");
        QTest::newRow("nothing") << QByteArray() << QString();
        QTest::newRow("cut at 30") << QByteArray(" ") + QByteArray(40, 'x').replace(30, 1, "y")
                                   << QString(30, QLatin1Char('x'));
        QTest::newRow("first character dropped whatever it is")
            << QByteArray("-FC4  ") << QStringLiteral("FC4  ");
    }

    void versionText()
    {
        QFETCH(QByteArray, tail);
        QFETCH(QString, text);
        startFake();
        Replies replies;
        replies.status = "07/12/26 14:05:09 1 1 0 1 0 00012 KFC V8.90" + tail;
        script = replies.frames(true);
        CounterStatus status;
        QVERIFY(ReadCounterStatus(*link, status));
        QCOMPARE(status.versionText, text);
    }

    void badConductivityLength_data()
    {
        QTest::addColumn<QByteArray>("reading");
        QTest::newRow("2") << QByteArray("12");
        QTest::newRow("4") << QByteArray("1234");
        QTest::newRow("empty") << QByteArray();
    }

    void badConductivityLength()
    {
        QFETCH(QByteArray, reading);
        startFake();
        Replies replies;
        replies.conductivity = reading;
        script = replies.frames(true);
        CounterStatus status = sentinel();
        QVERIFY(ReadCounterStatus(*link, status));
        QCOMPARE(messages, QStringList{QStringLiteral(
                               "Invalid response from Counter reading conductivity gain")});
        QCOMPARE(sent.last(), g);
        QCOMPARE(sent.size(), readSequence(true).size() - 1);
        QCOMPARE(status.conductivity, 777);
        QCOMPARE(progress.last(), QString());
    }

    void conductivityReadingAlone_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("taken");   // shown as it came, and acknowledged
        QTest::newRow("digits") << QByteArray("045") << true;
        QTest::newRow("blank after") << QByteArray("12 ") << true;
        QTest::newRow("blank before") << QByteArray(" 12") << true;
        QTest::newRow("blank inside") << QByteArray("1 2") << false;
        QTest::newRow("blanks only") << QByteArray("   ") << false;
        QTest::newRow("sign") << QByteArray("-12") << false;
    }

    void conductivityReadingAlone()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, taken);
        startFake();
        script = {reply + '\r'};
        QCOMPARE(ReadConductivity(*link), taken ? QString::fromLatin1(reply) : QString());
        QCOMPARE(fake->written, taken ? QByteArray("\x02g\x03\x02\x06\x03") : QByteArray("\x02g\x03"));
        QCOMPARE(messages, taken ? QStringList()
                                 : QStringList{QStringLiteral("Invalid response from Counter reading conductivity gain")});
    }

    void malformedStatusLineKeepsTheFieldsBefore()
    {
        startFake();
        Replies replies;
        replies.status = "07/12/26 14:05:09 1 1 0 1 0 x0012 KFC V8.90 Kestrova FC4";
        script = replies.frames(true);
        CounterStatus status = sentinel();
        QVERIFY_THROWS_EXCEPTION(ConversionError, ReadCounterStatus(*link, status));
        QCOMPARE(sent, QStringList{a});
        QCOMPARE(status.dateTime, QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9), Qt::UTC));
        QCOMPARE(int(status.bufferType), 0);
        QCOMPARE(status.eventCount, 777);
        QCOMPARE(status.version, 7.77);
        // The general error handler reports it, and the line is free for the next command.
        QCOMPARE(messages, QStringList());
        QCOMPARE(progress.last(), QStringLiteral("Getting Counter Status"));
        QVERIFY(!link->lineHeld());
    }

    void malformedChannelBlockKeepsTheFieldsBefore()
    {
        startFake();
        Replies replies;
        replies.channels[1][10] = 'x';  // the up count of channel 2
        script = replies.frames(true);
        CounterStatus status = sentinel();
        QVERIFY_THROWS_EXCEPTION(ConversionError, ReadCounterStatus(*link, status));
        QCOMPARE(sent, readSequence(true).mid(0, 3));
        QVERIFY(status.channel(1) == Replies::channel(1));
        QCOMPARE(status.channel(2).downThreshold, 22);
        QCOMPARE(status.channel(2).upCount, 777);
        QVERIFY(status.channel(3) == sentinel().channel(3));
    }

    void flagTooLargeForItsFieldIsAConversionError()
    {
        Replies replies;
        replies.status = "07/12/26 14:05:09 1 256 0 1 0 00012 KFC V8.90 Kestrova FC4";
        CounterStatus status;
        QVERIFY_THROWS_EXCEPTION(ConversionError, readFake(replies.frames(true), status));
        QCOMPARE(int(status.printerEnabled), 1);
        QCOMPARE(int(status.eventsEnabled), 7);
    }

    void weirRead()
    {
        startFake();
        script = {"0150080\r", "0250120\r", "1200035\r", "5000500\r"};
        WeirDimensions weir;
        weir.channel(1).changed = true;
        QVERIFY(ReadWeirDimensions(*link, weir));
        QCOMPARE(sent, QStringList({"E5T1", "E5T2", "E5T3", "E5T4"}));
        const WeirDimensions expected{{{{150, 80, false, true}, {250, 120, false, true},
                                        {1200, 35, false, true}, {5000, 500, false, true}}}};
        QVERIFY(weir.entries == expected.entries);
    }

    void badWeirReply_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("letter in the length") << QByteArray("12x0035");
        QTest::newRow("letter in the depth") << QByteArray("120003x");
        QTest::newRow("no depth") << QByteArray("1200");
        QTest::newRow("empty") << QByteArray();
    }

    void badWeirReply()
    {
        QFETCH(QByteArray, reply);
        startFake();
        script = {"0150080\r", "0250120\r", reply + '\r', "5000500\r"};
        WeirDimensions weir;
        weir.channel(3) = {11, 22, true, true};
        weir.channel(4) = {33, 44, true, true};
        QVERIFY_THROWS_EXCEPTION(ConversionError, ReadWeirDimensions(*link, weir));
        QCOMPARE(sent, QStringList({"E5T1", "E5T2", "E5T3"}));
        QVERIFY((weir.channel(2) == WeirDimension{250, 120, false, true}));
        // Kept, but no longer the counter's: nothing of them is sent until a read succeeds.
        QVERIFY((weir.channel(3) == WeirDimension{11, 22, true, false}));
        QVERIFY((weir.channel(4) == WeirDimension{33, 44, true, false}));
        sent.clear();
        QVERIFY(!WriteWeirDimensions(*link, weir));
        QCOMPARE(sent, QStringList());
    }

    void weirWriteSendsOnlyChangedEntries()
    {
        startFake();
        WeirDimensions weir;
        weir.channel(1) = {250, 120, false, true};
        weir.channel(4) = {1200, 35, true, true};
        QVERIFY(WriteWeirDimensions(*link, weir));
        QCOMPARE(fake->written, QByteArray("\x02" "E5S41200035\x03"));
        QVERIFY(!weir.channel(4).changed);
        fake->written.clear();
        QVERIFY(WriteWeirDimensions(*link, weir));
        QCOMPARE(fake->written, QByteArray());
    }

    void weirValueTooWideIsNotSent()
    {
        startFake();
        WeirDimensions weir;
        weir.channel(2) = {12000, 35, true, true};
        weir.channel(3) = {100, 50, true, true};
        QVERIFY(!WriteWeirDimensions(*link, weir));
        QCOMPARE(sent, QStringList{QStringLiteral("E5S30100050")});
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages[0].contains(QStringLiteral("channel 2")));
        QVERIFY(weir.channel(2).changed);
    }

    void weirWriteOnAClosedPortKeepsTheChange()
    {
        startFake();
        port->ClosePort();
        WeirDimensions weir;
        weir.channel(1) = {250, 120, true, true};
        QVERIFY(!WriteWeirDimensions(*link, weir));
        QVERIFY(weir.channel(1).changed);
        QVERIFY(link->log().last().contains(QStringLiteral("E5S10250120")));
    }

    // ---- rendering ----------------------------------------------------------------------

    void jsonUsesTheRecordsNames()
    {
        CounterStatus status;
        status.dateTime = QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9), Qt::UTC);
        status.version = 8.9;
        status.versionText = QStringLiteral("Kestrova FC4");
        status.dump = 1;
        status.maxEvents = 4000;
        status.channel(2) = Replies::channel(2);
        status.profileGain(8) = 70;
        const QJsonObject o = counterStatusToJson(status);

        QCOMPARE(o.value("dateTime").toString(), QStringLiteral("2026-12-07T14:05:09"));
        QCOMPARE(o.value("version").toDouble(), 8.9);
        QCOMPARE(o.value("versionText").toString(), QStringLiteral("Kestrova FC4"));
        QCOMPARE(o.value("dump").toInt(), 1);
        QCOMPARE(o.value("maxEvents").toInt(), 4000);
        QCOMPARE(o.value("condProfileType").toString(), QString());
        const QStringList recordKeys{
            "algorithm", "bufferType", "channels", "condProfile", "condProfileType",
            "conductivity", "contOutput", "dateTime", "dump", "eventCount", "eventLogging",
            "eventsEnabled", "lengthComp", "maxEvents", "maxFishSize", "printerEnabled",
            "relayMode", "version", "versionText"};
        QCOMPARE(o.keys(), recordKeys);

        const QJsonArray channels = o.value("channels").toArray();
        QCOMPARE(channels.size(), 4);
        const QJsonObject c2 = channels[1].toObject();
        const QStringList channelKeys{
            "downCount", "downRelay1", "downRelay2", "downRelayTime", "downThreshold",
            "enabled", "eventRelay1", "eventRelay2", "eventRelayTime", "graphEnabled", "sAtt",
            "upCount", "upRelay1", "upRelay2", "upRelayTime", "upThreshold", "wAtt"};
        QCOMPARE(c2.keys(), channelKeys);
        QCOMPARE(c2.value("upCount").toInt(), 201);
        QCOMPARE(c2.value("eventRelayTime").toInt(), 42);
        QCOMPARE(channels[0].toObject().value("upCount").toInt(), 0);

        const QJsonArray profile = o.value("condProfile").toArray();
        QCOMPARE(profile.size(), 8);
        QCOMPARE(profile[7].toInt(), 70);
        QVERIFY(counterStatusToJson(CounterStatus()).value("dateTime").isNull());
    }

    void textShowsClockChannelsAndProfile()
    {
        CounterStatus status;
        status.dateTime = QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9), Qt::UTC);
        status.version = 8.9;
        status.versionText = QStringLiteral("Kestrova FC4");
        status.bufferType = 1;
        for (int n = 1; n <= 4; ++n)
            status.channel(n) = Replies::channel(n);
        status.condProfile = {100, 100, 95, 90, 85, 80, 75, 70};
        const QStringList lines = counterStatusToText(status).split('\n');

        QCOMPARE(lines[0], QStringLiteral("Clock          2026-12-07 14:05:09"));
        QCOMPARE(lines[1], QStringLiteral("Version        8.90 Kestrova FC4"));
        QVERIFY(lines.contains(QStringLiteral(
            "Buffer         circular        Algorithm      slow")));
        const qsizetype header = lines.indexOf(QRegularExpression("Ch +On +UpTh .*"));
        QVERIFY(header > 0);
        QVERIFY(lines[header + 2].startsWith(QStringLiteral(" 2  no    12    22      201")));
        QVERIFY(lines[header + 2].contains(QStringLiteral("2,6    3,7    4,8    32   42    yes    52    62")));
        QVERIFY(lines.contains(QStringLiteral("Cond       10   40   70  100  150  200  300  500")));
        QVERIFY(lines.contains(QStringLiteral("Gain(%)   100  100   95   90   85   80   75   70")));
        for (const QString& line : lines)
            QVERIFY2(line.size() <= 100, qPrintable(line));
    }
};

QTEST_GUILESS_MAIN(TestCounterStatus)
#include "test_counterstatus.moc"
