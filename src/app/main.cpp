// kestrova-control: the counter control program. "--demo" adds a simulated counter.

#include "app/application.h"
#include "app/kfc_version.h"
#include "app/messageboxes.h"
#include "app/tfmain.h"
#include "app/wiring.h"
#include "connect/demomode.h"

#include <QCommandLineParser>

namespace {

struct ProgramOptions {
    QCommandLineParser parser;
    QCommandLineOption help = parser.addHelpOption();
    QCommandLineOption version = parser.addVersionOption();
    QCommandLineOption demo{QStringLiteral("demo"),
                            QStringLiteral("Start with a simulated counter on a spare COM port; your "
                                           "own settings are left unchanged.")};

    ProgramOptions()
    {
        parser.setApplicationDescription(QStringLiteral("Kestrova fish counter control program."));
        parser.addOption(demo);
    }
};

void nameTheProgram(QCoreApplication& application)
{
    application.setApplicationName(kfc::app::Application::kTitle);
    application.setApplicationVersion(QStringLiteral(KFC_VERSION_TEXT));
}

// --help and --version are answered on the terminal, so they must work where no display
// is (a shell on a server, a packaging script): they are handled before the windowing
// system starts, and the program ends there.
void answerWithoutDisplay(int argc, char** argv)
{
    QCoreApplication core(argc, argv);
    nameTheProgram(core);
    ProgramOptions options;
    // An option unknown here may be one of Qt's own (-platform, -style): the windowing
    // application takes those out and judges what is left.
    options.parser.parse(core.arguments());
    if (options.parser.isSet(options.version))
        options.parser.showVersion();
    if (options.parser.isSet(options.help) || options.parser.isSet(QStringLiteral("help-all")))
        options.parser.showHelp();
}

} // namespace

int main(int argc, char** argv)
{
    answerWithoutDisplay(argc, argv);
    kfc::app::Application application(argc, argv);
    nameTheProgram(application);
    ProgramOptions options;
    options.parser.process(application);

    // Made before the windows and freed after them: the port is closed before the
    // simulated counter goes.
    std::unique_ptr<kfc::connect::DemoSession> demoSession;
    if (options.parser.isSet(options.demo)) {
        demoSession = std::make_unique<kfc::connect::DemoSession>();
        QString error;
        if (!demoSession->start(&error)) {
            kfc::app::messageBoxes().show(kfc::MessageKind::Error, error);
            return 1;
        }
    }

    const auto windows = kfc::app::makeProgramWindows();
    windows->main().show();
    return application.exec();
}
