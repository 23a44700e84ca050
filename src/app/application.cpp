#include "application.h"

#include "messageboxes.h"

#include "link/errors.h"
#include "link/hooks.h"

#include <QIcon>

#include <exception>

static void registerAppResources()
{
    Q_INIT_RESOURCE(app);
}

namespace kfc::app {

const QString Application::kTitle = QStringLiteral("Kestrova Fish Counter");

void initResources()
{
    static const bool done = (registerAppResources(), true);
    Q_UNUSED(done);
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    initResources();
    // The application name is what message boxes and the task bar show; the settings
    // store names its own organisation and key, so this does not move the settings.
    setApplicationName(kTitle);
    setOrganizationName(QStringLiteral("Kestrova"));
    setWindowIcon(QIcon(QStringLiteral(":/kestrova/mainicon.png")));
    // The counter link tells the user of its failures through the message-box service.
    hooks().showMessage = [](MessageKind kind, const QString& text) {
        messageBoxes().show(kind, text);
    };
}

Application::~Application()
{
    hooks().showMessage = nullptr;
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        showError(error);
        return false;
    }
}

void showError(const std::exception& error)
{
    // A dead line has been told by the main frame already, and the link logged it.
    if (dynamic_cast<const LineLostError*>(&error))
        return;
    messageBoxes().show(MessageKind::Error, QString::fromUtf8(error.what()));
}

} // namespace kfc::app
