#include "modemdial.h"

#include "errors.h"
#include "wait.h"
#include "windows1252.h"

namespace kfc {

ModemLine classifyModemLine(const QByteArray& line)
{
    if (line.startsWith("ATDT"))
        return ModemLine::Echo;
    if (line.startsWith("CONNECT"))
        return ModemLine::Connect;
    if (line.startsWith("BUSY"))
        return ModemLine::Busy;
    if (line.startsWith("NO CARRIER"))
        return ModemLine::NoCarrier;
    // Both "NO DIALTONE" and "NO DIAL TONE".
    if (line.startsWith("NO DIAL"))
        return ModemLine::NoDial;
    // The modem would not take the dial command, most often for a character in the number.
    if (line.startsWith("ERROR"))
        return ModemLine::Error;
    return ModemLine::Other;
}

QString progressTextFor(ModemLine line, const QString& phoneNumber)
{
    switch (line) {
    case ModemLine::Echo: return QStringLiteral("Modem responded. Dialling ") + phoneNumber;
    case ModemLine::Connect: return QStringLiteral("Connected");
    case ModemLine::Busy: return QStringLiteral("Number is busy. Please try later");
    case ModemLine::NoCarrier: return QStringLiteral("No modem detected at remote end. Aborting...");
    case ModemLine::NoDial:
        return QStringLiteral("No Dial Tone detected. Is modem connected to phone line?");
    case ModemLine::Error:
        return QStringLiteral("The modem refused the dial command (ERROR). Check the number.");
    case ModemLine::Other: break;
    }
    return {};
}

int comNumberFromPortText(const QString& portText)
{
    if (!portText.startsWith(QLatin1String("COM")))
        return 0;
    bool ok = false;
    const int number = portText.mid(3).toInt(&ok);
    return ok ? number : 0;
}

QByteArray dialCommand(const QString& phoneNumber)
{
    const std::optional<QByteArray> number = toWindows1252(phoneNumber);
    if (!number)
        throw CommandTextError(QStringLiteral("The number \"%1\" holds the character \"%2\", which cannot be sent "
                                              "to the modem.")
                                   .arg(phoneNumber, firstNotInWindows1252(phoneNumber)));
    return "ATDT" + *number + '\r';
}

QString noAnswerText(int timeoutMs)
{
    return QStringLiteral("No answer within %1 seconds").arg(timeoutMs / 1000.0);
}

void ModemDialer::say(const QString& text)
{
    if (progress && !text.isEmpty())
        progress(text);
}

bool ModemDialer::dial(const QString& phoneNumber, int timeoutMs)
{
    m_phoneNumber = phoneNumber;
    m_timeoutMs = timeoutMs;
    m_deadline = QDeadlineTimer(timeoutMs, Qt::PreciseTimer);
    say(QStringLiteral("Dialling ") + phoneNumber);
    // All at once: the modem takes the command as typed, with no pacing and no frame.
    m_port.WriteText(dialCommand(phoneNumber));

    while (m_state != DialState::dsFailed) {
        if (m_deadline.hasExpired()) {
            giveUpAtDeadline();
            break;
        }
        PollModemReply();
        if (m_state != DialState::dsWaiting)
            break;
        if (hasCompleteLine())
            continue;   // one line per poll; the next is handled at once
        if (!m_port.PortIsOpen()) {
            AbortDial();   // the line died under the call
            break;
        }
        // Sleeps until the modem sends something, the port closes or time is up.
        EventWait::until(m_deadline, &m_port);
    }
    return m_state == DialState::dsConnected;
}

void ModemDialer::PollModemReply()
{
    YieldToUI();
    while (m_port.PortIsOpen() && m_port.InputAvailable()) {
        const quint8 byte = m_port.ReadByte();
        if (byte != '\n')
            m_replyBuffer.append(char(byte));
        YieldToUI();   // Cancel is handled here, between two characters
    }
    const qsizetype end = m_replyBuffer.indexOf('\r');
    if (end < 0)
        return;   // a partial line waits for the rest
    const QByteArray line = m_replyBuffer.left(end);
    m_replyBuffer.remove(0, end + 1);
    if (m_state != DialState::dsFailed)
        handleLine(line);
}

void ModemDialer::handleLine(const QByteArray& line)
{
    const ModemLine kind = classifyModemLine(line);
    switch (kind) {
    case ModemLine::Echo:
        say(progressTextFor(kind, m_phoneNumber));
        m_state = DialState::dsWaiting;
        break;
    case ModemLine::Connect:
        // A connection that comes in after the time is up is not taken: the attempt has
        // already failed.
        if (m_deadline.hasExpired()) {
            giveUpAtDeadline();
            break;
        }
        say(progressTextFor(kind, m_phoneNumber));
        m_state = DialState::dsConnected;
        break;
    case ModemLine::Busy:
    case ModemLine::NoCarrier:
    case ModemLine::NoDial:
    case ModemLine::Error:
        say(progressTextFor(kind, m_phoneNumber));
        AbortDial();
        break;
    case ModemLine::Other:
        break;   // empty lines, OK, NO ANSWER, RING
    }
}

void ModemDialer::giveUpAtDeadline()
{
    say(noAnswerText(m_timeoutMs));
    AbortDial();
}

void ModemDialer::AbortDial()
{
    m_port.ClosePort();
    m_state = DialState::dsFailed;
}

void ModemDialer::cancel()
{
    m_port.ClosePort();
    if (m_state == DialState::dsFailed)
        return;   // over already: it has said why
    say(kDialCancelledText);
    m_state = DialState::dsFailed;
}

} // namespace kfc
