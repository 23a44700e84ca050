// Framing, pacing, reply reading and the line lock, against an in-memory port.

#include "link/comport.h"
#include "link/errors.h"
#include "link/hooks.h"
#include "link/link.h"
#include "link/wait.h"
#include "support/fakeportdevice.h"
#include "support/logtext.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace kfc;
using kfc::test::FakePortDevice;
using kfc::test::withoutFrameTimes;

namespace {

QByteArray frame(const QByteArray& command) { return "\x02" + command + "\x03"; }

// Answers each frame with the given reply after the event loop turns once, as a counter
// on the line would: never synchronously inside the write.
void answerWith(FakePortDevice* device, const QByteArray& reply)
{
    device->onFrame = [device, reply](const QByteArray&) {
        QTimer::singleShot(0, device, [device, reply] { device->feed(reply); });
    };
}

// Counts the timer events that the application delivers to any object.
struct TimerEventCounter : QObject {
    int count = 0;
    TimerEventCounter() { QCoreApplication::instance()->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == QEvent::Timer;
        return false;
    }
};

} // namespace

class TestLink : public QObject {
    Q_OBJECT

    FakePortDevice* device = nullptr;
    std::unique_ptr<ComPort> port;
    std::unique_ptr<Link> link;
    QStringList messages;

private slots:
    void init()
    {
        auto fake = std::make_unique<FakePortDevice>();
        device = fake.get();
        port = std::make_unique<ComPort>(std::move(fake));
        port->portNames().setOverride(1, QStringLiteral("/dev/fake"));
        link = std::make_unique<Link>(*port);
        link->timing = {50, 2, 300};
        messages.clear();
        hooks().showMessage = [this](MessageKind, const QString& text) { messages << text; };
        QVERIFY(port->OpenPort());
    }

    void cleanup()
    {
        hooks().showMessage = nullptr;
        link.reset();
        port.reset();
    }

    void emptyCommandIsStxEtxAfterTheSettleTime()
    {
        QElapsedTimer clock;
        clock.start();
        QVERIFY(link->SendCommand(QString()));
        QCOMPARE(device->written, QByteArray("\x02\x03"));
        QVERIFY(device->writeTimesMs.first() >= 50);
        QVERIFY(clock.elapsed() >= 50 + 2 * 2);
    }

    void commandBytesAreFramedInOrderWithTheirGaps()
    {
        link->timing.byteGapMs = 10;
        QVERIFY(link->SendCommand(QStringLiteral("0%1A0510").arg(2)));
        QCOMPARE(device->written, frame("02A0510"));
        for (int i = 1; i < device->writeTimesMs.size(); ++i)
            QVERIFY2(device->writeTimesMs[i] - device->writeTimesMs[i - 1] >= 10,
                     qPrintable(QString::number(i)));
    }

