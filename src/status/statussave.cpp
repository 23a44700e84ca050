// Saving the status window's changes: every control is compared with the record of the
// last read, and one command goes out for each setting that differs, in a fixed order,
// each announced in the main frame's message panel. No reply is waited for; the read
// that follows the save shows what the counter took.

#include "tfstatus.h"

#include "app/tfmain.h"
#include "counter/counterstatus.h"
#include "link/errors.h"
#include "link/link.h"
#include "link/wait.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimeEdit>

#include <array>

namespace kfc::status {

namespace {

// "A" when the control's choice differs from the record, else "C" (unchanged).
QChar flagLetter(const QComboBox& combo, int recorded)
{
    return combo.currentIndex() != recorded ? QLatin1Char('A') : QLatin1Char('C');
}

// A gain of the profile grid. It goes on the line as three digits, so anything else
// would shift every value after it.
qint32 gridCell(const QTableWidget& grid, int column)
{
    const QString text = grid.item(1, column)->text().trimmed();
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok)
        throw ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    if (value < 0 || value > 999)
        throw ConversionError(
            QStringLiteral("The gain %1 at %2 cannot be sent: a gain is 0 to 999.")
                .arg(value)
                .arg(conductivityPoint(column)));
    return value;
}

struct RelayGroup {
    const char* relay1;
    const char* relay2;
    const char* time;
    const char* what;
    qint32 ChannelStatus::*recordRelay1;
    qint32 ChannelStatus::*recordRelay2;
    qint32 ChannelStatus::*recordTime;
};

// Groups 1 to 3: up, down and event relays. Up and down share the one relay-time control.
const std::array<RelayGroup, 3> kRelayGroups{{
    {"seUpRel1Ch", "seUpRel2Ch", "seRelTimeCh", "Up", &ChannelStatus::upRelay1,
     &ChannelStatus::upRelay2, &ChannelStatus::upRelayTime},
    {"seDnRel1Ch", "seDnRel2Ch", "seRelTimeCh", "Down", &ChannelStatus::downRelay1,
     &ChannelStatus::downRelay2, &ChannelStatus::downRelayTime},
    {"seEvRel1Ch", "seEvRel2Ch", "seEvTimeCh", "Event", &ChannelStatus::eventRelay1,
     &ChannelStatus::eventRelay2, &ChannelStatus::eventRelayTime},
}};

} // namespace

void TfStatus::SaveChanges()
{
    // One dialogue: a command started from a click during its waits would be interleaved.
    auto hold = link().holdLine();
    CounterStatus& status = record();
    showMessageText(QStringLiteral("Saving Counter Changes. Please Wait..."));
    saveDate();
    saveTime();
    if (cbPrinter->currentIndex() != status.printerEnabled) {
        showMessageText(QStringLiteral("Saving Printer Enabled Status. Please Wait..."));
        link().SendCommand(QStringLiteral("7A"));
    }
    saveEventFlags();
    if (cbBuffer->currentIndex() != status.bufferType) {
        showMessageText(QStringLiteral("Saving Buffer State. Please Wait..."));
        link().SendCommand(cbBuffer->currentIndex() == 0 ? QStringLiteral("bn") : QStringLiteral("bc"));
    }
    if (cbMaxSize->currentText().toInt() != status.maxFishSize) {
        showMessageText(QStringLiteral("Saving Fish Size. Please Wait..."));
        link().SendCommand(QStringLiteral("E8%1").arg(cbMaxSize->currentIndex()));
    }
    if (cbAlgorithm->currentIndex() != status.algorithm) {
        showMessageText(QStringLiteral("Saving Algorithm. Please Wait..."));
        link().SendCommand(QStringLiteral("EE%1").arg(cbAlgorithm->currentIndex()));
    }
    if (seLengthComp->value() != status.lengthComp) {
        showMessageText(QStringLiteral("Saving Length Compensation. Please Wait..."));
        link().SendCommand(QString::asprintf("E4%3.3d", seLengthComp->value()));
    }
    saveProfile();
    for (int n = 1; n <= kChannelCount; ++n)
        SaveChannel(n);
    showMessageText(QString());
}

void TfStatus::saveDate()
{
    if (!m_dateChanged || dtpDate->date() == record().dateTime.date())
        return;
    showMessageText(QStringLiteral("Saving Date. Please Wait..."));
    link().SendCommand(QStringLiteral("3A") + dtpDate->date().toString(QStringLiteral("yyMMdd")));
}

void TfStatus::saveTime()
{
    if (!m_timeChanged || dtpTime->time() == record().dateTime.time())
        return;
    showMessageText(QStringLiteral("Saving Time. Please Wait..."));
    link().SendCommand(QStringLiteral("4A") + dtpTime->time().toString(QStringLiteral("HHmmss")));
}

