#pragma once
// Serves a SimCounter on a pseudo-terminal so that the program opens it through the same
// QSerialPort path as a real port. Unix only.

#include "simcounter.h"
#include "simmodem.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

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
    bool isOpen() const { return m_masterFd >= 0; }

    // Emulate the line speed: each byte to the PC takes 10 bits at this rate (0: off).
    void setLineSpeed(int baud) { m_lineSpeed = baud; }

    // Puts a modem in front of the counter: bytes from the PC go to the modem until it has
    // answered a call, then to the counter until the PC closes its port. Not owned.
    void setModem(SimModem* modem);
    SimModem* modem() const { return m_modem; }

    // Drops the line now: the PC's port sees the device go away.
    void hangUp();

    // Arrival time (monotonic, nanoseconds) of every byte received from the PC.
    const QList<qint64>& byteTimesNs() const { return m_byteTimesNs; }
    const QByteArray& received() const { return m_received; }
    void clearReceived();

signals:
    // The line was dropped (by hangUp() or by a hang-up fault).
    void hungUp();

private:
    void queueReply(const QByteArray& bytes, int delayMs);
    void enqueue(const QByteArray& bytes);
    void writeDueBytes();
    qsizetype writeToMaster(const char* data, qsizetype size);
    void readMaster();
    void closeFds();
    void hangUpWhenRead();
    int bytesUnread() const;
    bool openSlave();
    bool applyLineSettings(int fd) const;
    void watchCloses();
    void onDeviceClosed();
    void endCall();

    SimCounter m_counter;
    SimModem* m_modem = nullptr;
    QString m_devicePath;
    int m_masterFd = -1;
    int m_slaveFd = -1;
    // The settings the line was given when it opened (raw, no echo), put back whenever a
    // program closes the device: one that was killed leaves its own behind.
    QByteArray m_lineSettings;
    int m_closeWatchFd = -1;
    QSocketNotifier* m_closeNotifier = nullptr;
    int m_lineSpeed = 0;
    QList<qint64> m_byteTimesNs;
    QByteArray m_received;

    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    QByteArray m_outQueue;            // bytes for the PC not yet written
    qint64 m_frontDueNs = 0;          // line speed: when the first queued byte is through
    qint64 m_lastDueNs = 0;           // line speed: when the last written byte was through
    bool m_hangUpWhenSent = false;
    bool m_partialSeen = false;       // the half reply of a hang-up reached the PC's queue
    QDeadlineTimer m_hangUpDeadline;
    QTimer m_hangUpTimer;
    quint64 m_session = 0;            // delayed replies of an earlier line are dropped
    QTimer m_lineTimer;
};

} // namespace kfc::sim
