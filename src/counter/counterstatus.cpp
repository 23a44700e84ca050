#include "counterstatus.h"

#include "link/errors.h"
#include "link/hooks.h"
#include "link/link.h"
#include "readers.h"

#include <algorithm>

namespace kfc {

namespace {

// Reply lengths of the status dialogue's blocks.
constexpr int kStatusMinLength = 32;
constexpr int kChannelBlockLength = 55;
constexpr int kProfileBlockLength = 31;
constexpr int kOtherStatusBlockLength = 19;
constexpr int kConductivityLength = 3;

constexpr int kWeirReplyLength = 7;   // four digits of length, three of depth
constexpr int kWeirLengthMax = 9999;  // four digits on the line
constexpr int kWeirDepthMax = 999;    // three digits

void reportError(const QString& text) { showMessage(MessageKind::Error, text); }

// An 8-bit field of the record. A value that does not fit is as malformed as a letter
// where a digit belongs; stored truncated it would show the user a wrong setting.
quint8 TakeFlag(QString& working)
{
    const qint32 value = TakeInteger(working);
    if (value > 255)
        throw ConversionError(QStringLiteral("'%1' is not a valid flag value").arg(value));
    return quint8(value);
}

// Step 2 of the dialogue: the status line, parsed in place in LastReply.
void parseStatusLine(QString& working, CounterStatus& status)
{
    const QDate date = TakeDate(working);
    const QTime time = TakeTime(working);
    status.dateTime = QDateTime(date, time, Qt::UTC);
    status.printerEnabled = TakeFlag(working);
    status.eventsEnabled = TakeFlag(working);
    status.relayMode = TakeFlag(working);
    status.eventLogging = TakeFlag(working);
    status.bufferType = TakeFlag(working);
    status.eventCount = TakeInteger(working);
    TakeToken(working, QLatin1Char('V'));
    status.version = TakeFloat(working);
    status.versionText = working.mid(1).left(CounterStatus::kVersionTextLength);
}

// The reply order differs from the record's: the relay time comes before the event relays.
void parseChannelBlock(QString& working, ChannelStatus& channel)
{
    TakeInteger(working);  // the block's own number, not kept
    channel.enabled = TakeFlag(working);
    channel.upThreshold = TakeInteger(working);
    channel.downThreshold = TakeInteger(working);
    channel.upCount = TakeInteger(working);
    channel.downCount = TakeInteger(working);
    channel.upRelay1 = TakeInteger(working);
    channel.upRelay2 = TakeInteger(working);
    channel.downRelay1 = TakeInteger(working);
    channel.downRelay2 = TakeInteger(working);
    channel.upRelayTime = TakeInteger(working);
    channel.downRelayTime = channel.upRelayTime;
    channel.eventRelay1 = TakeInteger(working);
    channel.eventRelay2 = TakeInteger(working);
    channel.eventRelayTime = TakeInteger(working);
    channel.graphEnabled = TakeFlag(working);
    channel.sAtt = TakeInteger(working);
    channel.wAtt = TakeInteger(working);
}

void parseProfileBlock(QString& working, CounterStatus& status)
{
    for (int i = 1; i <= kProfilePointCount; ++i)
        status.profileGain(i) = TakeInteger(working);
}

void parseOtherStatusBlock(QString& working, CounterStatus& status)
{
    status.algorithm = TakeFlag(working);
    status.contOutput = TakeFlag(working);
    status.dump = TakeFlag(working);
    status.maxFishSize = TakeInteger(working);
    status.lengthComp = TakeInteger(working);
    status.maxEvents = TakeInteger(working);
}

enum class Length { Exactly, AtLeast };

// One step of the dialogue: its progress text, the exchange into LastReply (the dialogue's
// working text) and the length check, with the step's error box when the length is wrong.
bool readBlock(Link& link, const QString& progress, const QString& command, Length rule,
               int length, const QString& error)
{
    showProgress(progress);
    link.LastCommand = command;
    link.LastReply = link.Exchange(command);
    const int size = int(link.LastReply.size());
    if (rule == Length::Exactly ? size == length : size >= length)
        return true;
    reportError(error);
    return false;
}

bool readStatusLine(Link& link, CounterStatus& status)
{
    if (!readBlock(link, QStringLiteral("Getting Counter Status"), QStringLiteral("a"), Length::AtLeast,
                   kStatusMinLength, QStringLiteral("Invalid response from Counter")))
        return false;
    parseStatusLine(link.LastReply, status);
    return true;
}

bool readChannelBlocks(Link& link, CounterStatus& status)
{
    for (int n = 1; n <= kChannelCount; ++n) {
        if (!readBlock(link, QStringLiteral("Getting Channel %1 Status").arg(n), ACK, Length::Exactly,
                       kChannelBlockLength,
                       QStringLiteral("Invalid response from Counter reading channel %1").arg(n)))
            return false;
        parseChannelBlock(link.LastReply, status.channel(n));
    }
    return true;
}

bool readProfileBlock(Link& link, CounterStatus& status)
{
    if (!readBlock(link, QStringLiteral("Getting Conductivity Settings"), QStringLiteral("f"),
                   Length::Exactly, kProfileBlockLength,
                   QStringLiteral("Invalid response from Counter reading conductivity")))
        return false;
    parseProfileBlock(link.LastReply, status);
    return true;
}

// A wrong block is reported with the same text as a wrong profile block.
bool readOtherStatusBlock(Link& link, CounterStatus& status)
{
    if (!readBlock(link, QStringLiteral("Getting Other Status Settings"), ACK, Length::Exactly,
                   kOtherStatusBlockLength,
                   QStringLiteral("Invalid response from Counter reading conductivity")))
        return false;
    parseOtherStatusBlock(link.LastReply, status);
    return true;
}

void readConductivityGain(Link& link, CounterStatus& status)
{
    showProgress(QStringLiteral("Getting Conductivity Gain"));
    QString reading = ReadConductivity(link);
    // A bad reading has been reported already and does not fail the read.
    if (!reading.isEmpty())
        status.conductivity = TakeInteger(reading);
}

// A reply that is a whole number and nothing else, as the status read would take it;
// blanks before or after the digits pad it to its width, as in every other field.
bool isNumber(const QString& reply)
{
    QString working = reply;
    try {
        TakeInteger(working);
    } catch (const ConversionError&) {
        return false;
    }
    return std::all_of(working.cbegin(), working.cend(), [](QChar c) { return c == QLatin1Char(' '); });
}

// Both numbers of a weir reply field must fill the field: "12x4" is not a length of 12.
qint32 weirField(const QString& reply, int from, int count)
{
    const QString field = reply.mid(from, count);
    QString working = field;
    const qint32 value = TakeInteger(working);
    if (!working.isEmpty())
        throw ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(field));
    return value;
}

bool fitsWeirCommand(const WeirDimension& entry)
{
    return entry.length >= 0 && entry.length <= kWeirLengthMax && entry.depth >= 0
        && entry.depth <= kWeirDepthMax;
}

} // namespace