    void longestCommandIsSentAndOneMoreIsRefusedUntouched()
    {
        link->timing = {0, 0, 300};
        const QString longest(254, QLatin1Char('A'));
        QVERIFY(link->SendCommand(longest));
        QCOMPARE(device->written, frame(longest.toLatin1()));

        device->written.clear();
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!link->SendCommand(QString(255, QLatin1Char('A'))));
        QCOMPARE(device->written, QByteArray());
        QVERIFY(clock.elapsed() < 50);
    }

    void replyIsCutAt255ButReadToTheTerminator()
    {
        answerWith(device, QByteArray(300, 'r') + "\rNEXT\r");
        QString reply = link->Exchange(QStringLiteral("a"));
        QCOMPARE(reply, QString(255, QLatin1Char('r')));
        // What followed the terminator stays for the next read.
        QCOMPARE(link->ReadReply(), QStringLiteral("NEXT"));
    }

    void replyKeepsControlBytes()
    {
        answerWith(device, QByteArray("A\x01\x06Z\r"));
        QCOMPARE(link->Exchange(QStringLiteral("x")), QString::fromLatin1("A\x01\x06Z"));
    }

    void bytesReceivedBeforeTheCommandAreNeverItsReply()
    {
        device->feed("STALE LINE\r");
        // More arrives during the settle time, after the first clear.
        QTimer::singleShot(20, device, [this] { device->feed("LATE\r"); });
        answerWith(device, "FRESH\r");
        QCOMPARE(link->Exchange(QStringLiteral("9D")), QStringLiteral("FRESH"));
    }

    void timeOutAndBareTerminatorBothGiveEmpty()
    {
        device->onFrame = [this](const QByteArray&) { device->feed("PARTIAL"); };
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(link->Exchange(QStringLiteral("a")), QString());
        QVERIFY(clock.elapsed() >= 50 + 300);

        answerWith(device, "\r");
        QCOMPARE(link->Exchange(QStringLiteral("a")), QString());
    }

    void deadlineIsFixedWhenTheReadStarts()
    {
        // A reply trickling in slower than the time-out is not waited for past it.
        QTimer trickle;
        connect(&trickle, &QTimer::timeout, device, [this] { device->feed("x"); });
        trickle.start(40);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(link->ReadReply(CR, 200), QString());
        QVERIFY(clock.elapsed() >= 200);
        QVERIFY(clock.elapsed() < 400);
    }

    void inputWithoutReadyReadIsStillSeen()
    {
        device->onFrame = [this](const QByteArray&) { device->feedSilently("QUIET\r"); };
        QCOMPARE(link->Exchange(QStringLiteral("g")), QStringLiteral("QUIET"));
    }

    void aWaitLooksAtTheQueueOnlyWhereInputGoesUnannounced()
    {
        // On a silent line a wait wakes for its deadline alone.
        TimerEventCounter timerEvents;
        QCOMPARE(EventWait::until(QDeadlineTimer(300, Qt::PreciseTimer), port.get()), WaitEnd::Deadline);
        QVERIFY2(timerEvents.count <= 2, qPrintable(QString::number(timerEvents.count)));

        // Inside a slot of the input signal QSerialPort announces nothing more: the rest of
        // the reply comes silently, and the read there still finds it.
        QString reply;
        bool beforeTheTimeOut = false;
        connect(port.get(), &ComPort::inputArrived, this, [&] {
            QTimer::singleShot(20, device, [this] { device->feedSilently("REST\r"); });
            const QDeadlineTimer timeOut(3000);
            reply = link->ReadReply(CR, 3000);
            beforeTheTimeOut = !timeOut.hasExpired();
        }, Qt::SingleShotConnection);
        device->feed("FIRST ");
        QCOMPARE(reply, QStringLiteral("FIRST REST"));
        QVERIFY(beforeTheTimeOut);
    }

    void exchangeLogsBothLines()
    {
        answerWith(device, "NEW\r");
        QSignalSpy logged(link.get(), &Link::logged);
        link->Exchange(QStringLiteral("9D"));
        QCOMPARE(withoutFrameTimes(link->log()), (QStringList{QStringLiteral("Tx  9D"), QStringLiteral("Rx  NEW")}));
        QCOMPARE(logged.count(), 2);
    }

    void exchangeOnAClosedPortReturnsAtOnceWithBothLogLines()
    {
        port->ClosePort();
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(link->Exchange(QStringLiteral("a")), QString());
        QVERIFY(clock.elapsed() < 40);
        QCOMPARE(link->log(), (QStringList{QStringLiteral("Tx  a  (not sent)"), QStringLiteral("Rx  ")}));
        QCOMPARE(device->written, QByteArray());
    }

    void sendCommandAloneIsLoggedWithItsFrameTime()
    {
        // A command that gets no reply is logged too, once, with the time its frame took:
        // here at least the settle time and four byte gaps.
        QVERIFY(link->SendCommand(QStringLiteral("7A")));
        QCOMPARE(link->log().size(), 1);
        static const QRegularExpression line(QStringLiteral("^Tx  7A  \\((\\d+) ms\\)$"));
        const QRegularExpressionMatch match = line.match(link->log().first());
        QVERIFY2(match.hasMatch(), qPrintable(link->log().first()));
        QVERIFY(match.captured(1).toInt() >= 50 + 4 * 2);
        // A password set without reading a reply is masked like a logon.
        QVERIFY(link->SendCommand(QStringLiteral("91234")));
        QCOMPARE(withoutFrameTimes(link->log()).last(), QStringLiteral("Tx  9****"));
    }

    void paddedCommands()
    {
        link->timing = {0, 0, 300};
        QVERIFY(link->SendPaddedCommand(QStringLiteral("2"), QStringLiteral("123456")));
        QCOMPARE(link->LastCommand, QStringLiteral("B2123456"));
        QVERIFY(link->SendPaddedCommand(QStringLiteral("1"), QStringLiteral("9600")));
        QCOMPARE(link->LastCommand, QStringLiteral("B109600"));
        QCOMPARE(device->written, frame("B2123456") + frame("B109600"));
    }

    void lineDyingMidReplyEndsTheWaitAtOnceAndIsReportedOnce()
    {
        QSignalSpy lost(port.get(), &ComPort::lineLost);
        link->timing.replyTimeoutMs = 5000;
        device->onFrame = [this](const QByteArray&) {
            device->feed("HALF A REP");
            QTimer::singleShot(30, device, [this] { device->die(); });
        };
        QElapsedTimer clock;
        clock.start();
        QVERIFY_THROWS_EXCEPTION(LineLostError, link->Exchange(QStringLiteral("a")));
        QVERIFY(clock.elapsed() < 2000);
        QVERIFY(!port->PortIsOpen());
        QCOMPARE(lost.count(), 1);
        QCOMPARE(port->lineDiedReason(), QStringLiteral("Device removed"));
        // The next command ends at once instead of touching the dead device.
        const QByteArray before = device->written;
        QVERIFY_THROWS_EXCEPTION(LineLostError, link->SendCommand(QStringLiteral("e")));
        QCOMPARE(device->written, before);
        // A port opened again is a new line.
        QVERIFY(port->OpenPort());
        QVERIFY(link->SendCommand(QStringLiteral("e")));
    }

    void lineDyingWhilePacingStopsTheFrame()
    {
        link->timing.byteGapMs = 20;
        QTimer::singleShot(50 + 30, device, [this] { device->die(); });
        QVERIFY_THROWS_EXCEPTION(LineLostError, link->SendCommand(QStringLiteral("0123456789")));
        QVERIFY(device->written.size() < 12);
        QVERIFY(!device->written.endsWith('\x03'));
        QVERIFY2(link->log().filter(QRegularExpression(QStringLiteral("^Tx  0123456789  \\(cut off after \\d+ ms\\)$"))).size() == 1,
                 qPrintable(link->log().join(QLatin1Char('|'))));
    }

    void commandFromAClickDuringAnExchangeIsRefused()
    {
        // The click comes while the logon's "9" waits for its reply.
        bool refused = false;
        device->onFrame = [&](const QByteArray& command) {
            if (command == "9")
                QTimer::singleShot(10, device, [&] {
                    try {
                        link->SendCommand(QStringLiteral("1C"));
                    } catch (const LineBusyError&) {
                        refused = true;
                    }
                });
            QTimer::singleShot(30, device, [this] { device->feed("REPLY\r"); });
        };
        QCOMPARE(link->Exchange(QStringLiteral("9")), QStringLiteral("REPLY"));
        QVERIFY(refused);
        QCOMPARE(device->written, frame("9"));
        // The refused command is logged after the refusal (masked too, coming after the "9");
        // the password that follows the "9" is still masked.
        link->Exchange(QStringLiteral("0042"));
        const QStringList log = withoutFrameTimes(link->log());
        QCOMPARE(log.size(), 6);
        QCOMPARE(log.first(), QStringLiteral("Tx  9"));
        QVERIFY(log[1].startsWith(QStringLiteral("--  refused: ")));
        QCOMPARE(log.mid(2), (QStringList{"Tx  **  (refused)", "Rx  REPLY", "Tx  ****", "Rx  REPLY"}));
    }

    void dialogueHoldsTheLineBetweenItsCommands()
    {
        answerWith(device, "R\r");
        auto hold = link->holdLine();
        QCOMPARE(link->Exchange(QStringLiteral("a")), QStringLiteral("R"));
        QCOMPARE(link->Exchange(ACK), QStringLiteral("R"));
        QVERIFY(link->lineHeld());
    }

    void listenerYieldsTheLineToANestedCommand()
    {
        link->timing.replyTimeoutMs = 5000;
        QString nestedReply;
        QString refusal;
        QTimer::singleShot(20, this, [&] {
            // Any other dialogue is refused before it sends a byte: its replies would mix
            // with the counter's stream.
            try {
                link->Exchange(QStringLiteral("a"));
            } catch (const LineBusyError& error) {
                refusal = error.text();
            }
            answerWith(device, "UPDOFF\r");
            auto stop = link->holdLine(Link::HoldKind::Interrupt);
            nestedReply = link->Exchange(QStringLiteral("i0"));
        });
        QElapsedTimer clock;
        clock.start();
        QString heard;
        {
            auto hold = link->holdLine(Link::HoldKind::Listening);
            heard = link->ReadReply();
        }
        QCOMPARE(refusal, Link::kListeningRefusal);
        QCOMPARE(nestedReply, QStringLiteral("UPDOFF"));
        QCOMPARE(device->written, QByteArray("\x02i0\x03"));
        // The listener's read gave up the line instead of waiting out its time-out.
        QCOMPARE(heard, QString());
        QVERIFY(clock.elapsed() < 3000);
        QVERIFY(!link->lineHeld());
    }

    void ownerKeepsTheLineUntilItLetsGo()
    {
        answerWith(device, "R\r");
        {
            auto owner = link->holdLine(Link::HoldKind::Owner);
            QVERIFY_THROWS_EXCEPTION(LineBusyError, link->Exchange(QStringLiteral("a")));
            QVERIFY_THROWS_EXCEPTION(LineBusyError, link->SendCommand(QStringLiteral("e")));
            QVERIFY_THROWS_EXCEPTION(LineBusyError, link->holdLine(Link::HoldKind::Listening));
            QCOMPARE(device->written, QByteArray());
        }
        QCOMPARE(link->Exchange(QStringLiteral("a")), QStringLiteral("R"));
        // An owner never starts under a dialogue that already holds the line.
        auto dialogue = link->holdLine();
        QVERIFY_THROWS_EXCEPTION(LineBusyError, link->holdLine(Link::HoldKind::Owner));
    }

    void passwordStateQuery()
    {
        answerWith(device, "1OR2\r");
        QCOMPARE(link->QueryPasswordState(), QStringLiteral("1OR2"));
        QCOMPARE(device->written, frame("9D"));
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "test_link.moc"
