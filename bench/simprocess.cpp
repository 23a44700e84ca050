#include "simprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <ctime>

namespace kfc::bench {

QString SimProcess::start(const QStringList& arguments, QString* error)
{
    const QString program = QDir(QCoreApplication::applicationDirPath())
                                .absoluteFilePath(QStringLiteral("../src/sim/kestrova-sim"));
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(program, arguments + QStringList{QStringLiteral("--quiet")});
    if (!m_process.waitForStarted(5000)) {
        *error = QStringLiteral("cannot start %1: %2").arg(program, m_process.errorString());
        return {};
    }
    static const QRegularExpression announce(QStringLiteral("(?:counter|modem) on (\\S+)"));
    QByteArray seen;
    while (m_process.waitForReadyRead(5000)) {
        seen += m_process.readAllStandardOutput();
        const QRegularExpressionMatch match = announce.match(QString::fromLocal8Bit(seen));
        if (match.hasMatch())
            return match.captured(1);
    }
    *error = QStringLiteral("the simulator did not announce its device: %1")
                 .arg(QString::fromLocal8Bit(seen + m_process.readAllStandardError()));
    return {};
}

SimProcess::~SimProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }
}

double processCpuSeconds()
{
    return double(std::clock()) / CLOCKS_PER_SEC;
}

double residentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

} // namespace kfc::bench
