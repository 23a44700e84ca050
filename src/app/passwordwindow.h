#pragma once
// The password window as the status window uses it: it logs on to the counter, or sets
// or changes its password. One lives for the whole run (fCounterLogon); it is made by the
// library of the Connect menu's windows, which builds on this one.

namespace kfc::app {

class PasswordWindow {
public:
    enum class Mode { Logon, Set, Change };

    virtual ~PasswordWindow() = default;

    // Each sets the caption and the mode, shows the window modally and returns its result
    // (QDialog::Accepted for OK, QDialog::Rejected for Cancel).
    virtual int showForLogon() = 0;
    virtual int showForSet() = 0;
    virtual int showForChange() = 0;
};

} // namespace kfc::app
