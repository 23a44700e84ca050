#include "eventfile.h"

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
