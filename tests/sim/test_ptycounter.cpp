// The simulated counter over a real pseudo-terminal, opened with QSerialPort as the
// program opens a port; and the kestrova-sim executable, on a pseudo-terminal and on the
// network.

#include "sim/ptycounter.h"

#include <QProcess>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

using namespace kfc::sim;

namespace {

// The PC end of the line: collects what arrives, and closes on the first error as the
// program does (the port would otherwise report the error without end).
struct PcPort {
    QSerialPort port;
    QByteArray in;
    qint64 crArrivedNs = 0;
    QList<QSerialPort::SerialPortError> errors;

    explicit PcPort(const QString& path)
    {
        port.setPortName(path);
        port.setBaudRate(19200);
        QObject::connect(&port, &QSerialPort::readyRead, [this] {
            in += port.readAll();
            if (!crArrivedNs && in.contains('\r'))
                crArrivedNs = monotonicNs();
        });
        QObject::connect(&port, &QSerialPort::errorOccurred, [this](QSerialPort::SerialPortError e) {
            if (e == QSerialPort::NoError)
                return;
            errors.append(e);
            if (port.isOpen())
                port.close();
        });
    }
    QByteArray exchange(const QByteArray& command)
    {
        in.clear();
        crArrivedNs = 0;
        port.write('\x02' + command + '\x03');
        const bool complete = QTest::qWaitFor([this] { return in.contains('\r'); }, 5000);
        return complete ? in : QByteArray();
    }
};

} // namespace

class TestPtyCounter : public QObject {
    Q_OBJECT

private slots:
    void exchangeThroughSerialPort()
    {
        PtyCounter pty;
        QString error;
        QVERIFY2(pty.start(&error), qPrintable(error));
        QVERIFY(pty.devicePath().startsWith("/dev/"));
        PcPort pc(pty.devicePath());
        QVERIFY2(pc.port.open(QIODevice::ReadWrite), qPrintable(pc.port.errorString()));
        QCOMPARE(pc.exchange("g"), QByteArray("123\r"));
        QCOMPARE(pty.received(), QByteArray("\x02g\x03"));
        QCOMPARE(pty.byteTimesNs().size(), 3);
        QVERIFY(pty.byteTimesNs().first() <= pty.byteTimesNs().last());
        QCOMPARE(pty.counter().commands(), QStringList{"g"});

        // The program closing and reopening its port does not upset the line.
        pc.port.close();
        QVERIFY(pc.port.open(QIODevice::ReadWrite));
        QCOMPARE(pc.exchange("9D"), QByteArray("NEW\r"));
        QVERIFY(pc.errors.isEmpty());
        pty.clearReceived();
        QVERIFY(pty.received().isEmpty() && pty.byteTimesNs().isEmpty());
    }

    void hangUpIsSeenByThePort()
    {
        PtyCounter pty;
        QVERIFY(pty.start());
        QString error;
        QVERIFY(!pty.start(&error));                 // already running
        QVERIFY(error.contains(pty.devicePath()));
        PcPort pc(pty.devicePath());
        QVERIFY(pc.port.open(QIODevice::ReadWrite));
        pty.counter().state.password = QStringLiteral("1234");
        QCOMPARE(pc.exchange("9"), QByteArray("PASSWORD\r"));
        QCOMPARE(pc.exchange("1234"), QByteArray("OK\r"));
        pty.hangUp();
        QVERIFY(!pty.isOpen());
        QVERIFY(QTest::qWaitFor([&] { return !pc.errors.isEmpty(); }, 5000));
        QVERIFY(pc.errors.first() == QSerialPort::ReadError || pc.errors.first() == QSerialPort::ResourceError);
        QVERIFY(!pc.port.isOpen());

        QVERIFY(pty.start());                        // a new line after the hang-up
        PcPort again(pty.devicePath());
        QVERIFY(again.port.open(QIODevice::ReadWrite));
        QCOMPARE(again.exchange("E5T1"), QByteArray("0250120\r"));
        QCOMPARE(again.exchange("9D"), QByteArray("OLD\r"));   // the logon died with the line
    }

