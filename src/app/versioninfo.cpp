#include "versioninfo.h"

#include "app/kfc_version.h"

namespace kfc::app {

const QStringList& versionKeys()
{
    static const QStringList keys = {
        QStringLiteral("CompanyName"),      QStringLiteral("FileDescription"),
        QStringLiteral("FileVersion"),      QStringLiteral("InternalName"),
        QStringLiteral("LegalCopyright"),   QStringLiteral("LegalTradeMarks"),
        QStringLiteral("OriginalFileName"), QStringLiteral("ProductName"),
        QStringLiteral("ProductVersion"),   QStringLiteral("Comments"),
        QStringLiteral("ReleaseDate")};
    return keys;
}

VersionResource builtInVersionResource()
{
    VersionResource resource;
    resource.present = true;
    resource.hasFixedInfo = true;
    resource.productVersion = {KFC_VERSION_MAJOR, KFC_VERSION_MINOR, KFC_VERSION_RELEASE,
                               KFC_VERSION_BUILD};
    const QString version = QStringLiteral("%1.%2.%3.%4")
                                .arg(KFC_VERSION_MAJOR)
                                .arg(KFC_VERSION_MINOR)
                                .arg(KFC_VERSION_RELEASE)
                                .arg(KFC_VERSION_BUILD);
    resource.stringBlocks[kVersionBlock] = {
        {QStringLiteral("CompanyName"), QStringLiteral("Kestrova Ltd")},
        {QStringLiteral("FileDescription"), QStringLiteral(KFC_FILE_DESCRIPTION)},
        {QStringLiteral("FileVersion"), version},
        {QStringLiteral("InternalName"), QStringLiteral("kestrova-control")},
        {QStringLiteral("LegalCopyright"), QStringLiteral(KFC_LEGAL_COPYRIGHT)},
        {QStringLiteral("OriginalFileName"), QStringLiteral("kestrova-control")},
        {QStringLiteral("ProductName"), QStringLiteral(KFC_FILE_DESCRIPTION)},
        {QStringLiteral("ProductVersion"), version},
        {QStringLiteral("ReleaseDate"), QStringLiteral(KFC_RELEASE_DATE)},
    };
    return resource;
}

QString VersionInfo::value(const QString& key) const
{
    const QString prefix = key + QLatin1Char('=');
    for (const QString& line : VersionStrings) {
        if (line.startsWith(prefix, Qt::CaseInsensitive))
            return line.mid(prefix.size());
    }
    return {};
}

VersionInfo ReadVersionInfo(const VersionResource& resource)
{
    VersionInfo info;
    if (!resource.present)
        return info;
    if (resource.hasFixedInfo) {
        info.major = resource.productVersion[0];
        info.minor = resource.productVersion[1];
        info.release = resource.productVersion[2];
        info.build = resource.productVersion[3];
    }
    const auto block = resource.stringBlocks.constFind(kVersionBlock);
    if (block != resource.stringBlocks.constEnd()) {
        for (const QString& key : versionKeys()) {
            const auto found = block->constFind(key);
            if (found != block->constEnd())
                info.VersionStrings << key + QLatin1Char('=') + found.value();
        }
    }
    info.VersionStrings.sort(Qt::CaseInsensitive);
    return info;
}

} // namespace kfc::app
