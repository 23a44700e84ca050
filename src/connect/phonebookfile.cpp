#include "phonebookfile.h"

#include "link/windows1252.h"

#include <QCollator>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace kfc::connect {

namespace {

QString& folderOverride()
{
    static QString folder;
    return folder;
}

} // namespace

QString entryName(const QString& line)
{
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    return equals < 0 ? QString() : line.left(equals);
}

QString entryNumber(const QString& line)
{
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    return equals < 0 ? QString() : line.mid(equals + 1);
}

QStringList parsePhoneBook(const QByteArray& bytes)
{
    const qsizetype zero = bytes.indexOf('\0');
    const QByteArray text = zero < 0 ? bytes : bytes.left(zero);
    QStringList entries;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        entries << fromWindows1252(text.mid(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        entries << fromWindows1252(text.mid(start));
    return entries;
}

std::optional<QByteArray> formatPhoneBook(const QStringList& entries)
{
    QByteArray bytes;
    for (const QString& entry : entries) {
        const std::optional<QByteArray> line = toWindows1252(entry);
        if (!line)
            return std::nullopt;
        bytes += *line + "\r\n";
    }
    return bytes;
}

QString unwritableEntryText(const QString& entry)
{
    const QString character = firstNotInWindows1252(entry);
    if (character.isEmpty())
        return {};
    return QStringLiteral("\"%1\" holds the character \"%2\", which the phone book cannot store "
                          "(its file is in the Windows-1252 code page).")
        .arg(entry, character);
}

void sortPhoneBook(QStringList& entries)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(entries.begin(), entries.end(),
                     [&collator](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
}

void usePhoneBookFolder(const QString& folder) { folderOverride() = folder; }

QString phoneBookPath()
{
    QString folder = folderOverride();
    if (folder.isEmpty()) {
#ifdef Q_OS_WIN
        folder = QCoreApplication::applicationDirPath();
#else
        folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
#endif
    }
    return QDir(folder).filePath(kPhoneBookFileName);
}

bool readPhoneBook(const QString& path, QStringList* entries, QString* error)
{
    entries->clear();
    if (!QFileInfo::exists(path))
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Cannot read the phone book %1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("Cannot read the phone book %1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    *entries = parsePhoneBook(bytes);
    return true;
}

bool writePhoneBook(const QString& path, const QStringList& entries, QString* error)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const std::optional<QByteArray> bytes = formatPhoneBook(entries);
    if (!bytes) {
        // Never a '?' in place of a digit: the old file stays as it was.
        const auto bad = std::find_if(entries.begin(), entries.end(),
                                      [](const QString& entry) { return !unwritableEntryText(entry).isEmpty(); });
        *error = QStringLiteral("Cannot write the phone book %1: the entry %2")
                     .arg(QDir::toNativeSeparators(path), unwritableEntryText(*bad));
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size() || !file.commit()) {
        *error = QStringLiteral("Cannot write the phone book %1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    return true;
}

} // namespace kfc::connect
