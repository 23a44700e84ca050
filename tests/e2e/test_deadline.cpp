// A line that dies under the program, over a real pseudo-terminal: the port closes, the
// wait in progress ends at once with an empty reply, and the loss is reported once.

#include "link/comport.h"
#include "link/link.h"
#include "sim/ptycounter.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace kfc;

class TestDeadLine : public QObject {
    Q_OBJECT

    std::unique_ptr<sim::PtyCounter> pty;
    std::unique_ptr<ComPort> port;
    std::unique_ptr<Link> link;

private slots:
    void init()
    {
        pty = std::make_unique<sim::PtyCounter>();
        QString error;
        QVERIFY2(pty->start(&error), qPrintable(error));
        port = std::make_unique<ComPort>();
        port->portNames().setOverride(9, pty->devicePath());
        port->settings.comNumber = 9;
        QVERIFY(port->OpenPort());
        link = std::make_unique<Link>(*port);
        link->timing = {20, 1, 5000};
    }
    void cleanup()
    {
        link.reset();
        port.reset();
        pty.reset();
    }

    void lineDyingMidReplyEndsTheExchange()
    {
        sim::SimFault fault;
        fault.kind = sim::SimFault::HangUp;
        fault.command = QStringLiteral("a");
        pty->counter().addFault(fault);
        QSignalSpy lost(port.get(), &ComPort::lineLost);

        QElapsedTimer clock;
        clock.start();
        QCOMPARE(link->Exchange(QStringLiteral("a")), QString());
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!port->PortIsOpen());
        QCOMPARE(lost.count(), 1);
        QCOMPARE(link->log().last(), QStringLiteral("Rx  "));

        // Nothing more is reported, and the next command returns at once.
        QTest::qWait(100);
        QCOMPARE(lost.count(), 1);
        clock.restart();
        QCOMPARE(link->Exchange(QStringLiteral("9D")), QString());
        QVERIFY(clock.elapsed() < 100);
    }

    void hangUpWhileIdleIsReportedOnceAndClosesThePort()
    {
        QSignalSpy lost(port.get(), &ComPort::lineLost);
        QSignalSpy closed(port.get(), &ComPort::closed);
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
