#include "simmodem.h"

#include <QTimer>

#include <algorithm>

namespace kfc::sim {

bool SimModem::dialable(char c)
{
    return QByteArrayView("0123456789*#ABCDabcdPTWptw,!@ -()").contains(c);
}

SimModem::Outcome SimModem::outcomeFor(const QByteArray& number)
{
    if (!std::all_of(number.begin(), number.end(), dialable))
        return Outcome::Refused;
    switch (number.isEmpty() ? '\0' : number.back()) {
    case '2': return Outcome::Busy;
    case '3': return Outcome::NoCarrier;
    case '4': return Outcome::NoDialTone;
    case '5': return Outcome::Silence;
    case '6': return Outcome::BusyFirstCall;
    default: return Outcome::Connect;
    }
}

QByteArray SimModem::resultText(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Connect: return "CONNECT 9600";
    case Outcome::Busy:
    case Outcome::BusyFirstCall: return "BUSY";
    case Outcome::NoCarrier: return "NO CARRIER";
    case Outcome::NoDialTone: return "NO DIALTONE";
    case Outcome::Refused: return "ERROR";
    case Outcome::Silence: break;
    }
    return {};
}

void SimModem::receive(const QByteArray& bytes)
{
    if (m_online)
        return;
    emit send(bytes, 0);   // echo, as a modem does in command state
    for (const char c : bytes) {
        if (c == '\r') {
            const QByteArray line = m_line;
            m_line.clear();
            handleCommandLine(line);
        } else if (c != '\n') {
            m_line.append(c);
        }
    }
}

void SimModem::handleCommandLine(const QByteArray& line)
{
    const QByteArray command = line.trimmed().toUpper();
    if (!command.startsWith("AT"))
        return;
    if (!command.startsWith("ATD")) {
        emit send("\r\nOK\r\n", 0);
        return;
    }
    // "ATDT" (tone) or "ATDP" (pulse) or plain "ATD".
    QByteArray number = line.trimmed().mid(3);
    if (!number.isEmpty() && (number[0] == 'T' || number[0] == 'P' || number[0] == 't' || number[0] == 'p'))
        number.remove(0, 1);
    Outcome outcome = outcomeFor(number);
    if (outcome == Outcome::BusyFirstCall)
        outcome = m_dialled.contains(number) ? Outcome::Connect : Outcome::Busy;
    m_dialled << number;
    if (outcome == Outcome::Connect && m_busyCalls > 0) {
        --m_busyCalls;
        outcome = Outcome::Busy;
    }
    if (outcome == Outcome::Silence)
        return;
    if (outcome == Outcome::Refused) {
        // Refused before any ringing: the line is never taken off the hook.
        emit send("\r\n" + resultText(outcome) + "\r\n", 0);
        return;
    }
    const quint64 call = ++m_call;
    QTimer::singleShot(m_ringMs, Qt::PreciseTimer, this, [this, call, outcome] {
        if (call != m_call || m_online)
            return;
        emit send("\r\n" + resultText(outcome) + "\r\n", 0);
        if (outcome == Outcome::Connect) {
            m_online = true;
            emit wentOnline();
        }
    });
}

void SimModem::hangUp()
{
    ++m_call;
    m_online = false;
    m_line.clear();
}

} // namespace kfc::sim
