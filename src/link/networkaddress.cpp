#include "networkaddress.h"

namespace kfc {

namespace {

const QLatin1String kScheme("tcp://");

std::optional<NetworkAddress> refuse(QString* problem, const QString& text, const QString& why)
{
    if (problem)
        *problem = QStringLiteral("%1 is not a network line: %2 (give tcp://HOST:PORT, for example "
                                  "tcp://10.1.2.3:4001)")
                       .arg(text, why);
    return std::nullopt;
}

} // namespace

QString NetworkAddress::text() const
{
    const QString shownHost = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return shownHost + QLatin1Char(':') + QString::number(port);
}

bool isNetworkAddressText(const QString& text)
{
    return text.startsWith(kScheme, Qt::CaseInsensitive);
}

std::optional<NetworkAddress> parseNetworkAddress(const QString& text, QString* problem)
{
    if (!isNetworkAddressText(text))
        return refuse(problem, text, QStringLiteral("it does not begin with tcp://"));
    const QString rest = text.mid(kScheme.size());
    NetworkAddress address;
    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0 || rest.mid(close + 1, 1) != QLatin1String(":"))
            return refuse(problem, text, QStringLiteral("an IPv6 address in brackets wants :PORT after it"));
        address.host = rest.mid(1, close - 1);
        portText = rest.mid(close + 2);
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return refuse(problem, text, QStringLiteral("the port number is missing"));
        address.host = rest.left(colon);
        portText = rest.mid(colon + 1);
        if (address.host.contains(QLatin1Char(':')))
            return refuse(problem, text, QStringLiteral("an IPv6 address goes in brackets"));
    }
    static const QString kNotInHost = QStringLiteral("/@?# \t");
    if (address.host.isEmpty())
        return refuse(problem, text, QStringLiteral("the host is missing"));
    for (const QChar c : address.host)
        if (kNotInHost.contains(c) || c.unicode() < 0x20)
            return refuse(problem, text, QStringLiteral("'%1' cannot be part of a host name").arg(c));
    bool digitsOnly = !portText.isEmpty();
    for (const QChar c : portText)
        digitsOnly = digitsOnly && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const uint port = digitsOnly && portText.size() <= 5 ? portText.toUInt() : 0;
    if (port < 1 || port > 65535)
        return refuse(problem, text, QStringLiteral("the port must be a number from 1 to 65535"));
    address.port = quint16(port);
    return address;
}

} // namespace kfc
