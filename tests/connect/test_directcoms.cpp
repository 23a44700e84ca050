// "Com Port Setup": what it shows for the port's settings, what OK stores and opens, and
// what a missing choice or a port that will not open does.

#include "support/apptest.h"

#include "app/radiogroup.h"
#include "connect/tfdirectcoms.h"
#include "support/fakeportdevice.h"

#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>

using namespace kfc;
using namespace kfc::app;
using namespace kfc::connect;
using kfc::test::AppFixture;
using kfc::test::child;

namespace {

// The ports as a fixed list, without devices.
TfDirectComs::PortLister fixedPorts(const QStringList& entries)
{
    return [entries] {
        QList<PresentPort> ports;
        for (const QString& entry : entries)
            ports.append({entry.mid(4).toInt(), entry, {}, {}});
        return ports;
    };
}

struct Setup {
    explicit Setup(QStringList present = {"COM 1", "COM 3"})
        : device(new test::FakePortDevice), port(std::unique_ptr<PortDevice>(device)),
          dialog(port, fixedPorts(present))
    {
    }
    void show() { dialog.show(); }
    QComboBox* cbComPort() { return child<QComboBox>(&dialog, "cbComPort"); }
    QComboBox* cbRate() { return child<QComboBox>(&dialog, "cbRate"); }
    int itemIndex(const char* group) { return child<RadioGroup>(&dialog, group)->itemIndex(); }
    void choose(const QString& radio) { child<QRadioButton>(&dialog, radio)->setChecked(true); }
    void clickOk() { child<QPushButton>(&dialog, "OKBtn")->click(); }

