#pragma once
// What a tool window may ask of the status window. The tools live in a library of their
// own that never sees the status window's class; they get this instead.

#include <QString>

#include <functional>

class QWidget;

namespace kfc {
struct CounterStatus;
}

namespace kfc::app {

class StatusAccess {
public:
    virtual ~StatusAccess() = default;

    // The status record as last read (the program-wide one).
    virtual CounterStatus& status() = 0;
    // Reads the counter again and shows what it holds; the display stays on failure.
    virtual void RefreshStatus() = 0;
    virtual bool contUpdActive() const = 0;

    // The profile the next save sends: gain cell 1..8 of the profile grid as text, and
    // the profile type ("D", "F", "N" or empty for unchanged).
    virtual QString profileCell(int column) const = 0;
    virtual void setProfileCell(int column, const QString& text) = 0;
    virtual QString profileType() const = 0;
    virtual void setProfileType(const QString& type) = 0;

    // The parent for a tool's dialog, and the way to run it: closing a dialog run so is
    // not an activation of the status window (which would leave edit mode and re-read).
    virtual QWidget* dialogParent() = 0;
    virtual int runOwnDialog(const std::function<int()>& run) = 0;
};

// The windows that the status window's menus and buttons open.
enum class Tool {
    Download,            // "&Download"
    CurrentConductivity, // "C&urrent Conductivity"
    DummyFish,           // "Insert Dummy &Fish"
    ProbeCalibrate,      // "&Probe Calibrate"
    BaudRate,            // "Set &Baud Rate"
    SendCommand,         // "&Send Command"
    WeirDimensions,      // "&Weir Dimensions"
    Terminal,            // "&Terminal"
    Profile              // "&Profile" and a double click on the profile grid
};

using ToolOpener = std::function<void(StatusAccess&)>;

} // namespace kfc::app
