// The status form: a record shown in the controls, the values the operator edited read
// back for the save, and the handlers that touch nothing but the form.

#include "statusform.h"

#include "channelcolumns.h"
#include "counter/counterstatus.h"
#include "counter/saveplan.h"
#include "livechart.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimeEdit>

namespace kfc::status {

namespace {

void setNumber(QLineEdit& edit, qint32 value) { edit.setText(QString::number(value)); }

QString prefixOf(const ChannelColumn& column) { return QLatin1String(column.prefix); }

// Column kinds whose control the operator sets (the row's own box aside).
bool isChannelSetting(const ChannelColumn& column)
{
    return column.kind == ChannelColumn::Kind::Check || column.kind == ChannelColumn::Kind::Spin;
}

} // namespace

void StatusForm::connectHandlers()
{
    // "activated" is the operator's choice only; setting the index from the record does
    // not emit it, so a read never sends a command.
    connect(cbEvents, &QComboBox::activated, this, &StatusForm::cbEventsChange);
    connect(cbContOutput, &QComboBox::activated, this, &StatusForm::contOutputChosen);
    connect(cbDump, &QComboBox::activated, this, &StatusForm::dumpChosen);
    connect(cbMaxSize, &QComboBox::activated, this, &StatusForm::dumpChosen);
    connect(sgCond, &QTableWidget::cellDoubleClicked, this, &StatusForm::profileGridDoubleClicked);
    connect(m_buttons.syncTime, &QPushButton::clicked, this, &StatusForm::bbtnSyncTimeClick);
    connect(dtpDate, &QDateEdit::dateChanged, this, [this] {
        if (!m_showing)
            dtpDateChange();
    });
    connect(dtpTime, &QTimeEdit::timeChanged, this, [this] {
        if (!m_showing)
            dtpTimeChange();
    });
    for (int n = 1; n <= kChannelCount; ++n) {
        auto& box = channelControlOf<QCheckBox>(*this, QLatin1String(kRowSwitchPrefix), n);
        // Also when the record sets it: the row's controls follow the box.
        connect(&box, &QCheckBox::toggled, this, [this, box = &box] { cBoxChannelClick(box); });
    }
}

// ---- showing --------------------------------------------------------------------------

void StatusForm::showRecord(const CounterStatus& status)
{
    const QScopedValueRollback showing(m_showing, true);
    labVersion->setText(QStringLiteral("Counter Version: ") + QString::number(status.version, 'f', 2)
                        + QLatin1Char(' ') + status.versionText);
    labEvents->setText(QStringLiteral("There are %1 events, max of %2")
                           .arg(status.eventCount)
                           .arg(status.maxEvents));
    if (status.dateTime.isValid()) {
        dtpDate->setDate(status.dateTime.date());
        dtpTime->setTime(status.dateTime.time());
    }
    setNumber(*eCond, status.conductivity);
    cbPrinter->setCurrentIndex(status.printerEnabled);
    cbEvents->setCurrentIndex(status.eventsEnabled);
    cbRelay->setCurrentIndex(status.relayMode);
    cbLogging->setCurrentIndex(status.eventLogging);
    cbBuffer->setCurrentIndex(status.bufferType);
    cbAlgorithm->setCurrentIndex(status.algorithm);
    cbContOutput->setCurrentIndex(status.contOutput);
    cbDump->setCurrentIndex(status.dump);
    cbMaxSize->setCurrentIndex(status.maxFishSize == 100 ? 0 : 1);
    seLengthComp->setValue(status.lengthComp);
    for (int i = 1; i <= kProfilePointCount; ++i) {
        sgCond->item(0, i)->setText(QString::number(conductivityPoint(i)));
        sgCond->item(1, i)->setText(QString::number(status.profileGain(i)));
    }
    for (int n = 1; n <= kChannelCount; ++n)
        showChannel(n, status.channel(n));
}

void StatusForm::showChannel(int n, const ChannelStatus& channel)
{
    const QScopedValueRollback showing(m_showing, true);
    for (const ChannelColumn& column : kChannelColumns) {
        switch (column.kind) {
        case ChannelColumn::Kind::RowSwitch:
        case ChannelColumn::Kind::Check:
            channelControlOf<QCheckBox>(*this, prefixOf(column), n).setChecked(channel.*column.flag == 1);
            break;
        case ChannelColumn::Kind::Spin:
            channelControlOf<QSpinBox>(*this, prefixOf(column), n).setValue(channel.*column.number);
            break;
        case ChannelColumn::Kind::Value:
            setNumber(channelControlOf<QLineEdit>(*this, prefixOf(column), n), channel.*column.number);
            break;
        }
    }
}

void StatusForm::showNoValues()
{
    const QScopedValueRollback showing(m_showing, true);
    labVersion->setText(QStringLiteral("Counter Version: "));
    labEvents->clear();
    for (QAbstractSpinBox* spin : findChildren<QAbstractSpinBox*>())
        spin->clear();
    for (QComboBox* combo : findChildren<QComboBox*>())
        combo->setCurrentIndex(-1);
    for (QLineEdit* edit : findChildren<QLineEdit*>()) {
        if (edit != eCondType)
            edit->clear();
    }
    for (QCheckBox* box : findChildren<QCheckBox*>())
        box->setChecked(false);
    for (int i = 1; i <= kProfilePointCount; ++i) {
        sgCond->item(0, i)->setText(QString::number(conductivityPoint(i)));
        sgCond->item(1, i)->setText(QString());
    }
}

void StatusForm::showUpdateMode(bool on)
{
    memLastEvent->clear();
    memLastEvent->setVisible(on);
    m_chart->setVisible(on);
    m_profileRow->setVisible(!on);
    m_buttons.contUpd->setVisible(!on);
}

void StatusForm::addEventLine(const QString& line) { memLastEvent->appendPlainText(line); }

void StatusForm::followSession(const UpdateSession& session) { m_chart->follow(session); }

// ---- editing --------------------------------------------------------------------------

void StatusForm::setEditable(bool on)
{
    m_editable = on;
    // The read-only texts are never switched: they show values, they take no input.
    for (QAbstractSpinBox* spin : findChildren<QAbstractSpinBox*>())
        spin->setEnabled(on);
    for (QCheckBox* box : findChildren<QCheckBox*>())
        box->setEnabled(on);
    for (QComboBox* combo : findChildren<QComboBox*>())
        combo->setEnabled(on);
    if (on) {
        for (int n = 1; n <= kChannelCount; ++n)
            UpdateChannelControls(n);
    }
}

void StatusForm::UpdateChannelControls(int n)
{
    const bool usable = channelControlOf<QCheckBox>(*this, QLatin1String(kRowSwitchPrefix), n).isChecked()
                        && m_editable;
    for (const ChannelColumn& column : kChannelColumns) {
        if (isChannelSetting(column))
            channelControlOf<QWidget>(*this, prefixOf(column), n).setEnabled(usable);
    }
}

void StatusForm::UpdateEventControls()
{
    cbRelay->setEnabled(cbEvents->currentIndex() == 1);
    cbLogging->setEnabled(cbRelay->isEnabled());
}

void StatusForm::forgetClockChanges()
{
    m_dateChanged = false;
    m_timeChanged = false;
}

EditedSettings StatusForm::editedSettings() const
{
    EditedSettings e;
    if (m_dateChanged)
        e.date = dtpDate->date();
    if (m_timeChanged)
        e.time = dtpTime->time();
    e.printer = cbPrinter->currentIndex();
    e.events = cbEvents->currentIndex();
    e.relay = cbRelay->currentIndex();
    e.logging = cbLogging->currentIndex();
    e.buffer = cbBuffer->currentIndex();
    e.maxSize = cbMaxSize->currentIndex();
    e.algorithm = cbAlgorithm->currentIndex();
    e.lengthComp = seLengthComp->value();
    e.profileType = eCondType->text();
    for (int i = 1; i <= kProfilePointCount; ++i)
        e.gains[size_t(i - 1)] = sgCond->item(1, i)->text();
    for (int n = 1; n <= kChannelCount; ++n) {
        EditedChannel& edited = e.channels[size_t(n - 1)];
        for (const ChannelColumn& column : kChannelColumns) {
            if (column.editedFlag)
                edited.*column.editedFlag = channelControlOf<QCheckBox>(*this, prefixOf(column), n).isChecked();
            if (column.editedNumber)
                edited.*column.editedNumber = channelControlOf<QSpinBox>(*this, prefixOf(column), n).value();
        }
    }
    return e;
}

int StatusForm::contOutputChoice() const { return cbContOutput->currentIndex(); }

int StatusForm::dumpChoice() const { return cbDump->currentIndex(); }

QString StatusForm::profileCell(int column) const { return sgCond->item(1, column)->text(); }

void StatusForm::setProfileCell(int column, const QString& text) { sgCond->item(1, column)->setText(text); }

QString StatusForm::profileType() const { return eCondType->text(); }

void StatusForm::setProfileType(const QString& type) { eCondType->setText(type); }

// ---- handlers -------------------------------------------------------------------------

void StatusForm::cBoxChannelClick(QCheckBox* box)
{
    const QString name = box->objectName();
    UpdateChannelControls(name.right(1).toInt());
}

void StatusForm::cbEventsChange() { UpdateEventControls(); }

void StatusForm::dtpDateChange() { m_dateChanged = true; }

void StatusForm::dtpTimeChange() { m_timeChanged = true; }

void StatusForm::bbtnSyncTimeClick()
{
    m_dateChanged = true;
    m_timeChanged = true;
    const QDateTime now = QDateTime::currentDateTime();
    dtpDate->setDate(now.date());
    // Whole seconds: the counter keeps no fraction, and the save compares exactly.
    const QTime time = now.time();
    dtpTime->setTime(QTime(time.hour(), time.minute(), time.second()));
}

} // namespace kfc::status
