#include "fakeportdevice.h"

namespace kfc::test {

FakePortDevice::FakePortDevice(QObject* parent) : PortDevice(parent) { m_clock.start(); }

bool FakePortDevice::open(const QString& deviceName, const SerialSettings& settings)
{
    if (!m_failOpen.isEmpty()) {
        m_error = m_failOpen;
        m_failOpen.clear();
        return false;
    }
    openedDevice = deviceName;
    openedSettings = settings;
    ++openCount;
    m_open = true;
    m_error.clear();
    return true;
}

void FakePortDevice::close()
{
    m_open = false;
    m_input.clear();
}

bool FakePortDevice::setBaudRate(qint32 baud)
{
    if (refuseBaud)
        return false;
    openedSettings.baud = baud;
    return true;
}

QByteArray FakePortDevice::read(qint64 maxSize)
{
    QByteArray out = m_input.left(maxSize);
    m_input.remove(0, out.size());
    return out;
}

bool FakePortDevice::write(const QByteArray& data)
{
    if (!m_open)
        return false;
    written.append(data);
    for (char byte : data) {
        writeTimesMs.append(m_clock.elapsed());
        if (byte == 0x02) {
            m_inFrame = true;
            m_frame.clear();
        } else if (byte == 0x03 && m_inFrame) {
            m_inFrame = false;
            if (onFrame)
                onFrame(m_frame);
        } else if (m_inFrame) {
            m_frame.append(byte);
        }
    }
    return true;
}

void FakePortDevice::feed(const QByteArray& bytes)
{
    m_input.append(bytes);
    emit readyRead();
}

void FakePortDevice::die(const QString& reason)
{
    m_open = false;
    m_input.clear();
    emit lineFailed(reason);
}

} // namespace kfc::test
