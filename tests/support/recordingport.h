#pragma once
// The real serial port, noting each command frame the program writes: its text, the rate
// the port ran at, and when its first and last bytes went out (on the program's side, so
// that a gap between two commands is measured without the other end's delays).

#include "link/portdevice.h"

#include <QElapsedTimer>
#include <QList>

namespace kfc::test {

class RecordingSerialPort : public SerialPortDevice {
public:
    struct Frame {
        QString command;
        qint32 baud = 0;   // 0: the rate changed while the frame went out
        qint64 startMs = 0;
        qint64 endMs = 0;
    };
    QList<Frame> frames;

    RecordingSerialPort() { m_clock.start(); }

    bool open(const QString& deviceName, const SerialSettings& settings) override
    {
        m_baud = settings.baud;
        return SerialPortDevice::open(deviceName, settings);
    }
    bool setBaudRate(qint32 baud) override
    {
        if (!SerialPortDevice::setBaudRate(baud))
            return false;
        m_baud = baud;
        return true;
    }
    bool write(const QByteArray& data) override
    {
        for (const char byte : data)
            note(byte);
        return SerialPortDevice::write(data);
    }

    // The commands written so far, each as "text at rate".
    QStringList commandsWithRates() const
    {
        QStringList out;
        for (const Frame& frame : frames)
            out << QStringLiteral("%1 at %2").arg(frame.command).arg(frame.baud);
        return out;
    }

private:
    void note(char byte)
    {
        if (byte == 0x02) {
            m_frame = {QString(), m_baud, m_clock.elapsed(), 0};
        } else if (byte == 0x03) {
            m_frame.endMs = m_clock.elapsed();
            if (m_frame.baud != m_baud)
                m_frame.baud = 0;
            frames << m_frame;
        } else {
            m_frame.command += QLatin1Char(byte);
        }
    }

    QElapsedTimer m_clock;
    qint32 m_baud = 0;
    Frame m_frame;
};

} // namespace kfc::test
