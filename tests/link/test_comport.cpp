// The port service: opening, input and output rules, the activity lamps, port names,
// network lines and the waiting primitive.

#include "link/comport.h"
#include "link/errors.h"
#include "link/hooks.h"
#include "link/networkaddress.h"
#include "link/wait.h"
#include "support/fakeportdevice.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTcpServer>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

using namespace kfc;
using kfc::test::FakePortDevice;

namespace {

// A port of 127.0.0.1 on which nothing listens.
quint16 closedPort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

#ifdef Q_OS_UNIX
// A listener on 127.0.0.1 whose queue of connections is full: the system answers no
// further attempt, so a connection to it hears nothing until it gives up.
class SilentListener {
public:
    SilentListener()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        m_fds << ::socket(AF_INET, SOCK_STREAM, 0);
        if (::bind(m_fds[0], reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(m_fds[0], 0) != 0
            || ::getsockname(m_fds[0], reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        port = ntohs(address.sin_port);
        for (int i = 0; i < 3; ++i) {
            m_fds << ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(m_fds.last(), reinterpret_cast<sockaddr*>(&address), size);
        }
    }
    ~SilentListener()
    {
        for (int fd : m_fds)
            ::close(fd);
    }
    quint16 port = 0;

private:
    QList<int> m_fds;
};
#endif

} // namespace

class TestComPort : public QObject {
    Q_OBJECT

    FakePortDevice* device = nullptr;
    std::unique_ptr<ComPort> port;
    QStringList messages;

private slots:
    void init()
    {
        auto fake = std::make_unique<FakePortDevice>();
        device = fake.get();
        port = std::make_unique<ComPort>(std::move(fake));
        port->portNames().setOverride(3, QStringLiteral("/dev/fake3"));
        port->settings.comNumber = 3;
        messages.clear();
        hooks().showMessage = [this](MessageKind, const QString& text) { messages << text; };
    }
    void cleanup()
    {
        hooks().showMessage = nullptr;
        port.reset();
    }

    void designTimeValues()
    {
        ComPort fresh(std::make_unique<FakePortDevice>());
        QCOMPARE(fresh.settings, SerialSettings{});
        QCOMPARE(fresh.settings.comNumber, 1);
        QCOMPARE(fresh.settings.baud, 19200);
        QCOMPARE(fresh.settings.parity, Parity::Even);
        QCOMPARE(fresh.settings.dataBits, 7);
        QCOMPARE(fresh.settings.stopBits, 1);
        QCOMPARE(fresh.BufferFull, 3686);
        QCOMPARE(fresh.BufferResume, 409);
        QVERIFY(!fresh.PortIsOpen());
        QVERIFY(!fresh.TapiMode);
    }

    void openUsesTheMappedDeviceAndSettings()
    {
        port->settings.baud = 2400;
        port->settings.parity = Parity::Odd;
        QSignalSpy opened(port.get(), &ComPort::opened);
        QVERIFY(port->OpenPort());
        QVERIFY(port->PortIsOpen());
        QCOMPARE(device->openedDevice, QStringLiteral("/dev/fake3"));
        QCOMPARE(device->openedSettings.baud, 2400);
        QCOMPARE(device->openedSettings.parity, Parity::Odd);
        QCOMPARE(opened.count(), 1);
    }

    void speedChangesWhileOpenWithoutLosingInput_data()
    {
        QTest::addColumn<bool>("refused");
        QTest::addColumn<int>("speedAfter");
        QTest::newRow("taken") << false << 2400;
        QTest::newRow("refused by the device") << true << 19200;
    }
    void speedChangesWhileOpenWithoutLosingInput()
    {
        QFETCH(bool, refused);
        QFETCH(int, speedAfter);
        QSignalSpy closed(port.get(), &ComPort::closed);
        QVERIFY(port->OpenPort());
        device->feed("OK\r");
        device->refuseBaud = refused;
        QCOMPARE(port->setBaudWhileOpen(2400), !refused);
        QCOMPARE(port->settings.baud, speedAfter);
        QCOMPARE(device->openedSettings.baud, speedAfter);
        QVERIFY(port->PortIsOpen());
        QCOMPARE(closed.count(), 0);
        QCOMPARE(port->readAll(), QByteArray("OK\r"));
    }

    void failedOpenShowsTheDevicesOwnErrorAndStaysClosed()
    {
        device->failNextOpen(QStringLiteral("No such file or directory"));
        QVERIFY(!port->OpenPort());
        QVERIFY(!port->PortIsOpen());
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages.first().contains(QStringLiteral("No such file or directory")));
        QVERIFY(messages.first().contains(QStringLiteral("COM 3")));
    }

    void realDeviceThatDoesNotExist()
    {
        ComPort real;
        real.portNames().setOverride(7, QStringLiteral("/dev/kfc-no-such-device"));
        real.settings.comNumber = 7;
        QVERIFY(!real.OpenPort());
        QVERIFY(!real.PortIsOpen());
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages.first().startsWith(QStringLiteral("Cannot open COM 7")));
    }

