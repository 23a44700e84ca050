#pragma once
// Shared set-up for the status window tests: the main frame session (apptest.h) with the
// status window at hand, and small drivers for the window's controls.

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
#include <QMenu>
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

// The main frame session with the status window's controls at hand.
class StatusSession : public MainFrameSession {
public:
    // A device given is the port's (one that records what goes out, say); else the real one.
    explicit StatusSession(std::unique_ptr<PortDevice> device = nullptr)
        : MainFrameSession(std::move(device)), status(dynamic_cast<status::TfStatus*>(app::fStatus))
    {
    }

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
// text is typed and "&OK" pressed, in turn.
inline void answerPasswordWindow(const QStringList& typed, QString* caption = nullptr)
{
    onNextModal(
        [typed, caption](QDialog* dialog) {
            if (caption)
                *caption = dialog->windowTitle();
            for (const QString& text : typed) {
                if (!dialog->isVisible())
                    break;
                child<QLineEdit>(dialog, "mePassword")->setText(text);
                child<QPushButton>(dialog, "BitBtn1")->click();
            }
        },
        {.objectName = QStringLiteral("fCounterLogon"), .afterOpeningExchange = false, .withinMs = 15000});
}

} // namespace kfc::test