    void hangUpFaultSendsHalfTheReplyFirst()
    {
        PtyCounter pty;
        QVERIFY(pty.start());
        QSignalSpy hungUp(&pty, &PtyCounter::hungUp);
        pty.counter().addFault({SimFault::HangUp, "E5T1", 1, 0});
        PcPort pc(pty.devicePath());
        QVERIFY(pc.port.open(QIODevice::ReadWrite));
        pc.port.write("\x02" "E5T1\x03");
        QVERIFY(QTest::qWaitFor([&] { return !pc.errors.isEmpty(); }, 5000));
        QCOMPARE(pc.in, QByteArray("0250"));
        QCOMPARE(hungUp.size(), 1);
    }

    void delaysAndLineSpeedHoldBackTheReply()
    {
        PtyCounter pty;
        QVERIFY(pty.start());
        pty.setLineSpeed(300);                       // 33 ms a byte
        PcPort pc(pty.devicePath());
        QVERIFY(pc.port.open(QIODevice::ReadWrite));
        QCOMPARE(pc.exchange("E5T1"), QByteArray("0250120\r"));
        const qint64 etxNs = pty.byteTimesNs().last();
        QVERIFY2(pc.crArrivedNs - etxNs >= 8 * 33'000'000LL,
                 qPrintable(QString::number((pc.crArrivedNs - etxNs) / 1e6)));

        pty.setLineSpeed(0);
        pty.counter().addFault({SimFault::SlowReply, "g", 1, 400});
        pty.clearReceived();
        QCOMPARE(pc.exchange("g"), QByteArray("123\r"));
        QVERIFY(pc.crArrivedNs - pty.byteTimesNs().last() >= 400'000'000LL);
    }

    void executableAnnouncesItsDeviceAndStopsOnTerm()
    {
        QProcess sim;
        sim.start(QStringLiteral(KFC_SIM_EXE), {"--quiet", "--fish-interval", "0", "--version-number", "8.8",
                                                "--password", "4321", "--no-reply", "g", "--slow", "ACK:10"});
        QVERIFY(sim.waitForStarted(5000));
        QVERIFY(sim.waitForReadyRead(10000));
        const QString announce = QString::fromLocal8Bit(sim.readLine()).trimmed();
        QVERIFY2(announce.startsWith("kestrova-sim: counter on /dev/"), qPrintable(announce));
        PcPort pc(announce.section(' ', -1));
        QVERIFY(pc.port.open(QIODevice::ReadWrite));
        QCOMPARE(pc.exchange("9D"), QByteArray("OLD\r"));
        QVERIFY(pc.exchange("a").contains(" KFC V8.80 Kestrova FC4\r"));
        QCOMPARE(pc.exchange("\x06").size(), 56);
        QCOMPARE(pc.exchange("g"), QByteArray());
        pc.port.close();
        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
    }

