// Demo mode: a simulated counter offered on a free COM number and preselected, reached by
// "&Direct Connection" and "&OK", with the user's own settings left untouched.

#include "connect/phonebookfile.h"
#include "connect/tfrmmodem.h"
#include "support/apptest.h"

#include <QFile>
#include <QLabel>

using namespace kfc;
using namespace kfc::app;
using namespace kfc::connect;

class TestDemoMode : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void demoRunConnectsAndLeavesUserSettingsAlone();

private:
    QTemporaryDir m_userFolder;
};

void TestDemoMode::initTestCase()
{
    // The user's own store, as the program finds it, lives in this folder for the test.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_userFolder.path());
    messageBoxes().setScripted(true);
}

void TestDemoMode::demoRunConnectsAndLeavesUserSettingsAlone()
{
    QString userFile;
    {
        auto user = SettingsStore::openUserStore();
        user->setValue("Width", 700);
        user->setValue("DirectComPort", 2);
        user->setValue("DirectBaud", 9600);
        user->setValue("Ports/COM5", "/dev/null");
        user->sync();
        userFile = user->fileName();
    }
    QVERIFY(userFile.startsWith(m_userFolder.path()));
    QFile before(userFile);
    QVERIFY(before.open(QIODevice::ReadOnly));
    const QByteArray userBytes = before.readAll();

    {
        DemoSession demo;
        QString error;
        QVERIFY2(demo.start(&error), qPrintable(error));
        QVERIFY(SettingsStore::redirected());
        // A first download has a few hundred events to show.
        QVERIFY(demo.counter()->counter().state.events.size() >= DemoSession::kDemoEvents);
        QVERIFY(demo.comNumber() != 0 && demo.comNumber() != 5);
        auto windows = test::makeWindows();
        TfMain& main = windows->main();
        const QString entry = QStringLiteral("COM %1").arg(demo.comNumber());
        QVERIFY(main.presentPorts().contains(entry));
        QCOMPARE(main.comPort().settings.comNumber, demo.comNumber());
        QCOMPARE(main.width(), 700);
        // A simulated modem and a phone book of the run's own, one entry for each outcome.
        QCOMPARE(installedModems(), QStringList{"Simulated Modem"});
        QVERIFY(phoneBookPath().startsWith(QFileInfo(SettingsStore::open()->fileName()).path()));
        QStringList book;
        QVERIFY(readPhoneBook(phoneBookPath(), &book, nullptr));
        QCOMPARE(book.size(), 6);

        // The port list marks the simulated counter's and modem's ports, and no other.
        QStringList marked;
        test::onNextModal([&](QWidget* dialog) {
            auto* ports = test::child<QComboBox>(dialog, "cbComPort");
            for (int i = 0; i < ports->count(); ++i)
                if (ports->itemData(i).toString().endsWith(" (simulated)"))
                    marked << ports->itemText(i);
            ports->setCurrentText(entry);
            test::child<QPushButton>(dialog, "OKBtn")->click();
        });
        test::menuItem(main, "menuConnectDirect")->trigger();
        QCOMPARE(marked.size(), 2);
        QVERIFY(marked.contains(entry));
        QVERIFY(!marked.contains("COM 5"));
        QVERIFY(main.comPort().PortIsOpen());
        // What the status window said on connecting (password state, status read).
        demo.counter()->counter().clearCommands();
        QCOMPARE(main.findChild<QLabel*>("panConnect")->text(),
                 QStringLiteral("  Direct: Com %1, 9600, E, 7, 1").arg(demo.comNumber()));
        QCOMPARE(main.link().Exchange("9D"), QString("NEW"));

        main.resize(800, 600);
        messageBoxes().queueAnswer(true);
        QVERIFY(main.close());
        QTRY_COMPARE(demo.counter()->counter().commands(), QStringList({"9D", "9D", "e"}));
    }
    QVERIFY(!SettingsStore::redirected());
    QVERIFY(!phoneBookPath().startsWith(QDir::tempPath()));
    QFile after(userFile);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), userBytes);
}

KFC_APP_TEST_MAIN(TestDemoMode)
#include "test_demomode.moc"
