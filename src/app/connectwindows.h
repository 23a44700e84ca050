#pragma once
// The Connect menu's windows as the main frame uses them. They live in a library that
// builds on this one (src/connect), which hands them to the main frame; the main frame
// keeps what follows from them: the menus, the panels and the status window's turn.

#include <QString>

#include <memory>
#include <optional>

namespace kfc::app {

// One "&Modem Connection": the phone book chooses the number, the modem window dials it.
// Both windows last as long as the attempt.
class ModemAttempt {
public:
    virtual ~ModemAttempt() = default;

    // The phone book, shown modally; the number chosen, nothing when it was cancelled or
    // no entry was chosen.
    virtual std::optional<QString> chooseNumber() = 0;
    // Dials on the main frame's port; true only when the call connected, and the port
    // then carries it.
    virtual bool Dial(const QString& number) = 0;
    // Why the call did not connect, in a line; the modem's name once it did.
    virtual QString failureText() const = 0;
    virtual QString ModemName() const = 0;
    // The phone book entry chosen; empty before one is.
    virtual QString entryName() const = 0;
};

class ConnectWindows {
public:
    virtual ~ConnectWindows() = default;

    // "Com Port Setup" for a direct connection or the terminal; true when it opened the port.
    virtual bool setUpDirectPort() = 0;
    virtual std::unique_ptr<ModemAttempt> startModemAttempt() = 0;
    // The terminal on the open port, connect mode when the Connect menu opens it; refused
    // with LineBusyError while a command holds the line.
    virtual void openTerminal(bool connectMode) = 0;
    // Closes the open terminal, if there is one (the connection is dropping).
    virtual void closeTerminal() = 0;
};

} // namespace kfc::app
