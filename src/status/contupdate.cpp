// Continuous update: entering and leaving the mode, the loop that listens, and what each
// line does to the record and the form.

#include "contupdate.h"

#include "app/application.h"
#include "archive/csv.h"
#include "counter/contupdate.h"
#include "counter/counterstatus.h"
#include "counter/updateline.h"
#include "link/errors.h"
#include "link/hooks.h"
#include "link/link.h"
#include "link/wait.h"
#include "statusform.h"

#include <QLocale>
#include <QSaveFile>
#include <QScopeGuard>

namespace kfc::status {

namespace {

QString kindName(SessionLine::Kind kind)
{
    switch (kind) {
    case SessionLine::Kind::Fish: return QStringLiteral("fish");
    case SessionLine::Kind::Conductivity: return QStringLiteral("conductivity");
    case SessionLine::Kind::Clock: return QStringLiteral("time");
    }
    return {};
}

QStringList csvFields(const SessionLine& line)
{
    // The counter's clock has no zone; it is written as it reads.
    QStringList fields{line.stamp.isValid() ? line.stamp.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString(),
                       kindName(line.kind)};
    const bool fish = line.kind == SessionLine::Kind::Fish;
    fields << (fish ? QString::number(line.channel) : QString())
           << (fish ? (line.up ? QStringLiteral("up") : QStringLiteral("down")) : QString())
           << (fish ? QString::number(line.eventCount) : QString());
    for (qint32 number : line.numbers)
        fields << (line.kind == SessionLine::Kind::Conductivity ? QString::number(number) : QString());
    return fields;
}

// One row a line under a header: the time stamp, the kind, a fish's channel, direction
// and the counter's event count, a "C" line's nine numbers.
QByteArray sessionCsv(const UpdateSession& session)
{
    QString text = archive::csvRecord({QStringLiteral("time"), QStringLiteral("kind"), QStringLiteral("channel"),
                                   QStringLiteral("direction"), QStringLiteral("events"), QStringLiteral("sAtt1"),
                                   QStringLiteral("wAtt1"), QStringLiteral("sAtt2"), QStringLiteral("wAtt2"),
                                   QStringLiteral("sAtt3"), QStringLiteral("wAtt3"), QStringLiteral("sAtt4"),
                                   QStringLiteral("wAtt4"), QStringLiteral("conductivity")});
    for (const SessionLine& line : session.lines())
        text += archive::csvRecord(csvFields(line));
    return text.toUtf8();
}

} // namespace

ContinuousUpdate::ContinuousUpdate(Link& link, StatusForm& form, std::function<void()> modeChanged)
    : m_link(link), m_form(form), m_modeChanged(std::move(modeChanged))
{
}

QString ContinuousUpdate::eventStamp(const QDateTime& when)
{
    // The counter's clock has no time zone, so none is shown.
    const QLocale locale;
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QLatin1Char('t'));
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ')
           + when.time().toString(timeFormat.trimmed());
}

void ContinuousUpdate::AddEventLine(const QString& text)
{
    m_form.addEventLine(eventStamp(counterStatus().dateTime) + QLatin1Char(' ') + text);
}

void ContinuousUpdate::applyUpdateMode(bool on)
{
    m_active = on;
    if (on) {
        m_session.start(counterStatus());
        m_sessionKept = true;
    } else {
        showProgress(QString());
    }
    m_form.showUpdateMode(on);
    if (on)
        m_form.followSession(m_session);
    m_modeChanged();
}

void ContinuousUpdate::forgetSession()
{
    m_session.clear();
    m_sessionKept = false;
}

bool ContinuousUpdate::saveSession(const QString& fileName, QString* error) const
{
    QSaveFile file(fileName);
    if (file.open(QIODevice::WriteOnly) && file.write(sessionCsv(m_session)) >= 0 && file.commit())
        return true;
    *error = file.errorString();
    return false;
}

void ContinuousUpdate::SetContinuousUpdate(bool on)
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
    SwitchContinuousUpdate(m_link, on, takeUnasked);
}

void ContinuousUpdate::bbtnContUpdClick()
{
    app::showingErrors([this] {
        // Whatever ends the mode but "&Cancel" (a refused start, a dead line, any error), the
        // window does not stay in a mode that nothing follows. Run before an error is shown,
        // so that its box does not stand over a half-left mode.
        const auto ended = qScopeGuard([this] {
            if (m_active)
                leaveUpdateLocally(m_link.port().PortIsOpen() ? QStringLiteral("an error ended it")
                                                              : QStringLiteral("the line is closed"));
        });
        SetContinuousUpdate(true);
        showProgress(QStringLiteral("Continuous Update Mode. Press Cancel to stop"));
        listenForUpdates();
    });
    YieldToUI();
}

void ContinuousUpdate::listenForUpdates()
{
    auto hold = m_link.holdLine(Link::HoldKind::Listening);
    // "&Cancel" may run inside the yield. A dead line has nothing more to say (a read on
    // it would return at once); one that dies during a read ends the mode by LineLostError,
    // which the main frame has told the user of.
    while (m_active) {
        YieldToUI();
        if (!m_active || !m_link.port().PortIsOpen())
            break;
        const QString line = m_link.ReadReply(CR);
        if (!line.isEmpty())
            takeUpdateLine(line);
    }
}

void ContinuousUpdate::leaveUpdateLocally(const QString& why)
{
    m_link.LogLine(QStringLiteral("--  continuous update ended: ") + why);
    applyUpdateMode(false);
}

void ContinuousUpdate::takeUpdateLine(const QString& line)
{
    UpdateLineResult result;
    try {
        result = ApplyUpdateLine(counterStatus(), line);
    } catch (const ConversionError& error) {
        // The fields before the bad one are taken; nothing is shown for the line.
        m_link.LogLine(QStringLiteral("--  update line dropped: ") + line + QStringLiteral(" (") + error.text()
                       + QLatin1Char(')'));
        return;
    }
    if (result.kind == UpdateLineResult::Kind::Rejected) {
        m_link.LogLine(QStringLiteral("--  update line rejected, not a channel 1 to 4: ") + line);
        return;
    }
    m_session.add(result, counterStatus());
    if (!result.memo.isEmpty())
        AddEventLine(result.memo);
    m_form.showRecord(counterStatus());
    m_form.followSession(m_session);
}

} // namespace kfc::status
