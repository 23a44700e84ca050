#pragma once
// Shared set-up for the window tests: a settings store of their own, scripted message
// boxes, the program's windows, a simulated counter on a pseudo-terminal, and a driver
// for modal dialogs.

#include "app/application.h"
#include "app/demomode.h"
#include "app/messageboxes.h"
#include "app/program.h"
#include "app/settingsstore.h"
#include "app/tfmain.h"
#include "sim/ptycounter.h"
#include "support/simline.h"
#include "status/tfstatus.h"
#include "tools/tools.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace kfc::test {

// Per test: the settings store in a fresh folder and message boxes that take their
// answers from the test.
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
        app::messageBoxes().reset();
        app::SettingsStore::useUserStore();
    }
    std::unique_ptr<QSettings> store() const { return app::SettingsStore::open(); }
    QString folder() const { return m_folder.path(); }

private:
    QTemporaryDir m_folder;
};

inline std::unique_ptr<app::ProgramWindows> makeWindows(std::unique_ptr<PortDevice> device = nullptr)
{
    auto windows = std::make_unique<app::ProgramWindows>(
        [](app::TfMain& main) -> app::StatusWindowApi* { return new status::TfStatus(main); },
        std::move(device));
    windows->main().link().timing = kFastTiming;
    tools::registerTools(windows->main());
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
        comNumber = app::DemoSession::mapPort(store, pty.devicePath());
    }
    QString portEntry() const { return QStringLiteral("COM %1").arg(comNumber); }
    QStringList commands() { return pty.counter().commands(); }

    sim::PtyCounter pty;
    bool started = false;
    int comNumber = 0;
};

namespace detail {

inline int& modalDriversWaiting()
{
    static int waiting = 0;
    return waiting;
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
        if (!dialog || modalDriversWaiting() > 0) {
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
        QTest::qFail(qPrintable(QStringLiteral("Nothing answered the modal window \"%1\"").arg(dialog->windowTitle())),
                     __FILE__, __LINE__);
        if (auto* box = qobject_cast<QDialog*>(dialog))
            box->reject();
        else
            dialog->close();
    });
    watch->start();
}

} // namespace detail

// Acts on the next modal dialog once it is up (the caller then opens it). When none comes
// within the time, the test fails there and then.
inline void onNextModal(std::function<void(QWidget*)> act, int withinMs = 10000)
{
    detail::watchUnansweredModals();
    ++detail::modalDriversWaiting();
    auto* poll = new QTimer;
    auto deadline = std::make_shared<QDeadlineTimer>(withinMs);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, act, deadline] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog && !deadline->hasExpired())
            return;
        poll->stop();
        poll->deleteLater();
        --detail::modalDriversWaiting();
        if (!dialog) {
            QTest::qFail("The modal window the test waits for did not appear", __FILE__, __LINE__);
            return;
        }
        act(dialog);
    });
    poll->start();
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
