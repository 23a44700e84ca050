// The weir dimensions, baud rate and raw command windows against the simulated counter:
// the exact commands, what is read when, the port's speed and the connection panel.

#include "support/recordingport.h"
#include "support/statustest.h"
#include "app/radiogroup.h"
#include "tools/tfbaudset.h"

#include <QApplication>
#include <QRadioButton>

using namespace kfc;
using namespace kfc::test;
using kfc::app::messageBoxes;

namespace {

QWidget* modal() { return QApplication::activeModalWidget(); }

// Opens a tool from its menu item and runs the steps on its dialog, each once the
// dialog's buttons are usable again (no read or write in progress). The last step must
// close the dialog; if a step never gets its turn, the test fails instead of waiting.
bool runTool(StatusSession& s, const QString& item, const QList<std::function<void(QWidget*)>>& steps)
{
    auto ready = [] { return modal() && child<QPushButton>(modal(), "OKBtn")->isEnabled(); };
    Script script;
    for (const auto& step : steps)
        script.then(ready, [step] { if (modal()) step(modal()); });
    script.then([] { return true; }, [] { if (modal()) qobject_cast<QDialog*>(modal())->reject(); });
    script.start(10000);
    // The menu is opened first, as the operator does; that is when its entries are set.
    emit s.status->findChild<QMenu*>("menuAdvancedSetup")->aboutToShow();
    s.item(item)->trigger();
    return QTest::qWaitFor([&script] { return script.completed(); }, 2000);
}

void click(QWidget* dialog, const char* button) { child<QPushButton>(dialog, button)->click(); }
QSpinBox* spinIn(QWidget* dialog, const QString& name) { return child<QSpinBox>(dialog, name); }

} // namespace

class TestToolsSetup : public QObject {
    Q_OBJECT
private slots:
    void weirDimensionsReadOnceAndOnRequest();
    void weirBadReplyIsReportedOnce();
    void baudRate_data();
    void baudRate();
    void sendCommand_data();
    void sendCommand();
};

void TestToolsSetup::weirDimensionsReadOnceAndOnRequest()
{
    StatusSession s;
    s.counterState().weirLength = {150, 1200, 300, 6000};
    s.counterState().weirDepth = {80, 45, 120, 35};
    QVERIFY(s.connect());
    s.clearCommands();
    QList<int> shown;
    QVERIFY(runTool(s, "menuWeirDim", {
        [&](QWidget* d) {
            shown << spinIn(d, "seLength1")->value() << spinIn(d, "seDepth1")->value()
                  << spinIn(d, "seLength4")->value();   // 6000 is shown at the limit
            spinIn(d, "seDepth3")->setValue(99);
            click(d, "OKBtn");
            click(d, "OKBtn");   // nothing changed since: nothing sent
        },
        [](QWidget* d) { click(d, "btnRead"); },
    }));
    QCOMPARE(shown, QList<int>({150, 80, 5000}));
    const QStringList read{"E5T1", "E5T2", "E5T3", "E5T4"};
    // Channel 4 is not sent back at 5000 although the window could not show 6000.
    QCOMPARE(s.settledCommands(), read + QStringList{"E5S30300099"} + read);
    QCOMPARE(s.counterState().weirLength[3], 6000);
    QCOMPARE(messageBoxes().recordedTexts(), QStringList());
}

void TestToolsSetup::weirBadReplyIsReportedOnce()
{
    StatusSession s;
    weirDimensions() = {};
    QVERIFY(s.connect());
    s.clearCommands();
    s.counter().addFault({sim::SimFault::Garbage, "E5T2"});
    QList<int> shown;
    QStringList notRead;   // the spin edits of channels 2 to 4 that can be edited or show a value
    QVERIFY(runTool(s, "menuWeirDim", {[&](QWidget* d) {
        shown << spinIn(d, "seLength1")->value();
        for (QSpinBox* spin : d->findChildren<QSpinBox*>()) {
            if (!spin->objectName().endsWith('1') && (spin->isEnabled() || !spin->text().isEmpty()))
                notRead << spin->objectName();
        }
        spinIn(d, "seDepth2")->setValue(45);   // as a depth typed there would
        click(d, "OKBtn");   // channels not read are not written
    }}));
    QCOMPARE(shown, QList<int>({250}));
    QCOMPARE(notRead, QStringList());
    QCOMPARE(s.settledCommands(), QStringList({"E5T1", "E5T2"}));
    QCOMPARE(messageBoxes().recorded().size(), 1);
}

