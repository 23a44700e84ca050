#pragma once
// The steps of a session with a counter that more than one verb takes: the port named by
// its text, the call through a modem, the logon and the hang-up.

#include <QString>
#include <QTextStream>

namespace kfc {
class ComPort;
class Link;
class PortNames;
}

namespace kfc::cli {

// An explicit device path or network line is given this number for the run; it is never saved.
constexpr int kPathComNumber = 99;

// The user's own port names (the settings store's Ports group).
void loadUserPortNames(PortNames& names);

// A port as the user names it: COM and a number, a device path or a network line.
struct PortText {
    int comNumber = 0;     // kPathComNumber for a device path or a network line
    QString devicePath;    // empty for COM n
};

// The one reader of a port's text, for --port and the site list alike: empty when the text
// names a port (then *port says which), else why not.
QString readPortText(const QString& text, PortText* port);

// Points the port at what the text names ("COM n", a device path or tcp://HOST:PORT); the
// reason when it names none.
QString applyPortText(const QString& portText, ComPort& port);

// The line that a port text reaches the counter on: the device behind a COM number or a
// path (links followed), or the network address. Two texts for one line give the same
// result, so that the sites on it are called one after another and never at once.
QString lineOf(const QString& portText);

// Dials through the modem on the open port. On a failure says why on standard error,
// closes the port, returns CallFailed and leaves the modem's last word in *failure.
int dialModem(ComPort& port, const QString& number, int timeoutMs, QTextStream& err,
              QString* failure = nullptr);

// How a verb given no password is told where to give one.
inline const QString kPasswordOptionHint = QStringLiteral(
    "give it as the first line of a file with --password-file FILE, or in the environment variable "
    "KESTROVA_PASSWORD");

// Logs on when the counter has a password in force; says why not on standard error, and
// where a password that was needed is given with passwordHint.
bool logOn(Link& link, const QString& password, QTextStream& err, const QString& passwordHint = kPasswordOptionHint);

// Ends the session as the program's hang-up does: log-off, then "e".
void hangUp(Link& link, ComPort& port);

} // namespace kfc::cli
