#pragma once
// A dummy fish: the counter registers a test fish on a channel in a direction, as if one
// had passed. It counts it, logs its event and reports it during continuous update.

#include <QString>

namespace kfc {

class Link;

enum class FishDirection { Up = 1, Down = 2 };

// "2" + channel + "d" + direction: channel 3 down is "23d2".
QString dummyFishCommand(int channel, FishDirection direction);

// Sends the command; no reply is read. False when it could not be sent.
bool SendDummyFish(Link& link, int channel, FishDirection direction);

} // namespace kfc
