#include "link.h"

#include "errors.h"
#include "untrusted.h"
#include "wait.h"

#include <QElapsedTimer>

#include <algorithm>
#include <optional>

namespace kfc {

Link::Link(ComPort& port, QObject* parent) : QObject(parent), m_port(port)
{
    connect(&m_port, &ComPort::lineLost, this, [this](const QString& message) {
        LogLine(QStringLiteral("--  ") + message + QStringLiteral(" (") + m_port.lineDiedReason()
                + QLatin1Char(')'));
    });
}

void Link::throwIfLineDied()
{
    if (!m_port.lineDied() || m_port.PortIsOpen())
        return;
    LogLine(QStringLiteral("--  the dialogue ends: the line is lost"));
    throw LineLostError(m_port.lineLostMessage());
}

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

bool Link::lineOwned() const
{
    return std::any_of(m_holders.begin(), m_holders.end(),
                       [](const Holder& h) { return h.kind == HoldKind::Owner; });
}

bool Link::listening() const
{
    return std::any_of(m_holders.begin(), m_holders.end(),
                       [](const Holder& h) { return h.kind == HoldKind::Listening; });
}

void Link::refuseLine(const QString& why)
{
    LogLine(QStringLiteral("--  refused: ") + why);
    throw LineBusyError(why);
}

Link::LineHold Link::holdLine(HoldKind kind)
{
    static const QString busyText = QStringLiteral(
        "The counter is busy with another command. Try again when it has finished.");
    const int depth = EventWait::depth();
    // Holds are released in the reverse order of taking them, so an owner, which holds
    // for a long time, starts only on a free line.
    if (lineOwned() || (kind == HoldKind::Owner && !m_holders.empty()))
        refuseLine(busyText);
    if (!m_holders.empty()) {
        const Holder& top = m_holders.back();
        if (depth != top.depth) {
            if (top.kind != HoldKind::Listening)
                refuseLine(busyText);
            if (kind != HoldKind::Interrupt)
                refuseLine(kListeningRefusal);
            // The listener's read in progress must not take the nested command's reply.
            EventWait::wakeAll();
        }
    }
    m_holders.push_back({depth, kind});
    const bool exclusive = kind == HoldKind::Exclusive || kind == HoldKind::Interrupt;
    if (exclusive && ++m_exclusiveHolds == 1)
        emit busyChanged(true);
    emit holdChanged();
    return LineHold(this);
}

void Link::releaseLine()
{
    const HoldKind kind = m_holders.back().kind;
    m_holders.pop_back();
    const bool exclusive = kind == HoldKind::Exclusive || kind == HoldKind::Interrupt;
    if (exclusive && --m_exclusiveHolds == 0)
        emit busyChanged(false);
    emit holdChanged();
}

// ---- framing ------------------------------------------------------------------------

void Link::ClearLine()
{
    if (!m_port.PortIsOpen())
        return;
    // Only what came in is dropped. What is still going out is the tail of our own last
    // command (a closing ACK, a setting): dropping it would leave the counter with half a
    // frame, and it is gone long before the next command's settle time is over.
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
    QElapsedTimer frameTime;
    frameTime.start();
    // Latin-1 would turn such a character into '?' and the counter would act on that.
    if (const QString bad = firstUnsendable(command); !bad.isEmpty()) {
        logCommand(command, FrameEnd::NotSent, frameTime);
        throw CommandTextError(QStringLiteral("The command cannot be sent: '%1' is not a character "
                                              "the counter can receive.").arg(bad));
    }
    m_port.switchMonitoringOn();
    FrameEnd end = FrameEnd::NotSent;
    try {
        end = sendFrame(command);
    } catch (const LineBusyError&) {
        logCommand(command, FrameEnd::Refused, frameTime);
        throw;
    }
    logCommand(command, end, frameTime);
    throwIfLineDied();
    return end == FrameEnd::Whole;
}

Link::FrameEnd Link::sendFrame(const QString& command)
{
    if (command.size() > kMaxCommandLength || !m_port.PortIsOpen())
        return FrameEnd::NotSent;
    LineHold hold = holdLine();
    // Cleared before and after the settle time: whatever the counter sent before this
    // command is never taken for its reply.
    ClearLine();
    if (!StartFrame())
        return FrameEnd::NotSent;
    for (char byte : command.toLatin1()) {
        if (!SendPaced(quint8(byte)))
            return FrameEnd::CutOff;
    }
    if (!EndFrame())
        return FrameEnd::CutOff;
    YieldToUI();
    return FrameEnd::Whole;
}

void Link::logCommand(const QString& command, FrameEnd end, const QElapsedTimer& frameTime)
{
    // One line for every command, whether a reply is read or not, written when the frame
    // is out: its stamp is the moment the counter has the whole command, and the time is
    // what the frame took from the first clearing of the line to the end of the last gap.
    QString outcome;
    switch (end) {
    case FrameEnd::Whole: outcome = QStringLiteral("%1 ms").arg(frameTime.elapsed()); break;
    case FrameEnd::CutOff: outcome = QStringLiteral("cut off after %1 ms").arg(frameTime.elapsed()); break;
    case FrameEnd::NotSent: outcome = QStringLiteral("not sent"); break;
    case FrameEnd::Refused: outcome = QStringLiteral("refused"); break;
    }
    LogLine(QStringLiteral("Tx  ") + maskedCommand(command, m_previousCommand) + QStringLiteral("  (")
            + outcome + QLatin1Char(')'));
    // A refused command comes from a handler that ran inside another dialogue's wait: the
    // dialogue's next command (a password after "9") still follows the one before.
    if (end != FrameEnd::Refused)
        m_previousCommand = command;
}

QString Link::ReadReply(quint8 terminator, int timeoutMs)
{
    if (timeoutMs < 0)
        timeoutMs = timing.replyTimeoutMs;
    const QDeadlineTimer deadline(qint64(timeoutMs), Qt::PreciseTimer);
    throwIfLineDied();
    if (!m_port.PortIsOpen())
        return {};
    // A read is part of the dialogue that holds the line, of whatever kind it is.
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
        if (EventWait::until(deadline, &m_port) != WaitEnd::Input) {
            throwIfLineDied();
            return {};
        }
    }
}

