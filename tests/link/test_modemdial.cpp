// The modem dialler: result lines and their progress texts on an in-memory port, and whole
// calls against the simulated modem on a pseudo-terminal.

#include "link/comport.h"
#include "link/modemdial.h"
#include "sim/ptycounter.h"
#include "sim/simmodem.h"
#include "support/fakeportdevice.h"

#include <QTest>
#include <QTimer>

using namespace kfc;
using kfc::test::FakePortDevice;

namespace {
const QString kNumber = QStringLiteral("0161");
const QString kDialling = QStringLiteral("Dialling 0161");
const QString kEcho = QStringLiteral("Modem responded. Dialling 0161");
const QString kBusy = QStringLiteral("Number is busy. Please try later");
const QString kNoCarrier = QStringLiteral("No modem detected at remote end. Aborting...");
const QString kNoDial = QStringLiteral("No Dial Tone detected. Is modem connected to phone line?");
const QString kRefused = QStringLiteral("The modem refused the dial command (ERROR). Check the number.");
} // namespace

class TestModemDial : public QObject {
    Q_OBJECT

private slots:
    void resultLines_data()
    {
        QTest::addColumn<QByteArray>("burst");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QByteArray>("leftOver");
        const int t = 150;
        const QString none = QStringLiteral("No answer within 0.15 seconds");
        QTest::newRow("echo then connect") << QByteArray("ATDT0161\r\r\nCONNECT 9600\r\n") << t
                                           << QStringList{kDialling, kEcho, "Connected"} << true << QByteArray();
        QTest::newRow("busy after connect unseen") << QByteArray("\r\nCONNECT\r\nBUSY\r\n") << t
                                                   << QStringList{kDialling, "Connected"} << true << QByteArray("BUSY\r");
        QTest::newRow("busy") << QByteArray("\r\nBUSY\r\n") << t << QStringList{kDialling, kBusy} << false << QByteArray();
        QTest::newRow("no carrier") << QByteArray("\r\nNO CARRIER\r\n") << t << QStringList{kDialling, kNoCarrier}
                                    << false << QByteArray();
        QTest::newRow("no dialtone") << QByteArray("\r\nNO DIALTONE\r\n") << t << QStringList{kDialling, kNoDial}
                                     << false << QByteArray();
        QTest::newRow("no dial tone") << QByteArray("\r\nNO DIAL TONE\r\n") << t << QStringList{kDialling, kNoDial}
                                      << false << QByteArray();
        // Ends the dial at once: the rest of the burst is not read as the call's.
        QTest::newRow("error") << QByteArray("ATDT0161\r\r\nERROR\r\nCONNECT\r\n") << 60000
                               << QStringList{kDialling, kEcho, kRefused} << false << QByteArray("CONNECT\r");
        QTest::newRow("error not at start") << QByteArray("\r\n0 ERROR\r\n") << t << QStringList{kDialling, none}
                                            << false << QByteArray();
        QTest::newRow("lower case") << QByteArray("\r\nconnect\r\nerror\r\n") << t << QStringList{kDialling, none}
                                    << false << QByteArray();
        QTest::newRow("not at start") << QByteArray("\r\nxCONNECT\r\n") << t << QStringList{kDialling, none} << false
                                      << QByteArray();
        QTest::newRow("numeric, ok, ring, no answer") << QByteArray("1\rOK\r\nRING\r\nNO ANSWER\r\n") << t
                                                      << QStringList{kDialling, none} << false << QByteArray();
        QTest::newRow("no carriage return") << QByteArray("\r\nCONNECT 9600") << t << QStringList{kDialling, none}
                                            << false << QByteArray("CONNECT 9600");
        QTest::newRow("connect waiting at deadline") << QByteArray("CONNECT 9600\r\n") << 0
                                                     << QStringList{kDialling, "No answer within 0 seconds"} << false
                                                     << QByteArray();
    }
    void resultLines()
    {
        QFETCH(QByteArray, burst);
        QFETCH(int, timeoutMs);
        QFETCH(QStringList, lines);
        QFETCH(bool, connected);
        QFETCH(QByteArray, leftOver);
        auto fake = std::make_unique<FakePortDevice>();
        FakePortDevice* device = fake.get();
        ComPort port(std::move(fake));
        port.portNames().setOverride(5, QStringLiteral("/dev/modem"));
        port.settings.comNumber = 5;
        QVERIFY(port.openQuietly(nullptr));
        device->feed(burst);

        ModemDialer dialer(port);
        QStringList said;
        dialer.progress = [&said](const QString& text) { said << text; };
        QCOMPARE(dialer.dial(kNumber, timeoutMs), connected);
        QCOMPARE(said, lines);
        QCOMPARE(device->written, QByteArray("ATDT0161\r"));
        QCOMPARE(port.PortIsOpen(), connected);
        QCOMPARE(dialer.state(), connected ? DialState::dsConnected : DialState::dsFailed);
        QCOMPARE(dialer.replyBuffer(), leftOver);
    }

