#include "sitelist.h"

#include "session.h"
#include "archive/recorder.h"
#include "link/untrusted.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSettings>

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
    auto bad = [badKey](const char* key, const QString& why) {
        *badKey = QLatin1String(key);
        return why;
    };
    site.port = text(ini, "port");
    if (site.port.isEmpty())
        return bad("port", QStringLiteral("missing; give COM and a number, a device path or tcp://HOST:PORT"));
    PortText target;
    if (const QString problem = readPortText(site.port, &target); !problem.isEmpty())
        return bad("port", problem);
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

// The longest site name taken: it names the site's folder and heads its lines in the report.
constexpr int kMaxNameLength = 100;

// A group as the file wrote it: QSettings merges a group given twice, keeps the last of a
// key given twice and gives the groups sorted, so the file's own lines are read for these.
struct WrittenGroup {
    QString name;
    int line = 0;
    QHash<QString, int> keys;   // the line of each
};

// A line as the INI reader takes it: up to a ';' that is not inside quotes.
QString uncommented(const QString& line)
{
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == QLatin1Char('\\'))
            ++i;
        else if (line[i] == QLatin1Char('"'))
            quoted = !quoted;
        else if (line[i] == QLatin1Char(';') && !quoted)
            return line.left(i);
    }
    return line;
}

// Why a name as written between the brackets cannot be a site's: the INI reader takes
// '/' and '\' as a group inside a group, '%' as an escape, and General as no group at all.
QString nameProblem(const QString& written)
{
    const QString name = written.trimmed();
    if (name.isEmpty())
        return QStringLiteral("a site needs a name");
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name.contains(QLatin1Char('%')))
        return QStringLiteral("a site's name cannot hold /, \\ or %");
    if (name.compare(QLatin1String("General"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("General cannot name a site: the INI format keeps it for keys outside any group");
    if (name.size() > kMaxNameLength)
        return QStringLiteral("a site's name holds at most %1 characters").arg(kMaxNameLength);
    return {};
}

// The groups and keys in the order of the file; the first problem found, if any.
QString readWritten(const QByteArray& bytes, QList<WrittenGroup>* groups)
{
    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    for (int number = 1; number <= int(lines.size()); ++number) {
        const QString line = uncommented(lines[number - 1]).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            const QString written = line.mid(1, line.indexOf(QLatin1Char(']')) - 1);
            if (const QString problem = nameProblem(written); !problem.isEmpty())
                return QStringLiteral("[%1]: %2").arg(printable(written), problem);
            const QString name = written.trimmed();
            for (const WrittenGroup& group : std::as_const(*groups))
                if (group.name == name)
                    return QStringLiteral("[%1] is given twice, on lines %2 and %3; give each site one group")
                        .arg(printable(name))
                        .arg(group.line)
                        .arg(number);
            groups->append({name, number, {}});
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            continue;   // the INI reader passes over a line that sets nothing
        const QString key = line.left(equals).trimmed();
        if (groups->isEmpty())
            return QStringLiteral("key %1 is outside any [site]").arg(printable(key));
        WrittenGroup& group = groups->last();
        if (!kKeys.contains(key))
            return QStringLiteral("[%1] %2: unknown key").arg(printable(group.name), printable(key));
        if (const int first = group.keys.value(key); first > 0)
            return QStringLiteral("[%1] %2: given twice, on lines %3 and %4")
                .arg(printable(group.name), key)
                .arg(first)
                .arg(number);
        group.keys.insert(key, number);
    }
    return {};
}

} // namespace

bool loadSiteList(const QString& fileName, QList<Site>* sites, QString* error)
{
    auto refuse = [&](const QString& text) {
        *error = QStringLiteral("site list %1: %2").arg(fileName, text);
        return false;
    };
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(QStringLiteral("cannot be read"));
    QSettings ini(fileName, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError)
        return refuse(QStringLiteral("is not a valid INI file"));
    QList<WrittenGroup> groups;
    if (const QString problem = readWritten(file.readAll(), &groups); !problem.isEmpty())
        return refuse(problem);
    QStringList folders;
    sites->clear();
    for (const WrittenGroup& group : groups) {
        Site site;
        site.name = group.name;
        ini.beginGroup(group.name);
        QString key;
        const QString problem = readSite(ini, site, &key);
        ini.endGroup();
        if (!problem.isEmpty())
            return refuse(QStringLiteral("[%1] %2: %3").arg(printable(group.name), key, problem));
        const QString folder = archive::siteFolderName(group.name).toLower();
        if (folders.contains(folder))
            return refuse(QStringLiteral("[%1] has the same folder as another site").arg(printable(group.name)));
        folders << folder;
        sites->append(site);
    }
    if (sites->isEmpty())
        return refuse(QStringLiteral("holds no site"));
    return true;
}

} // namespace kfc::cli
