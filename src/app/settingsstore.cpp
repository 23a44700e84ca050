#include "settingsstore.h"

#include <QDir>
#include <QStandardPaths>

namespace kfc::app {

namespace {

QString& redirectFolder()
{
    static QString folder;
    return folder;
}

} // namespace

std::unique_ptr<QSettings> SettingsStore::openUserStore()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Kestrova"), QStringLiteral("Control"));
}

QString defaultArchiveFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("Kestrova/archive"));
}

QString keptArchive()
{
    const QString kept = SettingsStore::open()->value(SettingName::CountsHistoryArchive).toString();
    return kept.isEmpty() ? defaultArchiveFolder() : kept;
}

std::unique_ptr<QSettings> SettingsStore::open()
{
    if (redirectFolder().isEmpty())
        return openUserStore();
    return std::make_unique<QSettings>(QDir(redirectFolder()).filePath(QStringLiteral("Control.ini")),
                                       QSettings::IniFormat);
}

void SettingsStore::useFolder(const QString& folder) { redirectFolder() = folder; }

void SettingsStore::useUserStore() { redirectFolder().clear(); }

bool SettingsStore::redirected() { return !redirectFolder().isEmpty(); }

void SettingsStore::copyValues(const QSettings& from, QSettings& to)
{
    for (const QString& key : from.allKeys())
        to.setValue(key, from.value(key));
    to.sync();
}

std::optional<int> SettingsStore::readInteger(const QSettings& store, const QString& name,
                                              QStringList* problems)
{
    if (!store.contains(name))
        return std::nullopt;
    bool ok = false;
    const int value = store.value(name).toInt(&ok);
    if (ok)
        return value;
    if (problems)
        *problems << QStringLiteral("The setting \"%1\" (%2) is not a whole number; it is ignored.")
                         .arg(name, store.value(name).toString());
    return std::nullopt;
}

} // namespace kfc::app