void TestToolsSetup::baudRate_data()
{
    QTest::addColumn<int>("portRate");
    QTest::addColumn<int>("comms");     // item chosen, -1: leave as the dialog opens
    QTest::addColumn<int>("printer");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<int>("rateAfter");
    QTest::newRow("printer only, comms kept") << 9600 << -1 << 2 << QStringList{"B202400"} << 9600;
    QTest::newRow("both") << 19200 << 4 << 0 << QStringList({"B200300", "B109600"}) << 9600;
    QTest::newRow("comms only") << 19200 << 2 << -1 << QStringList{"B102400"} << 2400;
    QTest::newRow("rate not an item") << 38400 << -1 << -1 << QStringList() << 38400;
}

void TestToolsSetup::baudRate()
{
    QFETCH(int, portRate);
    QFETCH(int, comms);
    QFETCH(int, printer);
    QFETCH(QStringList, sent);
    auto device = std::make_unique<RecordingSerialPort>();
    RecordingSerialPort& line = *device;
    StatusSession s(std::move(device));
    QVERIFY(s.connect());
    QVERIFY(s.main->comPort().setBaudWhileOpen(portRate));
    s.main->ShowConnectionState();
    s.clearCommands();
    line.frames.clear();
    int selectedAtOpen = -2;
    QVERIFY(runTool(s, "BaudRate1", {[&](QWidget* d) {
        selectedAtOpen = child<app::RadioGroup>(d, "RGComms")->itemIndex();
        if (comms >= 0)
            child<QRadioButton>(d, QString("RGComms_%1").arg(comms))->setChecked(true);
        if (printer >= 0)
            child<QRadioButton>(d, QString("RGPrinter_%1").arg(printer))->setChecked(true);
        click(d, "OKBtn");
    }}));
    QCOMPARE(selectedAtOpen, int(tools::TfBaudSet::kRates.indexOf(QString::number(portRate))));
    QCOMPARE(s.settledCommands(), sent);
    // The counter is told at the rate it runs at; the PC's port follows only afterwards.
    QStringList atOldRate;
    for (const QString& command : sent)
        atOldRate << QStringLiteral("%1 at %2").arg(command).arg(portRate);
    QCOMPARE(line.commandsWithRates(), atOldRate);
    QTEST(s.main->comPort().settings.baud, "rateAfter");
    QVERIFY(s.main->comPort().PortIsOpen());
    QVERIFY(child<QLabel>(s.main, "panConnect")->text().contains(QString(", %1, ").arg(s.main->comPort().settings.baud)));
    // The line still works at the new rate.
    s.clearCommands();
    s.button("bbtnRefresh")->click();
    QCOMPARE(s.settledCommands(), statusRead());
}

void TestToolsSetup::sendCommand_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("box");
    QTest::newRow("reply") << "E5T2" << QStringList{"E5T2"} << "0250120" << "";
    QTest::newRow("two lines: the first") << "E71A" << QStringList{"E71A"} << "GRAPH" << "";
    QTest::newRow("empty") << "" << QStringList{""} << "?" << "";
    QTest::newRow("too long") << QString(255, 'x') << QStringList() << ""
                              << "The command is 255 characters long and was not sent: a command holds at most 254.";
    QTest::newRow("no 8-bit form") << "E5T\u20ac" << QStringList() << ""
                                   << "The command was not sent: the character '\u20ac' cannot be sent to the counter.";
}

void TestToolsSetup::sendCommand()
{
    QFETCH(QString, typed);
    StatusSession s;
    QVERIFY(s.connect());
    s.clearCommands();
    QString result = "unset";
    QVERIFY(runTool(s, "menuSendCommand", {[&](QWidget* d) {
        child<QLineEdit>(d, "eCommand")->setText(typed);
        child<QLineEdit>(d, "eResult")->setText("old");
        click(d, "OKBtn");
        result = child<QLineEdit>(d, "eResult")->text();
    }}));
    QTEST(s.settledCommands(), "sent");
    QTEST(result, "result");
    QFETCH(QString, box);
    QCOMPARE(messageBoxes().recordedTexts(), box.isEmpty() ? QStringList() : QStringList{box});
}

KFC_APP_TEST_MAIN(TestToolsSetup)
#include "test_toolssetup.moc"
