#pragma once
// Serves a SimCounter over TCP as a serial device server in front of a counter does: the
// bytes pass both ways unchanged, one connection at a time. A connection that comes while
// another is served waits a moment (the other may be closing already, its end not yet
// seen here) and is then closed, before a byte of it reaches the counter.

#include "simcounter.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

namespace kfc::sim {

class TcpCounter : public QObject {
    Q_OBJECT
public:
    explicit TcpCounter(QObject* parent = nullptr);
    ~TcpCounter() override;

    SimCounter& counter() { return m_counter; }

    // Listens on host and port (0: a free port that the system picks); false with the
    // reason on failure.
    bool listen(const QHostAddress& host, quint16 port, QString* error = nullptr);
    // The line as the program names it: "tcp://127.0.0.1:4001".
    QString address() const;
    bool serving() const { return m_client != nullptr; }

    // Drops the connection now: the program sees the far end close the line.
    void hangUp();

signals:
    void connectionOpened(const QString& peer);
    // The connection ended: closed by the program, or dropped by a hang-up.
    void connectionClosed();
    // A connection came while another was served, and was closed.
    void connectionRefused(const QString& peer);

private:
    void acceptPending();
    void serve(QTcpSocket* socket);
    void refuse(QTcpSocket* socket);
    void queueReply(const QByteArray& bytes, int delayMs);
    void write(const QByteArray& bytes);
    void endConnection();

    SimCounter m_counter;
    QTcpServer m_server;
    QTcpSocket* m_client = nullptr;
    QList<QTcpSocket*> m_waiting;   // came while m_client was served
    quint64 m_connection = 0;     // delayed replies meant for an earlier connection are dropped
    bool m_closing = false;       // a hang-up is under way: nothing more goes out
};

} // namespace kfc::sim
