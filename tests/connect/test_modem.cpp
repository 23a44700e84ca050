// The modem window and "&Modem Connection" against the simulated modem on a
// pseudo-terminal: detection from the "Modems" group, the progress lines of each outcome,
// the port settings left behind, and the connection through the main frame.

#include "connect/phonebookfile.h"
#include "connect/tfrmmodem.h"
#include "sim/simmodem.h"
#include "support/apptest.h"

#include <QLabel>
#include <QMessageBox>
#include <QScopeGuard>
#include <QMenu>
#include <QTableWidget>

using namespace kfc;
using namespace kfc::app;
using namespace kfc::connect;

namespace {

// The simulated modem on a pseudo-terminal, mapped in the test's store to a free COM number.
struct SimModemLine {
    explicit SimModemLine(QSettings& store)
    {
        modem.setRingMs(30);
        pty.setModem(&modem);
        started = pty.start();
        PortNames names;
        names.load(store);
        comNumber = names.freeComNumber();
        names.setOverride(comNumber, pty.devicePath());
        names.save(store);
        store.sync();
    }
    // Installs this modem as "Test Modem", the only one.
    void install(QSettings& store) const
    {
        store.setValue(kModemsGroup + QStringLiteral("/Test Modem"), QStringLiteral("COM%1").arg(comNumber));
        store.sync();
    }
    sim::SimModem modem;
    sim::PtyCounter pty;
    bool started = false;
    int comNumber = 0;
};

} // namespace

class TestModem : public QObject {
    Q_OBJECT

private slots:
    void init() { app::messageBoxes().reset(); }

