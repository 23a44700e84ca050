#include "tcpcounter.h"

#include <QTcpSocket>
#include <QTimer>

namespace kfc::sim {

namespace {

QString peerOf(const QTcpSocket& socket)
{
    return QStringLiteral("%1:%2").arg(socket.peerAddress().toString()).arg(socket.peerPort());
}

} // namespace

TcpCounter::TcpCounter(QObject* parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TcpCounter::acceptPending);
    connect(&m_counter, &SimCounter::send, this, &TcpCounter::queueReply);
    // Half the reply, then the line drops: the program reads what came and loses the line.
    connect(&m_counter, &SimCounter::hangUpRequested, this, [this](const QByteArray& partial) {
        write(partial);
        hangUp();
    });
}

TcpCounter::~TcpCounter()
{
    for (QTcpSocket* socket : m_waiting)
        socket->abort();
    if (m_client)
        m_client->abort();
}

bool TcpCounter::listen(const QHostAddress& host, quint16 port, QString* error)
{
    if (m_server.listen(host, port))
        return true;
    if (error)
        *error = QStringLiteral("cannot listen on %1:%2: %3").arg(host.toString()).arg(port).arg(m_server.errorString());
    return false;
}

QString TcpCounter::address() const
{
    const QHostAddress host = m_server.serverAddress();
    const QString shown = host.protocol() == QAbstractSocket::IPv6Protocol ? QLatin1Char('[') + host.toString() + QLatin1Char(']')
                                                                           : host.toString();
    return QStringLiteral("tcp://%1:%2").arg(shown).arg(m_server.serverPort());
}

void TcpCounter::acceptPending()
{
    // How long a connection waits for the one being served to end.
    constexpr int kWaitForTheLineMs = 200;
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (socket == m_client)
                endConnection();
            else if (m_waiting.removeOne(socket))
                socket->deleteLater();
        });
        if (!m_client) {
            serve(socket);
            continue;
        }
        m_waiting.append(socket);
        QTimer::singleShot(kWaitForTheLineMs, socket, [this, socket] {
            if (m_waiting.removeOne(socket))
                refuse(socket);
        });
    }
}

void TcpCounter::serve(QTcpSocket* socket)
{
    m_client = socket;
    m_closing = false;
    ++m_connection;
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        if (socket == m_client && !m_closing)
            m_counter.receive(socket->readAll());
    });
    emit connectionOpened(peerOf(*socket));
    // What it sent while it waited for the line.
    if (socket->bytesAvailable() > 0)
        m_counter.receive(socket->readAll());
}

void TcpCounter::refuse(QTcpSocket* socket)
{
    const QString peer = peerOf(*socket);
    socket->abort();
    socket->deleteLater();
    emit connectionRefused(peer);
}

void TcpCounter::queueReply(const QByteArray& bytes, int delayMs)
{
    if (delayMs <= 0) {
        write(bytes);
        return;
    }
    QTimer::singleShot(delayMs, Qt::PreciseTimer, this, [this, bytes, connection = m_connection] {
        if (connection == m_connection)
            write(bytes);
    });
}

void TcpCounter::write(const QByteArray& bytes)
{
    // No connection, or one about to drop: the bytes are lost as on a real line.
    if (!m_client || m_closing)
        return;
    m_client->write(bytes);
    m_client->flush();
}

void TcpCounter::hangUp()
{
    if (!m_client || m_closing)
        return;
    m_closing = true;
    // What was written still goes out before the close.
    m_client->disconnectFromHost();
    if (m_client && m_client->state() == QAbstractSocket::UnconnectedState)
        endConnection();
}

void TcpCounter::endConnection()
{
    if (!m_client)
        return;
    ++m_connection;
    m_client->deleteLater();
    m_client = nullptr;
    m_closing = false;
    m_counter.endSession();
    emit connectionClosed();
    if (!m_waiting.isEmpty())
        serve(m_waiting.takeFirst());
}

} // namespace kfc::sim
