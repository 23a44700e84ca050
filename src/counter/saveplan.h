#pragma once
// Which commands a save sends, in which order, with which progress texts. The status
// window collects what its controls hold into EditedSettings, asks planSave for the
// steps, and runs them; the plan itself talks to nothing.

#include "counterstatus.h"

#include <QDate>
#include <QString>
#include <QTime>

#include <array>
#include <optional>
#include <vector>

namespace kfc {

// One channel row of the status window as the operator left it.
struct EditedChannel {
    bool enabled = false;
    int upThreshold = 0, downThreshold = 0;
    int upRelay1 = 0, upRelay2 = 0;
    int downRelay1 = 0, downRelay2 = 0;
    int relayTime = 0;              // the one up/down relay time
    int eventRelay1 = 0, eventRelay2 = 0;
    int eventRelayTime = 0;
    bool graph = false;
};

// What the status window's controls hold when "&Save" is pressed. Lists are item indexes.
struct EditedSettings {
    std::optional<QDate> date;      // set only when the operator touched the date picker
    std::optional<QTime> time;      // likewise the time picker
    int printer = 0;
    int events = 0;
    int relay = 0;
    int logging = 0;
    int buffer = 0;                 // 0 linear, 1 circular
    int maxSize = 0;                // 0 for 100, 1 for 127
    int algorithm = 0;
    int lengthComp = 0;
    QString profileType;            // "D", "F", "N" or empty (not chosen)
    std::array<QString, kProfilePointCount> gains;  // the profile grid's gain cells
    std::array<EditedChannel, kChannelCount> channels{};
};

struct SaveStep {
    enum class Kind {
        Progress,   // only the progress text
        Send,       // the progress text, then the command (no reply read)
        Fail        // the save stops here: progress holds the error's text
    };
    // What follows a sent command.
    enum class After {
        Nothing,
        SettleAndClear,   // the event flags: the counter is given its time, its answer dropped
        DropTwoReplies    // the graph command: two reply lines are read and dropped
    };
    Kind kind = Kind::Progress;
    QString progress;
    QString command;
    After after = After::Nothing;
    // The profile the counter holds once this step has gone out (stored in the record).
    std::optional<std::array<qint32, kProfilePointCount>> storeGains;
    std::optional<QString> storeProfileType;

    friend bool operator==(const SaveStep&, const SaveStep&) = default;
};

// Every step of a save of edited against the record of the last read. Nothing that
// equals the record is sent. The other-status settings (fish size, algorithm, length
// compensation) are compared only when the counter reported them.
std::vector<SaveStep> planSave(const CounterStatus& status, const EditedSettings& edited);

// The commands of a plan, in order (for the log and for checks).
QStringList planCommands(const std::vector<SaveStep>& plan);

// The fish size a "Max Size" item stands for.
constexpr qint32 maxSizeOfItem(int item) { return item == 0 ? 100 : 127; }

} // namespace kfc
