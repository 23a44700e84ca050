#include "session.h"

#include "cli.h"
#include "counter/password.h"
#include "link/comport.h"
#include "link/errors.h"
#include "link/link.h"
#include "link/modemdial.h"
#include "link/networkaddress.h"
#include "link/untrusted.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

namespace kfc::cli {

void loadUserPortNames(PortNames& names)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kestrova"),
                       QStringLiteral("Control"));
    names.load(settings);
}

QString readPortText(const QString& text, PortText* port)
{
    if (isNetworkAddressText(text)) {
        QString problem;
        if (!parseNetworkAddress(text, &problem))
            return problem;
        *port = {kPathComNumber, text};
        return {};
    }
    if (text.startsWith(QLatin1Char('/'))) {
        *port = {kPathComNumber, text};
        return {};
    }
    static const QRegularExpression com(QStringLiteral("^COM\\s*(\\d{1,3})$"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = com.match(text);
    const int n = match.hasMatch() ? match.captured(1).toInt() : 0;
    if (n < PortNames::kFirst || n > PortNames::kLast)
        return QStringLiteral("must be COM1..COM99, a device path or tcp://HOST:PORT: %1").arg(text);
    *port = {n, {}};
    return {};
}

QString applyPortText(const QString& portText, ComPort& port)
{
    PortText target;
    if (QString problem = readPortText(portText, &target); !problem.isEmpty())
        return problem;
    if (!target.devicePath.isEmpty())
        port.portNames().setOverride(target.comNumber, target.devicePath);
    port.settings.comNumber = target.comNumber;
    return {};
}

QString lineOf(const QString& portText)
{
    PortText target;
    if (!readPortText(portText, &target).isEmpty())
        return portText;
    QString device = target.devicePath;
    if (device.isEmpty()) {
        PortNames names;
        loadUserPortNames(names);
        device = names.deviceFor(target.comNumber);
    }
    if (device.isEmpty())
        return QStringLiteral("COM %1").arg(target.comNumber);
    if (isNetworkAddressText(device)) {
        const std::optional<NetworkAddress> address = parseNetworkAddress(device);
        return address ? QStringLiteral("tcp://") + address->text().toLower() : device;
    }
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? device : canonical;
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
