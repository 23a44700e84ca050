#include "eventfile.h"

#include <QDir>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <io.h>
#endif

namespace kfc {

namespace {

bool g_failSyncs = false;

} // namespace

void EventFileWriter::open(const QString& fileName)
{
    m_file.close();
    m_file.setFileName(fileName);
    // Unbuffered: a line that does not fit on the disk is found by its own write, while
    // the file still ends with the line before.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        fail("Cannot create");
}

bool EventFileWriter::openNew(const QString& fileName)
{
    m_file.close();
    m_file.setFileName(fileName);
    if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        return true;
    if (QFile::exists(fileName))
        return false;
    fail("Cannot create");
}

void EventFileWriter::writeLine(const QString& line)
{
    const QByteArray bytes = line.toLatin1() + "\r\n";
    const qint64 before = m_file.pos();
    qint64 written = m_file.write(bytes);
    // A short write is not an error yet: the rest of the line, written again, tells why.
    if (written > 0 && written < bytes.size())
        written += std::max<qint64>(0, m_file.write(bytes.mid(written)));
    if (written == bytes.size())
        return;
    const QString reason = m_file.errorString();
    m_file.resize(before);
    throw EventFileError(
        QStringLiteral("Cannot write the event file: %1 (%2)").arg(reason, m_file.fileName()).toStdString());
}

bool EventFileWriter::sync()
{
    return m_file.isOpen() && !g_failSyncs && syncToDisk(m_file);
}

void EventFileWriter::failSyncs(bool fail)
{
    g_failSyncs = fail;
}

void EventFileWriter::close()
{
    m_file.close();
}

void EventFileWriter::fail(const char* what) const
{
    throw EventFileError(QStringLiteral("%1 the event file %2: %3")
                             .arg(QLatin1String(what), m_file.fileName(), m_file.errorString())
                             .toStdString());
}

bool syncToDisk(QFileDevice& file)
{
    if (!file.flush())
        return false;
#ifdef Q_OS_UNIX
    return ::fsync(file.handle()) == 0;
#elif defined(Q_OS_WIN)
    return ::_commit(file.handle()) == 0;
#else
    return false;
#endif
}

bool syncFolder(const QString& path, QString* error)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    if (!synced)
        *error = QStringLiteral("%1 (%2)").arg(QString::fromLocal8Bit(std::strerror(errno)), QDir::toNativeSeparators(path));
    if (fd >= 0)
        ::close(fd);
    return synced;
#else
    Q_UNUSED(path);
    Q_UNUSED(error);
    return true;
#endif
}

} // namespace kfc
