// Continuous update: the counter reports fish, conductivity and clock changes as they
// happen, and the window follows them. The loop listens on the line inside the button's
// handler; "&Cancel" (and the dummy fish window) run nested inside its wait, and the
// listening hold makes the loop's pending read give way to their exchanges.

#include "tfstatus.h"

#include "app/messageboxes.h"
#include "app/tfmain.h"
#include "counter/counterstatus.h"
#include "link/errors.h"
#include "link/link.h"
#include "counter/readers.h"
#include "link/wait.h"

#include <QAction>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

namespace kfc::status {

namespace {

const QString kStarted = QStringLiteral("UPDON");
const QString kStopped = QStringLiteral("UPDOFF");

} // namespace

QString TfStatus::eventStamp(const QDateTime& when)
{
    // The counter's clock has no time zone, so none is shown.
    const QLocale locale;
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QLatin1Char('t'));
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ')
           + when.time().toString(timeFormat.trimmed());
}

void TfStatus::AddEventLine(const QString& text)
{
    memLastEvent->appendPlainText(eventStamp(record().dateTime) + QLatin1Char(' ') + text);
}

void TfStatus::SetBusyMenus(bool enabled)
{
    m_main.setMenusBusy(!enabled);
    m_menusBusy = !enabled;
    // Counter Setup stays open for "Insert Dummy &Fish", whose fish show in the memo.
    for (QAction* item : menuCounterSetup->actions())
        item->setEnabled(enabled);
    updateToolEntries();
    Information1->menuAction()->setEnabled(enabled);
    menuAdvancedSetup->menuAction()->setEnabled(enabled);
}

void TfStatus::applyUpdateMode(bool on)
{
    m_contUpdActive = on;
    if (!on)
        showMessageText(QString());
    memLastEvent->clear();
    memLastEvent->setVisible(on);
    bbtnContUpd->setVisible(!on);
    bbtnCancel->setEnabled(on);
    bbtnChange->setEnabled(!on);
    bbtnRefresh->setEnabled(!on);
    bbtnContUpd->setEnabled(!on);
    SetBusyMenus(!on);
}

void TfStatus::SetContinuousUpdate(bool on)
{
    applyUpdateMode(on);
    const QString reply = link().Exchange(on ? QStringLiteral("i1") : QStringLiteral("i0"));
    // The mode is entered or left whatever the counter said.
    if (reply != (on ? kStarted : kStopped))
        app::messageBoxes().show(MessageKind::Error, QStringLiteral("Error: Invalid Response from counter"));
}

void TfStatus::bbtnContUpdClick()
{
    SetContinuousUpdate(true);
    showMessageText(QStringLiteral("Continuous Update Mode. Press Cancel to stop"));
    {
        auto hold = link().holdLine(Link::HoldKind::Listening);
        while (m_contUpdActive) {
            YieldToUI();
            // "&Cancel" may have run just now, inside the yield.
            if (!m_contUpdActive)
                break;
            // A dead line has nothing more to say, and reading it would return at once.
            if (!m_main.comPort().PortIsOpen()) {
                leaveUpdateLocally();
                break;
            }
            const QString line = link().ReadReply(CR);
            if (line.isEmpty())
                continue;
            try {
                handleUpdateLine(line);
            } catch (const ConversionError& error) {
                link().LogLine(QStringLiteral("--  update line dropped: ") + line + QStringLiteral(" (")
                               + error.text() + QLatin1Char(')'));
            }
        }
    }
    YieldToUI();
}

void TfStatus::leaveUpdateLocally()
{
    link().LogLine(QStringLiteral("--  continuous update ended: the line is closed"));
    applyUpdateMode(false);
}

void TfStatus::handleUpdateLine(QString line)
{
    const QChar kind = line.at(0);
    QString rest = line.mid(1);
    if (kind == QLatin1Char('C')) {
        takeConductivityLine(rest);
        AddEventLine(QStringLiteral("Cond. and Atten. Change"));
    } else if (kind == QLatin1Char('F')) {
        if (!takeFishLine(rest)) {
            link().LogLine(QStringLiteral("--  update line rejected, not a channel 1 to 4: ") + line);
            return;
        }
    } else if (kind == QLatin1Char('T')) {
        const QDate date = TakeDate(rest);
        const QTime time = TakeTime(rest);
        record().dateTime = QDateTime(date, time, Qt::UTC);
    }
    ShowStatus();
}

void TfStatus::takeConductivityLine(QString& rest)
{
    CounterStatus& status = record();
    for (int n = 1; n <= kChannelCount; ++n) {
        status.channel(n).sAtt = TakeInteger(rest);
        status.channel(n).wAtt = TakeInteger(rest);
    }
    status.conductivity = TakeInteger(rest);
}

bool TfStatus::takeFishLine(QString& rest)
{
    if (rest.size() < 2)
        return false;
    const int channel = rest.at(0).unicode() - '0';
    if (channel < 1 || channel > kChannelCount)
        return false;
    const bool up = rest.at(1) == QLatin1Char('U');
    rest.remove(0, 2);
    CounterStatus& status = record();
    status.eventCount = TakeInteger(rest);
    ChannelStatus& c = status.channel(channel);
    if (up)
        ++c.upCount;
    else
        ++c.downCount;
    AddEventLine(QStringLiteral("Fish, Channel %1 %2").arg(channel).arg(up ? QStringLiteral("Up") : QStringLiteral("Down")));
    return true;
}

} // namespace kfc::status
