#pragma once
// Shared set-up for the window tests: a settings store of their own, scripted message
// boxes, the program's windows, a simulated counter on a pseudo-terminal, the main frame
// connected to it, and the one driver for modal dialogs.

#include "app/application.h"
#include "app/messageboxes.h"
#include "app/program.h"
#include "app/settingsstore.h"
#include "app/tfmain.h"
#include "app/wiring.h"
#include "connect/demomode.h"
#include "counter/counterstatus.h"
#include "link/wait.h"
#include "sim/ptycounter.h"
#include "support/simline.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace kfc::test {

namespace detail {

// Fails the running test; outside a test function (the screenshot programs) it is logged.
inline void failTest(const QString& message)
{
    if (QTest::currentTestFunction())
        QTest::qFail(qPrintable(message), __FILE__, __LINE__);
    else
        qWarning("%s", qPrintable(message));
}

void endModalDrivers();

} // namespace detail

// Per test: the settings store in a fresh folder and message boxes that take their
// answers from the test. When it ends, every question asked must have had an answer and
// every modal dialog a driver waited for must have come; else the test fails (unless it
// has failed already, which is usually why).
class AppFixture {
public:
    AppFixture()
    {
        app::SettingsStore::useFolder(m_folder.path());
        app::messageBoxes().setScripted(true);
        app::messageBoxes().reset();
    }
    ~AppFixture()
    {
        detail::endModalDrivers();
        const QStringList unanswered = app::messageBoxes().unansweredTexts();
        if (!unanswered.isEmpty() && !QTest::currentTestFailed())
            detail::failTest(QStringLiteral("Left unanswered (the test queued no answer for it): \"%1\"")
                                 .arg(unanswered.join(QStringLiteral("\", \""))));
        app::messageBoxes().reset();
        app::SettingsStore::useUserStore();
    }
    std::unique_ptr<QSettings> store() const { return app::SettingsStore::open(); }
    QString folder() const { return m_folder.path(); }

private:
    QTemporaryDir m_folder;
};

// The program's own windows, with the test's fast timing.
inline std::unique_ptr<app::ProgramWindows> makeWindows(std::unique_ptr<PortDevice> device = nullptr)
{
    auto windows = app::makeProgramWindows(std::move(device));
    windows->main().link().timing = kFastTiming;
    windows->main().show();
    return windows;
}

// A simulated counter on a pseudo-terminal, mapped in the test's settings store to a free
// COM number that is also the saved direct-connection port.
class SimulatedLine {
public:
    explicit SimulatedLine(QSettings& store)
    {
        QString error;
        started = pty.start(&error);
        if (!started)
            qWarning("The simulated counter did not start: %s", qPrintable(error));
        comNumber = connect::DemoSession::mapPort(store, pty.devicePath());
    }
    QString portEntry() const { return QStringLiteral("COM %1").arg(comNumber); }
    QStringList commands() { return pty.counter().commands(); }

    sim::PtyCounter pty;
    bool started = false;
    int comNumber = 0;
};

// What a modal driver waits for.
struct ModalWait {
    // Only the dialog of this object name: the ones that come before it are other drivers'.
    QString objectName;
    // Act once the dialog's own opening exchange with the counter is over.
    bool afterOpeningExchange = false;
    int withinMs = 10000;
};

namespace detail {

struct ModalDriver {
    std::function<void(QDialog*)> act;
    ModalWait wait;
    int waitDepth = 0;
    QDeadlineTimer deadline;
    QPointer<QTimer> poll;
    bool came = false;

