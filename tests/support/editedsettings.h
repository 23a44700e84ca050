#pragma once
// The edited settings of a status window that shows a record and was not touched.

#include "counter/saveplan.h"
#include "status/channelcolumns.h"

#include <algorithm>

namespace kfc::test {

// What the window shows for a record (a fish size other than 100 shows as 127, a length
// compensation below 20 as 20), touching nothing.
inline EditedSettings shownFor(const CounterStatus& s)
{
    EditedSettings e;
    e.printer = s.printerEnabled;
    e.events = s.eventsEnabled;
    e.relay = s.relayMode;
    e.logging = s.eventLogging;
    e.buffer = s.bufferType;
    e.maxSize = s.maxFishSize == 100 ? 0 : 1;
    e.algorithm = s.algorithm;
    e.lengthComp = std::clamp(s.lengthComp, 20, 500);
    e.profileType = s.condProfileType;
    for (int i = 1; i <= kProfilePointCount; ++i)
        e.gains[size_t(i - 1)] = QString::number(s.profileGain(i));
    // Each column the window saves, as the window's own table says it shows the record.
    for (int n = 1; n <= kChannelCount; ++n) {
        const ChannelStatus& c = s.channel(n);
        EditedChannel& edited = e.channels[size_t(n - 1)];
        for (const status::ChannelColumn& column : status::columns::kChannelColumns) {
            if (column.editedFlag)
                edited.*column.editedFlag = c.*column.flag == 1;
            if (column.editedNumber)
                edited.*column.editedNumber = c.*column.number;
        }
    }
    return e;
}

} // namespace kfc::test
