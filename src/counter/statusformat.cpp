#include "statusformat.h"

#include <QJsonArray>
#include <QStringList>

namespace kfc {

namespace {

const QString kClockFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss");

QJsonObject channelToJson(const ChannelStatus& c)
{
    return QJsonObject{
        {QStringLiteral("enabled"), c.enabled},
        {QStringLiteral("upThreshold"), c.upThreshold},
        {QStringLiteral("downThreshold"), c.downThreshold},
        {QStringLiteral("upCount"), c.upCount},
        {QStringLiteral("downCount"), c.downCount},
        {QStringLiteral("upRelay1"), c.upRelay1},
        {QStringLiteral("upRelay2"), c.upRelay2},
        {QStringLiteral("downRelay1"), c.downRelay1},
        {QStringLiteral("downRelay2"), c.downRelay2},
        {QStringLiteral("eventRelay1"), c.eventRelay1},
        {QStringLiteral("eventRelay2"), c.eventRelay2},
        {QStringLiteral("upRelayTime"), c.upRelayTime},
        {QStringLiteral("downRelayTime"), c.downRelayTime},
        {QStringLiteral("eventRelayTime"), c.eventRelayTime},
        {QStringLiteral("graphEnabled"), c.graphEnabled},
        {QStringLiteral("sAtt"), c.sAtt},
        {QStringLiteral("wAtt"), c.wAtt},
    };
}

// A flag in words; a value the counter does not define is shown as it came.
QString flagText(quint8 value, const char* whenZero, const char* whenOne)
{
    if (value == 0)
        return QLatin1String(whenZero);
    if (value == 1)
        return QLatin1String(whenOne);
    return QString::number(value);
}

QString clockText(const CounterStatus& s)
{
    return s.dateTime.isValid() ? s.dateTime.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                : QStringLiteral("not read");
}

// Two label/value pairs on one line, in fixed columns.
QString pairLine(const QString& label1, const QString& value1, const QString& label2 = {},
                 const QString& value2 = {})
{
    QString line = label1.leftJustified(15) + value1;
    if (!label2.isEmpty())
        line = line.leftJustified(31) + label2.leftJustified(15) + value2;
    return line;
}

QString relayPair(qint32 first, qint32 second)
{
    return QStringLiteral("%1,%2").arg(first).arg(second);
}

struct Column {
    const char* title;
    int width;
};

constexpr Column kChannelColumns[] = {
    {"Ch", 2},       {"On", 3},       {"UpTh", 5},    {"DnTh", 5},  {"UpCount", 8},
    {"DnCount", 8},  {"UpRly", 6},    {"DnRly", 6},   {"EvRly", 6}, {"RlyT", 5},
    {"EvT", 4},      {"Graph", 6},    {"SA", 5},      {"WA", 5},
};

QString tableRow(const QStringList& cells)
{
    QStringList padded;
    for (qsizetype i = 0; i < cells.size(); ++i)
        padded << cells[i].rightJustified(kChannelColumns[i].width);
    return padded.join(QLatin1Char(' '));
}

QStringList channelTable(const CounterStatus& s)
{
    QStringList titles;
    for (const Column& column : kChannelColumns)
        titles << QLatin1String(column.title);
    QStringList lines{tableRow(titles)};
    for (int n = 1; n <= kChannelCount; ++n) {
        const ChannelStatus& c = s.channel(n);
        lines << tableRow({QString::number(n), flagText(c.enabled, "no", "yes"),
                           QString::number(c.upThreshold), QString::number(c.downThreshold),
                           QString::number(c.upCount), QString::number(c.downCount),
                           relayPair(c.upRelay1, c.upRelay2), relayPair(c.downRelay1, c.downRelay2),
                           relayPair(c.eventRelay1, c.eventRelay2), QString::number(c.upRelayTime),
                           QString::number(c.eventRelayTime), flagText(c.graphEnabled, "no", "yes"),
                           QString::number(c.sAtt), QString::number(c.wAtt)});
    }
    return lines;
}

QStringList profileTable(const CounterStatus& s)
{
    QString points = QStringLiteral("Cond").leftJustified(8);
    QString gains = QStringLiteral("Gain(%)").leftJustified(8);
    for (int i = 1; i <= kProfilePointCount; ++i) {
        points += QString::number(conductivityPoint(i)).rightJustified(5);
        gains += QString::number(s.profileGain(i)).rightJustified(5);
    }
    QStringList lines{points, gains};
    if (!s.condProfileType.isEmpty())
        lines << pairLine(QStringLiteral("Profile type"), s.condProfileType);
    return lines;
}

} // namespace

QJsonObject counterStatusToJson(const CounterStatus& s)
{
    QJsonArray channels;
    for (const ChannelStatus& c : s.channels)
        channels.append(channelToJson(c));
    QJsonArray profile;
    for (qint32 gain : s.condProfile)
        profile.append(gain);
    return QJsonObject{
        {QStringLiteral("dateTime"),
         s.dateTime.isValid() ? QJsonValue(s.dateTime.toString(kClockFormat)) : QJsonValue()},
        {QStringLiteral("version"), s.version},
        {QStringLiteral("versionText"), s.versionText},
        {QStringLiteral("printerEnabled"), s.printerEnabled},
        {QStringLiteral("eventsEnabled"), s.eventsEnabled},
        {QStringLiteral("relayMode"), s.relayMode},
        {QStringLiteral("eventLogging"), s.eventLogging},
        {QStringLiteral("bufferType"), s.bufferType},
        {QStringLiteral("eventCount"), s.eventCount},
        {QStringLiteral("algorithm"), s.algorithm},
        {QStringLiteral("contOutput"), s.contOutput},
        {QStringLiteral("dump"), s.dump},
        {QStringLiteral("maxFishSize"), s.maxFishSize},
        {QStringLiteral("lengthComp"), s.lengthComp},
        {QStringLiteral("maxEvents"), s.maxEvents},
        {QStringLiteral("conductivity"), s.conductivity},
        {QStringLiteral("channels"), channels},
        {QStringLiteral("condProfile"), profile},
        {QStringLiteral("condProfileType"), s.condProfileType},
    };
}

QString counterStatusToText(const CounterStatus& s)
{
    QStringList lines{
        pairLine(QStringLiteral("Clock"), clockText(s)),
        pairLine(QStringLiteral("Version"),
                 (QString::number(s.version, 'f', 2) + QLatin1Char(' ') + s.versionText).trimmed()),
        pairLine(QStringLiteral("Printer"), flagText(s.printerEnabled, "disabled", "enabled"),
                 QStringLiteral("Events"), flagText(s.eventsEnabled, "disabled", "enabled")),
        pairLine(QStringLiteral("Relay mode"), flagText(s.relayMode, "delayed", "instant"),
                 QStringLiteral("Event logging"), flagText(s.eventLogging, "disabled", "enabled")),
        pairLine(QStringLiteral("Buffer"), flagText(s.bufferType, "linear", "circular"),
                 QStringLiteral("Algorithm"), flagText(s.algorithm, "slow", "fast")),
        pairLine(QStringLiteral("Cont. output"), flagText(s.contOutput, "disabled", "enabled"),
                 QStringLiteral("Dump"), flagText(s.dump, "enabled", "disabled")),
        pairLine(QStringLiteral("Max fish size"), QString::number(s.maxFishSize),
                 QStringLiteral("Length comp."), QString::number(s.lengthComp)),
        pairLine(QStringLiteral("Events"),
                 QStringLiteral("%1 of %2").arg(s.eventCount).arg(s.maxEvents),
                 QStringLiteral("Conductivity"), QString::number(s.conductivity)),
        QString(),
    };
    lines << channelTable(s) << QString() << profileTable(s);
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace kfc
