#pragma once
// What the main frame needs of the status window. The status window lives in its own
// library, which builds on this one; the main frame knows it only through this.

class QMdiSubWindow;

namespace kfc::app {

class StatusWindowApi {
public:
    virtual ~StatusWindowApi() = default;
    // Called once a link is up: checks the counter's password state (logging on if a
    // password is in force) and brings the window to the front when access is granted.
    virtual void OpenAfterConnect() = 0;
    // The child window itself, which the main frame closes when the connection drops.
    virtual QMdiSubWindow* subWindow() = 0;
};

} // namespace kfc::app
