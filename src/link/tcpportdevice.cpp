#include "portdevice.h"

#include "networkaddress.h"
#include "wait.h"

#include <QScopedValueRollback>
#include <QTcpSocket>

namespace kfc {

namespace {

QString durationText(int ms)
{
    return ms % 1000 == 0 ? QStringLiteral("%1 s").arg(ms / 1000) : QStringLiteral("%1 ms").arg(ms);
}

} // namespace

class TcpPortDevice::Private {
public:
    QTcpSocket socket;
    QString error;
    bool open = false;          // connected, and the line not lost since
    bool connecting = false;
    bool abandoned = false;     // closed while the connection was being made
    quint64 connection = 0;     // which connection a deferred loss belongs to

    // Why a connection could not be made, in words for the technician.
    QString reachFailure(int timeoutMs) const
    {
        if (abandoned)
            return QStringLiteral("the connection was abandoned before it was made");
        if (socket.state() != QAbstractSocket::UnconnectedState)
            return QStringLiteral("no answer within %1").arg(durationText(timeoutMs));
        switch (socket.error()) {
        case QAbstractSocket::HostNotFoundError:
            return QStringLiteral("the host name is not known");
        case QAbstractSocket::ConnectionRefusedError:
            return QStringLiteral("the connection was refused (nothing listens on that port)");
        default:
            return socket.errorString();
        }
    }
};

TcpPortDevice::TcpPortDevice(QObject* parent) : PortDevice(parent), d(new Private)
{
    // As on a serial port: the queue holds whatever the counter sends until it is read.
    d->socket.setReadBufferSize(0);
    connect(&d->socket, &QTcpSocket::readyRead, this, &PortDevice::readyRead);
    // The far end closing or resetting the connection, or the network failing under it.
    // The loss is taken at the next turn of the event loop, so that bytes which came in
    // just before it (announced, not yet read) are still read by the wait they woke.
    const auto lose = [this] {
        if (!d->open)
            return;
        QMetaObject::invokeMethod(
            this,
            [this, connection = d->connection] {
                if (!d->open || connection != d->connection)
                    return;
                d->open = false;
                d->error = d->socket.error() == QAbstractSocket::UnknownSocketError
                               ? QStringLiteral("The device server closed the connection")
                               : d->socket.errorString();
                d->socket.abort();
                emit lineFailed(d->error);
            },
            Qt::QueuedConnection);
    };
    connect(&d->socket, &QAbstractSocket::errorOccurred, this, lose);
    connect(&d->socket, &QAbstractSocket::disconnected, this, lose);
}

TcpPortDevice::~TcpPortDevice()
{
    delete d;
}

bool TcpPortDevice::open(const QString& deviceName, const SerialSettings&)
{
    // The serial settings are not ours to apply: the device server has its own.
    const std::optional<NetworkAddress> address = parseNetworkAddress(deviceName, &d->error);
    if (!address)
        return false;
    close();
    ++d->connection;
    d->abandoned = false;
    {
        const QScopedValueRollback connecting(d->connecting, true);
        d->socket.connectToHost(address->host, address->port);
        // Asleep until the socket's state settles (connected, or back to unconnected on an
        // error), or the deadline: the user interface stays live, nothing spins.
        const QDeadlineTimer deadline(qint64(connectTimeoutMs), Qt::PreciseTimer);
        EventWait::until(deadline, &d->socket, &QAbstractSocket::stateChanged, [this] {
            const auto state = d->socket.state();
            return state == QAbstractSocket::ConnectedState || state == QAbstractSocket::UnconnectedState;
        });
    }
    if (d->socket.state() != QAbstractSocket::ConnectedState || d->abandoned) {
        d->error = QStringLiteral("Cannot reach %1: %2").arg(address->text(), d->reachFailure(connectTimeoutMs));
        d->socket.abort();
        return false;
    }
    // Each paced byte goes out at once, not held back to be sent with the next.
    d->socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    d->socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    d->error.clear();
    d->open = true;
    return true;
}

void TcpPortDevice::close()
{
    if (d->connecting)
        d->abandoned = true;
    d->open = false;
    // What was written is in the system's hands already (write() flushes); the system
    // still delivers it after the socket is closed.
    d->socket.abort();
}

bool TcpPortDevice::isOpen() const { return d->open; }

QString TcpPortDevice::errorString() const { return d->error; }

// The line's speed is set in the device server (ComPort::speedNotFollowedMessage).
bool TcpPortDevice::setBaudRate(qint32) { return false; }

// Bytes handed to the network cannot be called back; write() hands them over at once.
void TcpPortDevice::clearOutput() {}

void TcpPortDevice::clearInput() { d->socket.readAll(); }

qint64 TcpPortDevice::bytesAvailable() const { return d->open ? d->socket.bytesAvailable() : 0; }

QByteArray TcpPortDevice::read(qint64 maxSize) { return d->socket.read(maxSize); }

bool TcpPortDevice::write(const QByteArray& data)
{
    if (!d->open || d->socket.write(data) != data.size())
        return false;
    // Out to the network now, not at the next turn of the event loop: the pacing of a
    // frame is measured from this moment.
    d->socket.flush();
    return true;
}

} // namespace kfc
