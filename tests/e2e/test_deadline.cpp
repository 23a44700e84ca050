// A line that dies under the program, over a real pseudo-terminal: the port closes, the
// wait in progress ends at once with an empty reply, and the loss is reported once.

#include "link/errors.h"
#include "support/simline.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace kfc;

class TestDeadLine : public QObject {
    Q_OBJECT

    std::unique_ptr<test::SimLine> line;
    sim::PtyCounter* pty = nullptr;
    ComPort* port = nullptr;
    Link* link = nullptr;

private slots:
    void init()
    {
        line = std::make_unique<test::SimLine>();
        QString error;
        QVERIFY2(line->open(&error, {20, 1, 5000}), qPrintable(error));
        pty = &line->pty;
        port = &line->port;
        link = &line->link;
    }
    void cleanup() { line.reset(); }

    void lineDyingMidReplyEndsTheExchange()
    {
        sim::SimFault fault;
        fault.kind = sim::SimFault::HangUp;
        fault.command = QStringLiteral("a");
        pty->counter().addFault(fault);
        QSignalSpy lost(port, &ComPort::lineLost);

        QElapsedTimer clock;
        clock.start();
        QVERIFY_THROWS_EXCEPTION(LineLostError, link->Exchange(QStringLiteral("a")));
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!port->PortIsOpen());
        QCOMPARE(lost.count(), 1);
        QCOMPARE(link->log().last(), QStringLiteral("--  the dialogue ends: the line is lost"));
        // The user's words on the screen, the system's in the debug log.
        QCOMPARE(lost.first().first().toString(),
                 QStringLiteral("The connection on COM 9 was lost: the device %1 is gone "
                                "(unplugged, switched off or taken away).")
                     .arg(pty->devicePath()));
        QVERIFY(link->log().contains(QStringLiteral("--  ") + lost.first().first().toString() + " ("
                                     + port->lineDiedReason() + ")"));

        // Nothing more is reported, and the next command ends at once.
        QTest::qWait(100);
        QCOMPARE(lost.count(), 1);
        clock.restart();
        QVERIFY_THROWS_EXCEPTION(LineLostError, link->Exchange(QStringLiteral("9D")));
        QVERIFY(clock.elapsed() < 100);
    }

    void hangUpWhileIdleIsReportedOnceAndClosesThePort()
    {
        QSignalSpy lost(port, &ComPort::lineLost);
        QSignalSpy closed(port, &ComPort::closed);
        pty->hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 3000);
        QVERIFY(!port->PortIsOpen());
        QTest::qWait(200);
        QCOMPARE(lost.count(), 1);
        QCOMPARE(closed.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestDeadLine)
#include "test_deadline.moc"
