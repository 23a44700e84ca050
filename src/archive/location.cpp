#include "location.h"

#include <QList>
#include <QStringList>

#include <utility>

namespace kfc::archive {

namespace {

const QLatin1String kPrefixes[] = {QLatin1String("postgresql://"), QLatin1String("postgres://")};

// Percent-decoding as libpq does it: %XX for any byte but zero, the bytes read as UTF-8.
bool decode(QStringView text, QString* decoded)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('%')) {
            bytes += QString(text[i]).toUtf8();
            continue;
        }
        bool ok = i + 2 < text.size();
        const int byte = ok ? text.mid(i + 1, 2).toInt(&ok, 16) : 0;
        if (!ok || byte == 0)
            return false;
        bytes += char(byte);
        i += 2;
    }
    *decoded = QString::fromUtf8(bytes);
    return true;
}

// A value as libpq's keyword='value' syntax takes it.
QString quoted(QString value)
{
    value.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

// One host of the host list: a name, an address, an IPv6 address in brackets, or a
// percent-encoded socket folder; and its port. False when malformed.
bool takeHost(QStringView hostPort, QString* host, QString* port)
{
    QStringView rest = hostPort;
    if (hostPort.startsWith(QLatin1Char('['))) {
        const qsizetype close = hostPort.indexOf(QLatin1Char(']'));
        if (close < 0)
            return false;
        *host = hostPort.mid(1, close - 1).toString();
        rest = hostPort.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':')))
            return false;
    } else {
        const qsizetype colon = hostPort.indexOf(QLatin1Char(':'));
        if (!decode(hostPort.left(colon < 0 ? hostPort.size() : colon), host))
            return false;
        rest = colon < 0 ? QStringView() : hostPort.mid(colon);
    }
    return rest.isEmpty() || decode(rest.mid(1), port);
}

} // namespace

bool isServerUri(const QString& location)
{
    return std::any_of(std::begin(kPrefixes), std::end(kPrefixes),
                       [&location](QLatin1String prefix) { return location.startsWith(prefix); });
}

QString ServerAddress::text() const
{
    const QString name = database.isEmpty() ? QStringLiteral("the default database") : QStringLiteral("database ") + database;
    return QStringLiteral("%1 on %2").arg(name, server);
}

bool parseServerUri(const QString& uri, ServerAddress* address, QString* error)
{
    const auto prefix = std::find_if(std::begin(kPrefixes), std::end(kPrefixes),
                                     [&uri](QLatin1String p) { return uri.startsWith(p); });
    if (prefix == std::end(kPrefixes)) {
        *error = QStringLiteral("%1 is not a PostgreSQL URI (postgresql://...)").arg(uri);
        return false;
    }
    const QStringView rest = QStringView(uri).mid(prefix->size());
    const qsizetype authorityEnd = std::min(rest.indexOf(QLatin1Char('/')) < 0 ? rest.size() : rest.indexOf(QLatin1Char('/')),
                                            rest.indexOf(QLatin1Char('?')) < 0 ? rest.size() : rest.indexOf(QLatin1Char('?')));
    QStringView authority = rest.left(authorityEnd);
    const QString malformed = QStringLiteral("The archive's URI is malformed: %1").arg(uri);
    const QString withPassword =
        QStringLiteral("The archive's URI holds a password. Leave it out and put it in ~/.pgpass (or in the file that "
                       "PGPASSFILE names, or in a service file), where only you can read it.");

    QList<std::pair<QString, QString>> options{{QStringLiteral("connect_timeout"), QStringLiteral("10")}};
    QString user, database;
    if (const qsizetype at = authority.indexOf(QLatin1Char('@')); at >= 0) {
        if (authority.left(at).contains(QLatin1Char(':'))) {
            *error = withPassword;
            return false;
        }
        if (!decode(authority.left(at), &user)) {
            *error = malformed;
            return false;
        }
        authority = authority.mid(at + 1);
    }
    QStringList hosts, ports;
    if (!authority.isEmpty()) {
        for (QStringView hostPort : authority.split(QLatin1Char(','))) {
            QString host, port;
            if (!takeHost(hostPort, &host, &port)) {
                *error = malformed;
                return false;
            }
            hosts << host;
            ports << port;
        }
    }
    QStringView tail = rest.mid(authorityEnd);
    if (tail.startsWith(QLatin1Char('/'))) {
        const qsizetype query = tail.indexOf(QLatin1Char('?'));
        if (!decode(tail.mid(1, query < 0 ? -1 : query - 1), &database)) {
            *error = malformed;
            return false;
        }
        tail = query < 0 ? QStringView() : tail.mid(query);
    }
    if (std::any_of(hosts.begin(), hosts.end(), [](const QString& host) { return !host.isEmpty(); }))
        options.append({QStringLiteral("host"), hosts.join(QLatin1Char(','))});
    if (std::any_of(ports.begin(), ports.end(), [](const QString& port) { return !port.isEmpty(); }))
        options.append({QStringLiteral("port"), ports.join(QLatin1Char(','))});
    if (!database.isEmpty())
        options.append({QStringLiteral("dbname"), database});
    if (!user.isEmpty())
        options.append({QStringLiteral("user"), user});
    if (tail.startsWith(QLatin1Char('?'))) {
        for (QStringView parameter : tail.mid(1).split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
            const qsizetype equals = parameter.indexOf(QLatin1Char('='));
            QString key, value;
            if (equals <= 0 || !decode(parameter.left(equals), &key) || !decode(parameter.mid(equals + 1), &value)) {
                *error = malformed;
                return false;
            }
            if (key == QLatin1String("password")) {
                *error = withPassword;
                return false;
            }
            // As libpq takes it, for the JDBC form.
            if (key == QLatin1String("ssl") && value == QLatin1String("true"))
                key = QStringLiteral("sslmode"), value = QStringLiteral("require");
            options.append({key, value});
        }
    } else if (!tail.isEmpty()) {
        *error = malformed;
        return false;
    }

    address->connectOptions.clear();
    address->server.clear();
    address->database.clear();
    QString port;
    for (const auto& [key, value] : std::as_const(options)) {
        // Qt's driver makes every ';' of the options a blank.
        if (value.contains(QLatin1Char(';'))) {
            *error = QStringLiteral("The archive's URI gives %1 a ';', which cannot be passed on: %2").arg(key, uri);
            return false;
        }
        address->connectOptions += (address->connectOptions.isEmpty() ? QString() : QStringLiteral(" ")) + key
                                   + QLatin1Char('=') + quoted(value);
        if (key == QLatin1String("host"))
            address->server = value;
        if (key == QLatin1String("port"))
            port = value;
        if (key == QLatin1String("dbname"))
            address->database = value;
        if (key == QLatin1String("service") && address->server.isEmpty())
            address->server = QStringLiteral("the server of service %1").arg(value);
    }
    if (address->server.isEmpty())
        address->server = QStringLiteral("the local server");
    if (!port.isEmpty() && !port.contains(QLatin1Char(',')))
        address->server += QLatin1Char(':') + port;
    return true;
}

} // namespace kfc::archive
