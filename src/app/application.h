#pragma once
// The application object. Its notify() is the program's general error handler: an
// error that nothing handled where it happened (a malformed number in a reply, a port
// that cannot be used, a busy line) abandons the event handler in progress, its text is
// shown in an error box, and the program carries on.

#include <QApplication>

#include <exception>

namespace kfc::app {

class Application : public QApplication {
    Q_OBJECT
public:
    // Sets the application's title, names and icon, and installs the message-box service
    // as the counter link's way of showing messages.
    Application(int& argc, char** argv);
    ~Application() override;

    bool notify(QObject* receiver, QEvent* event) override;

    static const QString kTitle;
};

// Shows an error's text in an error box: what the general error handler does.
void showError(const std::exception& error);

// Runs a handler and shows the text of an error it raises, as notify() would. A handler
// started by a widget's signal (a button's click) goes through this, so that the error
// does not travel through Qt's widget code, which is built without exception clean-ups:
// passing through it leaks the event being delivered and can leave the widget half
// updated (a button still pressed).
template <typename Handler>
void showingErrors(Handler&& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        showError(error);
    }
}

// Makes the program's icons and texts in the resource file available (the library is
// linked statically, so its resources are registered by hand). Safe to call repeatedly.
void initResources();

} // namespace kfc::app
