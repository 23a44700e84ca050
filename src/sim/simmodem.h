#pragma once
// A Hayes modem in front of the simulated counter. In command state it echoes what it is
// sent and answers "ATDT" + number, after a short ring, with one result line
// (CR LF text CR LF). After "CONNECT 9600" it is online: the line is carried to the counter
// until the PC closes its port, and then the modem is back in command state.
//
// A dial string may hold the digits, the tone keys * # A B C D, the dial modifiers P T W
// , ! @ and, for readability, blanks, '-', '(' and ')', in either letter case. A number
// with any other character (a '+', an '=', a letter such as the x of "ext") is refused at
// once with "ERROR", as a real modem does. Otherwise the outcome of a call depends on the
// last digit of the number:
//   2  -> "BUSY"
//   3  -> "NO CARRIER"
//   4  -> "NO DIALTONE"
//   5  -> no answer at all (silence: the PC's deadline ends the attempt)
//   6  -> "BUSY" on the first call to that number, "CONNECT 9600" on every later one
//         (a line that is busy once, for a site that is called again)
//   any other last character -> "CONNECT 9600"
// Any other "AT" command is answered "OK"; a line that is not a command is ignored.

#include <QByteArray>
#include <QObject>
#include <QString>

namespace kfc::sim {

class SimModem : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Connect, Busy, BusyFirstCall, NoCarrier, NoDialTone, Silence, Refused };

    explicit SimModem(QObject* parent = nullptr) : QObject(parent) {}

    // By the number alone; BusyFirstCall is settled by the calls made before.
    static Outcome outcomeFor(const QByteArray& number);
    // A character the modem takes in a dial string.
    static bool dialable(char c);
    // The result line of an outcome without its CR LF frame; empty for silence.
    static QByteArray resultText(Outcome outcome);

    // Bytes from the PC while in command state.
    void receive(const QByteArray& bytes);
    bool online() const { return m_online; }
    // The PC closed its port: the call is over.
    void hangUp();

    // How long the remote end rings before the result line comes.
    void setRingMs(int ms) { m_ringMs = ms; }
    static constexpr int kDefaultRingMs = 1500;

    // The next n calls that would connect answer "BUSY" instead: a line busy for a while.
    void setBusyCalls(int n) { m_busyCalls = n; }

    // The numbers dialled, in order.
    const QList<QByteArray>& dialled() const { return m_dialled; }

signals:
    // Bytes for the PC, after delayMs.
    void send(const QByteArray& bytes, int delayMs);
    // A call was answered: from now on the line belongs to the counter.
    void wentOnline();

private:
    void handleCommandLine(const QByteArray& line);

    QByteArray m_line;
    bool m_online = false;
    int m_ringMs = kDefaultRingMs;
    quint64 m_call = 0;   // a result of an earlier call is dropped
    QList<QByteArray> m_dialled;
    int m_busyCalls = 0;
};

} // namespace kfc::sim
