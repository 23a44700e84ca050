#pragma once
// The counter's password procedures. Each asks the counter for its password state ("9D")
// before it acts, reports its own failures in a message box, and returns true when the
// caller may go on.

#include <QString>

namespace kfc {

class Link;

namespace PasswordState {
inline const QString New = QStringLiteral("NEW");    // no password set
inline const QString Old = QStringLiteral("OLD");    // set, this connection not logged on
inline const QString LoggedOn = QStringLiteral("1OR2");
} // namespace PasswordState

// What the user typed, left-filled with '0' to four characters.
QString PadPassword(const QString& typed);

bool CounterLogon(Link& link, const QString& password);
bool CounterLogoff(Link& link);
bool SetCounterPassword(Link& link, const QString& newPassword);

} // namespace kfc