    test::FakePortDevice* device;
    ComPort port;
    TfDirectComs dialog;
};

QStringList items(const QComboBox* box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

} // namespace

class TestDirectComs : public QObject {
    Q_OBJECT
private slots:
    void layoutAndCaptions();
    void presentPortsWithTheSavedOneSelected();
    void savedPortMissingLeavesNoSelection();
    void radioGroupsFollowTheSettings_data();
    void radioGroupsFollowTheSettings();
    void markAndSpaceShowAsNoneAndBecomeNone();
    void okStoresTheChoicesAndOpensThePort();
    void twoDigitPortNumber();
    void missingRateChangesNothing();
    void missingPortChangesNothing();
    void bothMissingAreNamed();
    void portThatWillNotOpenKeepsTheNewSettings();
    void cancelChangesNothing();
    void portListIsBuiltWhenTheWindowOpens();
};

void TestDirectComs::layoutAndCaptions()
{
    AppFixture fixture;
    Setup s;
    s.show();
    QCOMPARE(s.dialog.windowTitle(), QString("Com Port Setup"));
    QCOMPARE(child<QLabel>(&s.dialog, "Label1")->text(), QString("Port"));
    QCOMPARE(child<QLabel>(&s.dialog, "Label2")->text(), QString("Rate"));
    QCOMPARE(items(s.cbRate()), QStringList({"300", "1200", "2400", "4800", "9600", "19200"}));
    QVERIFY(!s.cbComPort()->isEditable() && !s.cbRate()->isEditable());
    QCOMPARE(child<QGroupBox>(&s.dialog, "rgDataBits")->title(), QString(" Data Bits"));
    QCOMPARE(child<QGroupBox>(&s.dialog, "rgParity")->title(), QString(" Parity "));
    QCOMPARE(child<QGroupBox>(&s.dialog, "rgStopBits")->title(), QString(" Stop Bits"));
    QStringList radios;
    for (const char* name : {"rgDataBits_0", "rgDataBits_1", "rgParity_0", "rgParity_1", "rgParity_2",
                             "rgStopBits_0", "rgStopBits_1"})
        radios << child<QRadioButton>(&s.dialog, name)->text();
    QCOMPARE(radios, QStringList({"&7 Bit", "&8 Bit", "&Even", "&Odd", "&None", "&1 Bit", "&2 Bits"}));
    auto* ok = child<QPushButton>(&s.dialog, "OKBtn");
    QCOMPARE(ok->text(), QString("&OK"));
    QVERIFY(ok->isDefault());
    QCOMPARE(child<QPushButton>(&s.dialog, "CancelBtn")->text(), QString("&Cancel"));
    QVERIFY(s.dialog.width() >= 317 && s.dialog.height() >= 214);
}

void TestDirectComs::presentPortsWithTheSavedOneSelected()
{
    AppFixture fixture;
    Setup s;
    s.port.settings.comNumber = 3;
    s.show();
    QCOMPARE(items(s.cbComPort()), QStringList({"COM 1", "COM 3"}));
    QCOMPARE(s.cbComPort()->currentText(), QString("COM 3"));
    QCOMPARE(s.cbRate()->currentText(), QString("19200"));
}

void TestDirectComs::savedPortMissingLeavesNoSelection()
{
    AppFixture fixture;
    Setup s;
    s.port.settings.comNumber = 2;
    s.show();
    QCOMPARE(s.cbComPort()->currentIndex(), -1);
}

void TestDirectComs::radioGroupsFollowTheSettings_data()
{
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("dataIndex");
    QTest::addColumn<int>("stopIndex");
    QTest::addColumn<int>("parityIndex");
    QTest::newRow("defaults") << 7 << 1 << int(Parity::Even) << 0 << 0 << 0;
    QTest::newRow("8 bits odd 2 stops") << 8 << 2 << int(Parity::Odd) << 1 << 1 << 1;
    QTest::newRow("none") << 7 << 1 << int(Parity::None) << 0 << 0 << 2;
    QTest::newRow("odd values show as the second item") << 5 << 3 << int(Parity::Even) << 1 << 1 << 0;
}

void TestDirectComs::radioGroupsFollowTheSettings()
{
    QFETCH(int, dataBits);
    QFETCH(int, stopBits);
    QFETCH(int, parity);
    AppFixture fixture;
    Setup s;
    s.port.settings.dataBits = dataBits;
    s.port.settings.stopBits = stopBits;
    s.port.settings.parity = Parity(parity);
    s.show();
    QTEST(s.itemIndex("rgDataBits"), "dataIndex");
    QTEST(s.itemIndex("rgStopBits"), "stopIndex");
    QTEST(s.itemIndex("rgParity"), "parityIndex");
}

void TestDirectComs::markAndSpaceShowAsNoneAndBecomeNone()
{
    for (Parity saved : {Parity::Mark, Parity::Space}) {
        AppFixture fixture;
        Setup s;
        s.port.settings.parity = saved;
        s.show();
        QVERIFY(child<QRadioButton>(&s.dialog, "rgParity_2")->isChecked());
        QCOMPARE(child<QRadioButton>(&s.dialog, "rgParity_2")->text(), QString("&None"));
        s.clickOk();
        QCOMPARE(s.dialog.result(), int(QDialog::Accepted));
        QCOMPARE(s.port.settings.parity, Parity::None);
    }
}

void TestDirectComs::okStoresTheChoicesAndOpensThePort()
{
    AppFixture fixture;
    Setup s;
    s.port.TapiMode = true;
    s.port.portNames().setOverride(3, "/dev/counter-line");
    s.show();
    s.cbComPort()->setCurrentText("COM 3");
    s.cbRate()->setCurrentText("2400");
    s.choose("rgDataBits_1");
    s.choose("rgParity_1");
    s.choose("rgStopBits_1");
    s.clickOk();
    QCOMPARE(s.dialog.result(), int(QDialog::Accepted));
    QVERIFY(!s.dialog.isVisible());
    QVERIFY(s.port.PortIsOpen());
    QVERIFY(!s.port.TapiMode);
    const SerialSettings chosen{3, 2400, Parity::Odd, 8, 2};
    QCOMPARE(s.port.settings, chosen);
    QCOMPARE(s.device->openedSettings, chosen);
    QCOMPARE(s.device->openedDevice, QString("/dev/counter-line"));
    QVERIFY(messageBoxes().recorded().isEmpty());
}

void TestDirectComs::twoDigitPortNumber()
{
    AppFixture fixture;
    Setup s({"COM 1", "COM 12"});
    s.port.portNames().setOverride(12, "/dev/usb-adapter");
    s.show();
    s.cbComPort()->setCurrentText("COM 12");
    s.clickOk();
    QCOMPARE(s.port.settings.comNumber, 12);
    QCOMPARE(s.device->openedDevice, QString("/dev/usb-adapter"));
}

void TestDirectComs::missingRateChangesNothing()
{
    AppFixture fixture;
    Setup s;
    s.port.settings = {3, 38400, Parity::Even, 7, 1};
    s.show();
    QCOMPARE(s.cbRate()->currentIndex(), -1);
    s.cbComPort()->setCurrentText("COM 1");
    s.choose("rgDataBits_1");
    s.clickOk();
    QCOMPARE(s.dialog.result(), int(QDialog::Rejected));
    QVERIFY(!s.port.PortIsOpen());
    QCOMPARE(s.device->openCount, 0);
    QCOMPARE(s.port.settings, (SerialSettings{3, 38400, Parity::Even, 7, 1}));
    QCOMPARE(messageBoxes().recorded(),
             (QList<RecordedMessage>{{MessageKind::Error, "Choose a rate before pressing OK.", false, false}}));
}

void TestDirectComs::missingPortChangesNothing()
{
    AppFixture fixture;
    Setup s;
    s.port.settings.comNumber = 7;
    s.show();
    s.cbRate()->setCurrentText("9600");
    s.clickOk();
    QCOMPARE(s.dialog.result(), int(QDialog::Rejected));
    QCOMPARE(s.device->openCount, 0);
    QCOMPARE(s.port.settings, (SerialSettings{7, 19200, Parity::Even, 7, 1}));
    QCOMPARE(messageBoxes().recordedTexts(), QStringList({"Choose a port before pressing OK."}));
}

void TestDirectComs::bothMissingAreNamed()
{
    AppFixture fixture;
    Setup s(QStringList{});
    s.port.settings.baud = 110;
    s.show();
    QCOMPARE(s.cbComPort()->count(), 0);
    s.clickOk();
    QCOMPARE(messageBoxes().recordedTexts(), QStringList({"Choose a port and a rate before pressing OK."}));
    QCOMPARE(s.port.settings.baud, 110);
}

void TestDirectComs::portThatWillNotOpenKeepsTheNewSettings()
{
    AppFixture fixture;
    Setup s;
    s.port.portNames().setOverride(1, "/dev/held-elsewhere");
    s.device->failNextOpen("Permission denied");
    s.show();
    s.cbRate()->setCurrentText("4800");
    s.clickOk();
    QCOMPARE(s.dialog.result(), int(QDialog::Rejected));
    QVERIFY(!s.port.PortIsOpen());
    QCOMPARE(s.port.settings.baud, 4800);
    QCOMPARE(messageBoxes().recorded(),
             (QList<RecordedMessage>{{MessageKind::Error,
                                      "Cannot open COM 1 (/dev/held-elsewhere): Permission denied",
                                      false, false}}));
}

void TestDirectComs::cancelChangesNothing()
{
    AppFixture fixture;
    Setup s;
    s.show();
    s.cbRate()->setCurrentText("300");
    s.choose("rgParity_2");
    child<QPushButton>(&s.dialog, "CancelBtn")->click();
    QCOMPARE(s.dialog.result(), int(QDialog::Rejected));
    QCOMPARE(s.port.settings, SerialSettings{});
    QCOMPARE(s.device->openCount, 0);
}

void TestDirectComs::portListIsBuiltWhenTheWindowOpens()
{
    AppFixture fixture;
    auto windows = test::makeWindows();
    // A port that appears after the program started is offered, with its device beside it.
    test::SimulatedLine line(*fixture.store());
    QVERIFY(line.started);
    QStringList entries;
    QString device;
    test::onNextModal([&](QWidget* dialog) {
        auto* ports = child<QComboBox>(dialog, "cbComPort");
        entries = items(ports);
        ports->setCurrentText(line.portEntry());
        device = child<QLabel>(dialog, "labDevice")->text();
        child<QPushButton>(dialog, "CancelBtn")->click();
    });
    test::menuItem(windows->main(), "menuConnectDirect")->trigger();
    QVERIFY(entries.contains(line.portEntry()));
    QCOMPARE(device, line.pty.devicePath());
}

KFC_APP_TEST_MAIN(TestDirectComs)
#include "test_directcoms.moc"
