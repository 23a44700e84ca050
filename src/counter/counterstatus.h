#pragma once
// The program's copy of the connected counter's configuration, counts and calibration,
// the dialogue that reads it, and its two companions: the current conductivity reading
// and the per-channel weir dimensions.

#include <QDateTime>
#include <QString>

#include <array>

namespace kfc {

class Link;

struct ChannelStatus {
    quint8 enabled = 0;
    qint32 upThreshold = 0;
    qint32 downThreshold = 0;
    qint32 upCount = 0;
    qint32 downCount = 0;
    qint32 upRelay1 = 0;
    qint32 upRelay2 = 0;    // 0: none
    qint32 downRelay1 = 0;
    qint32 downRelay2 = 0;
    qint32 eventRelay1 = 0;
    qint32 eventRelay2 = 0;
    qint32 upRelayTime = 0;
    // The counter has one up/down relay time; the read stores it here too, and the save
    // compares the down relays against this copy.
    qint32 downRelayTime = 0;
    qint32 eventRelayTime = 0;
    quint8 graphEnabled = 0;
    qint32 sAtt = 0;
    qint32 wAtt = 0;

    friend bool operator==(const ChannelStatus&, const ChannelStatus&) = default;
};

constexpr int kChannelCount = 4;
constexpr int kProfilePointCount = 8;

// The conductivity values at which the profile holds its gains: point i belongs to
// condProfile gain i.
inline constexpr std::array<qint32, kProfilePointCount> kConductivityPoints{
    10, 40, 70, 100, 150, 200, 300, 500};
// Point i, 1 to 8.
qint32 conductivityPoint(int point);

struct CounterStatus {
    // The counter's own clock, a naive date and time. Kept in UTC so that no daylight-saving
    // gap of the PC's zone can turn a valid counter time into an invalid one. Null until
    // the first read.
    QDateTime dateTime;
    double version = 0.0;
    QString versionText;        // at most kVersionTextLength characters
    quint8 printerEnabled = 0;
    quint8 eventsEnabled = 0;
    quint8 relayMode = 0;       // 0 delayed, 1 instant
    quint8 eventLogging = 0;
    quint8 bufferType = 0;      // 0 linear, 1 circular
    qint32 eventCount = 0;
    quint8 algorithm = 0;       // 0 slow, 1 fast
    quint8 contOutput = 0;
    quint8 dump = 0;            // reversed: 0 enabled, 1 disabled
    qint32 maxFishSize = 0;
    qint32 lengthComp = 0;
    qint32 maxEvents = 0;
    qint32 conductivity = 0;
    std::array<ChannelStatus, kChannelCount> channels{};      // use channel(n), n = 1..4
    std::array<qint32, kProfilePointCount> condProfile{};    // use profileGain(i), i = 1..8
    QString condProfileType;    // "", "D", "F" or "N": set by a save, never read

    static constexpr int kVersionTextLength = 30;

    // Channel n, 1 to 4; any other n throws std::out_of_range.
    ChannelStatus& channel(int n) { return channels.at(size_t(n - 1)); }
    const ChannelStatus& channel(int n) const { return channels.at(size_t(n - 1)); }
    // The gain in per cent at conductivity point i, 1 to 8; others throw std::out_of_range.
    qint32& profileGain(int i) { return condProfile.at(size_t(i - 1)); }
    qint32 profileGain(int i) const { return condProfile.at(size_t(i - 1)); }

    friend bool operator==(const CounterStatus&, const CounterStatus&) = default;
};

struct WeirDimension {
    qint32 length = 0;      // sent as four digits
    qint32 depth = 0;       // sent as three digits
    bool changed = false;   // altered on the PC and not yet sent
    // The values are the counter's: the last read reached this entry. Until then nothing
    // of it is sent, for a length or depth nobody has seen would go with any change.
    bool read = false;

    friend bool operator==(const WeirDimension&, const WeirDimension&) = default;
};

struct WeirDimensions {
    std::array<WeirDimension, kChannelCount> entries{};

    // The entry of channel n, 1 to 4; any other n throws std::out_of_range.
    WeirDimension& channel(int n) { return entries.at(size_t(n - 1)); }
    const WeirDimension& channel(int n) const { return entries.at(size_t(n - 1)); }
};

// The program-wide records, living for the whole run.
CounterStatus& counterStatus();
WeirDimensions& weirDimensions();

// The whole status dialogue. True when every mandatory reply was valid. A wrong reply shows
// its error and returns false; a malformed number throws ConversionError. Either way the
// fields parsed before the failure keep their new values. Throws LineBusyError when
// started while another dialogue holds the line.
bool ReadCounterStatus(Link& link, CounterStatus& status);
// The first part of that dialogue alone: the status line ("a"), the four channel blocks
// and the ACK that closes them; the clock, the event count and every channel's counts,
// and nothing after them. Fails as the whole read does.
bool ReadCounterCounts(Link& link, CounterStatus& status);

// Counters from version 8.9 on send the other-status block (algorithm, continuous output,
// dump, fish size, length compensation, buffer size) after the profile; for older ones
// those fields are not the counter's.
bool reportsOtherStatus(const CounterStatus& status);

// The three-character reply to "g", acknowledged; empty (after an error message) when the
// reply has any other length or is not a number (blanks around the digits are allowed).
QString ReadConductivity(Link& link);

// Asks each channel's length and depth; each entry read is marked read and unchanged. A
// reply that is not seven characters holding the two numbers throws ConversionError; the
// channels before keep their new values, and the rest keep theirs but are no longer read.
bool ReadWeirDimensions(Link& link, WeirDimensions& weir);
// Sends the read entries marked changed and clears their flags. An entry that could not be
// sent, or was not read, keeps its flag, so a later write tries it again; false when that
// happened.
bool WriteWeirDimensions(Link& link, WeirDimensions& weir);

} // namespace kfc
