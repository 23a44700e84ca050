#pragma once
// Serves a SimCounter on a pseudo-terminal so that the program opens it through the same
// QSerialPort path as a real port. Unix only.

#include "simcounter.h"

#include <QObject>
#include <QString>

namespace kfc::sim {

class PtyCounter : public QObject {
    Q_OBJECT
public:
    explicit PtyCounter(QObject* parent = nullptr);
    ~PtyCounter() override;

    SimCounter& counter() { return m_counter; }

    // Opens the pseudo-terminal; devicePath() is then the device to open.
    bool start(QString* error = nullptr);
    QString devicePath() const { return m_devicePath; }

    // Emulate the line speed: each byte to the PC takes 10 bits at this rate (0: off).
    void setLineSpeed(int baud) { m_lineSpeed = baud; }

    // Drops the line now: the PC's port sees the device go away.
    void hangUp();

    // Arrival time (monotonic, nanoseconds) of every byte received from the PC.
    const QList<qint64>& byteTimesNs() const { return m_byteTimesNs; }
    const QByteArray& received() const { return m_received; }
    void clearReceived();

private:
    // (implementation details)
    SimCounter m_counter;
    QString m_devicePath;
    int m_masterFd = -1;
    int m_slaveFd = -1;
    int m_lineSpeed = 0;
    QList<qint64> m_byteTimesNs;
    QByteArray m_received;
};

} // namespace kfc::sim
