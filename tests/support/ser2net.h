#pragma once
// Debian's ser2net as a real serial device server in front of a device (a simulated
// counter's pseudo-terminal): raw TCP on 127.0.0.1, in the foreground with a configuration
// of its own, stopped with the test. scripts/test.sh installs it.

#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace kfc::test {

class Ser2net {
public:
    ~Ser2net()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
    }

    // Serves device on a free port of 127.0.0.1; the reason when it cannot.
    QString start(const QString& device)
    {
        const QString program = QStandardPaths::findExecutable("ser2net", {"/usr/sbin", "/usr/bin", "/sbin"});
        if (program.isEmpty())
            return "ser2net is not installed (scripts/test.sh installs it)";
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0))
            return "no free port on 127.0.0.1: " + probe.errorString();
        m_port = probe.serverPort();
        probe.close();
        // "local": a pseudo-terminal has no modem lines to watch.
        QFile config(m_folder.filePath("ser2net.yaml"));
        if (!config.open(QIODevice::WriteOnly))
            return config.errorString();
        config.write(QString("connection: &counter\n  accepter: tcp,127.0.0.1,%1\n"
                             "  connector: serialdev,%2,19200e71,local\n").arg(m_port).arg(device).toLocal8Bit());
        config.close();
        // -d: in the foreground, its log on standard output; -u: no lock files.
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(program, {"-d", "-u", "-c", config.fileName()});
        const bool listening = QTest::qWaitFor([this] { return m_process.state() == QProcess::NotRunning || accepts(); }, 10000);
        if (!listening || m_process.state() == QProcess::NotRunning)
            return QString("ser2net does not listen on 127.0.0.1:%1: %2 %3")
                .arg(m_port)
                .arg(m_process.errorString(), QString::fromLocal8Bit(m_process.readAll()).trimmed());
        return {};
    }

    QString address() const { return QString("tcp://127.0.0.1:%1").arg(m_port); }

private:
    bool accepts() const
    {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_port);
        return probe.waitForConnected(500);
    }

    QTemporaryDir m_folder;
    QProcess m_process;
    quint16 m_port = 0;
};

} // namespace kfc::test
