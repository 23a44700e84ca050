#pragma once
// A simulated counter on a pseudo-terminal with a real port and link open on it: the line
// most integration tests talk over.

#include "link/comport.h"
#include "link/link.h"
#include "sim/ptycounter.h"

namespace kfc::test {

// Short enough for fast tests, long enough for a loaded machine.
inline const Timing kFastTiming = Timing::shrunk();

class SimLine {
public:
    static constexpr int kComNumber = 9;

    // Starts the counter and opens the port on it as COM 9; false with the reason on failure.
    bool open(QString* error, const Timing& timing = kFastTiming)
    {
        if (!pty.start(error))
            return false;
        port.portNames().setOverride(kComNumber, pty.devicePath());
        port.settings.comNumber = kComNumber;
        link.timing = timing;
        if (!port.openQuietly(error))
            return false;
        return true;
    }

    sim::SimCounter& counter() { return pty.counter(); }

    sim::PtyCounter pty;
    ComPort port;
    Link link{port};
};

} // namespace kfc::test