    void portText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("number");
        QTest::newRow("COM12") << "COM12" << 12;
        QTest::newRow("COMx") << "COMx" << 0;
        QTest::newRow("LPT1") << "LPT1" << 0;
        QTest::newRow("lower case") << "com3" << 0;
        QTest::newRow("empty") << "" << 0;
    }
    void portText()
    {
        QFETCH(QString, text);
        QFETCH(int, number);
        QCOMPARE(comNumberFromPortText(text), number);
    }

    // Whole calls through the simulated modem, by the number rule: the last digit.
    void simulatedCall_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("result");
        QTest::addColumn<bool>("cancel");
        QTest::newRow("connect") << "01632 960001" << "Connected" << false;
        QTest::newRow("busy") << "01632 960002" << kBusy << false;
        QTest::newRow("no carrier") << "01632 960003" << kNoCarrier << false;
        QTest::newRow("no dial tone") << "01632 960004" << kNoDial << false;
        QTest::newRow("silence") << "01632 960005" << "No answer within 0.6 seconds" << false;
        QTest::newRow("cancel") << "01632 960005" << "Dial cancelled" << true;
        QTest::newRow("refused character") << "+44 1632 960001" << kRefused << false;
    }
    void simulatedCall()
    {
        QFETCH(QString, number);
        QFETCH(QString, result);
        QFETCH(bool, cancel);
        sim::SimModem modem;
        modem.setRingMs(30);
        sim::PtyCounter pty;
        pty.setModem(&modem);
        QString error;
        QVERIFY2(pty.start(&error), qPrintable(error));
        ComPort port;
        port.portNames().setOverride(9, pty.devicePath());
        port.settings.comNumber = 9;
        QVERIFY2(port.openQuietly(&error), qPrintable(error));

        ModemDialer dialer(port);
        QStringList said;
        dialer.progress = [&said](const QString& text) { said << text; };
        if (cancel)
            QTimer::singleShot(100, [&dialer] { dialer.cancel(); });
        QElapsedTimer clock;
        clock.start();
        const bool connected = dialer.dial(number, cancel ? 5000 : 600);
        QCOMPARE(connected, result == QLatin1String("Connected"));
        if (cancel)
            QVERIFY(clock.elapsed() < 4000);   // ended by the button, not the deadline
        QCOMPARE(pty.received(), "ATDT" + number.toLatin1() + '\r');
        QStringList expected{"Dialling " + number, "Modem responded. Dialling " + number};
        if (!result.isEmpty())
            expected << result;
        QCOMPARE(said, expected);
        QCOMPARE(port.PortIsOpen(), connected);

        if (connected) {
            // Online: the line reaches the counter; closing the port ends the call, and the
            // modem takes commands again.
            port.WriteText("\x02" "a\x03");
            QTRY_COMPARE(pty.counter().commands().value(0), QStringLiteral("a"));
            port.ClosePort();
            QTRY_VERIFY(!modem.online());
            QVERIFY(port.openQuietly(&error));
            ModemDialer again(port);
            QVERIFY(!again.dial(QStringLiteral("2"), 600));
        }
    }
};

QTEST_GUILESS_MAIN(TestModemDial)
#include "test_modemdial.moc"
