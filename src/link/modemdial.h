#pragma once
// Dialling a Hayes modem and following its result lines. No widgets: the modem window and
// the command-line client both run a call through this, and the line rules are plain
// functions that tests check by tables.

#include "comport.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

#include <functional>

namespace kfc {

// Where a dial attempt stands.
enum class DialState : quint8 {
    dsWaiting = 0,    // dialling, no result yet
    dsConnected = 1,  // "CONNECT" seen
    dsFailed = 2      // over without a connection
};

// What one result line from the modem means. Matched at the start of the line, case
// sensitive, first match in this order.
enum class ModemLine { Echo, Connect, Busy, NoCarrier, NoDial, Error, Other };

ModemLine classifyModemLine(const QByteArray& line);
// The progress line that a result line gives; empty for a line that is dropped.
QString progressTextFor(ModemLine line, const QString& phoneNumber);

// The port number in a modem's port text: "COM12" gives 12; any other prefix, or a rest
// that is not a whole number ("COMx", "LPT1"), gives 0.
int comNumberFromPortText(const QString& portText);

// The bytes of the dial command for a number, sent as the number is stored: in the phone
// book's code page, Windows-1252. A number holding a character with no byte there raises
// CommandTextError.
QByteArray dialCommand(const QString& phoneNumber);

// The closing words of an attempt that no result line ended.
QString noAnswerText(int timeoutMs);
inline const QString kDialCancelledText = QStringLiteral("Dial cancelled");

class ModemDialer {
public:
    explicit ModemDialer(ComPort& port) : m_port(port) {}

    // Receives each progress line ("Dialling ...", "Connected", ...).
    std::function<void(const QString&)> progress;

    // Writes "Dialling " + number, sends the dial command and follows the result lines
    // until the modem connects, fails, the attempt is cancelled or timeoutMs pass from the
    // moment the command was sent (then "No answer within ... seconds"). True only for a
    // connection made within the time. A closed port raises PortError when the command is
    // written.
    bool dial(const QString& phoneNumber, int timeoutMs);

    // Reads what the modem sent and handles at most one complete line of it.
    void PollModemReply();
    // Closes the port; the attempt has failed.
    void AbortDial();
    // The operator gave up: the port closes, "Dial cancelled" is said, and a running dial
    // ends at its next turn.
    void cancel();

    DialState state() const { return m_state; }
    // When an attempt under way gives up for want of an answer (Forever before the dial).
    const QDeadlineTimer& deadline() const { return m_deadline; }
    const QString& PhoneNumber() const { return m_phoneNumber; }
    const QByteArray& replyBuffer() const { return m_replyBuffer; }
    bool hasCompleteLine() const { return m_replyBuffer.contains('\r'); }

private:
    void say(const QString& text);
    void handleLine(const QByteArray& line);
    void giveUpAtDeadline();

    ComPort& m_port;
    QString m_phoneNumber;
    QByteArray m_replyBuffer;
    DialState m_state = DialState::dsWaiting;
    int m_timeoutMs = 0;
    QDeadlineTimer m_deadline{QDeadlineTimer::Forever};
};

} // namespace kfc