    bool isFor(const QDialog* dialog) const
    {
        return dialog && (wait.objectName.isEmpty() || dialog->objectName() == wait.objectName)
               && (!wait.afterOpeningExchange || EventWait::depth() == waitDepth);
    }
    QString awaited() const
    {
        return wait.objectName.isEmpty()
                   ? QStringLiteral("The modal window the test waits for")
                   : QStringLiteral("The modal window \"%1\" that the test waits for").arg(wait.objectName);
    }
};

inline QList<std::shared_ptr<ModalDriver>>& modalDrivers()
{
    static QList<std::shared_ptr<ModalDriver>> waiting;
    return waiting;
}

inline void stopWaiting(const std::shared_ptr<ModalDriver>& driver)
{
    modalDrivers().removeAll(driver);
    if (driver->poll) {
        driver->poll->stop();
        driver->poll->deleteLater();
    }
}

// The dialog never came: the test fails, naming what it waited for.
inline void giveUp(const std::shared_ptr<ModalDriver>& driver, const QString& when)
{
    stopWaiting(driver);
    failTest(driver->awaited() + QStringLiteral(" did not appear") + when);
}

// At the end of a test: a driver still waiting is one whose dialog never came.
inline void endModalDrivers()
{
    const bool failedAlready = QTest::currentTestFailed();
    for (const std::shared_ptr<ModalDriver>& driver : QList(modalDrivers())) {
        if (failedAlready)
            stopWaiting(driver);
        else
            giveUp(driver, QStringLiteral(" before the test ended"));
    }
}

// A modal window that no driver waits for would hold the test in its event loop until
// CTest gives up. Once one has been up this long, the test fails and the window is closed.
constexpr int kUnansweredModalMs = 20000;

inline void watchUnansweredModals()
{
    static QTimer* watch = nullptr;
    if (watch)
        return;
    // Freed with the application, and with it the window it last saw.
    watch = new QTimer(QCoreApplication::instance());
    watch->setInterval(100);
    auto seen = std::make_shared<QPointer<QWidget>>();
    auto seenFor = std::make_shared<QElapsedTimer>();
    QObject::connect(watch, &QTimer::timeout, [seen, seenFor] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || !modalDrivers().isEmpty()) {
            *seen = nullptr;
            return;
        }
        if (*seen != dialog) {
            *seen = dialog;
            seenFor->start();
            return;
        }
        if (seenFor->elapsed() < kUnansweredModalMs)
            return;
        failTest(QStringLiteral("Nothing answered the modal window \"%1\"").arg(dialog->windowTitle()));
        if (auto* box = qobject_cast<QDialog*>(dialog))
            box->reject();
        else
            dialog->close();
    });
    watch->start();
}

} // namespace detail

// The one driver of modal dialogs: acts on the next modal dialog once it is up (the
// caller then opens it). A dialog still open after act is cancelled, so that a failed
// check cannot leave the test waiting on it. When no dialog comes within the time, or
// by the end of the test (the application fixture's), the test fails.
inline std::shared_ptr<detail::ModalDriver> onNextModal(std::function<void(QDialog*)> act, ModalWait wait = {})
{
    detail::watchUnansweredModals();
    auto driver = std::make_shared<detail::ModalDriver>();
    driver->act = std::move(act);
    driver->wait = wait;
    driver->waitDepth = EventWait::depth();
    driver->deadline.setRemainingTime(wait.withinMs);
    driver->poll = new QTimer;
    driver->poll->setInterval(5);
    QObject::connect(driver->poll, &QTimer::timeout, [driver] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!driver->isFor(dialog)) {
            if (driver->deadline.hasExpired())
                detail::giveUp(driver, QStringLiteral(" within %1 ms").arg(driver->wait.withinMs));
            return;
        }
        detail::stopWaiting(driver);
        driver->came = true;
        const auto cancel = qScopeGuard([open = QPointer<QDialog>(dialog)] {
            if (open && open->isVisible())
                open->done(QDialog::Rejected);
        });
        driver->act(dialog);
    });
    detail::modalDrivers().append(driver);
    driver->poll->start();
    return driver;
}

// Whether a dialog may close by itself before the driver sees it (its opening exchange
// failed at once, say).
enum class Unseen { Fails, Allowed };

// Runs act on the dialog that open brings up, once the dialog's own first exchange is
// over. When open returns with no dialog seen, the test fails (unless that is allowed)
// and the answer is false.
inline bool withDialog(const std::function<void()>& open, const std::function<void(QDialog*)>& act,
                       Unseen unseen = Unseen::Fails)
{
    const auto driver = onNextModal(act, {.objectName = {}, .afterOpeningExchange = true, .withinMs = 10000});
    open();
    if (driver->came)
        return true;
    if (unseen == Unseen::Allowed)
        detail::stopWaiting(driver);
    else
        detail::giveUp(driver, QStringLiteral(" while it was opened"));
    return false;
}

template <typename T>
T* child(const QObject* parent, const QString& name)
{
    T* found = parent->findChild<T*>(name);
    if (!found)
        qWarning("No %s named %s", T::staticMetaObject.className(), qPrintable(name));
    return found;
}

