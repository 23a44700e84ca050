#include "comport.h"

#include "errors.h"
#include "hooks.h"
#include "networkaddress.h"

#include <QScopedValueRollback>

namespace kfc {

ComPort::ComPort(std::unique_ptr<PortDevice> device, QObject* parent)
    : QObject(parent), m_deviceGiven(device != nullptr)
{
    for (QTimer* lamp : {&m_txLamp, &m_rxLamp}) {
        lamp->setSingleShot(true);
        lamp->setInterval(kLampHoldMs);
    }
    connect(&m_txLamp, &QTimer::timeout, this, [this] {
        m_txLit = false;
        emit lampsChanged(m_txLit, m_rxLit);
    });
    connect(&m_rxLamp, &QTimer::timeout, this, [this] {
        m_rxLit = false;
        emit lampsChanged(m_txLit, m_rxLit);
    });
    attach(device ? std::move(device) : std::make_unique<SerialPortDevice>());
}

void ComPort::attach(std::unique_ptr<PortDevice> device)
{
    if (m_device) {
        // The old device may be the sender of the signal whose handler opens the port anew.
        m_device->disconnect(this);
        m_device->setParent(this);
        m_device.release()->deleteLater();
    }
    m_device = std::move(device);
    // Everything in the program hears of input through inputArrived, so this is the one
    // place that knows whether a slot of it is running.
    connect(m_device.get(), &PortDevice::readyRead, this, [this] {
        const QScopedValueRollback delivering(m_deliveringInput, m_deliveringInput + 1);
        lightRx();
        emit inputArrived();
    });
    connect(m_device.get(), &PortDevice::lineFailed, this, &ComPort::onLineFailed);
}

void ComPort::chooseDeviceFor(const QString& deviceName)
{
    if (m_deviceGiven)
        return;
    const bool network = isNetworkAddressText(deviceName);
    if (network != (qobject_cast<TcpPortDevice*>(m_device.get()) != nullptr)) {
        if (network)
            attach(std::make_unique<TcpPortDevice>());
        else
            attach(std::make_unique<SerialPortDevice>());
    }
    if (auto* tcp = qobject_cast<TcpPortDevice*>(m_device.get()))
        tcp->connectTimeoutMs = connectTimeoutMs;
}

ComPort::~ComPort()
{
    if (m_device->isOpen())
        m_device->close();
}

QString ComPort::deviceName() const { return m_names.deviceFor(settings.comNumber); }

bool ComPort::isNetworkLine() const { return isNetworkAddressText(deviceName()); }

bool ComPort::PortIsOpen() const { return m_device->isOpen(); }

bool ComPort::openQuietly(QString* error)
{
    if (PortIsOpen())
        return true;
    QString device = deviceName();
    if (device.isEmpty()) {
        if (error)
            *error = QStringLiteral("COM %1 has no device on this system.").arg(settings.comNumber);
        return false;
    }
    // Connecting to a network line waits with the windows live: a second OK pressed meanwhile
    // must neither open the device again nor swap it from under the first.
    if (m_opening) {
        if (error)
            *error = QStringLiteral("COM %1 is being opened already.").arg(settings.comNumber);
        return false;
    }
    const QScopedValueRollback opening(m_opening, true);
    chooseDeviceFor(device);
    if (!m_device->open(device, settings)) {
        // A network line's own text names the host and says why it cannot be reached.
        if (error && m_device->inUseElsewhere())
            *error = QStringLiteral("COM %1 (%2) is in use by another program").arg(settings.comNumber).arg(device);
        else if (error)
            *error = isNetworkAddressText(device) ? m_device->errorString()
                                                  : QStringLiteral("Cannot open COM %1 (%2): %3")
                                                        .arg(settings.comNumber)
                                                        .arg(device, m_device->errorString());
        return false;
    }
    m_lineDied = false;
    m_lineDiedReason.clear();
    emit opened();
    return true;
}

bool ComPort::OpenPort()
{
    QString error;
    if (openQuietly(&error))
        return true;
    showMessage(MessageKind::Error, error);
    return false;
}

void ComPort::ClosePort()
{
    if (!PortIsOpen())
        return;
    m_device->close();
    emit closed();
}

bool ComPort::setBaudWhileOpen(qint32 baud)
{
    // The settings keep the speed the device runs at: a refused change leaves both as
    // they were.
    if (PortIsOpen() && !m_device->setBaudRate(baud))
        return false;
    settings.baud = baud;
    return true;
}

QString ComPort::speedNotFollowedMessage(qint32 baud) const
{
    if (isNetworkLine())
        return QStringLiteral("The counter now runs at %1 baud. COM %2 is a network line (%3): its speed is "
                              "set in the serial device server, not by this program. Change the device "
                              "server's serial port to %1 baud to match, or the counter cannot be reached.")
            .arg(baud)
            .arg(settings.comNumber)
            .arg(deviceName());
    return QStringLiteral("The counter now runs at %1 baud, but the port could not be set to that rate. "
                          "Hang up and connect again at %1 baud.")
        .arg(baud);
}

void ComPort::requireOpen(const char* operation) const
{
    if (!PortIsOpen())
        throw PortError(QStringLiteral("%1 on a closed port (COM %2).")
                            .arg(QLatin1String(operation))
                            .arg(settings.comNumber));
}

void ComPort::DiscardOutput()
{
    requireOpen("Discarding output");
    m_device->clearOutput();
}

void ComPort::DiscardInput()
{
    requireOpen("Discarding input");
    m_device->clearInput();
}

bool ComPort::InputAvailable() const
{
    requireOpen("Reading");
    return m_device->bytesAvailable() > 0;
}

quint8 ComPort::ReadByte()
{
    requireOpen("Reading");
    QByteArray byte = m_device->read(1);
    if (byte.isEmpty())
        throw PortError(QStringLiteral("Reading from COM %1 with no input waiting.")
                            .arg(settings.comNumber));
    return quint8(byte[0]);
}

QByteArray ComPort::readAll()
{
    requireOpen("Reading");
    return m_device->read(m_device->bytesAvailable());
}

bool ComPort::WriteByte(quint8 byte)
{
    return WriteText(QByteArray(1, char(byte)));
}

bool ComPort::WriteText(const QByteArray& text)
{
    requireOpen("Writing");
    bool ok = m_device->write(text);
    if (ok)
        lightTx();
    return ok;
}

void ComPort::switchMonitoringOn() { m_monitorWanted = true; }

void ComPort::lightTx()
{
    if (!monitoring())
        return;
    m_txLamp.start();
    if (!m_txLit) {
        m_txLit = true;
        emit lampsChanged(m_txLit, m_rxLit);
    }
}

void ComPort::lightRx()
{
    if (!monitoring())
        return;
    m_rxLamp.start();
    if (!m_rxLit) {
        m_rxLit = true;
        emit lampsChanged(m_txLit, m_rxLit);
    }
}

QString ComPort::lineLostMessage() const
{
    // The system's words ("Inappropriate ioctl for device") say nothing to a technician;
    // they go to the debug log instead.
    return QStringLiteral("The connection on COM %1 was lost: the device %2 is gone "
                          "(unplugged, switched off or taken away).")
        .arg(settings.comNumber)
        .arg(m_lineDiedDevice);
}

void ComPort::onLineFailed(const QString& reason)
{
    m_lineDied = true;
    m_lineDiedReason = reason;
    m_lineDiedDevice = deviceName();
    // The device has closed itself; tell the waits (closed) before the user (lineLost).
    emit closed();
    emit lineLost(lineLostMessage());
}

} // namespace kfc
