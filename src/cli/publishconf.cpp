#include "publishconf.h"

#include "cli.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace kfc::cli {

QString readPublishConf(const QString& fileName, publish::PublishOptions* options)
{
    const QFileInfo file(fileName);
    if (!file.exists())
        return {};
    QSettings ini(fileName, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError || !file.isReadable())
        return QStringLiteral("cannot read %1").arg(fileName);
    static const QStringList known{QStringLiteral("folder"), QStringLiteral("title"), QStringLiteral("since")};
    for (const QString& key : ini.allKeys())
        if (!known.contains(key))
            return QStringLiteral("%1: unknown key %2 (it takes folder, title and since)").arg(fileName, key);
    // A text holding a comma comes back as a list, its blanks after the commas gone; in
    // quotes it comes back as written.
    auto text = [&ini](const QString& key) {
        return ini.value(key).toStringList().join(QStringLiteral(", ")).trimmed();
    };
    if (const QString folder = text(QStringLiteral("folder")); !folder.isEmpty())
        options->folder = QDir::cleanPath(file.absoluteDir().absoluteFilePath(folder));
    if (const QString title = text(QStringLiteral("title")); !title.isEmpty())
        options->title = title;
    if (const QString since = text(QStringLiteral("since")); !since.isEmpty()) {
        options->since = sinceMoment(since);
        if (!options->since.isValid())
            return QStringLiteral("%1: since must be a date (2026-03-01) or a date and time (2026-03-01T02:00)")
                .arg(fileName);
    }
    return {};
}

} // namespace kfc::cli
