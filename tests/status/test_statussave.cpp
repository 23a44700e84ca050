// Saving the status window's changes against the simulated counter: the exact commands,
// in their fixed order, for each kind of change; what is not sent; the progress texts;
// the controls that send at once; the date and time pickers and "S&ync Time"; the
// profile; a bad grid cell; and the re-read that follows every save.

#include "support/statustest.h"

#include <QDateEdit>
#include <QTimeEdit>

using namespace kfc;
using namespace kfc::test;
using kfc::app::messageBoxes;

namespace {

// Connected, read, commands forgotten, and in edit mode.
bool startEditing(StatusSession& s)
{
    if (!s.connect())
        return false;
    s.clearCommands();
    s.button("bbtnChange")->click();
    return s.button("bbtnSave")->isEnabled();
}

// "&Save", then every command the counter received, the save's and the read's.
QStringList save(StatusSession& s)
{
    s.button("bbtnSave")->click();
    return s.settledCommands();
}

QStringList channelProgress()
{
    return {"Saving changes for Channel 1", "Saving changes for Channel 2", "Saving changes for Channel 3",
            "Saving changes for Channel 4"};
}

QSpinBox* spin(const StatusSession& s, const QString& name) { return s.control<QSpinBox>(name); }
QComboBox* combo(const StatusSession& s, const QString& name) { return s.control<QComboBox>(name); }

void setGain(const StatusSession& s, int column, const QString& text)
{
    s.control<QTableWidget>("sgCond")->item(1, column)->setText(text);
}

} // namespace

class TestStatusSave : public QObject {
    Q_OBJECT
private slots:
    void nothingChangedWithEventsEnabledSendsNothing();
    void nothingChangedWithEventsDisabledSends8CAndWaits();
    void oneThreshold();
    void secondRelaySetToNoneUsesTheDForm();
    void relayTimeGoesWithBothUpAndDownRelays();
    void uncheckingAChannelSendsOnlyItsSwitch();
    void checkingAChannelSendsItsChangedSettings();
    void manualProfileSendsAllEightWhenOneCellChanged();
    void profileTypeIsSentOnce();
    void dateChangedToTheSameDaySendsNothing();
    void dateAndTimeChanges();
    void syncTimeSetsTheCounterToThePcClock();
    void eventsSwitchedOffSendsOnly8A();
    void relayModeChangeFlagsOnlyTheRelay();
    void everyKindOfChangeInTheFixedOrder();
    void contOutputAndDumpAreSentAtOnce();
    void maxSizeRecordOf120IsSavedAs127();
    void badProfileCellStopsTheSave();
    void olderCounterSavesNothingUnchanged();
    void defaultProfileAfterAManualOne();
    void closingAcksAreNotWaitedFor();
    void graphLinesAreBothWaitedFor();
};

void TestStatusSave::nothingChangedWithEventsEnabledSendsNothing()
{
    StatusSession s;
    QVERIFY(startEditing(s));
    ProgressRecorder progress;
    QCOMPARE(save(s), statusRead());
    QCOMPARE(progress.untilCleared(),
             QStringList{"Saving Counter Changes. Please Wait..."} + channelProgress() + QStringList{""});
    QVERIFY(!s.button("bbtnSave")->isEnabled());
    QCOMPARE(s.messagePanel(), QString());
}

