#pragma once
// How "COM n" (1..99) becomes a device on this system. An entry in the settings store's
// "Ports" group (COM9=/dev/pts/4) wins; otherwise the fixed table below applies. An entry
// may also name a network line, a counter behind a serial device server
// (COM20=tcp://10.1.2.3:4001): the windows then reach it as they reach any port.
//
//   Linux:   COM 1..16  -> /dev/ttyS0 .. /dev/ttyS15     (built-in and PCI serial ports)
//            COM 17..32 -> /dev/ttyUSB0 .. /dev/ttyUSB15 (USB serial adapters)
//            COM 33..48 -> /dev/ttyACM0 .. /dev/ttyACM15 (USB modems, CDC-ACM devices)
//            COM 49..99 -> only through the "Ports" group
//   Windows: COM n -> COMn

#include <QMap>
#include <QString>
#include <QStringList>

class QSettings;

namespace kfc {

// A port as the user chooses it: its entry "COM n", the device that it stands for and,
// where the system has one, the device's stable name (the link in /dev/serial/by-id that
// names an adapter by maker and serial number, whichever socket it is plugged into).
struct PresentPort {
    int comNumber = 0;
    QString entry;
    QString device;
    QString stableName;

    // "/dev/ttyUSB0  (usb-FTDI_...-port0)", or the device alone.
    QString description() const;
};

class PortNames {
public:
    static constexpr int kFirst = 1;
    static constexpr int kLast = 99;

    // The device of COM n: the explicit entry if there is one, else the default table;
    // empty when n has no device.
    QString deviceFor(int comNumber) const;
    static QString defaultDeviceFor(int comNumber);

    // Explicit entries, as kept in the "Ports" group of the settings store.
    void setOverride(int comNumber, const QString& device);
    const QMap<int, QString>& overrides() const { return m_overrides; }
    void load(QSettings& settings);
    void save(QSettings& settings) const;

    // A COM number with neither an explicit entry nor a present default device, the highest
    // first so that demo ports stay clear of real ones; 0 if none.
    int freeComNumber() const;

    // "COM " + number for every port 1..99 whose device exists, in ascending order. A port
    // held by another program exists, so it is listed too. A network line is always
    // listed: only connecting to it would tell whether it is there.
    QStringList listPresentPorts() const;
    // The same ports with their devices and stable names, looked up now.
    QList<PresentPort> presentPorts(const QString& stableFolder = kStableFolder) const;

    // Where the system keeps the stable names of serial devices.
    static inline const QString kStableFolder = QStringLiteral("/dev/serial/by-id");
    // The name in folder of the link that leads to device; empty when there is none.
    static QString stableNameOf(const QString& device, const QString& folder = kStableFolder);

private:
    QMap<int, QString> m_overrides;
};

} // namespace kfc
