#pragma once
// A counter behind a serial device server is reached as tcp://HOST:PORT: a raw TCP
// connection over which the bytes pass unchanged, as on a cable. Wherever a port is named
// (a COM number's entry in the "Ports" group, a device given on the command line, a site's
// port) such a text stands for that connection.

#include <QString>

#include <optional>

namespace kfc {

struct NetworkAddress {
    QString host;   // a name, an IPv4 address, or an IPv6 address without brackets
    quint16 port = 0;

    // "HOST:PORT", an IPv6 address in brackets: the form the user reads in messages.
    QString text() const;
};

// The text names a network line (it begins with "tcp://", in any case), well formed or not.
bool isNetworkAddressText(const QString& text);

// The address in "tcp://HOST:PORT"; nothing, and the reason in *problem, when the text is
// not of that form (no host, no port, a port outside 1..65535, a path after the port).
std::optional<NetworkAddress> parseNetworkAddress(const QString& text, QString* problem = nullptr);

} // namespace kfc
