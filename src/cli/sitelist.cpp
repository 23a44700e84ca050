#include "sitelist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

#include <algorithm>

namespace kfc::cli {

namespace {

const QStringList kKeys{"port", "dial", "password-file", "clock-tolerance", "set-clock", "flush-after",
                        "baud", "parity", "data-bits", "stop-bits"};

// A value as the file wrote it: QSettings splits a text holding a comma into a list.
QString text(const QSettings& ini, const QString& key)
{
    const QVariant value = ini.value(key);
    return value.typeId() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(','))
                                                    : value.toString().trimmed();
}

bool readBool(const QString& value, bool* out)
{
    if (value.isEmpty() || value == QLatin1String("false"))
        *out = false;
    else if (value == QLatin1String("true"))
        *out = true;
    else
        return false;
    return true;
}

// The password file's first line; refused when others than its owner may read it.
QString readPasswordFile(const QString& fileName, QString* password)
{
    QFile file(fileName);
    if (!file.exists())
        return QStringLiteral("no such file: %1").arg(fileName);
    if (file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup
                              | QFileDevice::WriteOther))
        return QStringLiteral("%1 may be read by other users; make it the owner's only with: chmod 600 %1")
            .arg(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read %1: %2").arg(fileName, file.errorString());
    *password = QString::fromLocal8Bit(file.readLine()).remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    return {};
}

// One site's keys; the problem and the key it is about when one is not valid.
QString readSite(QSettings& ini, Site& site, QString* badKey)
{
    for (const QString& key : ini.childKeys()) {
        if (!kKeys.contains(key)) {
            *badKey = key;
            return QStringLiteral("unknown key");
        }
    }
    auto bad = [badKey](const char* key, const QString& why) {
        *badKey = QLatin1String(key);
        return why;
    };
    site.port = text(ini, "port");
    if (site.port.isEmpty())
        return bad("port", QStringLiteral("missing; give COM and a number, or a device path"));
    site.dial = text(ini, "dial");
    bool ok = true;
    if (ini.contains("clock-tolerance")) {
        site.clockToleranceSecs = text(ini, "clock-tolerance").toInt(&ok);
        if (!ok || site.clockToleranceSecs < 0)
            return bad("clock-tolerance", QStringLiteral("must be a whole number of seconds, 0 or more"));
    }
    if (!readBool(text(ini, "set-clock"), &site.setClock))
        return bad("set-clock", QStringLiteral("must be true or false"));
    if (!readBool(text(ini, "flush-after"), &site.flushAfter))
        return bad("flush-after", QStringLiteral("must be true or false"));
    // A modem line runs at the modem's speed unless told otherwise.
    site.line.baud = site.dial.isEmpty() ? 19200 : 9600;
    if (ini.contains("baud")) {
        site.line.baud = text(ini, "baud").toInt(&ok);
        if (!ok || site.line.baud <= 0)
            return bad("baud", QStringLiteral("must be a positive number"));
    }
    const QString parity = text(ini, "parity").toUpper();
    if (parity == QLatin1String("O"))
        site.line.parity = Parity::Odd;
    else if (parity == QLatin1String("N"))
        site.line.parity = Parity::None;
    else if (!parity.isEmpty() && parity != QLatin1String("E"))
        return bad("parity", QStringLiteral("must be E, O or N"));
    const QString dataBits = text(ini, "data-bits");
    if (!dataBits.isEmpty() && dataBits != QLatin1String("7") && dataBits != QLatin1String("8"))
        return bad("data-bits", QStringLiteral("must be 7 or 8"));
    site.line.dataBits = dataBits.isEmpty() ? 7 : dataBits.toInt();
    const QString stopBits = text(ini, "stop-bits");
    if (!stopBits.isEmpty() && stopBits != QLatin1String("1") && stopBits != QLatin1String("2"))
        return bad("stop-bits", QStringLiteral("must be 1 or 2"));
    site.line.stopBits = stopBits.isEmpty() ? 1 : stopBits.toInt();
    if (const QString passwordFile = text(ini, "password-file"); !passwordFile.isEmpty()) {
        const QString path = QFileInfo(passwordFile).isAbsolute()
                                 ? passwordFile
                                 : QFileInfo(ini.fileName()).dir().filePath(passwordFile);
        if (QString problem = readPasswordFile(path, &site.password); !problem.isEmpty())
            return bad("password-file", problem);
    }
    return {};
}

// QSettings gives the groups sorted; a collection visits them in the order of the file.
QStringList groupsInFileOrder(const QString& fileName, QStringList groups)
{
    QFile file(fileName);
    QStringList order;
    if (file.open(QIODevice::ReadOnly)) {
        static const QRegularExpression header(QStringLiteral("^\\s*\\[(.*)\\]\\s*$"));
        for (const QByteArray& line : file.readAll().split('\n')) {
            const auto match = header.match(QString::fromUtf8(line).remove(QLatin1Char('\r')));
            if (match.hasMatch())
                order << match.captured(1).trimmed();
        }
    }
    // A group with no key at all is still a site (one without a port).
    for (const QString& name : order)
        if (!groups.contains(name))
            groups << name;
    std::stable_sort(groups.begin(), groups.end(), [&order](const QString& a, const QString& b) {
        return order.indexOf(a) < order.indexOf(b);
    });
    return groups;
}

} // namespace

QString siteFolderName(const QString& name)
{
    QString folder;
    for (QChar c : name.trimmed())
        folder += (c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_') || c == QLatin1Char(' ')
                   || c == QLatin1Char('.'))
                      ? c
                      : QLatin1Char('_');
    if (folder.isEmpty() || folder.startsWith(QLatin1Char('.')))
        folder.prepend(QLatin1Char('_'));
    return folder;
}

bool loadSiteList(const QString& fileName, QList<Site>* sites, QString* error)
{
    auto refuse = [&](const QString& text) {
        *error = QStringLiteral("site list %1: %2").arg(fileName, text);
        return false;
    };
    if (!QFileInfo(fileName).isReadable())
        return refuse(QStringLiteral("cannot be read"));
    QSettings ini(fileName, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError)
        return refuse(QStringLiteral("is not a valid INI file"));
    if (const QStringList loose = ini.childKeys(); !loose.isEmpty())
        return refuse(QStringLiteral("key %1 is outside any [site]").arg(loose.first()));
    QStringList folders;
    sites->clear();
    for (const QString& group : groupsInFileOrder(fileName, ini.childGroups())) {
        Site site;
        site.name = group;
        ini.beginGroup(group);
        QString key;
        const QString problem = readSite(ini, site, &key);
        ini.endGroup();
        if (!problem.isEmpty())
            return refuse(QStringLiteral("[%1] %2: %3").arg(group, key, problem));
        const QString folder = siteFolderName(group).toLower();
        if (folders.contains(folder))
            return refuse(QStringLiteral("[%1] has the same folder as another site").arg(group));
        folders << folder;
        sites->append(site);
    }
    if (sites->isEmpty())
        return refuse(QStringLiteral("holds no site"));
    return true;
}

} // namespace kfc::cli