qint32 conductivityPoint(int point) { return kConductivityPoints.at(size_t(point - 1)); }

CounterStatus& counterStatus()
{
    static CounterStatus instance;
    return instance;
}

WeirDimensions& weirDimensions()
{
    static WeirDimensions instance;
    return instance;
}

bool ReadCounterStatus(Link& link, CounterStatus& status)
{
    // One dialogue: a command started from a click during one of its waits would clear
    // the line and take the reply this read is waiting for.
    auto hold = link.holdLine();
    if (!ReadCounterCounts(link, status))
        return false;
    if (!readProfileBlock(link, status))
        return false;
    if (reportsOtherStatus(status) && !readOtherStatusBlock(link, status))
        return false;
    link.SendCommand(ACK);
    readConductivityGain(link, status);
    showProgress(QString());
    return true;
}

bool ReadCounterCounts(Link& link, CounterStatus& status)
{
    auto hold = link.holdLine();
    if (!readStatusLine(link, status) || !readChannelBlocks(link, status))
        return false;
    link.SendCommand(ACK);
    return true;
}

bool reportsOtherStatus(const CounterStatus& status) { return status.version >= 8.9; }

QString ReadConductivity(Link& link)
{
    auto hold = link.holdLine();
    const QString reply = link.Exchange(QStringLiteral("g"));
    // Three characters that are not a number are no reading: shown as they came, they would
    // pass for one.
    if (reply.size() != kConductivityLength || !isNumber(reply)) {
        reportError(QStringLiteral("Invalid response from Counter reading conductivity gain"));
        return {};
    }
    link.SendCommand(ACK);
    return reply;
}

bool ReadWeirDimensions(Link& link, WeirDimensions& weir)
{
    auto hold = link.holdLine();
    // An entry the read does not reach no longer holds what the counter holds now.
    for (WeirDimension& entry : weir.entries)
        entry.read = false;
    for (int n = 1; n <= kChannelCount; ++n) {
        const QString reply = link.Exchange(QStringLiteral("E5T%1").arg(n));
        // A reply one character short would still hold two numbers, the depth a tenth of
        // what the counter holds.
        if (reply.size() != kWeirReplyLength)
            throw ConversionError(QStringLiteral("Invalid response from Counter reading the weir dimensions "
                                                 "of channel %1: '%2'")
                                      .arg(n)
                                      .arg(reply));
        const qint32 length = weirField(reply, 0, 4);
        const qint32 depth = weirField(reply, 4, 3);
        weir.channel(n) = {length, depth, false, true};
    }
    return true;
}

bool WriteWeirDimensions(Link& link, WeirDimensions& weir)
{
    auto hold = link.holdLine();
    bool allSent = true;
    for (int n = 1; n <= kChannelCount; ++n) {
        WeirDimension& entry = weir.channel(n);
        if (!entry.changed)
            continue;
        if (!entry.read) {
            link.LogLine(QStringLiteral("--  weir dimensions of channel %1 not sent: they were not read").arg(n));
            allSent = false;
            continue;
        }
        // A value wider than its field would run into the next one on the line, and the
        // counter would store a length and depth nobody entered.
        if (!fitsWeirCommand(entry)) {
            reportError(QStringLiteral("Weir dimensions of channel %1 cannot be sent: the length "
                                       "must be 0 to 9999 and the depth 0 to 999.")
                            .arg(n));
            allSent = false;
            continue;
        }
        const QString command =
            QString::asprintf("E5S%1d%4.4d%3.3d", n, int(entry.length), int(entry.depth));
        if (!link.SendCommand(command)) {
            allSent = false;   // the link's log says so
            continue;
        }
        entry.changed = false;
    }
    return allSent;
}

} // namespace kfc