    // modems: "name=port" entries of the "Modems" group, "SIM" standing for the simulated
    // modem's port. choose: the modem picked in "Device Selection" ("" when none must be
    // shown, "-" to cancel it).
    void dialProgress_data()
    {
        QTest::addColumn<QStringList>("modems");
        QTest::addColumn<QString>("choose");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("giveUp");   // "Escape" or "close box", once the modem has echoed
        const QString using_ = QStringLiteral("Using modem Test Modem on SIM");
        const QStringList dialled{"Dialling 01632 960001", "Modem responded. Dialling 01632 960001"};
        QTest::newRow("connect") << QStringList{"Test Modem=SIM"} << "" << "01632 960001"
                                 << QStringList{using_} + dialled + QStringList{"Connected"} << "" << "";
        // A number that the modem never answers; the row's dial is given up with Escape.
        QTest::newRow("cancelled with Escape")
            << QStringList{"Test Modem=SIM"} << "" << "0165"
            << QStringList{using_, "Dialling 0165", "Modem responded. Dialling 0165", "Dial cancelled"} << "" << "Escape";
        QTest::newRow("cancelled with the close box")
            << QStringList{"Test Modem=SIM"} << "" << "0175"
            << QStringList{using_, "Dialling 0175", "Modem responded. Dialling 0175", "Dial cancelled"} << ""
            << "close box";
        QTest::newRow("refused by the modem")
            << QStringList{"Test Modem=SIM"} << "" << "+44 161"
            << QStringList{using_, "Dialling +44 161", "Modem responded. Dialling +44 161",
                           "The modem refused the dial command (ERROR). Check the number."}
            << "" << "";
        QTest::newRow("two modems, one chosen") << QStringList{"Another=COM98", "Test Modem=SIM"} << "Test Modem"
                                                << "01632 960001"
                                                << QStringList{using_} + dialled + QStringList{"Connected"} << "" << "";
        QTest::newRow("selection cancelled") << QStringList{"Another=COM98", "Test Modem=SIM"} << "-" << "0161"
                                             << QStringList{} << "" << "";
        QTest::newRow("none set up") << QStringList{} << "-" << "0161" << QStringList{} << "" << "";
        QTest::newRow("COMx") << QStringList{"Test Modem=COMx"} << "" << "0161" << QStringList{"Dialling 0161"}
                              << "Writing on a closed port (COM 0)." << "";
    }
    void dialProgress()
    {
        QFETCH(QStringList, modems);
        QFETCH(QString, choose);
        QFETCH(QString, number);
        QFETCH(QStringList, lines);
        QFETCH(QString, error);
        QFETCH(QString, giveUp);
        test::AppFixture fixture;
        auto store = fixture.store();
        SimModemLine line(*store);
        QVERIFY(line.started);
        const QString sim = QStringLiteral("COM%1").arg(line.comNumber);
        for (const QString& entry : modems)
            store->setValue(kModemsGroup + '/' + entry.section('=', 0, 0), QString(entry.section('=', 1)).replace("SIM", sim));
        store->sync();

        ComPort port;
        port.portNames().load(*store);
        Link link(port);
        link.timing = Timing::shrunk();
        TfrmModem modem(link);
        modem.setComPort(&port);
        bool dialogSeen = false;
        if (!choose.isEmpty()) {
            test::onNextModal([&](QWidget* dialog) {
                dialogSeen = dialog->windowTitle() == QLatin1String("Device Selection");
                auto* ok = test::child<QPushButton>(dialog, "btnOK");
                QCOMPARE(ok->isEnabled(), !modems.isEmpty());
                if (choose == QLatin1String("-")) {
                    test::child<QPushButton>(dialog, "btnCancel")->click();
                    return;
                }
                test::child<QComboBox>(dialog, "cbDevices")->setCurrentText(choose);
                ok->click();
            });
        }
        QTimer escape;
        escape.setInterval(10);
        QString timeLeft;   // what the window says while it waits for the modem's answer
        connect(&escape, &QTimer::timeout, [&] {
            if (giveUp.isEmpty() || modem.statusLines().size() != 4)
                return;
            timeLeft = test::child<QLabel>(&modem, "labTimeLeft")->text();
            if (giveUp == QLatin1String("Escape"))
                QTest::keyClick(&modem, Qt::Key_Escape);
            else
                modem.close();
            giveUp.clear();
        });
        escape.start();
        QElapsedTimer clock;
        clock.start();
        const bool connected = modem.Dial(number);
        QVERIFY(clock.elapsed() < Timing::shrunk().modemDialTimeoutMs);
        QCOMPARE(dialogSeen, !choose.isEmpty());
        QCOMPARE(modem.statusLines(), QStringList{"Checking for modems..."} + QStringList(lines).replaceInStrings("SIM", sim));
        QCOMPARE(connected, lines.value(lines.size() - 1) == QLatin1String("Connected"));
        QCOMPARE(port.PortIsOpen(), connected);
        QCOMPARE(messageBoxes().recordedTexts(), error.isEmpty() ? QStringList() : QStringList{error});
        QVERIFY(!modem.isVisible());
        QCOMPARE(test::child<QLabel>(&modem, "labTimeLeft")->text(), QString());
        if (QTest::currentDataTag() == QLatin1String("cancelled with Escape"))
            QCOMPARE(timeLeft, QStringLiteral("Answer within %1 s").arg(Timing::shrunk().modemDialTimeoutMs / 1000));
        if (!lines.isEmpty() && lines.first().startsWith(QLatin1String("Using"))) {
            // The modem's settings stay in the port, whatever the outcome.
            QCOMPARE(port.settings, (SerialSettings{line.comNumber, 9600, Parity::Even, 7, 1}));
            QCOMPARE(line.pty.received(), "ATDT" + number.toLatin1() + '\r');
            QCOMPARE(modem.ModemName(), QStringLiteral("Test Modem"));
        }
    }

