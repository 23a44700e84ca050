// kestrova-control: the counter control program. "--demo" adds a simulated counter.

#include "app/application.h"
#include "app/demomode.h"
#include "app/kfc_version.h"
#include "app/messageboxes.h"
#include "app/program.h"
#include "app/tfmain.h"
#include "status/tfstatus.h"
#include "tools/tools.h"

#include <QCommandLineParser>

int main(int argc, char** argv)
{
    kfc::app::Application application(argc, argv);

    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("Kestrova fish counter control program."));
    application.setApplicationVersion(QStringLiteral(KFC_VERSION_TEXT));
    options.addHelpOption();
    options.addVersionOption();
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Start with a simulated counter on a spare COM "
                                                 "port; your own settings are left unchanged."));
    options.addOption(demo);
    options.process(application);

    // Made before the windows and freed after them: the port is closed before the
    // simulated counter goes.
    std::unique_ptr<kfc::app::DemoSession> demoSession;
    if (options.isSet(demo)) {
        demoSession = std::make_unique<kfc::app::DemoSession>();
        QString error;
        if (!demoSession->start(&error)) {
            kfc::app::messageBoxes().show(kfc::MessageKind::Error, error);
            return 1;
        }
    }

    kfc::app::ProgramWindows windows([](kfc::app::TfMain& main) -> kfc::app::StatusWindowApi* {
        return new kfc::status::TfStatus(main);
    });
    kfc::tools::registerTools(windows.main());
    windows.main().show();
    return application.exec();
}
