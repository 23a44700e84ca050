#pragma once
// Program start-up: the long-lived windows, created once in their order and kept until
// exit, and the program-wide pointers to them.
//
//   1 fMain          the main frame
//   2 fStatus        the status window (a child of the main frame; made by the caller,
//                    whose library builds on this one)
//   3 fBlank         the placeholder, made last of the children so that it is in front
//   4 fCounterLogon  the password window, hidden until shown modally (made by the caller
//                    too)
//   5 frmDebug       the debug log, hidden; receives the link's trace

#include <QPointer>

#include <functional>
#include <memory>

namespace kfc {
class PortDevice;
}

namespace kfc::app {

class PasswordWindow;
class StatusWindowApi;
class TfBlank;
class TfMain;
class TfrmDebug;

// The program-wide instances; null outside the lifetime of a ProgramWindows.
extern TfMain* fMain;
extern StatusWindowApi* fStatus;
extern TfBlank* fBlank;
extern PasswordWindow* fCounterLogon;
extern TfrmDebug* frmDebug;

class ProgramWindows {
public:
    // Makes the status window as a child window of the main frame's work area.
    using StatusFactory = std::function<StatusWindowApi*(TfMain&)>;
    // Makes the password window as a dialog of the main frame.
    using PasswordFactory = std::function<PasswordWindow*(TfMain&)>;

    // Creates the windows and points the link's progress hook at the main frame's message
    // panel. Without a device the port is a real one.
    explicit ProgramWindows(const StatusFactory& makeStatus, const PasswordFactory& makePassword = {},
                            std::unique_ptr<PortDevice> device = nullptr);
    // Frees the windows in the opposite order; the main frame saves the settings.
    ~ProgramWindows();

    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;

    TfMain& main() const { return *m_main; }

private:
    QPointer<TfMain> m_main;
};

} // namespace kfc::app
