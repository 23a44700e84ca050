// The real protocol timing over a pseudo-terminal, as the counter sees it: the frame
// starts at least 500 ms after the call and every byte comes at least 20 ms after the one
// before it.

#include "support/simline.h"

#include <QTest>

using namespace kfc;

class TestPacing : public QObject {
    Q_OBJECT
private slots:
    void frameIsPacedWithTheRealDelays()
    {
        test::SimLine line;
        QString error;
        QVERIFY2(line.open(&error, Timing{}), qPrintable(error));
        sim::PtyCounter& pty = line.pty;
        Link& link = line.link;
        QCOMPARE(link.timing.settleMs, 500);
        QCOMPARE(link.timing.byteGapMs, 20);
        QCOMPARE(link.timing.replyTimeoutMs, 5000);

        pty.clearReceived();
        const qint64 callNs = sim::monotonicNs();
        const QString reply = link.Exchange(QStringLiteral("E5T3"));
        QCOMPARE(reply, QStringLiteral("0250120"));

        const QByteArray received = pty.received();
        QCOMPARE(received, QByteArray("\x02" "E5T3" "\x03"));
        const QList<qint64> times = pty.byteTimesNs();
        QCOMPARE(times.size(), received.size());
        // A byte is seen here no sooner than it was written, so byte i can never be seen
        // before the settle time and i gaps have passed. The gap between two arrivals is
        // also taken, with room for the reader being woken late for the earlier byte on a
        // loaded machine (seen: 18 ms), which could not hide a missing gap.
        constexpr double kWakeAllowanceMs = 5.0;
        for (int i = 0; i < times.size(); ++i) {
            const double sinceCallMs = (times[i] - callNs) / 1e6;
            QVERIFY2(sinceCallMs >= 500.0 + 20.0 * i,
                     qPrintable(QStringLiteral("byte %1 came %2 ms after the call").arg(i).arg(sinceCallMs)));
            if (i == 0)
                continue;
            const double gapMs = (times[i] - times[i - 1]) / 1e6;
            QVERIFY2(gapMs >= 20.0 - kWakeAllowanceMs,
                     qPrintable(QStringLiteral("byte %1 came %2 ms after the one before").arg(i).arg(gapMs)));
        }
    }
};

QTEST_GUILESS_MAIN(TestPacing)
#include "test_pacing.moc"