    // --listen: the counter over TCP, one connection at a time; the next one finds it
    // logged off, as after a hang-up.
    void executableServesOnTheNetwork()
    {
        QProcess sim;
        sim.start(QStringLiteral(KFC_SIM_EXE), {"--quiet", "--password", "4321", "--listen", "127.0.0.1:0"});
        QVERIFY(sim.waitForReadyRead(10000));
        const QString announce = QString::fromLocal8Bit(sim.readLine()).trimmed();
        QVERIFY2(announce.startsWith("kestrova-sim: counter on tcp://127.0.0.1:"), qPrintable(announce));
        QTcpSocket pc[3];
        const auto exchange = [&](int i, const QByteArray& command) {
            if (pc[i].state() == QAbstractSocket::UnconnectedState)
                pc[i].connectToHost(QHostAddress::LocalHost, announce.section(':', -1).toUShort());
            pc[i].write('\x02' + command + '\x03');
            QByteArray in;
            const bool ended = QTest::qWaitFor([&] {
                return (in += pc[i].readAll()).contains('\r') || pc[i].state() == QAbstractSocket::UnconnectedState;
            }, 5000);
            return ended ? in : QByteArray("no reply");
        };
        QCOMPARE(exchange(0, "9"), QByteArray("PASSWORD\r"));
        QCOMPARE(exchange(0, "4321"), QByteArray("OK\r"));
        QCOMPARE(exchange(1, "9D"), QByteArray());   // closed unanswered: the line is taken
        pc[0].disconnectFromHost();
        QCOMPARE(exchange(2, "9D"), QByteArray("OLD\r"));
        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 0);
    }

    // The buffer, its fill and the clock as a fleet of simulated counters is set up.
    void executableTakesBufferAndClock_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("eventCount");
        QTest::addColumn<QString>("bufferSize");
        QTest::addColumn<int>("driftSecs");
        QTest::newRow("defaults") << QStringList{} << "00000" << "04000" << 0;
        QTest::newRow("set") << QStringList{"--events", "7", "--max-events", "50", "--clock-drift", "-600"} << "00007"
                             << "00050" << -600;
        QTest::newRow("buffer grown to the events, clock ahead")
            << QStringList{"--events", "4500", "--clock-drift", "3600"} << "04500" << "04500" << 3600;
    }
    void executableTakesBufferAndClock()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, eventCount);
        QFETCH(QString, bufferSize);
        QFETCH(int, driftSecs);
        QProcess sim;
        sim.start(QStringLiteral(KFC_SIM_EXE), QStringList{"--quiet", "--fish-interval", "0"} + args);
        QVERIFY(sim.waitForReadyRead(10000));
        PcPort pc(QString::fromLocal8Bit(sim.readLine()).trimmed().section(' ', -1));
        QVERIFY(pc.port.open(QIODevice::ReadWrite));
        const QDateTime pcClock = QDateTime::currentDateTime();
        const QStringList status = QString::fromLatin1(pc.exchange("a")).split(' ');
        const QDateTime counterClock = QDateTime::fromString(status.value(0) + ' ' + status.value(1), "dd/MM/yy hh:mm:ss");
        QVERIFY2(std::abs(pcClock.secsTo(counterClock.addYears(100)) - driftSecs) <= 2, qPrintable(status.join(' ')));
        QCOMPARE(status.value(7), eventCount);
        pc.exchange("f");
        QCOMPARE(pc.exchange("\x06"), "0 0 0 100 100 " + bufferSize.toLatin1() + '\r');
        pc.port.close();
        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
    }

    void executableRefusesBadOptions_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("fish interval") << QStringList{"--fish-interval", "often"};
        QTest::newRow("slow without delay") << QStringList{"--slow", "g"};
        QTest::newRow("version") << QStringList{"--version-number", "new"};
        QTest::newRow("stray argument") << QStringList{"extra"};
        QTest::newRow("clock drift") << QStringList{"--clock-drift", "-10m"};
        QTest::newRow("empty buffer") << QStringList{"--max-events", "0"};
        QTest::newRow("buffer beyond the status field") << QStringList{"--max-events", "100000"};
        QTest::newRow("events beyond the buffer") << QStringList{"--max-events", "10", "--events", "11"};
        QTest::newRow("listen without a port") << QStringList{"--listen", "127.0.0.1"};
        QTest::newRow("listen on a name") << QStringList{"--listen", "weir.example.org:4001"};
        QTest::newRow("listen beyond the ports") << QStringList{"--listen", "127.0.0.1:65536"};
        QTest::newRow("listen with a modem") << QStringList{"--listen", "127.0.0.1:0", "--modem"};
        QTest::newRow("listen at a line speed") << QStringList{"--listen", "127.0.0.1:0", "--line-speed", "9600"};
    }
    void executableRefusesBadOptions()
    {
        QFETCH(QStringList, args);
        QProcess sim;
        sim.start(QStringLiteral(KFC_SIM_EXE), args);
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitCode(), 2);
        QVERIFY(sim.readAllStandardOutput().isEmpty());
        QVERIFY(sim.readAllStandardError().startsWith("kestrova-sim: "));
    }
};

QTEST_GUILESS_MAIN(TestPtyCounter)
#include "test_ptycounter.moc"
