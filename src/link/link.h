#pragma once
// Command framing and exchange: the one place where a command becomes bytes on the line
// and a reply is collected. Every part of the program talks to the counter through it.

#include "comport.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace kfc {

constexpr quint8 STX = 0x02;
constexpr quint8 ETX = 0x03;
constexpr quint8 CR = 13;
constexpr int kMaxCommandLength = 254;
constexpr int kReplyCapacity = 255;
// The acknowledgement command: asks for the next block of a multi-part answer.
inline const QString ACK = QString(QChar(0x06));

// Every fixed delay of the program, in one place. The program uses these values; tests
// shrink them (Timing::shrunk()), and a few end-to-end tests keep the real ones. The link
// carries the values in use, so whoever talks to the counter finds them there.
struct Timing {
    int settleMs = 500;         // before every frame
    int byteGapMs = 20;         // after every byte written
    int replyTimeoutMs = 5000;  // a whole reply must be in within this
    int loggedOnSettleMs = 5000;    // after the counter says this connection is logged on
    int eventFlagsSettleMs = 1500;  // after a save's event flags command
    int recalibrateMs = 5000;       // the counter's recalibration
    int monitorIntervalMs = 500;    // between two readings of the conductivity monitor
    int modemDialTimeoutMs = 60000; // a dial attempt, from "ATDT" to the result line
    int modemClosePauseMs = 2000;   // the modem window's last words stay this long

    // Short enough for tests, long enough that the order of events stays the real one.
    static Timing shrunk()
    {
        Timing t;
        t.settleMs = 20;
        t.byteGapMs = 1;
        t.replyTimeoutMs = 1000;
        t.loggedOnSettleMs = 50;
        t.eventFlagsSettleMs = 600;   // the counter takes a moment to answer the flags
        t.recalibrateMs = 300;
        t.monitorIntervalMs = 50;
        t.modemDialTimeoutMs = 2000;
        t.modemClosePauseMs = 50;
        return t;
    }
};

class Link : public QObject {
    Q_OBJECT
public:
    explicit Link(ComPort& port, QObject* parent = nullptr);

    ComPort& port() { return m_port; }
    Timing timing;

    // Scratch texts shared by the counter dialogues.
    QString LastCommand;
    QString LastReply;

    // Drops unread input, then runs pending events. Output still on its way is left to go.
    void ClearLine();
    bool SendPaced(quint8 byte);
    bool StartFrame();
    bool EndFrame();
    // Frames and paces one command; reads nothing. False when it was not sent (too long,
    // port closed). A line that has died throws LineLostError: the dialogue ends there.
    // Throws CommandTextError, sending nothing, when the command holds a character with no
    // 8-bit form. Every command is logged once, when its frame is out, with the time the
    // frame took ("Tx  9D  (581 ms)"), or as "(not sent)" or "(refused)".
    bool SendCommand(const QString& command);
    // The bytes up to the terminator (not included), at most 255 kept; empty when no
    // terminator came before the time-out (-1: the timing's reply time-out). A line that
    // dies during the wait ends it at once with LineLostError.
    QString ReadReply(quint8 terminator = CR, int timeoutMs = -1);
    // SendCommand then ReadReply, the reply logged too (a password in the command as '*').
    QString Exchange(const QString& command, quint8 terminator = CR, int timeoutMs = -1);
    // The same for a command whose reply may come after lines the counter sends unasked:
    // each line that `unsolicited` takes (returns true for) is handed to it, and the read
    // goes on for the reply within the one time-out fixed when the read started.
    QString Exchange(const QString& command, const std::function<bool(const QString&)>& unsolicited);
    // "B" + code + number left-filled with '0' to five characters.
    bool SendPaddedCommand(const QString& code, const QString& number);
    // The reply to "9D".
    QString QueryPasswordState();

    // The trace of commands and replies that the debug window shows; the latest
    // kLogCapacity lines are kept. Control bytes in a line are escaped (printable()), so every entry is one
    // line of plain text.
    static constexpr int kLogCapacity = 10000;
    void LogLine(const QString& text);
    const QStringList& log() const { return m_log; }

    // Holding the line. A dialogue of several commands holds it from its first command to
    // its last; each command holds it for its own length. A command started from a
    // handler that runs inside one of the holder's waits is refused with LineBusyError,
    // because its line clearing would throw away the reply the holder waits for.
    // A listening hold (continuous update) yields the line only to a dialogue that asks
    // for it as an interruption (the mode's own stop path, a dummy fish): the listener's
    // pending read returns empty and that dialogue goes ahead. Every other dialogue is
    // refused while the listener holds the line, so no command's replies ever mix with
    // the lines the counter streams.
    // An owner (the terminal) takes a free line for as long as it is attached: every
    // command is refused until it lets go, and the bytes that arrive are its alone.
    class LineHold {
    public:
        LineHold(LineHold&& other) noexcept;
        LineHold(const LineHold&) = delete;
        LineHold& operator=(const LineHold&) = delete;
        LineHold& operator=(LineHold&&) = delete;
        ~LineHold();

    private:
        friend class Link;
        explicit LineHold(Link* link) : m_link(link) {}
        Link* m_link;
    };
    enum class HoldKind { Exclusive, Interrupt, Listening, Owner };
    [[nodiscard]] LineHold holdLine(HoldKind kind = HoldKind::Exclusive);
    bool lineHeld() const { return !m_holders.empty(); }
    // A dialogue holds the line (a listener does not count).
    bool busy() const { return m_exclusiveHolds > 0; }
    // A listener (continuous update) holds the line.
    bool listening() const;
    bool lineOwned() const;
    // Nothing holds the line: a new dialogue may start. The controls that start one are on
    // exactly when this is true (and the window's own state allows), re-decided on every
    // holdChanged.
    bool lineFree() const { return m_holders.empty(); }

    static inline const QString kListeningRefusal = QStringLiteral(
        "Continuous update is running. Press Cancel in the Status window to stop it first.");

signals:
    void logged(const QString& line);
    void busyChanged(bool busy);
    // A hold was taken or released: who holds the line decides which controls are on.
    void holdChanged();

private:
    // How far a command got onto the line. Refused: the line is busy with another dialogue.
    enum class FrameEnd { Refused, NotSent, CutOff, Whole };
    FrameEnd sendFrame(const QString& command);
    // The command's line in the log ("Tx  " + command, a password as '*', then how it went).
    void logCommand(const QString& command, FrameEnd end, const QElapsedTimer& frameTime);
    // Both Exchange forms: unsolicited may be empty.
    QString exchange(const QString& command, quint8 terminator, int timeoutMs,
                     const std::function<bool(const QString&)>& unsolicited);

    struct Holder {
        int depth;
        HoldKind kind;
    };
    void releaseLine();
    void throwIfLineDied();
    [[noreturn]] void refuseLine(const QString& why);

    ComPort& m_port;
    QStringList m_log;
    QString m_previousCommand;  // the last one sent: after a lone "9" comes a password
    std::vector<Holder> m_holders;
    int m_exclusiveHolds = 0;
};

} // namespace kfc
