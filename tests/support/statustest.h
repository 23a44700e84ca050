#pragma once
// Shared set-up for the status window tests: the program's windows connected to a
// simulated counter on a pseudo-terminal, and small drivers for the window's controls.

#include "support/apptest.h"

#include "app/program.h"
#include "counter/counterstatus.h"
#include "link/hooks.h"
#include "link/link.h"
#include "status/tfstatus.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include <functional>
#include <memory>

namespace kfc::test {

inline const QString kAck = QString(QChar(0x06));

// The commands of one status read of a counter of version 8.9 or later.
inline QStringList statusRead()
{
    return {"a", kAck, kAck, kAck, kAck, kAck, "f", kAck, kAck, "g", kAck};
}

// Records every progress text shown in the main frame's message panel, and still shows it.
class ProgressRecorder {
public:
    ProgressRecorder() : m_previous(hooks().showProgress)
    {
        hooks().showProgress = [this](const QString& text) {
            texts << text;
            if (m_previous)
                m_previous(text);
        };
    }
    ~ProgressRecorder() { hooks().showProgress = m_previous; }
    // The texts up to and including the first empty one (the end of a dialogue).
    QStringList untilCleared() const
    {
        const qsizetype end = texts.indexOf(QString());
        return end < 0 ? texts : texts.mid(0, end + 1);
    }
    QStringList texts;

private:
    std::function<void(const QString&)> m_previous;
};

// Steps run one after the other from the event loop while a handler that does not return
// (continuous update) is running: each step waits until its condition holds, acts, and
// returns at once, so that the handler underneath goes on between steps. If a condition
// is not met in time, the script gives up and runs its last step (which should end the
// handler).
class Script {
public:
    using Condition = std::function<bool()>;
    using Action = std::function<void()>;

    Script& then(Condition condition, Action action)
    {
        m_steps.push_back({std::move(condition), std::move(action)});
        return *this;
    }
    void start(int timeoutMs = 15000)
    {
        m_deadline = QDeadlineTimer(timeoutMs);
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }
    bool completed() const { return m_next == m_steps.size() && !m_timedOut; }
    int stepsDone() const { return int(m_next); }

private:
    void poll()
    {
        // An action may wait (a click that talks to the counter); the next step waits too.
        if (m_running)
            return;
        if (m_next >= m_steps.size()) {
            m_timer.stop();
            return;
        }
        if (!m_steps[m_next].condition()) {
            if (!m_deadline.hasExpired())
                return;
            m_timedOut = true;
            m_next = m_steps.size() - 1;
        }
        const Action action = m_steps[m_next].action;
        ++m_next;
        m_running = true;
        action();
        m_running = false;
    }

    struct Step {
        Condition condition;
        Action action;
    };
    std::vector<Step> m_steps;
    size_t m_next = 0;
    bool m_timedOut = false;
    bool m_running = false;
    QTimer m_timer;
    QDeadlineTimer m_deadline;
};

// How far the simulated counter's clock is behind the PC's in the window tests.
constexpr qint64 kCounterClockOffsetSecs = -(2 * 86400 + 5 * 3600 + 17 * 60 + 23);

// A fresh settings store, the simulated counter, and the program's windows.
class StatusSession {
public:
    // A device given is the port's (one that records what goes out, say); else the real one.
    explicit StatusSession(std::unique_ptr<PortDevice> device = nullptr) : line(*fixture.store())
    {
        counterStatus() = CounterStatus{};
        // A counter's clock is its own: anything stamped or compared with the PC's clock
        // by mistake shows up at once.
        counterState().clockOffsetSecs = kCounterClockOffsetSecs;
        windows = makeWindows(std::move(device));
        main = &windows->main();
        status = dynamic_cast<status::TfStatus*>(app::fStatus);
    }
    ~StatusSession()
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

    template <typename T>
    T* control(const QString& name) const
    {
        return child<T>(status, name);
    }
    QPushButton* button(const QString& name) const { return control<QPushButton>(name); }
    QAction* item(const QString& name) const { return child<QAction>(status, name); }
    QString text(const QString& name) const
    {
        if (auto* edit = status->findChild<QLineEdit*>(name))
            return edit->text();
        return control<QLabel>(name)->text();
    }
    QString messagePanel() const { return child<QLabel>(main, QStringLiteral("panMessage"))->text(); }
    QString frontWindow() const
    {
        QMdiSubWindow* current = main->mdiArea()->currentSubWindow();
        return current ? current->objectName() : QString();
    }

    AppFixture fixture;
    SimulatedLine line;
    std::unique_ptr<app::ProgramWindows> windows;
    app::TfMain* main = nullptr;
    status::TfStatus* status = nullptr;
};

// Chooses an item as the operator does, with the keyboard, so that the combo box reports
// the choice as the operator's own.
inline void choose(QComboBox* combo, int index)
{
    while (combo->currentIndex() < index)
        QTest::keyClick(combo, Qt::Key_Down);
    while (combo->currentIndex() > index)
        QTest::keyClick(combo, Qt::Key_Up);
}

// Answers the password window once it is up (the connection dialog may come first): each
// text is typed and "&OK" pressed, in turn; a window still open after them is cancelled.
inline void answerPasswordWindow(const QStringList& typed, QString* caption = nullptr)
{
    auto* poll = new QTimer;
    auto deadline = std::make_shared<QDeadlineTimer>(15000);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, deadline, typed, caption] {
        QWidget* dialog = QApplication::activeModalWidget();
        const bool ours = dialog && dialog->objectName() == "fCounterLogon";
        if (!ours && !deadline->hasExpired())
            return;
        poll->stop();
        poll->deleteLater();
        if (!ours)
            return;
        if (caption)
            *caption = dialog->windowTitle();
        for (const QString& text : typed) {
            if (!dialog->isVisible())
                break;
            child<QLineEdit>(dialog, "mePassword")->setText(text);
            child<QPushButton>(dialog, "BitBtn1")->click();
        }
        // A window still open would hang the test.
        if (dialog->isVisible())
            qobject_cast<QDialog*>(dialog)->done(QDialog::Rejected);
    });
    poll->start();
}

// The main frame's menu bar titles, in order.
inline QStringList menuBarTitles(const app::TfMain& main)
{
    QStringList titles;
    for (QAction* action : main.findChild<QMenuBar*>()->actions())
        titles << action->text();
    return titles;
}

} // namespace kfc::test
