#include "session.h"

#include "cli.h"
#include "counter/password.h"
#include "link/comport.h"
#include "link/errors.h"
#include "link/link.h"
#include "link/modemdial.h"
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
    if (portText.startsWith(QLatin1Char('/'))) {
        port.portNames().setOverride(kPathComNumber, portText);
        port.settings.comNumber = kPathComNumber;
        return {};
    }
    bool ok = portText.startsWith(QLatin1String("COM"), Qt::CaseInsensitive);
    const int n = ok ? portText.mid(3).trimmed().toInt(&ok) : 0;
    if (!ok || n < PortNames::kFirst || n > PortNames::kLast)
        return QStringLiteral("PORT must be COM1..COM99 or a device path: %1").arg(portText);
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

bool logOn(Link& link, const QString& password, QTextStream& err, const QString& passwordHint)
{
    const QString reply = QueryPasswordStateOnConnect(link);
    const PasswordState state = ClassifyPasswordState(reply);
    if (state == PasswordState::Old && password.isEmpty()) {
        err << "kestrova-cli: the counter has a password; " << passwordHint << '\n';
        return false;
    }
    if (state == PasswordState::NoAnswer) {
        err << "kestrova-cli: the counter did not answer; check the cable, the port and the counter's power\n";
        return false;
    }
    if (state == PasswordState::Invalid) {
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
