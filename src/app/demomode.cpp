#include "demomode.h"

#include "settingsstore.h"

#include "link/portnames.h"

#ifdef Q_OS_UNIX
#include "sim/ptycounter.h"
#endif

namespace kfc::app {

DemoSession::DemoSession() = default;

DemoSession::~DemoSession()
{
    SettingsStore::useUserStore();
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
    store.setValue(SettingName::DirectComPort, comNumber);
    store.sync();
    return comNumber;
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

    {
        auto user = SettingsStore::openUserStore();
        SettingsStore::useFolder(m_folder.path());
        auto copy = SettingsStore::open();
        SettingsStore::copyValues(*user, *copy);
        m_comNumber = mapPort(*copy, m_counter->devicePath());
    }
    if (m_comNumber == 0) {
        *error = QStringLiteral("Demo mode found no free COM number for the simulated counter.");
        return false;
    }
    return true;
#else
    *error = QStringLiteral("Demo mode needs pseudo-terminals, which this system does not have.");
    return false;
#endif
}

} // namespace kfc::app
