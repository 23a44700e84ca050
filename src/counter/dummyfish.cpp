#include "dummyfish.h"

#include "link/link.h"

namespace kfc {

QString dummyFishCommand(int channel, FishDirection direction)
{
    return QStringLiteral("2%1d%2").arg(channel).arg(int(direction));
}

bool SendDummyFish(Link& link, int channel, FishDirection direction)
{
    return link.SendCommand(dummyFishCommand(channel, direction));
}

} // namespace kfc
