#pragma once
// A simulated four-channel counter. It takes the bytes the PC sends (STX command ETX
// frames), keeps the state those commands change, and answers as the real counter does:
// the same commands, frames, reply lengths and orders. It does no I/O itself; an endpoint
// (PtyCounter, or a test) carries the bytes.

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <array>
#include <functional>

namespace kfc::sim {

// Monotonic nanoseconds on one clock shared by the counter and its endpoints, so that
// command times and byte times can be compared.
qint64 monotonicNs();

struct SimChannel {
    int enabled = 1;
    int upThreshold = 20, downThreshold = 20;
    int upCount = 0, downCount = 0;
    int upRelay1 = 1, upRelay2 = 0;
    int downRelay1 = 2, downRelay2 = 0;
    int relayTime = 10;
    int eventRelay1 = 3, eventRelay2 = 0;
    int eventRelayTime = 10;
    int graphEnabled = 0;
    int sAtt = 12, wAtt = 34;
};

struct SimState {
    // The counter's clock runs from this offset against the PC's clock.
    qint64 clockOffsetSecs = 0;
    double version = 8.9;             // 8.8: no other-status block after "f"
    QString versionText = QStringLiteral("Kestrova FC4");
    int printerEnabled = 0, eventsEnabled = 1, relayMode = 0, eventLogging = 1, bufferType = 1;
    int algorithm = 0, contOutput = 0, dump = 0, maxFishSize = 100, lengthComp = 100;
    int maxEvents = 4000;
    int conductivity = 123;
    std::array<int, 8> condProfile{100, 100, 95, 90, 85, 80, 75, 70};
    std::array<SimChannel, 4> channels;
    std::array<int, 4> weirLength{250, 250, 250, 250};
    std::array<int, 4> weirDepth{120, 120, 120, 120};
    QString password;                 // empty: no password set ("NEW")
    bool loggedOn = false;
    bool continuousUpdate = false;
    int displayMode = 0;              // "EA0"/"EA1"
    qint32 commsBaud = 19200, printerBaud = 9600;
    bool boardOk = true;              // "E3T" answers "BOARDOK"
    int probeValue = 0;               // last manual probe calibration ("E3S%03d")
    QStringList events;               // the event buffer, oldest first

    // How a real line may differ from the tidy one.
    int graphSecondLineDelayMs = 0;   // "E7": the second line comes this much later
    // While continuous update is on (or the command that switches it arrived while it
    // was), this update line ("F1U 12", "C ...") goes out just before every reply, as
    // when a fish passes while the counter answers.
    QString updateLineBeforeReply;
};

// Faults to inject. Each applies to replies of the command it names (empty: any command)
// and counts down; count < 0 means for ever.
struct SimFault {
    enum Kind {
        NoReply,      // drop the reply
        WrongLength,  // one character more than it should have
        Garbage,      // garbage bytes before the reply
        SlowReply,    // reply after delayMs
        HangUp,       // hang up the line halfway through the reply
        Replace,      // send `bytes` (and the CR) instead of the reply
        DropLine      // the line drops as the command arrives: the counter never acts on it
    };
    Kind kind = NoReply;
    QString command;
    int count = 1;
    int delayMs = 0;
    QByteArray bytes = {};
};

class SimCounter : public QObject {
    Q_OBJECT
public:
    explicit SimCounter(QObject* parent = nullptr);

    SimState state;

    // Bytes from the PC.
    void receive(const QByteArray& bytes);

    // Every command text received, in order, each with the moment its ETX arrived.
    QStringList commands() const { return m_commands; }
    const QList<qint64>& commandTimesNs() const { return m_commandTimesNs; }
    void clearCommands() { m_commands.clear(); m_commandTimesNs.clear(); }

    void addFault(const SimFault& fault) { m_faults.append(fault); }
    void clearFaults() { m_faults.clear(); }

    // Simulated fish: one passes every intervalMs on a random enabled channel (0: none).
    void setFishInterval(int intervalMs);
    int fishInterval() const { return m_fishTimer.isActive() ? m_fishTimer.interval() : 0; }
    // Registers one fish now (as a dummy fish does): counts, event, "F" line.
    void passFish(int channel, bool up);
    // Fills the event buffer with n fish that passed before now, as a counter that has
    // been in the river for a while holds them (raises the buffer size when needed).
    void logPastEvents(int n);
    // Sends a "C" line (conductivity and attenuation) when continuous update is on.
    void changeConductivity(int conductivity);

    QDateTime counterClock() const;

    // The line went down: whoever was logged on is logged off and live updates stop.
    void endSession();

    // The exact reply texts, without the CR, for checking by tests.
    QString statusReply() const;
    QString channelBlock(int channel) const;
    QString profileBlock() const;
    QString otherStatusBlock() const;

signals:
    // Bytes for the PC. The endpoint writes them, after delayMs when it is above 0.
    void send(const QByteArray& bytes, int delayMs);
    // The reply must be cut off halfway and the line dropped.
    void hangUpRequested(const QByteArray& partialReply);
    void commandReceived(const QString& command);
    // A DropLine fault: the endpoint drops the line now.
    void lineDropped();
    // "B1": the counter's communications port now runs at this rate.
    void commsBaudChanged(int baud);

private:
    using Handler = std::function<void(const QStringList& args)>;
    struct Rule {
        QRegularExpression pattern;
        Handler handler;
    };
    // What the next ACK answers.
    enum class Pending { None, Channels, OtherStatus, Events };

    void addRules();
    void addStatusRules();
    void addPasswordRules();
    void addSettingRules();
    void addChannelRules();
    void addMaintenanceRules();
    void on(const char* pattern, Handler handler);

    void handleCommand(const QString& command);
    void answerAck();
    void logonAttempt(const QString& attempt);
    void setPassword(const QString& argument);
    void setContinuousUpdate(bool on);
    void startDownload(int count);
    bool setClock(const QDate& date, const QTime& time);
    void setRelays(int group, int channel, int relay1, int relay2, int time);
    void logEvent(int channel, bool up);
    void logEventAt(const QDateTime& when, int channel, bool up);
    void fishTick();
    void sendClockLine();
    void scheduleClockLine();

    void reply(const QString& text, int delayMs = 0);
    void sendUnsolicited(const QString& line);
    bool takeFault(SimFault* fault, bool dropLine = false);

    QList<Rule> m_rules;
    QStringList m_commands;
    QList<qint64> m_commandTimesNs;
    QString m_command;                // the command being answered
    bool m_updatingAtCommand = false; // continuous update was on when it arrived
    QList<SimFault> m_faults;
    QByteArray m_frame;
    bool m_inFrame = false;
    bool m_expectPassword = false;    // "9" was received: the next command is a logon
    Pending m_pending = Pending::None;
    int m_pendingBlock = 0;           // next channel block, or next event line
    QStringList m_transfer;           // event lines of a download in progress
    int m_eventNumber = 0;
    qint64 m_lastClockMinute = 0;
    QTimer m_fishTimer;
    QTimer m_clockTimer;
};

} // namespace kfc::sim