void TfStatus::saveEventFlags()
{
    const CounterStatus& status = record();
    QString flags(flagLetter(*cbEvents, status.eventsEnabled));
    // Relay and logging only count while events are enabled.
    if (cbEvents->currentIndex() == 1) {
        flags += flagLetter(*cbRelay, status.relayMode);
        flags += flagLetter(*cbLogging, status.eventLogging);
    }
    if (flags == QLatin1String("CCC"))
        return;
    showMessageText(QStringLiteral("Saving Event/Relay/Logging Status. Please Wait..."));
    link().SendCommand(QStringLiteral("8") + flags);
    // The counter answers this one; what it says is dropped with the line clearing.
    DelayWithEvents(unsigned(link().timing.eventFlagsSettleMs));
    link().ClearLine();
}

void TfStatus::saveProfile()
{
    CounterStatus& status = record();
    const QString type = eCondType->text();
    if (type == QLatin1String("N")) {
        // Every cell is checked before any is taken, so a bad cell leaves the record whole.
        std::array<qint32, kProfilePointCount> gains{};
        for (int i = 1; i <= kProfilePointCount; ++i)
            gains[size_t(i - 1)] = gridCell(*sgCond, i);
        bool changed = false;
        QString command = QStringLiteral("E6N");
        for (int i = 1; i <= kProfilePointCount; ++i) {
            changed = changed || gains[size_t(i - 1)] != status.profileGain(i);
            status.profileGain(i) = gains[size_t(i - 1)];
            command += QString::asprintf("%3.3d", int(status.profileGain(i)));
        }
        if (changed) {
            showMessageText(QStringLiteral("Saving Conductivity Profile. Please Wait..."));
            link().SendCommand(command);
        }
        return;
    }
    if (status.condProfileType == type)
        return;
    status.condProfileType = type.left(1);
    showMessageText(QStringLiteral("Saving Cond Profile Type. Please Wait..."));
    link().SendCommand(QStringLiteral("E6") + status.condProfileType);
}

void TfStatus::SaveChannel(int n)
{
    const ChannelStatus& c = record().channel(n);
    auto spin = [this, n](const char* prefix) {
        return channelControlOf<QSpinBox>(*this, QLatin1String(prefix), n).value();
    };
    showMessageText(QStringLiteral("Saving changes for Channel %1").arg(n));

    const bool checked = channelControlOf<QCheckBox>(*this, QStringLiteral("cBoxChannel"), n).isChecked();
    if ((c.enabled == 1 && !checked) || (c.enabled == 0 && checked)) {
        showMessageText(QStringLiteral("Saving Enabled Status for Channel %1").arg(n));
        link().SendCommand(QStringLiteral("5%1A").arg(n));
    }
    // Nothing else of a channel that is switched off.
    if (!checked)
        return;

    const int up = spin("seUpTh");
    const int down = spin("seDnTh");
    if (up != c.upThreshold || down != c.downThreshold) {
        showMessageText(QStringLiteral("Saving Thresholds for Channel %1").arg(n));
        link().SendCommand(QString::asprintf("0%dA%2.2d%2.2d", n, up, down));
    }
    for (int group = 1; group <= 3; ++group)
        saveRelayGroup(group, n);

    const bool graph = channelControlOf<QCheckBox>(*this, QStringLiteral("cBoxGraphCh"), n).isChecked();
    if ((c.graphEnabled == 1 && !graph) || (c.graphEnabled == 0 && graph)) {
        showMessageText(QStringLiteral("Saving Graph Status for Channel %1").arg(n));
        link().SendCommand(QStringLiteral("E7%1A").arg(n));
        // The counter answers with two lines, which are read and dropped.
        link().ReadReply(CR);
        link().ReadReply(CR);
    }
}

void TfStatus::saveRelayGroup(int group, int n)
{
    const RelayGroup& g = kRelayGroups.at(size_t(group - 1));
    const ChannelStatus& c = record().channel(n);
    const int relay1 = channelControlOf<QSpinBox>(*this, QLatin1String(g.relay1), n).value();
    const int relay2 = channelControlOf<QSpinBox>(*this, QLatin1String(g.relay2), n).value();
    const int time = channelControlOf<QSpinBox>(*this, QLatin1String(g.time), n).value();
    if (relay1 == c.*g.recordRelay1 && relay2 == c.*g.recordRelay2 && time == c.*g.recordTime)
        return;
    showMessageText(QStringLiteral("Saving %1 Relay Settings for Channel %2").arg(QLatin1String(g.what)).arg(n));
    // Without a second relay the counter takes "D" in its place.
    const QString command = relay2 == 0
                                ? QString::asprintf("6%d%dA%2.2dD%3.3d", group, n, relay1, time)
                                : QString::asprintf("6%d%dA%2.2d%2.2d%3.3d", group, n, relay1, relay2, time);
    link().SendCommand(command);
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
    link().SendCommand(QStringLiteral("EC%1").arg(cbContOutput->currentIndex()));
}

void TfStatus::cbDumpChange()
{
    // Also run by "Max Size": the dump choice goes out again unchanged, and the new size
    // waits for the save.
    link().SendCommand(QStringLiteral("ED%1").arg(cbDump->currentIndex()));
}

} // namespace kfc::status
