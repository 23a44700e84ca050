#include "portnames.h"

#include "networkaddress.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QSettings>

namespace kfc {

namespace {

const char* const kGroup = "Ports";

QString comKey(int n) { return QStringLiteral("COM%1").arg(n); }

// Devices that the system reports as real serial ports. /dev/ttyS0..31 always exist as
// nodes on Linux whether or not there is hardware behind them, so existence of the node
// alone would list ports that are not there.
QStringList systemPortLocations()
{
    QStringList locations;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        locations << info.systemLocation();
    return locations;
}

} // namespace

QString PortNames::defaultDeviceFor(int n)
{
    if (n < kFirst || n > kLast)
        return {};
#ifdef Q_OS_WIN
    return comKey(n);
#else
    if (n <= 16)
        return QStringLiteral("/dev/ttyS%1").arg(n - 1);
    if (n <= 32)
        return QStringLiteral("/dev/ttyUSB%1").arg(n - 17);
    if (n <= 48)
        return QStringLiteral("/dev/ttyACM%1").arg(n - 33);
    return {};
#endif
}

QString PortNames::deviceFor(int n) const
{
    auto it = m_overrides.find(n);
    if (it != m_overrides.end())
        return it.value();
    return defaultDeviceFor(n);
}

void PortNames::setOverride(int n, const QString& device) { m_overrides[n] = device; }

void PortNames::load(QSettings& settings)
{
    m_overrides.clear();
    settings.beginGroup(kGroup);
    for (int n = kFirst; n <= kLast; ++n) {
        QString device = settings.value(comKey(n)).toString();
        if (!device.isEmpty())
            m_overrides[n] = device;
    }
    settings.endGroup();
}

void PortNames::save(QSettings& settings) const
{
    settings.beginGroup(kGroup);
    settings.remove(QString());
    for (auto it = m_overrides.begin(); it != m_overrides.end(); ++it)
        settings.setValue(comKey(it.key()), it.value());
    settings.endGroup();
}

QString PresentPort::description() const
{
    if (stableName.isEmpty())
        return device;
    return QStringLiteral("%1  (%2)").arg(device, stableName);
}

QStringList PortNames::listPresentPorts() const
{
    QStringList entries;
    for (const PresentPort& port : presentPorts())
        entries << port.entry;
    return entries;
}

QList<PresentPort> PortNames::presentPorts(const QString& stableFolder) const
{
    const QStringList system = systemPortLocations();
    QList<PresentPort> present;
    for (int n = kFirst; n <= kLast; ++n) {
        auto it = m_overrides.find(n);
        const QString device = it != m_overrides.end() ? it.value() : defaultDeviceFor(n);
        const bool exists = it == m_overrides.end() ? system.contains(device)
                                                    : isNetworkAddressText(device) || QFileInfo::exists(device);
        if (exists)
            present.append({n, QStringLiteral("COM %1").arg(n), device, stableNameOf(device, stableFolder)});
    }
    return present;
}

QString PortNames::stableNameOf(const QString& device, const QString& folder)
{
    // Missing on systems without such names (Windows, a machine with no adapter): no name.
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return {};
    const QDir links(folder);
    for (const QFileInfo& link : links.entryInfoList(QDir::Files | QDir::System, QDir::Name)) {
        if (link.canonicalFilePath() == target)
            return link.fileName();
    }
    return {};
}

int PortNames::freeComNumber() const
{
    const QStringList system = systemPortLocations();
    for (int n = kLast; n >= kFirst; --n) {
        if (m_overrides.contains(n))
            continue;
        QString device = defaultDeviceFor(n);
        if (device.isEmpty() || !system.contains(device))
            return n;
    }
    return 0;
}

} // namespace kfc
