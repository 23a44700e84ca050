#pragma once
// Demo mode (kestrova-control --demo): a simulated counter on a pseudo-terminal for the
// run, offered as a COM port and preselected, so that "&Direct Connection" and "&OK"
// reach a live counter with no hardware.
//
// The user's own settings are never changed by a demo run: the run works on a copy of
// them in a temporary folder (the settings store is pointed there for the whole run), the
// pseudo-terminal is mapped to a free COM number in that copy's "Ports" group, and the
// copy is thrown away at exit. Window size and port settings changed during a demo run
// are therefore not kept.
//
// A second simulated counter sits behind a simulated modem on a pseudo-terminal of its own,
// set up in the copy's "Modems" group, and the run has a phone book of its own in the
// temporary folder with one entry for each outcome of a call; the user's phone book is
// not touched.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class QSettings;

namespace kfc::sim {
class PtyCounter;
class SimModem;
}

namespace kfc::connect {

class DemoSession {
public:
    DemoSession();
    ~DemoSession();

    // Starts the simulated counter and prepares the settings copy. Must run before the
    // main frame is made. On failure error says why.
    bool start(QString* error);

    int comNumber() const { return m_comNumber; }
    QString devicePath() const;
    sim::PtyCounter* counter() const { return m_counter.get(); }
    sim::PtyCounter* modemLine() const { return m_modemLine.get(); }

    static inline const QString kModemName = QStringLiteral("Simulated Modem");
    // The demo phone book: one entry for each outcome of a call.
    static QStringList demoPhoneBook();

    // How often a simulated fish passes in a demo run.
    static constexpr int kFishIntervalMs = 3000;
    // A newcomer's first download has something to show.
    static constexpr int kDemoEvents = 300;

    // Maps the device to a free COM number in the store's "Ports" group and makes it the
    // direct connection's port. Returns the number, 0 when every number is taken.
    static int mapPort(QSettings& store, const QString& device);

    // A device of this run's simulated counter or modem: the port lists mark it so.
    static bool isSimulatedDevice(const QString& device);
    static inline const QString kSimulatedMark = QStringLiteral("(simulated)");

private:
    bool startModem(QString* error);

    QTemporaryDir m_folder;
    std::unique_ptr<sim::PtyCounter> m_counter;
    std::unique_ptr<sim::PtyCounter> m_modemLine;
    std::unique_ptr<sim::SimModem> m_modem;
    int m_comNumber = 0;
};

} // namespace kfc::connect
