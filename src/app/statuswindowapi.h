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
    // True when it was.
    virtual bool OpenAfterConnect() = 0;
    // The child window itself.
    virtual QMdiSubWindow* subWindow() = 0;
    // Takes the window out of reach when the connection drops; OpenAfterConnect shows it
    // again once access is granted on the next connection.
    virtual void hideWindow() = 0;
    // Continuous update is running: the counter streams, and only "&Cancel" may talk to it.
    virtual bool contUpdActive() const = 0;
};

} // namespace kfc::app
