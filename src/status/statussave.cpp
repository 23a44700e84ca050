// Saving the status window's changes: the controls' values are handed to the save plan,
// which compares them with the record of the last read, and its steps are run one by one,
// each announced in the main frame's message panel. No reply is waited for; the read
// that follows the save shows what the counter took.

#include "tfstatus.h"

#include "app/application.h"
#include "app/tfmain.h"
#include "counter/counterstatus.h"
#include "counter/save.h"
#include "counter/saveplan.h"
#include "link/link.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimeEdit>

namespace kfc::status {

namespace {

int spinValue(const QObject& window, const char* prefix, int n)
{
    return channelControlOf<QSpinBox>(window, QLatin1String(prefix), n).value();
}

bool boxChecked(const QObject& window, const char* prefix, int n)
{
    return channelControlOf<QCheckBox>(window, QLatin1String(prefix), n).isChecked();
}

} // namespace

EditedSettings TfStatus::editedSettings() const
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
        EditedChannel& c = e.channels[size_t(n - 1)];
        c.enabled = boxChecked(*this, "cBoxChannel", n);
        c.upThreshold = spinValue(*this, "seUpTh", n);
        c.downThreshold = spinValue(*this, "seDnTh", n);
        c.upRelay1 = spinValue(*this, "seUpRel1Ch", n);
        c.upRelay2 = spinValue(*this, "seUpRel2Ch", n);
        c.downRelay1 = spinValue(*this, "seDnRel1Ch", n);
        c.downRelay2 = spinValue(*this, "seDnRel2Ch", n);
        c.relayTime = spinValue(*this, "seRelTimeCh", n);
        c.eventRelay1 = spinValue(*this, "seEvRel1Ch", n);
        c.eventRelay2 = spinValue(*this, "seEvRel2Ch", n);
        c.eventRelayTime = spinValue(*this, "seEvTimeCh", n);
        c.graph = boxChecked(*this, "cBoxGraphCh", n);
    }
    return e;
}

void TfStatus::SaveChanges()
{
    RunSave(link(), record(), planSave(record(), editedSettings()));
}

// ---- controls that act at once ----------------------------------------------------------

void TfStatus::dtpDateChange() { m_dateChanged = true; }

void TfStatus::dtpTimeChange() { m_timeChanged = true; }

void TfStatus::bbtnSyncTimeClick()
{
    m_dateChanged = true;
    m_timeChanged = true;
    const QDateTime now = QDateTime::currentDateTime();
    dtpDate->setDate(now.date());
    // Whole seconds: the counter keeps no fraction, and the save compares exactly.
    const QTime time = now.time();
    dtpTime->setTime(QTime(time.hour(), time.minute(), time.second()));
}

void TfStatus::cbContOutputChange()
{
    app::showingErrors([this] { link().SendCommand(QStringLiteral("EC%1").arg(cbContOutput->currentIndex())); });
}

void TfStatus::cbDumpChange()
{
    // Also run by "Max Size": the dump choice goes out again unchanged, and the new size
    // waits for the save.
    app::showingErrors([this] { link().SendCommand(QStringLiteral("ED%1").arg(cbDump->currentIndex())); });
}

} // namespace kfc::status
