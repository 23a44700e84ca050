#include "demomode.h"

#include "phonebookfile.h"
#include "tfrmmodem.h"

#include "app/settingsstore.h"

#include "link/portnames.h"

#ifdef Q_OS_UNIX
#include "sim/ptycounter.h"
#include "sim/simmodem.h"
#endif

namespace kfc::connect {

namespace {

// The devices of the running demo session; there is one session at most.
QStringList& simulatedDevices()
{
    static QStringList devices;
    return devices;
}

} // namespace

DemoSession::DemoSession() = default;

DemoSession::~DemoSession()
{
    simulatedDevices().clear();
    app::SettingsStore::useUserStore();
    usePhoneBookFolder({});
}

bool DemoSession::isSimulatedDevice(const QString& device)
{
    return !device.isEmpty() && simulatedDevices().contains(device);
}

QStringList DemoSession::demoPhoneBook()
{
    // The simulated modem decides by the last digit, and refuses a '+' (see sim/simmodem.h).
    return {QStringLiteral("Demo weir (answers)=01632 960001"),
            QStringLiteral("Demo weir (busy)=01632 960002"),
            QStringLiteral("Demo weir (no carrier)=01632 960003"),
            QStringLiteral("Demo weir (no dial tone)=01632 960004"),
            QStringLiteral("Demo weir (no answer)=01632 960005"),
            QStringLiteral("Demo weir (refused: +)=+44 1632 960001")};
}

QString DemoSession::devicePath() const
{
#ifdef Q_OS_UNIX
    return m_counter ? m_counter->devicePath() : QString();
#else
    return {};
#endif
}

int DemoSession::mapPort(QSettings& store, const QString& device)
{
    PortNames names;
    names.load(store);
    const int comNumber = names.freeComNumber();
    if (comNumber == 0)
        return 0;
    names.setOverride(comNumber, device);
    names.save(store);
    store.setValue(app::SettingName::DirectComPort, comNumber);
    store.sync();
    return comNumber;
}

// The counter behind the simulated modem, its port in the "Modems" group, and the demo
// phone book.
bool DemoSession::startModem(QString* error)
{
#ifdef Q_OS_UNIX
    m_modem = std::make_unique<sim::SimModem>();
    m_modemLine = std::make_unique<sim::PtyCounter>();
    m_modemLine->setModem(m_modem.get());
    QString why;
    if (!m_modemLine->start(&why)) {
        *error = QStringLiteral("Demo mode cannot start the simulated modem: %1").arg(why);
        return false;
    }
    m_modemLine->counter().setFishInterval(kFishIntervalMs);
    simulatedDevices() << m_modemLine->devicePath();
    auto store = app::SettingsStore::open();
    PortNames names;
    names.load(*store);
    const int comNumber = names.freeComNumber();
    if (comNumber == 0) {
        *error = QStringLiteral("Demo mode found no free COM number for the simulated modem.");
        return false;
    }
    names.setOverride(comNumber, m_modemLine->devicePath());
    names.save(*store);
    store->remove(kModemsGroup);
    store->setValue(kModemsGroup + QLatin1Char('/') + kModemName, QStringLiteral("COM%1").arg(comNumber));
    store->sync();

    usePhoneBookFolder(m_folder.path());
    if (!writePhoneBook(phoneBookPath(), demoPhoneBook(), &why)) {
        *error = why;
        return false;
    }
    return true;
#else
    *error = QStringLiteral("Demo mode needs pseudo-terminals, which this system does not have.");
    return false;
#endif
}

bool DemoSession::start(QString* error)
{
#ifdef Q_OS_UNIX
    if (!m_folder.isValid()) {
        *error = QStringLiteral("Demo mode cannot make a temporary folder: %1").arg(m_folder.errorString());
        return false;
    }
    m_counter = std::make_unique<sim::PtyCounter>();
    QString why;
    if (!m_counter->start(&why)) {
        *error = QStringLiteral("Demo mode cannot start the simulated counter: %1").arg(why);
        m_counter.reset();
        return false;
    }
    m_counter->counter().setFishInterval(kFishIntervalMs);
    m_counter->counter().logPastEvents(kDemoEvents);
    simulatedDevices() << m_counter->devicePath();

    {
        auto user = app::SettingsStore::openUserStore();
        app::SettingsStore::useFolder(m_folder.path());
        auto copy = app::SettingsStore::open();
        app::SettingsStore::copyValues(*user, *copy);
        m_comNumber = mapPort(*copy, m_counter->devicePath());
    }
    if (m_comNumber == 0) {
        *error = QStringLiteral("Demo mode found no free COM number for the simulated counter.");
        return false;
    }
    return startModem(error);
#else
    *error = QStringLiteral("Demo mode needs pseudo-terminals, which this system does not have.");
    return false;
#endif
}

} // namespace kfc::connect