    void inputAndOutputOnAClosedPortRaise()
    {
        QVERIFY_THROWS_EXCEPTION(PortError, port->ReadByte());
        QVERIFY_THROWS_EXCEPTION(PortError, port->InputAvailable());
        QVERIFY_THROWS_EXCEPTION(PortError, port->WriteByte('x'));
        QVERIFY_THROWS_EXCEPTION(PortError, port->DiscardInput());
        port->ClosePort();  // closing a closed port does nothing
        QVERIFY(!port->PortIsOpen());
    }

    void discardInputDropsWhatArrived()
    {
        QVERIFY(port->OpenPort());
        device->feed("abc");
        QVERIFY(port->InputAvailable());
        port->DiscardInput();
        QVERIFY(!port->InputAvailable());
        device->feed("d");
        QCOMPARE(port->ReadByte(), quint8('d'));
    }

    void lampsFollowTrafficOnlyWhileMonitoring()
    {
        QSignalSpy lamps(port.get(), &ComPort::lampsChanged);
        QVERIFY(port->OpenPort());
        port->WriteByte('x');
        QVERIFY(!port->txLit());  // monitoring is off until the first command

        port->switchMonitoringOn();
        port->WriteByte('x');
        QVERIFY(port->txLit());
        device->feed("y");
        QVERIFY(port->rxLit());
        QTRY_VERIFY_WITH_TIMEOUT(!port->txLit() && !port->rxLit(), 1000);
        QCOMPARE(lamps.last(), (QVariantList{false, false}));
    }

    void lampStaysLit55msAfterTheLastByte()
    {
        port->switchMonitoringOn();
        QVERIFY(port->OpenPort());
        QElapsedTimer clock;
        clock.start();
        port->WriteByte('x');
        QTRY_VERIFY_WITH_TIMEOUT(!port->txLit(), 1000);
        QVERIFY(clock.elapsed() >= ComPort::kLampHoldMs);
    }

    void monitoringWishedBeforeOpeningTakesEffectOnOpen()
    {
        port->switchMonitoringOn();
        QVERIFY(port->monitoringRequested());
        QVERIFY(!port->monitoring());
        QVERIFY(port->OpenPort());
        QVERIFY(port->monitoring());
    }

    void deadLineClosesThePortOnce()
    {
        QVERIFY(port->OpenPort());
        QSignalSpy lost(port.get(), &ComPort::lineLost);
        QSignalSpy closed(port.get(), &ComPort::closed);
        device->die(QStringLiteral("Input/output error"));
        QVERIFY(!port->PortIsOpen());
        QCOMPARE(lost.count(), 1);
        QCOMPARE(closed.count(), 1);
        QCOMPARE(lost.first().first().toString(),
                 QStringLiteral("The connection on COM 3 was lost: the device %1 is gone "
                                "(unplugged, switched off or taken away).")
                     .arg(port->deviceName()));
        QCOMPARE(port->lineDiedReason(), QStringLiteral("Input/output error"));
    }

    void delayLastsAtLeastItsTimeAndKeepsEventsRunning()
    {
        int ticks = 0;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start(10);
        QElapsedTimer clock;
        clock.start();
        DelayWithEvents(100);
        QVERIFY(clock.elapsed() >= 100);
        QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
        DelayWithEvents(0);
    }

    void defaultDeviceTable()
    {
#ifdef Q_OS_WIN
        QCOMPARE(PortNames::defaultDeviceFor(5), QStringLiteral("COM5"));
#else
        QCOMPARE(PortNames::defaultDeviceFor(1), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(PortNames::defaultDeviceFor(16), QStringLiteral("/dev/ttyS15"));
        QCOMPARE(PortNames::defaultDeviceFor(17), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(PortNames::defaultDeviceFor(33), QStringLiteral("/dev/ttyACM0"));
        QCOMPARE(PortNames::defaultDeviceFor(49), QString());
#endif
        QCOMPARE(PortNames::defaultDeviceFor(0), QString());
        QCOMPARE(PortNames::defaultDeviceFor(100), QString());
    }

    void portsGroupRoundTripsThroughTheSettingsStore()
    {
        QTemporaryDir dir;
        QSettings settings(dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
        PortNames names;
        names.setOverride(9, QStringLiteral("/dev/pts/4"));
        names.setOverride(12, QStringLiteral("/dev/ttyUSB3"));
        names.save(settings);
        QCOMPARE(settings.value(QStringLiteral("Ports/COM9")).toString(), QStringLiteral("/dev/pts/4"));
        PortNames loaded;
        loaded.load(settings);
        QCOMPARE(loaded.overrides(), names.overrides());
        QCOMPARE(loaded.deviceFor(12), QStringLiteral("/dev/ttyUSB3"));
        QCOMPARE(loaded.deviceFor(2), PortNames::defaultDeviceFor(2));
        QVERIFY(loaded.freeComNumber() != 9 && loaded.freeComNumber() != 12);
    }

    void networkAddressTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("parsed");   // "HOST PORT", or what the refusal says
        QTest::newRow("name") << "tcp://weir-7.example.org:4001" << "weir-7.example.org 4001";
        QTest::newRow("address, scheme in capitals") << "TCP://10.1.2.3:4001" << "10.1.2.3 4001";
        QTest::newRow("IPv6") << "tcp://[::1]:65535" << "::1 65535";
        QTest::newRow("no port") << "tcp://10.1.2.3" << "the port number is missing";
        QTest::newRow("port too high") << "tcp://10.1.2.3:65536" << "the port must be a number from 1 to 65535";
        QTest::newRow("no host") << "tcp://:4001" << "the host is missing";
        QTest::newRow("IPv6 without brackets") << "tcp://::1:4001" << "an IPv6 address goes in brackets";
    }
    void networkAddressTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, parsed);
        QString problem;
        const std::optional<NetworkAddress> address = parseNetworkAddress(text, &problem);
        if (address)
            QCOMPARE(address->host + ' ' + QString::number(address->port), parsed);
        else
            QCOMPARE(problem, QStringLiteral("%1 is not a network line: %2 (give tcp://HOST:PORT, for example "
                                             "tcp://10.1.2.3:4001)").arg(text, parsed));
    }

