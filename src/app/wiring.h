#pragma once
// The program's windows as kestrova-control has them: the long-lived windows of
// ProgramWindows with the status and password windows made, and the tools, the Connect
// menu's windows and Counts History registered on the main frame. main.cpp and the window
// tests both start here, so that a test has the program's own windows.
//
// Built on every window library, so not part of kfc_app (which they build on) but a small
// library of its own, kfc_wiring.

#include "program.h"

#include <memory>

namespace kfc {
class PortDevice;
}

namespace kfc::app {

// Without a device the port is a real one.
std::unique_ptr<ProgramWindows> makeProgramWindows(std::unique_ptr<PortDevice> device = nullptr);

} // namespace kfc::app
