#pragma once
// The counter's password procedures. Each asks the counter for its password state ("9D")
// before it acts, reports its own failures in a message box, and returns true when the
// caller may go on.

#include <QString>

namespace kfc {

class Link;

// The counter's answer to "9D".
enum class PasswordState {
    New,        // "NEW": no password set; the connection goes on as if logged on
    Old,        // "OLD": set, and this connection has not logged on
    LoggedOn,   // "1OR2": set, and this connection is logged on
    NoAnswer,   // the empty reply: nothing answered within the time-out
    Invalid,    // any other reply
};

// Which state a reply to "9D" means; the reply must match exactly.
PasswordState ClassifyPasswordState(const QString& reply);

// What the user typed, left-filled with '0' to four characters.
QString PadPassword(const QString& typed);

// The password state at the start of a connection. A counter left waiting for a password
// (a line dropped between "9" and the password) takes this "9D" as the password and
// answers it: on a reply that is no state, the session is ended with "e" and the state
// asked once more, so that only a counter that still makes no sense is reported.
QString QueryPasswordStateOnConnect(Link& link);

bool CounterLogon(Link& link, const QString& password);
bool CounterLogoff(Link& link);
bool SetCounterPassword(Link& link, const QString& newPassword);

} // namespace kfc
