// The status window: its controls as the operator first sees them, the display of a read
// from the simulated counter, spin edits clamping, the per-channel lookup by name, the
// view and edit modes with their enabling rules, Cancel, a failed read, and activation
// (a real one reads the counter; closing one of the window's own dialogs does not).

#include "support/statustest.h"

#include "link/errors.h"

#include <QDateEdit>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QScrollBar>
#include <QTimeEdit>

using namespace kfc;
using namespace kfc::test;
using kfc::app::messageBoxes;

namespace {

QStringList comboItems(QComboBox* combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

struct SpinRange {
    int minimum, maximum, value;
    friend bool operator==(const SpinRange&, const SpinRange&) = default;
};

SpinRange spinRange(QSpinBox* spin) { return {spin->minimum(), spin->maximum(), spin->value()}; }

QStringList channelTitles(const StatusSession& s)
{
    QStringList titles;
    for (QLabel* label : s.control<QWidget>("gbChannels")->findChildren<QLabel*>())
        titles << label->text().replace('\n', ' ');
    return titles;
}

// Every setting control of channel n but its check box.
const QStringList kChannelSettings{"seUpTh",     "seDnTh",     "seUpRel1Ch", "seUpRel2Ch",
                                   "seDnRel1Ch", "seDnRel2Ch", "seRelTimeCh", "seEvRel1Ch",
                                   "seEvRel2Ch", "seEvTimeCh", "cBoxGraphCh"};

QList<bool> channelSettingsEnabled(const StatusSession& s, int n)
{
    QList<bool> enabled;
    for (const QString& prefix : kChannelSettings)
        enabled << s.control<QWidget>(prefix + QString::number(n))->isEnabled();
    return enabled;
}

QList<bool> all(bool value) { return QList<bool>(kChannelSettings.size(), value); }

// The counter's clock set to a known moment, so the pickers can be checked.
void setCounterClock(sim::SimState& state, const QDateTime& when)
{
    state.clockOffsetSecs = QDateTime::currentDateTime().secsTo(when);
}

} // namespace

class TestStatusWindow : public QObject {
    Q_OBJECT
private slots:
    void controlsAsFirstShown();
    void channelGroupTitles();
    void readIsShownAsTheCounterReportsIt();
    void spinEditsClampWhatTheRecordHolds();
    void channelControlsAreFoundIgnoringCase();
    void viewModeEnablesNoSetting();
    void editModeEnablingRules();
    void refreshInViewModeEnablesNothing();
    void cancelInEditModeRereadsAndDiscardsEdits();
    void escapeCancelsAndEnterSaves();
    void altKeysPressTheButtons_data();
    void altKeysPressTheButtons();
    void failedReadLeavesTheDisplay();
    void closingOwnDialogIsNoActivation();
    void switchingBackToTheWindowReadsAgain();
    void profileGridOnlyOpensInEditMode();
};

void TestStatusWindow::controlsAsFirstShown()
{
    StatusSession s;
    QVERIFY(s.status);
    QCOMPARE(s.status->windowTitle(), QString("Status"));
    // Nothing has been read: no value shows, not even a zero.
    QCOMPARE(s.text("labVersion"), QString("Counter Version: "));
    QCOMPARE(s.text("labEvents"), QString());
    QCOMPARE(s.control<QSpinBox>("seUpTh1")->text(), QString());
    QCOMPARE(s.text("eUpCnt1"), QString());
    QCOMPARE(s.control<QComboBox>("cbPrinter")->currentText(), QString());
    QVERIFY(!s.button("bbtnChange")->isEnabled());
    QCOMPARE(s.text("labCond"), QString("Conductivity Table Value "));

    const QStringList disabledEnabled{"Disabled", "Enabled"};
    QCOMPARE(comboItems(s.control<QComboBox>("cbPrinter")), disabledEnabled);
    QCOMPARE(comboItems(s.control<QComboBox>("cbEvents")), disabledEnabled);
    QCOMPARE(comboItems(s.control<QComboBox>("cbRelay")), QStringList({"Delayed", "Instant"}));
    QCOMPARE(comboItems(s.control<QComboBox>("cbLogging")), disabledEnabled);
    QCOMPARE(comboItems(s.control<QComboBox>("cbBuffer")), QStringList({"Linear", "Circular"}));
    QCOMPARE(comboItems(s.control<QComboBox>("cbAlgorithm")), QStringList({"Slow", "Fast"}));
    QCOMPARE(comboItems(s.control<QComboBox>("cbContOutput")), disabledEnabled);
    QCOMPARE(comboItems(s.control<QComboBox>("cbDump")), QStringList({"Enabled", "Disabled"}));
    QCOMPARE(comboItems(s.control<QComboBox>("cbMaxSize")), QStringList({"100", "127"}));
    QCOMPARE(spinRange(s.control<QSpinBox>("seLengthComp")), (SpinRange{20, 500, 20}));
    // The labels in front of the lists, " Dump" with its blank.
    QStringList labels;
    for (QLabel* label : s.status->findChildren<QLabel*>())
        labels << label->text();
    for (const char* caption : {"Printer", "Events", "Relay", "Event Logging", "Buffer", "Algorithm",
                                "Cont. Output", " Dump", "Max Size", "Length Comp."})
        QVERIFY2(labels.contains(caption), caption);

    for (int n = 1; n <= 4; ++n) {
        const QString d = QString::number(n);
        QCOMPARE(spinRange(s.control<QSpinBox>("seUpTh" + d)), (SpinRange{0, 99, 0}));
        QCOMPARE(spinRange(s.control<QSpinBox>("seDnTh" + d)), (SpinRange{0, 99, 0}));
        for (const char* prefix : {"seUpRel1Ch", "seDnRel1Ch", "seEvRel1Ch"})
            QCOMPARE(spinRange(s.control<QSpinBox>(prefix + d)), (SpinRange{1, 12, 1}));
        for (const char* prefix : {"seUpRel2Ch", "seDnRel2Ch", "seEvRel2Ch"})
            QCOMPARE(spinRange(s.control<QSpinBox>(prefix + d)), (SpinRange{0, 12, 0}));
        QCOMPARE(spinRange(s.control<QSpinBox>("seRelTimeCh" + d)), (SpinRange{1, 300, 1}));
        QCOMPARE(spinRange(s.control<QSpinBox>("seEvTimeCh" + d)), (SpinRange{1, 300, 1}));
        for (const char* prefix : {"eUpCnt", "eDnCnt", "eSattCh", "eWattCh"}) {
            auto* text = s.control<QLineEdit>(prefix + d);
            QCOMPARE(text->text(), QString());
            QVERIFY(text->isReadOnly());
            QVERIFY(!text->hasFrame());
        }
        QVERIFY(s.control<QCheckBox>("cBoxChannel" + d));
        QVERIFY(s.control<QCheckBox>("cBoxGraphCh" + d));
    }
    QVERIFY(s.control<QLineEdit>("eCond")->isReadOnly());
    QVERIFY(!s.control<QLineEdit>("eCond")->hasFrame());
    QVERIFY(s.control<QLineEdit>("eCondType")->isHidden());
    QCOMPARE(s.text("eCondType"), QString());

    QCOMPARE(s.control<QDateEdit>("dtpDate")->displayFormat(), QString("dd MMMM yyyy"));
    QCOMPARE(s.control<QTimeEdit>("dtpTime")->displayFormat(), QString("HH:mm:ss"));
    QCOMPARE(s.control<QTimeEdit>("dtpTime")->buttonSymbols(), QAbstractSpinBox::UpDownArrows);
    QCOMPARE(s.button("bbtnSyncTime")->text(), QString("S&ync Time"));
    QCOMPARE(s.button("bbtnSyncTime")->toolTip(), QString("Synchronize counter to PC date and time"));

    auto* grid = s.control<QTableWidget>("sgCond");
    QCOMPARE(grid->columnCount(), 9);
    QCOMPARE(grid->rowCount(), 2);
    QCOMPARE(grid->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(grid->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QVERIFY(grid->columnWidth(0) >= 45);
    for (int c = 1; c < 9; ++c)
        QCOMPARE(grid->columnWidth(c), 40);
    QCOMPARE(grid->item(0, 0)->text(), QString("Cond"));
    QCOMPARE(grid->item(1, 0)->text(), QString("Gain(%)"));

    QCOMPARE(s.button("bbtnProfile")->text(), QString("&Profile"));
    QCOMPARE(s.button("bbtnProfile")->toolTip(), QString());
    QCOMPARE(s.button("bbtnRefresh")->text(), QString("&Refresh"));
    QCOMPARE(s.button("bbtnChange")->text(), QString("&Change"));
    QCOMPARE(s.button("bbtnSave")->text(), QString("&Save"));
    QCOMPARE(s.button("bbtnCancel")->text(), QString("&Cancel"));
    QCOMPARE(s.button("bbtnContUpd")->text(), QString("Cont. &Update"));
    QVERIFY(!s.button("bbtnSave")->isEnabled());
    QVERIFY(!s.button("bbtnCancel")->isEnabled());
    QVERIFY(s.control<QPlainTextEdit>("memLastEvent")->isHidden());
    QVERIFY(s.control<QPlainTextEdit>("memLastEvent")->isReadOnly());
    QCOMPARE(s.control<QPlainTextEdit>("memLastEvent")->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

void TestStatusWindow::channelGroupTitles()
{
    StatusSession s;
    QCOMPARE(s.control<QGroupBox>("gbChannels")->title(), QString(" Channels "));
    const QStringList titles = channelTitles(s);
    for (const char* title : {"Enab", "Thresholds", "Counts", "Up Relays", "Down Relays", "Up/Down Time",
                              "Event Relays", "Event Time", "Graph Enab", "SA", "WA", "1.", "2.", "3.", "4."})
        QVERIFY2(titles.count(title) == 1, title);
    // "Up" and "Down" under the thresholds and the counts; "1" and "2" under the relays.
    QCOMPARE(titles.count("Up"), 2);
    QCOMPARE(titles.count("Down"), 2);
    QCOMPARE(titles.count("1"), 3);
    QCOMPARE(titles.count("2"), 3);
}

void TestStatusWindow::readIsShownAsTheCounterReportsIt()
{
    StatusSession s;
    sim::SimState& state = s.counterState();
    const QDateTime clock(QDate(2031, 3, 15), QTime(12, 0, 0));
    setCounterClock(state, clock);
    state.versionText = "FC4 test";
    state.printerEnabled = 1;
    state.eventsEnabled = 0;
    state.relayMode = 1;
    state.eventLogging = 0;
    state.bufferType = 0;
    state.algorithm = 1;
    state.contOutput = 1;
    state.dump = 0;
    state.maxFishSize = 120;
    state.lengthComp = 250;
    state.maxEvents = 2000;
    state.conductivity = 321;
    state.condProfile = {101, 102, 103, 104, 105, 106, 107, 108};
    state.events = QStringList{"one", "two", "three"};
    sim::SimChannel& c = state.channels[1];
    c.enabled = 0;
    c.upThreshold = 5;
    c.downThreshold = 99;
    c.upCount = 1234;
    c.downCount = 56;
    c.upRelay1 = 0;
    c.upRelay2 = 7;
    c.downRelay1 = 4;
    c.downRelay2 = 0;
    c.relayTime = 250;
    c.eventRelay1 = 12;
    c.eventRelay2 = 11;
    c.eventRelayTime = 300;
    c.graphEnabled = 1;
    c.sAtt = 7;
    c.wAtt = 88;

    QVERIFY(s.connect());
    QCOMPARE(s.settledCommands(), QStringList{"9D"} + statusRead());
    QCOMPARE(messageBoxes().recordedTexts(), QStringList());
    QCOMPARE(s.frontWindow(), QString("fStatus"));
    QVERIFY(s.status->isMaximized());
    QCOMPARE(s.messagePanel(), QString());

    QCOMPARE(s.text("labVersion"), QString("Counter Version: 8.90 FC4 test"));
    QCOMPARE(s.text("labEvents"), QString("There are 3 events, max of 2000"));
    QCOMPARE(s.control<QDateEdit>("dtpDate")->date(), QDate(2031, 3, 15));
    const QTime shown = s.control<QTimeEdit>("dtpTime")->time();
    QCOMPARE(shown, counterStatus().dateTime.time());
    QVERIFY2(shown >= QTime(11, 59, 58) && shown <= QTime(12, 1, 0), qPrintable(shown.toString()));
    QCOMPARE(s.text("eCond"), QString("321"));
    QCOMPARE(s.control<QComboBox>("cbPrinter")->currentText(), QString("Enabled"));
    QCOMPARE(s.control<QComboBox>("cbEvents")->currentText(), QString("Disabled"));
    QCOMPARE(s.control<QComboBox>("cbRelay")->currentText(), QString("Instant"));
    QCOMPARE(s.control<QComboBox>("cbLogging")->currentText(), QString("Disabled"));
    QCOMPARE(s.control<QComboBox>("cbBuffer")->currentText(), QString("Linear"));
    QCOMPARE(s.control<QComboBox>("cbAlgorithm")->currentText(), QString("Fast"));
    QCOMPARE(s.control<QComboBox>("cbContOutput")->currentText(), QString("Enabled"));
    // Reversed on the counter: 0 is enabled.
    QCOMPARE(s.control<QComboBox>("cbDump")->currentText(), QString("Enabled"));
    // Anything but 100 is the larger size.
    QCOMPARE(counterStatus().maxFishSize, 120);
    QCOMPARE(s.control<QComboBox>("cbMaxSize")->currentText(), QString("127"));
    QCOMPARE(s.control<QSpinBox>("seLengthComp")->value(), 250);

    auto* grid = s.control<QTableWidget>("sgCond");
    const QStringList points{"10", "40", "70", "100", "150", "200", "300", "500"};
    for (int i = 1; i <= 8; ++i) {
        QCOMPARE(grid->item(0, i)->text(), points[i - 1]);
        QCOMPARE(grid->item(1, i)->text(), QString::number(100 + i));
    }

    QVERIFY(!s.control<QCheckBox>("cBoxChannel2")->isChecked());
    QCOMPARE(s.control<QSpinBox>("seUpTh2")->value(), 5);
    QCOMPARE(s.control<QSpinBox>("seDnTh2")->value(), 99);
    QCOMPARE(s.text("eUpCnt2"), QString("1234"));
    QCOMPARE(s.text("eDnCnt2"), QString("56"));
    QCOMPARE(s.control<QSpinBox>("seUpRel1Ch2")->value(), 1);   // 0 from the counter, clamped
    QCOMPARE(counterStatus().channel(2).upRelay1, 0);
    QCOMPARE(s.control<QSpinBox>("seUpRel2Ch2")->value(), 7);
    QCOMPARE(s.control<QSpinBox>("seDnRel1Ch2")->value(), 4);
    QCOMPARE(s.control<QSpinBox>("seDnRel2Ch2")->value(), 0);
    QCOMPARE(s.control<QSpinBox>("seRelTimeCh2")->value(), 250);
    QCOMPARE(s.control<QSpinBox>("seEvRel1Ch2")->value(), 12);
    QCOMPARE(s.control<QSpinBox>("seEvRel2Ch2")->value(), 11);
    QCOMPARE(s.control<QSpinBox>("seEvTimeCh2")->value(), 300);
    QVERIFY(s.control<QCheckBox>("cBoxGraphCh2")->isChecked());
    QCOMPARE(s.text("eSattCh2"), QString("7"));
    QCOMPARE(s.text("eWattCh2"), QString("88"));
    // The other channels keep the counter's defaults.
    QVERIFY(s.control<QCheckBox>("cBoxChannel1")->isChecked());
    QCOMPARE(s.control<QSpinBox>("seUpTh1")->value(), 20);
    QCOMPARE(s.control<QSpinBox>("seEvRel1Ch4")->value(), 3);
    QCOMPARE(s.text("eWattCh3"), QString("34"));
}

void TestStatusWindow::spinEditsClampWhatTheRecordHolds()
{
    StatusSession s;
    ChannelStatus& c = counterStatus().channel(3);
    c.upThreshold = 150;
    c.upRelay1 = 0;
    c.eventRelay2 = 40;
    c.upRelayTime = 400;
    c.enabled = 1;
    s.status->ShowChannel(3);
    QCOMPARE(s.control<QSpinBox>("seUpTh3")->value(), 99);
    QCOMPARE(s.control<QSpinBox>("seUpRel1Ch3")->value(), 1);
    QCOMPARE(s.control<QSpinBox>("seEvRel2Ch3")->value(), 12);
    QCOMPARE(s.control<QSpinBox>("seRelTimeCh3")->value(), 300);
    QVERIFY(s.control<QCheckBox>("cBoxChannel3")->isChecked());
    // The other rows are left alone.
    QCOMPARE(s.control<QSpinBox>("seUpTh2")->value(), 0);
}

void TestStatusWindow::channelControlsAreFoundIgnoringCase()
{
    StatusSession s;
    QCOMPARE(s.status->channelControl<QSpinBox>("SEUPREL1CH", 3), s.control<QSpinBox>("seUpRel1Ch3"));
    QCOMPARE(s.status->channelControl<QCheckBox>("cboxchannel", 4), s.control<QCheckBox>("cBoxChannel4"));
    QCOMPARE(s.status->channelControl<QLineEdit>("ESATTCH", 1), s.control<QLineEdit>("eSattCh1"));
    QCOMPARE(s.status->channelControl<QSpinBox>("seUpRel1Ch", 5), nullptr);
    // The kind counts too: a text is not a spin edit.
    QCOMPARE(s.status->channelControl<QSpinBox>("eUpCnt", 1), nullptr);
}

void TestStatusWindow::viewModeEnablesNoSetting()
{
    StatusSession s;
    QVERIFY(s.connect());
    for (QAbstractSpinBox* spin : s.status->findChildren<QAbstractSpinBox*>())
        QVERIFY2(!spin->isEnabled(), qPrintable(spin->objectName()));
    for (QComboBox* combo : s.status->findChildren<QComboBox*>())
        QVERIFY2(!combo->isEnabled(), qPrintable(combo->objectName()));
    for (QCheckBox* box : s.status->findChildren<QCheckBox*>())
        QVERIFY2(!box->isEnabled(), qPrintable(box->objectName()));
    QVERIFY(s.button("bbtnRefresh")->isEnabled());
    QVERIFY(s.button("bbtnChange")->isEnabled());
    QVERIFY(s.button("bbtnContUpd")->isEnabled());
    for (const char* name : {"bbtnProfile", "bbtnSave", "bbtnCancel", "bbtnSyncTime"})
        QVERIFY2(!s.button(name)->isEnabled(), name);
    // Disabled, yet drawn to be read outdoors: the darkest of each value's pixels is its
    // text, in the normal text colour, not the pale grey of disabled text.
    for (const char* name : {"seUpTh1", "cbPrinter", "seLengthComp"}) {
        const QImage drawn = s.control<QWidget>(name)->grab().toImage();
        int darkest = 255;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x)
                darkest = std::min(darkest, drawn.pixelColor(x, y).lightness());
        QVERIFY2(darkest < 100, qPrintable(QStringLiteral("%1: %2").arg(name).arg(darkest)));
    }
}

void TestStatusWindow::editModeEnablingRules()
{
    StatusSession s;
    s.counterState().channels[3].enabled = 0;
    QVERIFY(s.connect());
    s.clearCommands();

    s.button("bbtnChange")->click();
    QVERIFY(!s.button("bbtnRefresh")->isEnabled());
    QVERIFY(!s.button("bbtnChange")->isEnabled());
    QVERIFY(!s.button("bbtnContUpd")->isEnabled());
    for (const char* name : {"bbtnSave", "bbtnCancel", "bbtnSyncTime"})
        QVERIFY2(s.button(name)->isEnabled(), name);
    QVERIFY(s.button("bbtnProfile")->isEnabled());
    for (const char* name : {"cbPrinter", "cbEvents", "cbRelay", "cbLogging", "cbBuffer", "cbAlgorithm",
                             "cbContOutput", "cbDump", "cbMaxSize"})
        QVERIFY2(s.control<QComboBox>(name)->isEnabled(), name);
    QVERIFY(s.control<QSpinBox>("seLengthComp")->isEnabled());
    QVERIFY(s.control<QDateEdit>("dtpDate")->isEnabled());
    QVERIFY(s.control<QTimeEdit>("dtpTime")->isEnabled());
    for (int n = 1; n <= 3; ++n)
        QCOMPARE(channelSettingsEnabled(s, n), all(true));
    // An unchecked channel: only its box can be used, and checking it frees the row at once.
    QCOMPARE(channelSettingsEnabled(s, 4), all(false));
    QVERIFY(s.control<QCheckBox>("cBoxChannel4")->isEnabled());
    QTest::mouseClick(s.control<QCheckBox>("cBoxChannel4"), Qt::LeftButton);
    QCOMPARE(channelSettingsEnabled(s, 4), all(true));
    QTest::mouseClick(s.control<QCheckBox>("cBoxChannel1"), Qt::LeftButton);
    QCOMPARE(channelSettingsEnabled(s, 1), all(false));
    QVERIFY(s.control<QCheckBox>("cBoxChannel1")->isEnabled());

    // "Events" switched off takes "Relay" and "Event Logging" with it at once.
    auto* events = s.control<QComboBox>("cbEvents");
    QCOMPARE(events->currentText(), QString("Enabled"));
    QVERIFY(s.control<QComboBox>("cbRelay")->isEnabled());
    choose(events, 0);
    QVERIFY(!s.control<QComboBox>("cbRelay")->isEnabled());
    QVERIFY(!s.control<QComboBox>("cbLogging")->isEnabled());
    choose(events, 1);
    QVERIFY(s.control<QComboBox>("cbRelay")->isEnabled());
    QVERIFY(s.control<QComboBox>("cbLogging")->isEnabled());
    // None of this talks to the counter.
    QTest::qWait(50);
    QCOMPARE(s.commands(), QStringList());
}

void TestStatusWindow::refreshInViewModeEnablesNothing()
{
    StatusSession s;
    s.counterState().channels[3].enabled = 0;
    QVERIFY(s.connect());
    QVERIFY(!s.control<QCheckBox>("cBoxChannel4")->isChecked());
    s.counterState().channels[3].enabled = 1;
    s.clearCommands();
    s.button("bbtnRefresh")->click();
    QCOMPARE(s.settledCommands(), statusRead());
    QVERIFY(s.control<QCheckBox>("cBoxChannel4")->isChecked());
    QCOMPARE(channelSettingsEnabled(s, 4), all(false));
    QVERIFY(!s.control<QCheckBox>("cBoxChannel4")->isEnabled());
}

void TestStatusWindow::cancelInEditModeRereadsAndDiscardsEdits()
{
    StatusSession s;
    QVERIFY(s.connect());
    s.clearCommands();
    s.button("bbtnChange")->click();
    s.control<QSpinBox>("seUpTh1")->setValue(55);
    choose(s.control<QComboBox>("cbPrinter"), 1);
    s.control<QDateEdit>("dtpDate")->setDate(QDate(2030, 1, 1));
    s.counterState().channels[0].downThreshold = 31;   // changed on the counter meanwhile

    s.button("bbtnCancel")->click();
    QCOMPARE(s.settledCommands(), statusRead());
    QCOMPARE(s.control<QSpinBox>("seUpTh1")->value(), 20);
    QCOMPARE(s.control<QSpinBox>("seDnTh1")->value(), 31);
    QCOMPARE(s.control<QComboBox>("cbPrinter")->currentText(), QString("Disabled"));
    QCOMPARE(s.control<QDateEdit>("dtpDate")->date(), counterStatus().dateTime.date());
    QVERIFY(s.button("bbtnChange")->isEnabled());
    QVERIFY(!s.button("bbtnSave")->isEnabled());
    QVERIFY(!s.control<QSpinBox>("seUpTh1")->isEnabled());
}

// A button and a menu of the main frame that share a letter: the key presses the button.
void TestStatusWindow::altKeysPressTheButtons_data()
{
    QTest::addColumn<bool>("editMode");
    QTest::addColumn<char>("key");
    QTest::addColumn<QString>("pressed");
    QTest::newRow("edit mode: Alt+S saves, not Counter Setup") << true << 'S' << "bbtnSave";
    QTest::newRow("edit mode: Alt+C cancels") << true << 'C' << "bbtnCancel";
    QTest::newRow("view mode: Alt+R refreshes") << false << 'R' << "bbtnRefresh";
}

void TestStatusWindow::altKeysPressTheButtons()
{
    QFETCH(bool, editMode);
    QFETCH(char, key);
    QFETCH(QString, pressed);
    StatusSession s;
    QVERIFY(s.connect());
    s.main->show();
    QVERIFY(QTest::qWaitForWindowActive(s.main));
    if (editMode)
        s.button("bbtnChange")->click();
    QStringList clicked;
    for (auto* button : s.status->findChildren<QPushButton*>())
        connect(button, &QPushButton::clicked, s.status, [&clicked, name = button->objectName()] { clicked << name; });
    s.control<QSpinBox>("seUpTh1")->setFocus();
    QWidget* focus = QApplication::focusWidget();
    QVERIFY(focus && s.status->isAncestorOf(focus));
    QTest::keyClick(focus, Qt::Key(Qt::Key_A + key - 'A'), Qt::AltModifier);
    QTRY_COMPARE(clicked, QStringList{pressed});
    QVERIFY(!QApplication::activePopupWidget());
}

void TestStatusWindow::escapeCancelsAndEnterSaves()
{
    StatusSession s;
    QVERIFY(s.connect());
    s.clearCommands();
    s.button("bbtnChange")->click();
    QTest::keyClick(s.control<QSpinBox>("seUpTh2"), Qt::Key_Escape);
    QVERIFY(!s.button("bbtnSave")->isEnabled());
    QCOMPARE(s.settledCommands(), statusRead());

    s.clearCommands();
    s.button("bbtnChange")->click();
    auto* threshold = s.control<QSpinBox>("seUpTh2");
    threshold->setValue(44);
    QTest::keyClick(threshold, Qt::Key_Return);
    QCOMPARE(s.settledCommands(), QStringList{"02A4420"} + statusRead());
    QVERIFY(!s.button("bbtnSave")->isEnabled());
}

void TestStatusWindow::failedReadLeavesTheDisplay()
{
    StatusSession s;
    QVERIFY(s.connect());
    const QString version = s.text("labVersion");
    s.counterState().versionText = "Changed";
    s.counterState().channels[0].upThreshold = 45;
    s.counter().addFault({sim::SimFault::WrongLength, kAck, 1, 0});
    messageBoxes().reset();

    s.button("bbtnRefresh")->click();
    QCOMPARE(messageBoxes().recordedTexts(), QStringList({"Invalid response from Counter reading channel 1"}));
    // The record took the status line before the channel block failed; the window did not.
    QCOMPARE(counterStatus().versionText, QString("Changed"));
    QCOMPARE(s.text("labVersion"), version);
    QCOMPARE(s.control<QSpinBox>("seUpTh1")->value(), 20);
    QCOMPARE(s.messagePanel(), QString("Getting Channel 1 Status"));
}

void TestStatusWindow::closingOwnDialogIsNoActivation()
{
    StatusSession s;
    QVERIFY(s.connect());
    s.clearCommands();
    s.button("bbtnChange")->click();
    QMdiArea* area = s.main->mdiArea();

    // "Set &Password" opens the password window, a modal dialog of this window. On a
    // desktop the work area has no active child while the dialog has the focus, and the
    // status window becomes the active child again when it closes.
    onNextModal([area](QWidget* dialog) {
        emit area->subWindowActivated(nullptr);
        child<QLineEdit>(dialog, "mePassword")->setText("77");
        child<QPushButton>(dialog, "BitBtn1")->click();
    });
    s.item("menuPasswords")->trigger();
    emit area->subWindowActivated(s.status);
    QTest::qWait(100);

    QCOMPARE(s.settledCommands(), QStringList({"9D", "90077", "9D"}));
    QVERIFY2(s.button("bbtnSave")->isEnabled(), "still in edit mode");
    QCOMPARE(s.frontWindow(), QString("fStatus"));
}

void TestStatusWindow::switchingBackToTheWindowReadsAgain()
{
    StatusSession s;
    QVERIFY(s.connect());
    s.button("bbtnChange")->click();
    s.clearCommands();
    // The placeholder coming to the front and going again (as in the recalibration
    // countdown) is not the operator turning to the window.
    s.main->showBlank();
    QCOMPARE(s.frontWindow(), QString("fBlank"));
    s.main->mdiArea()->setActiveSubWindow(s.status);
    QTest::qWait(100);
    QCOMPARE(s.commands(), QStringList());
    QVERIFY(s.button("bbtnSave")->isEnabled());

    // Another child window in front (a tool window), then the status window again: that
    // is an activation, which leaves edit mode and reads the counter.
    auto* tool = s.main->mdiArea()->addSubWindow(new QLabel("tool"));
    tool->setObjectName("tool");
    tool->show();
    s.main->mdiArea()->setActiveSubWindow(tool);
    QCOMPARE(s.frontWindow(), QString("tool"));
    QCOMPARE(s.commands(), QStringList());
    s.main->mdiArea()->setActiveSubWindow(s.status);
    QCOMPARE(s.settledCommands(), statusRead());
    QVERIFY(!s.button("bbtnSave")->isEnabled());
    QVERIFY(s.status->isMaximized());
    delete tool;
}

void TestStatusWindow::profileGridOnlyOpensInEditMode()
{
    int opened = 0;
    StatusSession s;
    // A stand-in for the profile window: a modal dialog of the status window that closes
    // by itself.
    s.main->setToolOpener(app::Tool::Profile, [&opened, &s](app::StatusAccess& access) {
        ++opened;
        QMdiArea* area = s.status->mdiArea();
        access.runOwnDialog([&] {
            QDialog dialog(access.dialogParent());
            QTimer::singleShot(50, &dialog, [&] {
                emit area->subWindowActivated(nullptr);
                dialog.accept();
            });
            const int result = dialog.exec();
            emit area->subWindowActivated(s.status);
            return result;
        });
    });
    QVERIFY(s.connect());
    s.clearCommands();
    auto* grid = s.control<QTableWidget>("sgCond");
    emit grid->cellDoubleClicked(1, 3);
    QCOMPARE(opened, 0);

    s.button("bbtnChange")->click();
    QVERIFY(s.button("bbtnProfile")->isEnabled());
    QCOMPARE(s.button("bbtnProfile")->toolTip(), QString());
    emit grid->cellDoubleClicked(1, 3);
    QCOMPARE(opened, 1);
    s.button("bbtnProfile")->click();
    QCOMPARE(opened, 2);
    // Closing it left the window in edit mode, and the counter was not read.
    QVERIFY(s.button("bbtnSave")->isEnabled());
    QTest::qWait(50);
    QCOMPARE(s.commands(), QStringList());
}

KFC_APP_TEST_MAIN(TestStatusWindow)
#include "test_statuswindow.moc"
