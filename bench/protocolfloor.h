#pragma once
// The least time the protocol lets a dialogue take: the fixed delays of the timing in use,
// which no faster PC or counter can shorten.

#include "link/link.h"

#include <QString>

namespace kfc::bench {

// One command's frame: the settle before it, and the gap after each byte (STX, the
// command's characters, ETX).
inline double frameFloorMs(const Timing& t, const QString& command)
{
    return t.settleMs + t.byteGapMs * (command.size() + 2);
}

} // namespace kfc::bench
