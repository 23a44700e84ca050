// Text from the line made fit to show, commands that cannot go on the line, and the
// password masking of the debug log.

#include "link/comport.h"
#include "link/errors.h"
#include "link/link.h"
#include "link/untrusted.h"
#include "support/fakeportdevice.h"

#include <QTest>

using namespace kfc;

class TestUntrusted : public QObject {
    Q_OBJECT
private slots:
    void printableEscapesControlBytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("doubled");   // the command-line client's form
        QTest::newRow("plain") << "OK 12.5 V8.9" << "OK 12.5 V8.9" << "OK 12.5 V8.9";
        QTest::newRow("zero first") << QString(QChar(0)) + "12" << "\\x0012" << "\\x0012";
        QTest::newRow("zeros only") << QString(3, QChar(0)) << "\\x00\\x00\\x00" << "\\x00\\x00\\x00";
        QTest::newRow("escape sequence") << "\x1b[2J\x1b]0;t\x07" << "\\x1B[2J\\x1B]0;t\\x07" << "\\x1B[2J\\x1B]0;t\\x07";
        QTest::newRow("CR LF TAB") << "a\r\n\tb" << "a\\x0D\\x0A\\x09b" << "a\\x0D\\x0A\\x09b";
        QTest::newRow("DEL") << "a\x7f" << "a\\x7F" << "a\\x7F";
        QTest::newRow("C1 range") << QString(QChar(0x80)) + QChar(0x9b) + QChar(0x9f) << "\\x80\\x9B\\x9F" << "\\x80\\x9B\\x9F";
        QTest::newRow("Latin-1 letters stay") << QString(QChar(0xa0)) + QChar(0xe9) + QChar(0xff)
                                              << QString(QChar(0xa0)) + QChar(0xe9) + QChar(0xff)
                                              << QString(QChar(0xa0)) + QChar(0xe9) + QChar(0xff);
        QTest::newRow("backslash stays") << "\\x41\\" << "\\x41\\" << "\\\\x41\\\\";
        QTest::newRow("already escaped") << "\\x1B[2J" << "\\x1B[2J" << "\\\\x1B[2J";
    }
    void printableEscapesControlBytes()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(printable(text), shown);
        QCOMPARE(printable(printable(text)), shown);
        QTEST(printable(text, Backslashes::Doubled), "doubled");
        // An error quoting the text keeps all of it, also through what().
        const LinkError error(QStringLiteral("'%1' is bad").arg(text));
        QCOMPARE(error.text(), "'" + shown + "' is bad");
        QCOMPARE(QString::fromUtf8(error.what()), error.text());
    }

    void passwordsAreMaskedInTheLog_data()
    {
        QTest::addColumn<QString>("previous");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("logged");
        QTest::newRow("state") << "" << "9D" << "9D";
        QTest::newRow("logon step") << "9D" << "9" << "9";
        QTest::newRow("logon password") << "9" << "0042" << "****";
        QTest::newRow("long logon password") << "9" << "123456" << "******";
        QTest::newRow("set") << "9D" << "90042" << "9****";
        QTest::newRow("change") << "9D" << "910042" << "9*****";
        QTest::newRow("logoff") << "9D" << "92" << "92";
        QTest::newRow("after the password") << "0042" << "a" << "a";
        QTest::newRow("other commands") << "a" << "E5T2" << "E5T2";
    }
    void passwordsAreMaskedInTheLog()
    {
        QFETCH(QString, previous);
        QFETCH(QString, command);
        QFETCH(QString, logged);
        QCOMPARE(maskedCommand(command, previous), logged);
    }

    void aCommandWithNoEightBitFormIsRefusedWhole_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("named");
        QTest::newRow("emoji") << QString::fromUtf8("E5T\xF0\x9F\x90\x9F") << QString::fromUtf8("\xF0\x9F\x90\x9F");
        QTest::newRow("euro sign") << QString::fromUtf8("9\xE2\x82\xAC") << QString::fromUtf8("\xE2\x82\xAC");
    }
    void aCommandWithNoEightBitFormIsRefusedWhole()
    {
        QFETCH(QString, command);
        QFETCH(QString, named);
        auto fake = std::make_unique<test::FakePortDevice>();
        test::FakePortDevice* device = fake.get();
        ComPort port(std::move(fake));
        port.portNames().setOverride(1, QStringLiteral("/dev/fake"));
        QVERIFY(port.OpenPort());
        Link link(port);
        link.timing = Timing::shrunk();
        QVERIFY(!fitsOnLine(command));
        try {
            link.SendCommand(command);
            QFAIL("sent");
        } catch (const CommandTextError& e) {
            QCOMPARE(e.text(), QStringLiteral("The command cannot be sent: '%1' is not a character the "
                                              "counter can receive.").arg(named));
        }
        QVERIFY(device->written.isEmpty());
        QVERIFY(link.SendCommand(QString(QChar(0xe9))));  // Latin-1 goes as its byte
        QCOMPARE(device->written, QByteArray("\x02\xe9\x03"));
    }
};

QTEST_GUILESS_MAIN(TestUntrusted)
#include "test_untrusted.moc"