inline QAction* menuItem(const app::TfMain& main, const QString& name)
{
    return child<QAction>(&main, name);
}

// "&Direct Connection", then "&OK" in "Com Port Setup" (after choosing a port entry if
// one is given).
inline void connectDirect(app::TfMain& main, const QString& portEntry = {})
{
    onNextModal([portEntry](QWidget* dialog) {
        if (!portEntry.isEmpty())
            child<QComboBox>(dialog, QStringLiteral("cbComPort"))->setCurrentText(portEntry);
        child<QPushButton>(dialog, QStringLiteral("OKBtn"))->click();
    });
    menuItem(main, QStringLiteral("menuConnectDirect"))->trigger();
}

// The text of one of the main frame's status panels.
inline QString panelText(const app::TfMain& main, const QString& name)
{
    return child<QLabel>(&main, name)->text();
}

// The object name of the main frame's front child window.
inline QString frontWindow(const app::TfMain& main)
{
    QMdiSubWindow* current = main.mdiArea()->currentSubWindow();
    return current ? current->objectName() : QString();
}

// How far the simulated counter's clock is behind the PC's in the window tests.
constexpr qint64 kCounterClockOffsetSecs = -(2 * 86400 + 5 * 3600 + 17 * 60 + 23);

// The connected-main-frame fixture: a fresh settings store, the simulated counter on a
// pseudo-terminal, and the program's windows, which connect() connects directly to it.
// At its end the main frame is closed (its question answered Yes) and the windows freed.
class MainFrameSession {
public:
    // A device given is the port's (one that records what goes out, say); else the real one.
    explicit MainFrameSession(std::unique_ptr<PortDevice> device = nullptr) : line(*fixture.store())
    {
        counterStatus() = CounterStatus{};
        // A counter's clock is its own: anything stamped or compared with the PC's clock
        // by mistake shows up at once.
        counterState().clockOffsetSecs = kCounterClockOffsetSecs;
        windows = makeWindows(std::move(device));
        main = &windows->main();
    }
    ~MainFrameSession()
    {
        app::messageBoxes().queueAnswer(true);
        main->close();
        windows.reset();
    }

    // "&Direct Connection" to the simulated counter; the status window then checks the
    // password state and reads the counter.
    bool connect()
    {
        connectDirect(*main);
        return main->comPort().PortIsOpen();
    }

    sim::SimCounter& counter() { return line.pty.counter(); }
    sim::SimState& counterState() { return line.pty.counter().state; }
    QStringList commands() { return line.commands(); }
    void clearCommands() { line.pty.counter().clearCommands(); }
    // Waits for the counter to have taken every byte sent so far: the command list once it
    // has stopped growing for quietMs, multiplied by KFC_TIME_SCALE when set (the sanitizer
    // test preset sets it: there a loaded machine can leave a longer gap between two
    // commands of one dialogue).
    QStringList settledCommands(int quietMs = 100)
    {
        quietMs *= qMax(1, qEnvironmentVariableIntValue("KFC_TIME_SCALE"));
        QStringList before;
        do {
            before = commands();
            QTest::qWait(quietMs);
        } while (before != commands());
        return before;
    }

    // A line from the counter that no command asked for (continuous update).
    void counterSays(const QByteArray& line) { emit counter().send(line + '\r', 0); }

    QString messagePanel() const { return panelText(*main, QStringLiteral("panMessage")); }
    QString frontWindow() const { return test::frontWindow(*main); }

    AppFixture fixture;
    SimulatedLine line;
    std::unique_ptr<app::ProgramWindows> windows;
    app::TfMain* main = nullptr;
};

// The main frame's menu bar titles, in order.
inline QStringList menuBarTitles(const app::TfMain& main)
{
    QStringList titles;
    for (QAction* action : main.findChild<QMenuBar*>()->actions())
        titles << action->text();
    return titles;
}

} // namespace kfc::test

// A test main with the program's own application object (its general error handler).
#define KFC_APP_TEST_MAIN(TestClass)                                                     \
    int main(int argc, char** argv)                                                      \
    {                                                                                    \
        kfc::app::Application application(argc, argv);                                   \
        /* Tests close the main frame many times; the run goes on. */                    \
        application.setQuitOnLastWindowClosed(false);                                    \
        TestClass test;                                                                  \
        return QTest::qExec(&test, argc, argv);                                          \
    }
