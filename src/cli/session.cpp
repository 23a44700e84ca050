#include "session.h"

#include "cli.h"
#include "counter/password.h"
#include "link/comport.h"
#include "link/errors.h"
#include "link/link.h"
#include "link/modemdial.h"
#include "link/networkaddress.h"
#include "link/untrusted.h"

#include <QSettings>

namespace kfc::cli {

void loadUserPortNames(PortNames& names)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kestrova"),
                       QStringLiteral("Control"));
    names.load(settings);
}

QString applyPortText(const QString& portText, ComPort& port)
{
    QString problem;
    if (isNetworkAddressText(portText) && !parseNetworkAddress(portText, &problem))
        return problem;
    if (portText.startsWith(QLatin1Char('/')) || isNetworkAddressText(portText)) {
        port.portNames().setOverride(kPathComNumber, portText);
        port.settings.comNumber = kPathComNumber;
        return {};
    }
    bool ok = portText.startsWith(QLatin1String("COM"), Qt::CaseInsensitive);
    const int n = ok ? portText.mid(3).trimmed().toInt(&ok) : 0;
    if (!ok || n < PortNames::kFirst || n > PortNames::kLast)
        return QStringLiteral("PORT must be COM1..COM99, a device path or tcp://HOST:PORT: %1").arg(portText);
    port.settings.comNumber = n;
    return {};
}

int dialModem(ComPort& port, const QString& number, int timeoutMs, QTextStream& err, QString* failure)
{
    ModemDialer dialer(port);
    QString lastLine;
    dialer.progress = [&lastLine](const QString& text) { lastLine = text; };
    bool connected = false;
    try {
        connected = dialer.dial(number, timeoutMs);
    } catch (const LinkError& e) {
        lastLine = e.text();
    }
    if (connected) {
        port.DiscardInput();   // whatever the modem sent after "CONNECT"
        return Ok;
    }
    err << "kestrova-cli: " << lastLine << '\n';
    err.flush();
    port.ClosePort();
    if (failure)
        *failure = lastLine;
    return CallFailed;
}

bool logOn(Link& link, const QString& password, QTextStream& err)
{
    const QString reply = link.QueryPasswordState();
    const PasswordState state = ClassifyPasswordState(reply);
    if (state == PasswordState::Old && password.isEmpty()) {
        err << "kestrova-cli: the counter has a password; give it as the first line of a file "
               "with --password-file FILE, or in the environment variable KESTROVA_PASSWORD\n";
        return false;
    }
    if (state == PasswordState::NoAnswer || state == PasswordState::Invalid) {
        err << "kestrova-cli: Invalid Password Response - " << printable(reply) << '\n';
        return false;
    }
    return state != PasswordState::Old || CounterLogon(link, PadPassword(password));
}

void hangUp(Link& link, ComPort& port)
{
    if (!port.PortIsOpen())
        return;
    CounterLogoff(link);
    link.SendCommand(QStringLiteral("e"));
}

} // namespace kfc::cli