    void networkLineThatCannotBeReached_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("connectTimeoutMs");
        QTest::addColumn<QString>("reason");
        QTest::newRow("unknown host") << "kfc-counter.invalid" << TcpPortDevice::kConnectTimeoutMs
                                      << "the host name is not known";
        QTest::newRow("refused") << "127.0.0.1" << TcpPortDevice::kConnectTimeoutMs
                                 << "the connection was refused (nothing listens on that port)";
#ifdef Q_OS_UNIX
        // A listener whose queue is full.
        QTest::newRow("no answer") << "127.0.0.1" << 300 << "no answer within 300 ms";
#endif
    }
    void networkLineThatCannotBeReached()
    {
        QFETCH(QString, host);
        QFETCH(int, connectTimeoutMs);
        QFETCH(QString, reason);
        const bool silent = reason.startsWith("no answer");
#ifdef Q_OS_UNIX
        SilentListener full;
        const quint16 port = silent ? full.port : closedPort();
#else
        const quint16 port = closedPort();
#endif
        QVERIFY(port != 0);
        ComPort real;
        real.connectTimeoutMs = connectTimeoutMs;
        real.portNames().setOverride(20, QStringLiteral("tcp://%1:%2").arg(host).arg(port));
        real.settings.comNumber = 20;
        // The user interface runs while the connection is tried.
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start(10);
        QVERIFY(!real.OpenPort());
        QVERIFY(!real.PortIsOpen());
        QCOMPARE(messages, QStringList{QStringLiteral("Cannot reach %1:%2: %3").arg(host).arg(port).arg(reason)});
        if (silent)
            QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    }

#ifdef Q_OS_UNIX
    void presentPortsNameTheirDeviceAndStableName()
    {
        QTemporaryDir dir;
        const QString adapter = dir.filePath(QStringLiteral("ttyUSB0"));
        const QString plain = dir.filePath(QStringLiteral("ttyS4"));
        for (const QString& path : {adapter, plain}) {
            QFile device(path);
            QVERIFY(device.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("by-id")));
        const QString byId = dir.filePath(QStringLiteral("by-id"));
        const QString stable = QStringLiteral("usb-Maker_Cable_A5028-if00-port0");
        QVERIFY(QFile::link(QStringLiteral("../ttyUSB0"), byId + QLatin1Char('/') + stable));

        PortNames names;
        names.setOverride(57, adapter);
        names.setOverride(58, plain);
        QStringList shown;
        for (const PresentPort& port : names.presentPorts(byId)) {
            if (port.comNumber >= 57)
                shown << port.entry + QLatin1Char('=') + port.description();
        }
        QCOMPARE(shown, (QStringList{QStringLiteral("COM 57=%1  (%2)").arg(adapter, stable),
                                     QStringLiteral("COM 58=") + plain}));
    }

    void portHeldByAnotherProgramIsStillListed()
    {
        int master = posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0);
        QVERIFY(grantpt(master) == 0 && unlockpt(master) == 0);
        const QString slave = QString::fromLocal8Bit(ptsname(master));

        PortNames names;
        names.setOverride(42, slave);
        names.setOverride(43, QStringLiteral("/dev/kfc-no-such-device"));
        QVERIFY(names.listPresentPorts().contains(QStringLiteral("COM 42")));

        QSerialPort holder(slave);  // another program holds it, exclusively
        QVERIFY(holder.open(QIODevice::ReadWrite));
        const QStringList present = names.listPresentPorts();
        QVERIFY(present.contains(QStringLiteral("COM 42")));
        QVERIFY(!present.contains(QStringLiteral("COM 43")));
        holder.close();
        ::close(master);
    }
#endif
};

QTEST_GUILESS_MAIN(TestComPort)
#include "test_comport.moc"
