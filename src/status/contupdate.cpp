// Continuous update: the counter reports fish, conductivity and clock changes as they
// happen, and the window follows them. The loop listens on the line inside the button's
// handler; "&Cancel" (and the dummy fish window) run nested inside its wait, and the
// listening hold makes the loop's pending read give way to their exchanges.

#include "tfstatus.h"

#include "app/application.h"
#include "app/tfmain.h"
#include "counter/contupdate.h"
#include "counter/counterstatus.h"
#include "link/errors.h"
#include "link/link.h"
#include "counter/updateline.h"
#include "link/wait.h"

#include <QAction>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>

namespace kfc::status {

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

void TfStatus::applyUpdateMode(bool on)
{
    m_contUpdActive = on;
    if (!on)
        showMessageText(QString());
    memLastEvent->clear();
    memLastEvent->setVisible(on);
    m_profileRow->setVisible(!on);
    bbtnContUpd->setVisible(!on);
    updateControls();
}

void TfStatus::SetContinuousUpdate(bool on)
{
    applyUpdateMode(on);
    // A fish may pass just as the mode starts or stops: its line comes before the reply,
    // and is taken as what it is.
    const auto takeUnasked = [this](const QString& line) {
        if (!IsUpdateLine(line))
            return false;
        takeUpdateLine(line);
        return true;
    };
    // The mode is entered or left whatever the counter said.
    SwitchContinuousUpdate(link(), on, takeUnasked);
}

void TfStatus::bbtnContUpdClick()
{
    app::showingErrors([this] {
        // Whatever ends the mode but "&Cancel" (a refused start, a dead line, any error), the
        // window does not stay in a mode that nothing follows. Run before an error is shown,
        // so that its box does not stand over a half-left mode.
        const auto ended = qScopeGuard([this] {
            if (m_contUpdActive)
                leaveUpdateLocally(m_main.comPort().PortIsOpen() ? QStringLiteral("an error ended it")
                                                                 : QStringLiteral("the line is closed"));
        });
        SetContinuousUpdate(true);
        showMessageText(QStringLiteral("Continuous Update Mode. Press Cancel to stop"));
        listenForUpdates();
    });
    YieldToUI();
}

void TfStatus::listenForUpdates()
{
    auto hold = link().holdLine(Link::HoldKind::Listening);
    // "&Cancel" may run inside the yield. A dead line has nothing more to say (a read on
    // it would return at once); one that dies during a read ends the mode by LineLostError,
    // which the main frame has told the user of.
    while (m_contUpdActive) {
        YieldToUI();
        if (!m_contUpdActive || !m_main.comPort().PortIsOpen())
            break;
        const QString line = link().ReadReply(CR);
        if (!line.isEmpty())
            takeUpdateLine(line);
    }
}

void TfStatus::leaveUpdateLocally(const QString& why)
{
    link().LogLine(QStringLiteral("--  continuous update ended: ") + why);
    applyUpdateMode(false);
}

void TfStatus::takeUpdateLine(const QString& line)
{
    UpdateLineResult result;
    try {
        result = ApplyUpdateLine(record(), line);
    } catch (const ConversionError& error) {
        // The fields before the bad one are taken; nothing is shown for the line.
        link().LogLine(QStringLiteral("--  update line dropped: ") + line + QStringLiteral(" (") + error.text()
                       + QLatin1Char(')'));
        return;
    }
    if (result.kind == UpdateLineResult::Kind::Rejected) {
        link().LogLine(QStringLiteral("--  update line rejected, not a channel 1 to 4: ") + line);
        return;
    }
    if (!result.memo.isEmpty())
        AddEventLine(result.memo);
    ShowStatus();
}

} // namespace kfc::status
