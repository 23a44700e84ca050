#pragma once
// The program's application as a benchmark runs it: offscreen unless a platform is set,
// the user's settings left alone, no message box waiting for an answer, and the length of
// the run in seconds from the first argument (30 by default).

#include "app/application.h"
#include "app/messageboxes.h"
#include "app/settingsstore.h"

#include <QString>
#include <QTemporaryDir>

#include <algorithm>

namespace kfc::bench {

class BenchApp {
public:
    BenchApp(int& argc, char** argv)
        : application(offscreenUnlessSet(argc), argv),
          seconds(argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 30)
    {
        application.setQuitOnLastWindowClosed(false);
        app::SettingsStore::useFolder(m_settings.path());
        app::messageBoxes().setScripted(true);
    }

    app::Application application;
    const int seconds;

private:
    static int& offscreenUnlessSet(int& argc)
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return argc;
    }

    QTemporaryDir m_settings;
};

} // namespace kfc::bench
