#pragma once
// Makes the Connect menu's windows known to the main frame: direct connection, modem and
// phone book, terminal (from the Connect menu and from the status window).

namespace kfc::app {
class PasswordWindow;
class TfMain;
}

namespace kfc::connect {

void registerConnectWindows(app::TfMain& main);

// The program's password window, a dialog of the main frame (ProgramWindows' factory).
app::PasswordWindow* makePasswordWindow(app::TfMain& main);

} // namespace kfc::connect
