#pragma once
// An in-memory port device for unit tests: feed it bytes as if the counter sent them,
// read back what the program wrote (with the moment of each write), make it fail.

#include "link/portdevice.h"

#include <QElapsedTimer>
#include <QList>

#include <functional>

namespace kfc::test {

class FakePortDevice : public PortDevice {
    Q_OBJECT
public:
    explicit FakePortDevice(QObject* parent = nullptr);

    bool open(const QString& deviceName, const SerialSettings& settings) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    QString errorString() const override { return m_error; }
    bool setBaudRate(qint32 baud) override;
    void clearOutput() override {}
    void clearInput() override { m_input.clear(); }
    qint64 bytesAvailable() const override { return m_input.size(); }
    QByteArray read(qint64 maxSize) override;
    bool write(const QByteArray& data) override;

    // Bytes "from the counter": queued now and announced with readyRead.
    void feed(const QByteArray& bytes);
    // Bytes queued without readyRead (as when the signal is suppressed).
    void feedSilently(const QByteArray& bytes) { m_input.append(bytes); }
    // The line dies: the device closes and says so.
    void die(const QString& reason = QStringLiteral("Device removed"));
    // Speed changes are refused from now on.
    bool refuseBaud = false;
    // The next open fails with this text.
    void failNextOpen(const QString& error) { m_failOpen = error; }

    // Called with the command text each time a whole STX..ETX frame has been written.
    std::function<void(const QByteArray& command)> onFrame;

    QByteArray written;                 // everything written, in order
    QList<qint64> writeTimesMs;         // per written byte, ms since the device was made
    QString openedDevice;
    SerialSettings openedSettings;
    int openCount = 0;

private:
    bool m_open = false;
    QString m_error;
    QString m_failOpen;
    QByteArray m_input;
    QElapsedTimer m_clock;
    QByteArray m_frame;
    bool m_inFrame = false;
};

} // namespace kfc::test
