#include "portdevice.h"

#include <QFileInfo>
#include <QSerialPort>

namespace kfc {

namespace {

QSerialPort::Parity toQt(Parity parity)
{
    switch (parity) {
    case Parity::None: return QSerialPort::NoParity;
    case Parity::Odd: return QSerialPort::OddParity;
    case Parity::Even: return QSerialPort::EvenParity;
    case Parity::Mark: return QSerialPort::MarkParity;
    case Parity::Space: return QSerialPort::SpaceParity;
    }
    return QSerialPort::EvenParity;
}

QSerialPort::DataBits toQtDataBits(int bits)
{
    switch (bits) {
    case 5: return QSerialPort::Data5;
    case 6: return QSerialPort::Data6;
    case 7: return QSerialPort::Data7;
    default: return QSerialPort::Data8;
    }
}

} // namespace

class SerialPortDevice::Private {
public:
    QSerialPort port;
    QString error;
    bool failed = false;
    bool inUse = false;
};

SerialPortDevice::SerialPortDevice(QObject* parent) : PortDevice(parent), d(new Private)
{
    connect(&d->port, &QSerialPort::readyRead, this, &PortDevice::readyRead);
    // On a dead line QSerialPort raises ReadError or ResourceError over and over and stays
    // open; the first one closes it, and the owner hears of it once.
    connect(&d->port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        if (d->failed || !d->port.isOpen())
            return;
        if (e != QSerialPort::ResourceError && e != QSerialPort::ReadError
            && e != QSerialPort::WriteError)
            return;
        d->failed = true;
        d->error = d->port.errorString();
        d->port.close();
        emit lineFailed(d->error);
    });
}

SerialPortDevice::~SerialPortDevice()
{
    delete d;
}

bool SerialPortDevice::open(const QString& deviceName, const SerialSettings& s)
{
    d->failed = false;
    d->port.setPortName(deviceName);
    d->port.setBaudRate(s.baud);
    d->port.setParity(toQt(s.parity));
    d->port.setDataBits(toQtDataBits(s.dataBits));
    d->port.setStopBits(s.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    d->port.setFlowControl(QSerialPort::NoFlowControl);
    // The receive queue must hold at least one reply plus unsolicited lines; unlimited
    // is the safe choice for a line this slow.
    d->port.setReadBufferSize(0);
    if (!d->port.open(QIODevice::ReadWrite)) {
        d->error = d->port.errorString();
        // QSerialPort says "permission" both for a device the user may not open and for
        // one that another program has locked or opened exclusively; a device the user may
        // read and write is the second.
        const QFileInfo node(deviceName);
        d->inUse = d->port.error() == QSerialPort::PermissionError && node.isReadable() && node.isWritable();
        return false;
    }
    d->error.clear();
    d->inUse = false;
    return true;
}

void SerialPortDevice::close()
{
    if (d->port.isOpen())
        d->port.close();
}

bool SerialPortDevice::isOpen() const { return d->port.isOpen(); }

QString SerialPortDevice::errorString() const { return d->error; }

bool SerialPortDevice::inUseElsewhere() const { return d->inUse; }

bool SerialPortDevice::setBaudRate(qint32 baud) { return d->port.setBaudRate(baud); }

void SerialPortDevice::clearOutput() { d->port.clear(QSerialPort::Output); }

void SerialPortDevice::clearInput()
{
    // Take what the driver has already received into Qt's buffer first, so that clearing
    // both leaves nothing of it behind.
    d->port.clear(QSerialPort::Input);
    d->port.readAll();
}

qint64 SerialPortDevice::bytesAvailable() const { return d->port.bytesAvailable(); }

QByteArray SerialPortDevice::read(qint64 maxSize) { return d->port.read(maxSize); }

bool SerialPortDevice::write(const QByteArray& data)
{
    if (d->port.write(data) != data.size())
        return false;
    // Out to the driver now, not at the next turn of the event loop: the pacing of a
    // frame is measured from this moment.
    d->port.flush();
    return true;
}

} // namespace kfc
