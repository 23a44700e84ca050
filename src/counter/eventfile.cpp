#include "eventfile.h"

#ifdef Q_OS_UNIX
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <io.h>
#endif

namespace kfc {

void EventFileWriter::open(const QString& fileName)
{
    m_file.close();
    m_file.setFileName(fileName);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail("Cannot create");
}

void EventFileWriter::writeLine(const QString& line)
{
    const QByteArray bytes = line.toLatin1() + "\r\n";
    if (m_file.write(bytes) != bytes.size() || !m_file.flush())
        fail("Cannot write");
}

bool EventFileWriter::sync()
{
    if (!m_file.isOpen() || !m_file.flush())
        return false;
#ifdef Q_OS_UNIX
    return ::fsync(m_file.handle()) == 0;
#elif defined(Q_OS_WIN)
    return ::_commit(m_file.handle()) == 0;
#else
    return false;
#endif
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

} // namespace kfc
