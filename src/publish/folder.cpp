#include "folder.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#endif

namespace kfc::publish {

namespace {

const char kStampText[] = "Pages written by kestrova-cli report --html. The whole folder is replaced at each "
                          "run: keep nothing else in it.\n";

// Swaps the two folders in one step where the system can; false with errno's text, or with
// none where it cannot (another system, a file system without the exchange).
bool exchange(const QString& one, const QString& other, QString* why)
{
#ifdef Q_OS_LINUX
    if (::renameat2(AT_FDCWD, QFile::encodeName(one).constData(), AT_FDCWD, QFile::encodeName(other).constData(),
                    RENAME_EXCHANGE)
        == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        *why = QString::fromLocal8Bit(std::strerror(errno));
#else
    Q_UNUSED(one);
    Q_UNUSED(other);
    Q_UNUSED(why);
#endif
    return false;
}

} // namespace

FolderReplacement::FolderReplacement(const QString& folder) : m_folder(folder) {}

FolderReplacement::~FolderReplacement() = default;

bool FolderReplacement::begin(QString* error)
{
    const QFileInfo info(m_folder);
    QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                     | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    if (info.exists()) {
        if (!info.isDir()) {
            *error = QStringLiteral("%1 is a file, not a folder").arg(QDir::toNativeSeparators(m_folder));
            return false;
        }
        m_target = info.canonicalFilePath();
        const QDir old(m_target);
        if (!old.isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
            && !old.exists(kStamp)) {
            *error = QStringLiteral("%1 holds files that were not written as pages; the pages replace their folder "
                                    "whole, so give a new or empty folder")
                         .arg(QDir::toNativeSeparators(m_folder));
            return false;
        }
        permissions = QFile::permissions(m_target);
    } else {
        m_target = info.absoluteFilePath();
    }
    const QFileInfo target(m_target);
    const QString parent = target.absolutePath();
    if (!QDir().mkpath(parent)) {
        *error = QStringLiteral("cannot make the folder %1").arg(QDir::toNativeSeparators(parent));
        return false;
    }
    m_new.emplace(QDir(parent).filePath(QStringLiteral(".%1-XXXXXX").arg(target.fileName())));
    if (!m_new->isValid()) {
        *error = QStringLiteral("cannot write in %1: %2").arg(QDir::toNativeSeparators(parent), m_new->errorString());
        m_new.reset();
        return false;
    }
    // A temporary folder is its owner's alone; the pages are for a web server to read.
    QFile::setPermissions(m_new->path(), permissions);
    return write(kStamp, kStampText, error);
}

bool FolderReplacement::write(const QString& name, const QByteArray& bytes, QString* error)
{
    QSaveFile file(m_new->filePath(name));
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    *error = QStringLiteral("cannot write %1: %2")
                 .arg(QDir::toNativeSeparators(QDir(m_folder).filePath(name)), file.errorString());
    return false;
}

bool FolderReplacement::commit(QString* error)
{
    const QString fresh = m_new->path();
    const auto failed = [&](const QString& why) {
        *error = QStringLiteral("cannot put the new pages in place of %1: %2")
                     .arg(QDir::toNativeSeparators(m_folder), why);
        return false;
    };
    if (!QFileInfo::exists(m_target)) {
        if (!QDir().rename(fresh, m_target))
            return failed(QStringLiteral("the folder could not be renamed"));
        m_new->setAutoRemove(false);
        return true;
    }
    QString why;
    if (exchange(fresh, m_target, &why))
        return true;   // the temporary folder's name now holds the old pages, removed with it
    if (!why.isEmpty())
        return failed(why);
    // Two steps where the system has no exchange: for a moment there is no folder.
    const QFileInfo target(m_target);
    QTemporaryDir old(target.dir().filePath(QStringLiteral(".%1-old-XXXXXX").arg(target.fileName())));
    if (!old.isValid() || !QDir().rmdir(old.path()) || !QDir().rename(m_target, old.path()))
        return failed(QStringLiteral("the old folder could not be moved aside"));
    if (!QDir().rename(fresh, m_target)) {
        // Back in place; where even that fails they stay beside it, never removed.
        QDir().rename(old.path(), m_target);
        old.setAutoRemove(false);
        return failed(QStringLiteral("the folder could not be renamed"));
    }
    m_new->setAutoRemove(false);
    return true;
}

} // namespace kfc::publish