    // "&Modem Connection": the phone book, the dial, the status window; no second
    // connection from the menus while dialling; the modem's settings saved at exit.
    void connectThroughMainFrame()
    {
        test::AppFixture fixture;
        usePhoneBookFolder(fixture.folder());
        auto store = fixture.store();
        SimModemLine line(*store);
        QVERIFY(line.started);
        line.install(*store);
        QString why;
        QVERIFY(writePhoneBook(phoneBookPath(), {"Busy weir=0162", "Open weir=0161"}, &why));
        {
            auto windows = test::makeWindows();
            TfMain& main = windows->main();
            QAction* modemItem = test::menuItem(main, "menuConnectModem");
            QVERIFY(modemItem->isEnabled());
            bool menuUsableWhileDialling = true;
            QTimer during;
            during.setInterval(10);
            connect(&during, &QTimer::timeout, [&] {
                if (!line.modem.dialled().isEmpty() && !line.modem.online())
                    menuUsableWhileDialling = menuUsableWhileDialling && modemItem->isEnabled()
                                              && main.findChild<QMenu*>("menuConnect")->menuAction()->isEnabled();
            });
            during.start();
            // A busy number: the modem window goes two seconds after saying so, and the
            // main window's message panel keeps it until the next attempt.
            test::onNextModal([](QWidget* book) {
                test::child<QTableWidget>(book, "strgrdContacts")->setCurrentCell(0, 0);
                test::child<QAction>(book, "actnSelect")->trigger();
            });
            modemItem->trigger();
            QVERIFY(!main.comPort().PortIsOpen());
            QCOMPARE(test::panelText(main, "panMessage"), QStringLiteral("Number is busy. Please try later"));
            QTest::qWait(100);
            QCOMPARE(test::panelText(main, "panMessage"), QStringLiteral("Number is busy. Please try later"));
            QString panelAtNextAttempt = "<not asked>";
            test::onNextModal([&](QWidget* book) {
                panelAtNextAttempt = test::panelText(main, "panMessage");
                test::child<QTableWidget>(book, "strgrdContacts")->setCurrentCell(1, 0);
                test::child<QAction>(book, "actnSelect")->trigger();
            });
            modemItem->trigger();
            QCOMPARE(panelAtNextAttempt, QString());
            QCOMPARE(line.modem.dialled(), (QList<QByteArray>{"0162", "0161"}));
            QVERIFY(!menuUsableWhileDialling);
            QVERIFY(main.comPort().PortIsOpen());
            QCOMPARE(test::child<QLabel>(&main, "panConnect")->text(), QStringLiteral("  Modem: Test Modem"));
            QVERIFY(!modemItem->isEnabled());
            QCOMPARE(line.pty.counter().commands().mid(0, 2), QStringList({"9D", "a"}));
            messageBoxes().queueAnswer(true);
            main.menuConnectHangupClick();
            QTRY_VERIFY(!line.modem.online());
            QVERIFY(modemItem->isEnabled());
            QVERIFY(messageBoxes().recordedTexts().size() == 1);
        }
        usePhoneBookFolder({});
        auto saved = fixture.store();
        QCOMPARE(saved->value("DirectComPort").toInt(), line.comNumber);
        QCOMPARE(saved->value("DirectBaud").toInt(), 9600);
        QCOMPARE(saved->value("DirectDataBits").toInt(), 7);
        QCOMPARE(saved->value("DirectParity").toInt(), int(Parity::Even));
    }

    // The line dies while "Connected" is read in the closing pause: the box that says so
    // opens inside the pause and takes the user's key, and the program is then not
    // connected, with its Connect menu back.
    void lineDiesInTheClosingPause()
    {
        test::AppFixture fixture;
        usePhoneBookFolder(fixture.folder());
        const auto restore = qScopeGuard([] {
            usePhoneBookFolder({});
            messageBoxes().setScripted(true);
        });
        auto store = fixture.store();
        SimModemLine line(*store);
        QVERIFY(line.started);
        line.install(*store);
        QString why;
        QVERIFY(writePhoneBook(phoneBookPath(), {"Open weir=0161"}, &why));
        auto windows = test::makeWindows();
        TfMain& main = windows->main();
        main.link().timing.modemClosePauseMs = 1500;
        QTimer during;
        during.setInterval(5);
        connect(&during, &QTimer::timeout, [&] {
            auto* modem = main.findChild<TfrmModem*>();
            if (modem && modem->statusLines().value(4) == QLatin1String("Connected") && line.pty.isOpen())
                line.pty.hangUp();
        });
        during.start();
        // The real box, answered by a key as the user would.
        messageBoxes().setScripted(false);
        QString told;
        test::onNextModal([&](QWidget* book) {
            test::child<QAction>(book, "actnSelect")->trigger();
            test::onNextModal([&](QWidget* box) {
                told = static_cast<QMessageBox*>(box)->text();
                QTest::keyClick(box, Qt::Key_Return);
            });
        });
        test::menuItem(main, "menuConnectModem")->trigger();
        QVERIFY2(told.startsWith(QLatin1String("The connection on COM")), qPrintable(told));
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(test::child<QLabel>(&main, "panConnect")->text(), QStringLiteral("  Not Connected"));
        QVERIFY(test::menuItem(main, "menuConnectModem")->isEnabled());
        QCOMPARE(line.pty.counter().commands(), QStringList());   // no logon on a dead line
    }
};

KFC_APP_TEST_MAIN(TestModem)
#include "test_modem.moc"
