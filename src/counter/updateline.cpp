#include "updateline.h"

#include "counterstatus.h"
#include "readers.h"

namespace kfc {

namespace {

void takeConductivity(CounterStatus& status, QString& rest)
{
    for (int n = 1; n <= kChannelCount; ++n) {
        status.channel(n).sAtt = TakeInteger(rest);
        status.channel(n).wAtt = TakeInteger(rest);
    }
    status.conductivity = TakeInteger(rest);
}

UpdateLineResult takeFish(CounterStatus& status, QString& rest)
{
    // The record has four channels; anything else is refused before a field changes.
    if (rest.size() < 2)
        return {UpdateLineResult::Kind::Rejected, 0, false, {}};
    const int channel = rest.at(0).unicode() - '0';
    if (channel < 1 || channel > kChannelCount)
        return {UpdateLineResult::Kind::Rejected, 0, false, {}};
    const bool up = rest.at(1) == QLatin1Char('U');
    rest.remove(0, 2);
    status.eventCount = TakeInteger(rest);
    ChannelStatus& c = status.channel(channel);
    if (up)
        ++c.upCount;
    else
        ++c.downCount;
    return {UpdateLineResult::Kind::Fish, channel, up,
            QStringLiteral("Fish, Channel %1 %2").arg(channel).arg(up ? QStringLiteral("Up") : QStringLiteral("Down"))};
}

} // namespace

bool IsUpdateLine(const QString& line)
{
    if (line.isEmpty())
        return false;
    const QChar kind = line.at(0);
    return kind == QLatin1Char('C') || kind == QLatin1Char('F') || kind == QLatin1Char('T');
}

UpdateLineResult ApplyUpdateLine(CounterStatus& status, const QString& line)
{
    if (line.isEmpty())
        return {};
    const QChar kind = line.at(0);
    QString rest = line.mid(1);
    if (kind == QLatin1Char('C')) {
        takeConductivity(status, rest);
        return {UpdateLineResult::Kind::Conductivity, 0, false, QStringLiteral("Cond. and Atten. Change")};
    }
    if (kind == QLatin1Char('F'))
        return takeFish(status, rest);
    if (kind == QLatin1Char('T')) {
        const QDate date = TakeDate(rest);
        const QTime time = TakeTime(rest);
        status.dateTime = QDateTime(date, time, Qt::UTC);
        return {UpdateLineResult::Kind::Clock, 0, false, {}};
    }
    return {};
}

} // namespace kfc
