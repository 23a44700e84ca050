#pragma once
// The serial port service: the program's one connection to the counter, owned by the main
// frame and used by every part that talks to the counter.

#include "portdevice.h"
#include "portnames.h"

#include <QObject>
#include <QTimer>

#include <memory>

namespace kfc {

class ComPort : public QObject {
    Q_OBJECT
public:
    // Without a device the port opens the one its device name calls for: a TCP connection
    // for "tcp://HOST:PORT", QSerialPort for anything else. A device given here is the
    // only one it ever uses (tests).
    explicit ComPort(std::unique_ptr<PortDevice> device = nullptr, QObject* parent = nullptr);
    ~ComPort() override;

    // The serial settings record. Changed while the port is closed, then OpenPort.
    SerialSettings settings;
    // Opening never goes through a telephony service here; kept as a plain setting.
    bool TapiMode = false;
    bool AutoOpen = false;
    int BufferFull = 3686;
    int BufferResume = 409;
    // How long connecting to a network line may take (one of the program's fixed delays:
    // tests shrink it).
    int connectTimeoutMs = TcpPortDevice::kConnectTimeoutMs;

    PortNames& portNames() { return m_names; }
    const PortNames& portNames() const { return m_names; }
    // The device that the current ComNumber stands for.
    QString deviceName() const;
    // The current ComNumber stands for a network line (tcp://HOST:PORT): its serial
    // settings are the device server's, and this program cannot change them.
    bool isNetworkLine() const;
    QStringList ListPresentPorts() const { return m_names.listPresentPorts(); }

    bool PortIsOpen() const;
    // The line died under the open port (until it is opened again), what the user was told,
    // and the system's own words for the debug log.
    bool lineDied() const { return m_lineDied; }
    QString lineLostMessage() const;
    QString lineDiedReason() const { return m_lineDiedReason; }
    // Opens the device with the current settings. On failure shows the device's own error
    // text in an error box and returns false; the port stays closed.
    bool OpenPort();
    // Like OpenPort but hands the error text back instead of showing it.
    bool openQuietly(QString* error);
    void ClosePort();
    // Changes the speed without closing the port (the counter's baud-rate window): no byte
    // queued either way is lost. False, with the speed unchanged, when the device refuses.
    bool setBaudWhileOpen(qint32 baud);
    // What the user is told when setBaudWhileOpen refused the speed that the counter now
    // runs at: on a network line, that the device server's own rate must follow.
    QString speedNotFollowedMessage(qint32 baud) const;

    // Input and output. On a closed port each raises PortError.
    void DiscardOutput();
    void DiscardInput();
    bool InputAvailable() const;
    quint8 ReadByte();
    QByteArray readAll();
    bool WriteByte(quint8 byte);
    bool WriteText(const QByteArray& text);

    // Activity lamps. Switching monitoring on before the port opens takes effect when it
    // opens; switching on twice does nothing.
    void switchMonitoringOn();
    bool monitoringRequested() const { return m_monitorWanted; }
    bool monitoring() const { return m_monitorWanted && PortIsOpen(); }
    bool txLit() const { return m_txLit; }
    bool rxLit() const { return m_rxLit; }
    // How long a lamp stays lit after the last byte.
    static constexpr int kLampHoldMs = 55;

    PortDevice& device() { return *m_device; }

    // True while inputArrived is being delivered, that is inside a slot connected to it.
    // Neither QSerialPort nor QTcpSocket announces new input again until that slot has
    // returned, so a wait started there cannot rely on the signal.
    bool deliveringInput() const { return m_deliveringInput > 0; }

signals:
    void opened();
    void closed();
    // Bytes arrived (for waits and the terminal view).
    void inputArrived();
    // The line died under the open port; the port is closed already. Emitted once.
    void lineLost(const QString& reason);
    void lampsChanged(bool txLit, bool rxLit);

private:
    void attach(std::unique_ptr<PortDevice> device);
    void chooseDeviceFor(const QString& deviceName);
    void requireOpen(const char* operation) const;
    void lightTx();
    void lightRx();
    void onLineFailed(const QString& reason);

    std::unique_ptr<PortDevice> m_device;
    bool m_deviceGiven = false;
    bool m_opening = false;
    PortNames m_names;
    int m_deliveringInput = 0;
    bool m_lineDied = false;
    QString m_lineDiedReason;
    QString m_lineDiedDevice;
    bool m_monitorWanted = false;
    bool m_txLit = false;
    bool m_rxLit = false;
    QTimer m_txLamp;
    QTimer m_rxLamp;
};

} // namespace kfc
