#pragma once
// The columns of the status window's channel group, in their order on screen. Each row
// says what one column's controls are (the name prefix that the channel digit completes,
// the kind, the range and the value at start), its title, and which field of a channel's
// record it shows and which field of the edited settings it saves. The layout, the display
// of a channel, which of its controls the operator may use and the values a save compares
// all follow this table. A new per-channel setting is a row here, beside its fields in
// ChannelStatus and EditedChannel and its command in the save plan.

#include "counter/counterstatus.h"
#include "counter/saveplan.h"

namespace kfc::status {

struct ChannelColumn {
    enum class Kind {
        RowSwitch, // the channel's own check box: the row's other settings follow it
        Check,     // a check box
        Spin,      // a spin edit, without arrows: thirteen share a row
        Value      // a read-only text that shows a number
    };
    Kind kind = Kind::Spin;
    const char* prefix = nullptr;
    // The title over a pair of neighbouring columns (the same on both), or null where the
    // column's own title stands over both title rows.
    const char* group = nullptr;
    const char* title = nullptr;
    int minimum = 0, maximum = 0, initial = 0; // a spin edit's range and first value
    int digits = 0, padding = 0;               // a value's width: digits and pixels more
    // What the column shows: a flag (checked when 1) or a number.
    quint8 ChannelStatus::*flag = nullptr;
    qint32 ChannelStatus::*number = nullptr;
    // What a save takes from it; neither for a column that only shows.
    bool EditedChannel::*editedFlag = nullptr;
    int EditedChannel::*editedNumber = nullptr;
};

// The channel's own check box ("cBoxChannel3").
inline constexpr const char* kRowSwitchPrefix = "cBoxChannel";

namespace columns {

using K = ChannelColumn::Kind;
using Ch = ChannelStatus;
using Ed = EditedChannel;

inline constexpr ChannelColumn kChannelColumns[] = {
    {.kind = K::RowSwitch, .prefix = kRowSwitchPrefix, .title = "Enab",
     .flag = &Ch::enabled, .editedFlag = &Ed::enabled},
    {.kind = K::Spin, .prefix = "seUpTh", .group = "Thresholds", .title = "Up", .minimum = 0, .maximum = 99,
     .initial = 0, .number = &Ch::upThreshold, .editedNumber = &Ed::upThreshold},
    {.kind = K::Spin, .prefix = "seDnTh", .group = "Thresholds", .title = "Down", .minimum = 0, .maximum = 99,
     .initial = 0, .number = &Ch::downThreshold, .editedNumber = &Ed::downThreshold},
    {.kind = K::Value, .prefix = "eUpCnt", .group = "Counts", .title = "Up", .digits = 5, .padding = 2,
     .number = &Ch::upCount},
    {.kind = K::Value, .prefix = "eDnCnt", .group = "Counts", .title = "Down", .digits = 5, .padding = 2,
     .number = &Ch::downCount},
    {.kind = K::Spin, .prefix = "seUpRel1Ch", .group = "Up Relays", .title = "1", .minimum = 1, .maximum = 12,
     .initial = 1, .number = &Ch::upRelay1, .editedNumber = &Ed::upRelay1},
    {.kind = K::Spin, .prefix = "seUpRel2Ch", .group = "Up Relays", .title = "2", .minimum = 0, .maximum = 12,
     .initial = 0, .number = &Ch::upRelay2, .editedNumber = &Ed::upRelay2},
    {.kind = K::Spin, .prefix = "seDnRel1Ch", .group = "Down Relays", .title = "1", .minimum = 1, .maximum = 12,
     .initial = 1, .number = &Ch::downRelay1, .editedNumber = &Ed::downRelay1},
    {.kind = K::Spin, .prefix = "seDnRel2Ch", .group = "Down Relays", .title = "2", .minimum = 0, .maximum = 12,
     .initial = 0, .number = &Ch::downRelay2, .editedNumber = &Ed::downRelay2},
    // The counter has one up/down relay time; the save compares it with both.
    {.kind = K::Spin, .prefix = "seRelTimeCh", .title = "Up/Down Time", .minimum = 1, .maximum = 300,
     .initial = 1, .number = &Ch::upRelayTime, .editedNumber = &Ed::relayTime},
    {.kind = K::Spin, .prefix = "seEvRel1Ch", .group = "Event Relays", .title = "1", .minimum = 1, .maximum = 12,
     .initial = 1, .number = &Ch::eventRelay1, .editedNumber = &Ed::eventRelay1},
    {.kind = K::Spin, .prefix = "seEvRel2Ch", .group = "Event Relays", .title = "2", .minimum = 0, .maximum = 12,
     .initial = 0, .number = &Ch::eventRelay2, .editedNumber = &Ed::eventRelay2},
    {.kind = K::Spin, .prefix = "seEvTimeCh", .title = "Event Time", .minimum = 1, .maximum = 300,
     .initial = 1, .number = &Ch::eventRelayTime, .editedNumber = &Ed::eventRelayTime},
    {.kind = K::Check, .prefix = "cBoxGraphCh", .title = "Graph Enab",
     .flag = &Ch::graphEnabled, .editedFlag = &Ed::graph},
    {.kind = K::Value, .prefix = "eSattCh", .title = "SA", .digits = 3, .padding = 4, .number = &Ch::sAtt},
    {.kind = K::Value, .prefix = "eWattCh", .title = "WA", .digits = 3, .padding = 4, .number = &Ch::wAtt},
};

} // namespace columns

using columns::kChannelColumns;

} // namespace kfc::status