void TestStatusSave::nothingChangedWithEventsDisabledSends8CAndWaits()
{
    StatusSession s;
    s.counterState().eventsEnabled = 0;
    s.main->link().timing.eventFlagsSettleMs = Timing{}.eventFlagsSettleMs;
    QVERIFY(startEditing(s));
    ProgressRecorder progress;
    QCOMPARE(save(s), QStringList{"8C"} + statusRead());
    QVERIFY(progress.texts.contains("Saving Event/Relay/Logging Status. Please Wait..."));
    // The counter is given 1.5 s after the flags before anything else goes out.
    const QList<qint64>& times = s.counter().commandTimesNs();
    QVERIFY2(times.at(1) - times.at(0) >= 1'500'000'000LL, qPrintable(QString::number(times.at(1) - times.at(0))));
    QCOMPARE(s.counterState().eventsEnabled, 0);
}

void TestStatusSave::oneThreshold()
{
    StatusSession s;
    QVERIFY(startEditing(s));
    spin(s, "seUpTh2")->setValue(35);
    ProgressRecorder progress;
    QCOMPARE(save(s), QStringList{"02A3520"} + statusRead());
    QCOMPARE(progress.untilCleared(),
             QStringList({"Saving Counter Changes. Please Wait...", "Saving changes for Channel 1",
                          "Saving changes for Channel 2", "Saving Thresholds for Channel 2",
                          "Saving changes for Channel 3", "Saving changes for Channel 4", ""}));
    // Shown from the counter's answer to the read that followed.
    QCOMPARE(spin(s, "seUpTh2")->value(), 35);
    QCOMPARE(counterStatus().channel(2).upThreshold, 35);
}

void TestStatusSave::secondRelaySetToNoneUsesTheDForm()
{
    StatusSession s;
    s.counterState().channels[0].upRelay1 = 3;
    s.counterState().channels[0].upRelay2 = 4;
    QVERIFY(startEditing(s));
    spin(s, "seUpRel2Ch1")->setValue(0);
    spin(s, "seDnRel2Ch2")->setValue(7);
    QCOMPARE(save(s), QStringList({"611A03D010", "622A0207010"}) + statusRead());
    QCOMPARE(s.counterState().channels[0].upRelay2, 0);
    QCOMPARE(s.counterState().channels[1].downRelay2, 7);
}

void TestStatusSave::relayTimeGoesWithBothUpAndDownRelays()
{
    StatusSession s;
    QVERIFY(startEditing(s));
    spin(s, "seRelTimeCh3")->setValue(25);
    spin(s, "seEvTimeCh4")->setValue(7);
    ProgressRecorder progress;
    QCOMPARE(save(s), QStringList({"613A01D025", "623A02D025", "634A03D007"}) + statusRead());
    QVERIFY(progress.texts.contains("Saving Up Relay Settings for Channel 3"));
    QVERIFY(progress.texts.contains("Saving Down Relay Settings for Channel 3"));
    QVERIFY(progress.texts.contains("Saving Event Relay Settings for Channel 4"));
}

void TestStatusSave::uncheckingAChannelSendsOnlyItsSwitch()
{
    StatusSession s;
    QVERIFY(startEditing(s));
    spin(s, "seUpTh1")->setValue(60);
    spin(s, "seEvRel1Ch1")->setValue(9);
    QTest::mouseClick(s.control<QCheckBox>("cBoxChannel1"), Qt::LeftButton);
    QCOMPARE(save(s), QStringList{"51A"} + statusRead());
    QCOMPARE(s.counterState().channels[0].enabled, 0);
    QCOMPARE(s.counterState().channels[0].upThreshold, 20);
    QVERIFY(!s.control<QCheckBox>("cBoxChannel1")->isChecked());
}

void TestStatusSave::checkingAChannelSendsItsChangedSettings()
{
    StatusSession s;
    s.counterState().channels[3].enabled = 0;
    QVERIFY(startEditing(s));
    QTest::mouseClick(s.control<QCheckBox>("cBoxChannel4"), Qt::LeftButton);
    spin(s, "seUpTh4")->setValue(40);
    spin(s, "seEvRel2Ch4")->setValue(5);
    ProgressRecorder progress;
    QCOMPARE(save(s), QStringList({"54A", "04A4020", "634A0305010"}) + statusRead());
    QVERIFY(progress.texts.contains("Saving Enabled Status for Channel 4"));
    QVERIFY(s.control<QCheckBox>("cBoxChannel4")->isChecked());
}

void TestStatusSave::manualProfileSendsAllEightWhenOneCellChanged()
{
    StatusSession s;
    QVERIFY(startEditing(s));
    // What the profile window hands over: the type and the gains in the grid.
    s.control<QLineEdit>("eCondType")->setText("N");
    QCOMPARE(save(s), statusRead());

    s.clearCommands();
    s.button("bbtnChange")->click();
    setGain(s, 3, "97");
    ProgressRecorder progress;
    QCOMPARE(save(s), QStringList{"E6N100100097090085080075070"} + statusRead());
    QVERIFY(progress.texts.contains("Saving Conductivity Profile. Please Wait..."));
    QCOMPARE(counterStatus().profileGain(3), 97);
    // The counter now holds a manual profile.
    QCOMPARE(counterStatus().condProfileType, QString("N"));
    QCOMPARE(s.control<QTableWidget>("sgCond")->item(1, 3)->text(), QString("97"));
}

void TestStatusSave::profileTypeIsSentOnce()
{
    StatusSession s;
    QVERIFY(startEditing(s));
    s.control<QLineEdit>("eCondType")->setText("F");
    ProgressRecorder progress;
    QCOMPARE(save(s), QStringList{"E6F"} + statusRead());
    QVERIFY(progress.texts.contains("Saving Cond Profile Type. Please Wait..."));
    QCOMPARE(counterStatus().condProfileType, QString("F"));
    // The counter took the flat profile.
    QCOMPARE(s.control<QTableWidget>("sgCond")->item(1, 8)->text(), QString("100"));

    s.clearCommands();
    s.button("bbtnChange")->click();
    QCOMPARE(save(s), statusRead());
}

void TestStatusSave::dateChangedToTheSameDaySendsNothing()
{
    StatusSession s;
    QVERIFY(startEditing(s));
    auto* date = s.control<QDateEdit>("dtpDate");
    const QDate day = date->date();
    date->setDate(day.addDays(1));
    date->setDate(day);
    QVERIFY(s.status->dateChanged());
    QCOMPARE(save(s), statusRead());
}

void TestStatusSave::dateAndTimeChanges()
{
    StatusSession s;
    QVERIFY(startEditing(s));
    QVERIFY(!s.status->dateChanged());
    QVERIFY(!s.status->timeChanged());
    s.control<QDateEdit>("dtpDate")->setDate(QDate(2030, 6, 15));
    s.control<QTimeEdit>("dtpTime")->setTime(QTime(11, 30, 45));
    QCOMPARE(save(s), QStringList({"3A300615", "4A113045"}) + statusRead());
    QCOMPARE(s.control<QDateEdit>("dtpDate")->date(), QDate(2030, 6, 15));
    // The flags are cleared by "&Change", not by the save.
    QVERIFY(s.status->dateChanged());
    s.button("bbtnChange")->click();
    QVERIFY(!s.status->dateChanged());
    QVERIFY(!s.status->timeChanged());
}

void TestStatusSave::syncTimeSetsTheCounterToThePcClock()
{
    StatusSession s;
    s.counterState().clockOffsetSecs = -3 * 24 * 3600 - 3600;
    QVERIFY(startEditing(s));
    s.button("bbtnSyncTime")->click();
    QVERIFY(s.status->dateChanged());
    QVERIFY(s.status->timeChanged());
    // Nothing goes out before "&Save".
    QTest::qWait(50);
    QCOMPARE(s.commands(), QStringList());

    const QDate today = QDate::currentDate();
    const QStringList sent = save(s);
    QCOMPARE(sent.size(), 2 + statusRead().size());
    QCOMPARE(sent.at(0), "3A" + today.toString("yyMMdd"));
    QVERIFY2(QRegularExpression("^4A\\d{6}$").match(sent.at(1)).hasMatch(), qPrintable(sent.at(1)));
    QCOMPARE(sent.mid(2), statusRead());
    const qint64 apart = s.counter().counterClock().secsTo(QDateTime::currentDateTime());
    QVERIFY2(qAbs(apart) <= 10, qPrintable(QString::number(apart)));
}

void TestStatusSave::eventsSwitchedOffSendsOnly8A()
{
    StatusSession s;
    QVERIFY(startEditing(s));
    choose(combo(s, "cbRelay"), 1);
    choose(combo(s, "cbEvents"), 0);
    QCOMPARE(save(s), QStringList{"8A"} + statusRead());
    QCOMPARE(s.counterState().eventsEnabled, 0);
    QCOMPARE(s.counterState().relayMode, 0);
}

void TestStatusSave::relayModeChangeFlagsOnlyTheRelay()
{
    StatusSession s;
    QVERIFY(startEditing(s));
    choose(combo(s, "cbRelay"), 1);
    QCOMPARE(save(s), QStringList{"8CAC"} + statusRead());
    QCOMPARE(combo(s, "cbRelay")->currentText(), QString("Instant"));
}

void TestStatusSave::everyKindOfChangeInTheFixedOrder()
{
    StatusSession s;
    QVERIFY(startEditing(s));
    s.control<QDateEdit>("dtpDate")->setDate(QDate(2030, 6, 15));
    s.control<QTimeEdit>("dtpTime")->setTime(QTime(11, 30, 45));
    choose(combo(s, "cbPrinter"), 1);
    choose(combo(s, "cbLogging"), 0);
    choose(combo(s, "cbBuffer"), 0);
    choose(combo(s, "cbMaxSize"), 1);   // sends the dump choice at once
    choose(combo(s, "cbAlgorithm"), 1);
    spin(s, "seLengthComp")->setValue(250);
    s.control<QLineEdit>("eCondType")->setText("N");
    setGain(s, 8, "65");
    spin(s, "seDnTh1")->setValue(9);
    QTest::mouseClick(s.control<QCheckBox>("cBoxChannel2"), Qt::LeftButton);
    QTest::mouseClick(s.control<QCheckBox>("cBoxGraphCh3"), Qt::LeftButton);
    spin(s, "seUpRel1Ch4")->setValue(5);
    QCOMPARE(s.settledCommands(), QStringList{"ED0"});

    ProgressRecorder progress;
    const QStringList saved{"3A300615", "4A113045", "7A", "8CCA", "bn", "E81", "EE1", "E4250",
                            "E6N100100095090085080075065", "01A2009", "52A", "E73A", "614A05D010"};
    QCOMPARE(save(s), QStringList{"ED0"} + saved + statusRead());
    QCOMPARE(progress.untilCleared(),
             QStringList({"Saving Counter Changes. Please Wait...", "Saving Date. Please Wait...",
                          "Saving Time. Please Wait...", "Saving Printer Enabled Status. Please Wait...",
                          "Saving Event/Relay/Logging Status. Please Wait...", "Saving Buffer State. Please Wait...",
                          "Saving Fish Size. Please Wait...", "Saving Algorithm. Please Wait...",
                          "Saving Length Compensation. Please Wait...",
                          "Saving Conductivity Profile. Please Wait...", "Saving changes for Channel 1",
                          "Saving Thresholds for Channel 1", "Saving changes for Channel 2",
                          "Saving Enabled Status for Channel 2", "Saving changes for Channel 3",
                          "Saving Graph Status for Channel 3", "Saving changes for Channel 4",
                          "Saving Up Relay Settings for Channel 4", ""}));
    // The two lines the counter answers the graph command with were taken off the line:
    // the read after the save went through without an error.
    QCOMPARE(messageBoxes().recordedTexts(), QStringList());
    QCOMPARE(combo(s, "cbPrinter")->currentText(), QString("Enabled"));
    QCOMPARE(combo(s, "cbLogging")->currentText(), QString("Disabled"));
    QCOMPARE(combo(s, "cbBuffer")->currentText(), QString("Linear"));
    QCOMPARE(combo(s, "cbMaxSize")->currentText(), QString("127"));
    QCOMPARE(combo(s, "cbAlgorithm")->currentText(), QString("Fast"));
    QCOMPARE(spin(s, "seLengthComp")->value(), 250);
    QCOMPARE(spin(s, "seDnTh1")->value(), 9);
    QVERIFY(!s.control<QCheckBox>("cBoxChannel2")->isChecked());
    QVERIFY(s.control<QCheckBox>("cBoxGraphCh3")->isChecked());
    QCOMPARE(spin(s, "seUpRel1Ch4")->value(), 5);
    QCOMPARE(s.control<QDateEdit>("dtpDate")->date(), QDate(2030, 6, 15));
}

void TestStatusSave::contOutputAndDumpAreSentAtOnce()
{
    StatusSession s;
    QVERIFY(startEditing(s));
    choose(combo(s, "cbContOutput"), 1);
    QCOMPARE(s.settledCommands(), QStringList{"EC1"});
    choose(combo(s, "cbDump"), 1);
    QCOMPARE(s.settledCommands(), QStringList({"EC1", "ED1"}));
    // "Max Size" sends the dump choice again, unchanged; the size waits for the save.
    choose(combo(s, "cbMaxSize"), 1);
    QCOMPARE(s.settledCommands(), QStringList({"EC1", "ED1", "ED1"}));
    QCOMPARE(save(s), QStringList({"EC1", "ED1", "ED1", "E81"}) + statusRead());
    QCOMPARE(combo(s, "cbContOutput")->currentText(), QString("Enabled"));
    QCOMPARE(combo(s, "cbDump")->currentText(), QString("Disabled"));
    QCOMPARE(s.counterState().maxFishSize, 127);
}

void TestStatusSave::maxSizeRecordOf120IsSavedAs127()
{
    StatusSession s;
    s.counterState().maxFishSize = 120;
    QVERIFY(startEditing(s));
    QCOMPARE(save(s), QStringList{"E81"} + statusRead());
    QCOMPARE(s.counterState().maxFishSize, 127);
}

void TestStatusSave::badProfileCellStopsTheSave()
{
    StatusSession s;
    QVERIFY(startEditing(s));
    choose(combo(s, "cbPrinter"), 1);
    spin(s, "seUpTh1")->setValue(50);
    s.control<QLineEdit>("eCondType")->setText("N");
    setGain(s, 2, "55");
    setGain(s, 5, "abc");
    // Clicked as the operator does, so that the failure reaches the general error handler.
    QTest::mouseClick(s.button("bbtnSave"), Qt::LeftButton);
    QCOMPARE(messageBoxes().recordedTexts(), QStringList({"'abc' is not a valid integer value"}));
    QCOMPARE(s.settledCommands(), QStringList{"7A"});
    // No gain was taken, and the window stays in edit mode with the operator's values.
    QCOMPARE(counterStatus().profileGain(2), 100);
    QVERIFY(s.button("bbtnSave")->isEnabled());
    QCOMPARE(spin(s, "seUpTh1")->value(), 50);

    // A gain that does not fit the command's three digits is refused the same way.
    messageBoxes().reset();
    s.clearCommands();
    setGain(s, 5, "1000");
    QTest::mouseClick(s.button("bbtnSave"), Qt::LeftButton);
    QCOMPARE(messageBoxes().recordedTexts(),
             QStringList({"The gain 1000 at 150 cannot be sent: a gain is 0 to 999."}));
}

void TestStatusSave::olderCounterSavesNothingUnchanged()
{
    StatusSession s;
    s.counterState().version = 8.8;
    QVERIFY(startEditing(s));
    QStringList read = statusRead();
    read.removeAt(7);   // no other-status block
    QCOMPARE(save(s), read);
}

void TestStatusSave::defaultProfileAfterAManualOne()
{
    StatusSession s;
    QVERIFY(startEditing(s));
    auto* type = s.control<QLineEdit>("eCondType");
    type->setText("D");
    s.button("bbtnSave")->click();
    s.button("bbtnChange")->click();
    type->setText("N");
    setGain(s, 1, "90");
    s.button("bbtnSave")->click();
    s.button("bbtnChange")->click();
    type->setText("D");
    s.button("bbtnSave")->click();
    const QStringList sent = s.settledCommands();
    QCOMPARE(sent.filter(QRegularExpression("^E6")), QStringList({"E6D", "E6N090100095090085080075070", "E6D"}));
    QCOMPARE(s.counterState().condProfile[0], 100);
}

void TestStatusSave::closingAcksAreNotWaitedFor()
{
    StatusSession s;
    QVERIFY(s.connect());
    s.clearCommands();
    s.button("bbtnRefresh")->click();
    s.button("bbtnRefresh")->click();
    QCOMPARE(s.settledCommands(), statusRead() + statusRead());
    // After the channel blocks, the other-status block and the conductivity the next
    // command follows at once, not after a reply's time-out.
    const QList<qint64>& times = s.counter().commandTimesNs();
    for (int closing : {5, 8, 10})
        QVERIFY2(times.at(closing + 1) - times.at(closing) < kFastTiming.replyTimeoutMs * 500'000LL,
                 qPrintable(QString::number(closing)));
}

void TestStatusSave::graphLinesAreBothWaitedFor()
{
    StatusSession s;
    s.counterState().graphSecondLineDelayMs = 200;
    QVERIFY(startEditing(s));
    QTest::mouseClick(s.control<QCheckBox>("cBoxGraphCh2"), Qt::LeftButton);
    QCOMPARE(save(s), QStringList{"E72A"} + statusRead());
    // The read went out after the late second line, and so was not disturbed by it.
    const QList<qint64>& times = s.counter().commandTimesNs();
    QVERIFY(times.at(1) - times.at(0) >= 200'000'000LL);
    QCOMPARE(messageBoxes().recordedTexts(), QStringList());
}

KFC_APP_TEST_MAIN(TestStatusSave)
#include "test_statussave.moc"