QString Link::Exchange(const QString& command, quint8 terminator, int timeoutMs)
{
    return exchange(command, terminator, timeoutMs, nullptr);
}

QString Link::Exchange(const QString& command, const std::function<bool(const QString&)>& unsolicited)
{
    return exchange(command, CR, -1, unsolicited);
}

QString Link::exchange(const QString& command, quint8 terminator, int timeoutMs,
                       const std::function<bool(const QString&)>& unsolicited)
{
    QString reply;
    {
        std::optional<LineHold> hold;
        try {
            hold.emplace(holdLine());
        } catch (const LineBusyError&) {
            logCommand(command, FrameEnd::Refused, QElapsedTimer());
            throw;
        }
        if (SendCommand(command)) {
            const QDeadlineTimer deadline(qint64(timeoutMs < 0 ? timing.replyTimeoutMs : timeoutMs),
                                          Qt::PreciseTimer);
            while (true) {
                reply = ReadReply(terminator, int(std::max<qint64>(0, deadline.remainingTime())));
                if (!unsolicited || reply.isEmpty() || !unsolicited(reply))
                    break;
                LogLine(QStringLiteral("Rx  (unasked) ") + reply);
            }
        }
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
    // A download of a full buffer logs two lines an event for hours: keep the latest only.
    if (m_log.size() >= kLogCapacity)
        m_log.remove(0, kLogCapacity / 10);
    const QString line = printable(text);
    m_log.append(line);
    emit logged(line);
}

} // namespace kfc
