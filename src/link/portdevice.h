#pragma once
// The device under the port service: QSerialPort for a serial port, a TCP connection for
// a counter behind a serial device server, an in-memory fake in unit tests. It knows
// nothing of COM numbers, lamps or the counter.

#include <QByteArray>
#include <QObject>
#include <QString>

namespace kfc {

enum class Parity { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };

// The serial settings record: what "Com Port Setup" edits and the settings store keeps.
struct SerialSettings {
    int comNumber = 1;
    qint32 baud = 19200;
    Parity parity = Parity::Even;
    int dataBits = 7;
    int stopBits = 1;

    friend bool operator==(const SerialSettings&, const SerialSettings&) = default;
};

class PortDevice : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~PortDevice() override = default;

    // Opens the device; on failure errorString() tells why.
    virtual bool open(const QString& deviceName, const SerialSettings& settings) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual QString errorString() const = 0;
    // The last open failed because another program has the device open.
    virtual bool inUseElsewhere() const { return false; }
    // Changes the speed of the open line; false when the device cannot.
    virtual bool setBaudRate(qint32 baud) = 0;

    virtual void clearOutput() = 0;
    virtual void clearInput() = 0;
    virtual qint64 bytesAvailable() const = 0;
    virtual QByteArray read(qint64 maxSize) = 0;
    // Hands the bytes to the device at once; false when it refuses them.
    virtual bool write(const QByteArray& data) = 0;

signals:
    void readyRead();
    // The line went away under an open device (a USB adapter pulled, the other end of a
    // pseudo-terminal closed). Emitted once; the device is unusable afterwards.
    void lineFailed(const QString& reason);
};

// QSerialPort behind the device interface.
class SerialPortDevice : public PortDevice {
    Q_OBJECT
public:
    explicit SerialPortDevice(QObject* parent = nullptr);
    ~SerialPortDevice() override;

    bool open(const QString& deviceName, const SerialSettings& settings) override;
    void close() override;
    bool isOpen() const override;
    QString errorString() const override;
    bool inUseElsewhere() const override;
    bool setBaudRate(qint32 baud) override;
    void clearOutput() override;
    void clearInput() override;
    qint64 bytesAvailable() const override;
    QByteArray read(qint64 maxSize) override;
    bool write(const QByteArray& data) override;

private:
    class Private;
    Private* d;
};

// A raw TCP connection to a serial device server ("tcp://HOST:PORT"), the bytes passed
// through unchanged. The serial settings are the device server's own business: they are
// not applied, and a speed change is refused. Connecting runs a wait (the user interface
// stays live) bounded by connectTimeoutMs; a connection that the far end closes or resets
// is the line lost.
class TcpPortDevice : public PortDevice {
    Q_OBJECT
public:
    static constexpr int kConnectTimeoutMs = 10000;

    explicit TcpPortDevice(QObject* parent = nullptr);
    ~TcpPortDevice() override;

    int connectTimeoutMs = kConnectTimeoutMs;

    bool open(const QString& deviceName, const SerialSettings& settings) override;
    void close() override;
    bool isOpen() const override;
    QString errorString() const override;
    bool setBaudRate(qint32 baud) override;
    void clearOutput() override;
    void clearInput() override;
    qint64 bytesAvailable() const override;
    QByteArray read(qint64 maxSize) override;
    bool write(const QByteArray& data) override;

private:
    class Private;
    Private* d;
};

} // namespace kfc
