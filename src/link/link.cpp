#include "link.h"

#include "errors.h"
#include "untrusted.h"
#include "wait.h"

namespace kfc {

Link::Link(ComPort& port, QObject* parent) : QObject(parent), m_port(port) {}

// ---- holding the line ---------------------------------------------------------------

Link::LineHold::LineHold(LineHold&& other) noexcept : m_link(other.m_link)
{
    other.m_link = nullptr;
}

Link::LineHold::~LineHold()
{
    if (m_link)
        m_link->releaseLine();
}

Link::LineHold Link::holdLine(HoldKind kind)
{
    const int depth = EventWait::depth();
    if (!m_holders.empty()) {
        const Holder& top = m_holders.back();
        if (depth != top.depth) {
            if (top.kind != HoldKind::Listening) {
                LogLine(QStringLiteral("--  refused: the line is busy"));
                throw LineBusyError(QStringLiteral(
                    "The counter is busy with another command. Try again when it has finished."));
            }
            // The listener's read in progress must not take the nested command's reply.
            EventWait::wakeAll();
        }
    }
    m_holders.push_back({depth, kind});
    return LineHold(this);
}

void Link::releaseLine()
{
    m_holders.pop_back();
}

// ---- framing ------------------------------------------------------------------------

void Link::ClearLine()
{
    if (!m_port.PortIsOpen())
        return;
    m_port.DiscardOutput();
    m_port.DiscardInput();
    YieldToUI();
}

bool Link::SendPaced(quint8 byte)
{
    if (!m_port.PortIsOpen() || !m_port.WriteByte(byte))
        return false;
    DelayWithEvents(unsigned(timing.byteGapMs));
    YieldToUI();
    return true;
}

bool Link::StartFrame()
{
    DelayWithEvents(unsigned(timing.settleMs));
    ClearLine();
    return SendPaced(STX);
}

bool Link::EndFrame() { return SendPaced(ETX); }

bool Link::SendCommand(const QString& command)
{
    // Latin-1 would turn such a character into '?' and the counter would act on that.
    if (const QString bad = firstUnsendable(command); !bad.isEmpty())
        throw CommandTextError(QStringLiteral("The command cannot be sent: '%1' is not a character "
                                              "the counter can receive.").arg(bad));
    m_port.switchMonitoringOn();
    if (command.size() > kMaxCommandLength || !m_port.PortIsOpen())
        return false;
    LineHold hold = holdLine();
    // Cleared before and after the settle time: whatever the counter sent before this
    // command is never taken for its reply.
    ClearLine();
    if (!StartFrame())
        return false;
    for (char byte : command.toLatin1()) {
        if (!SendPaced(quint8(byte)))
            return false;
    }
    if (!EndFrame())
        return false;
    YieldToUI();
    return true;
}

QString Link::ReadReply(quint8 terminator, int timeoutMs)
{
    if (timeoutMs < 0)
        timeoutMs = timing.replyTimeoutMs;
    const QDeadlineTimer deadline(qint64(timeoutMs), Qt::PreciseTimer);
    if (!m_port.PortIsOpen())
        return {};
    LineHold hold = holdLine(m_holders.empty() ? HoldKind::Exclusive : m_holders.back().kind);

    QByteArray collected;
    while (true) {
        while (m_port.PortIsOpen() && m_port.InputAvailable()) {
            quint8 byte = m_port.ReadByte();
            if (byte == terminator)
                return QString::fromLatin1(collected);
            // Past the capacity bytes are dropped, but reading goes on to the terminator.
            if (collected.size() < kReplyCapacity)
                collected.append(char(byte));
        }
        if (EventWait::until(deadline, &m_port) != WaitEnd::Input)
            return {};
    }
}

QString Link::Exchange(const QString& command, quint8 terminator, int timeoutMs)
{
    LogLine(QStringLiteral("Tx  ") + maskedCommand(command, m_previousCommand));
    m_previousCommand = command;
    QString reply;
    {
        LineHold hold = holdLine();
        if (SendCommand(command))
            reply = ReadReply(terminator, timeoutMs);
    }
    LogLine(QStringLiteral("Rx  ") + reply);
    return reply;
}

bool Link::SendPaddedCommand(const QString& code, const QString& number)
{
    const int fill = qMax(0, 5 - int(number.size()));
    LastCommand = QStringLiteral("B") + code + QString(fill, QLatin1Char('0')) + number;
    return SendCommand(LastCommand);
}

QString Link::QueryPasswordState() { return Exchange(QStringLiteral("9D")); }

void Link::LogLine(const QString& text)
{
    const QString line = printable(text);
    m_log.append(line);
    emit logged(line);
}

} // namespace kfc
