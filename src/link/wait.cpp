#include "wait.h"

#include "comport.h"
#include "hooks.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QTimer>

#include <optional>
#include <vector>

namespace kfc {

namespace {

// A wait on a port sleeps until the port announces input or closes, or the deadline
// passes, so a wait on a silent counter wakes only for its deadline. The one place where
// input is not announced is inside a slot connected to the port's input signal: QSerialPort
// does not emit readyRead again until that slot has returned, while it still takes the
// bytes into its queue. A wait there (and everything nested in it) also looks at the queue
// on this short timer, a timer in the event loop and not a spin.
constexpr int kInputPollMs = 10;

int g_depth = 0;

struct InputWaiter {
    QEventLoop* loop = nullptr;
    bool woken = false;
};
std::vector<InputWaiter*> g_inputWaiters;
std::vector<InputWaiter*> g_pauses;

void wake(const std::vector<InputWaiter*>& waiters)
{
    for (InputWaiter* waiter : waiters) {
        waiter->woken = true;
        if (waiter->loop)
            waiter->loop->quit();
    }
}

// The wait of until() and pause(); a waiter listed in `wakers` is ended by waking that list.
WaitEnd waitUntil(const QDeadlineTimer& deadline, ComPort* input, std::vector<InputWaiter*>* wakers)
{
    const QScopedValueRollback depth(g_depth, g_depth + 1);
    auto inputEnd = [input]() -> std::optional<WaitEnd> {
        if (!input)
            return std::nullopt;
        if (!input->PortIsOpen())
            return WaitEnd::PortClosed;
        if (input->InputAvailable())
            return WaitEnd::Input;
        return std::nullopt;
    };
    InputWaiter waiter;
    if (wakers)
        wakers->push_back(&waiter);
    const auto unregister = qScopeGuard([&waiter, wakers] {
        if (wakers)
            std::erase(*wakers, &waiter);
    });

    while (true) {
        if (waiter.woken)
            return WaitEnd::Woken;
        if (auto end = inputEnd())
            return *end;
        if (deadline.hasExpired())
            return WaitEnd::Deadline;

        QEventLoop loop;
        QTimer deadlineTimer;
        deadlineTimer.setTimerType(Qt::PreciseTimer);
        deadlineTimer.setSingleShot(true);
        QObject::connect(&deadlineTimer, &QTimer::timeout, &loop, &QEventLoop::quit);
        if (!deadline.isForever()) {
            // Round up: a timer that fires a fraction early would only cost another turn.
            const qint64 remainingNs = deadline.remainingTimeNSecs();
            deadlineTimer.start(int((remainingNs + 999'999) / 1'000'000));
        }

        QTimer pollTimer;
        if (input) {
            QObject::connect(input, &ComPort::inputArrived, &loop, &QEventLoop::quit);
            QObject::connect(input, &ComPort::closed, &loop, &QEventLoop::quit);
            // Whether the signal can be heard holds for this whole turn: a delivery of it
            // that starts inside the loop quits the loop before it ends.
            if (input->deliveringInput()) {
                pollTimer.setInterval(kInputPollMs);
                QObject::connect(&pollTimer, &QTimer::timeout, &loop, [&]() {
                    if (inputEnd())
                        loop.quit();
                });
                pollTimer.start();
            }
        }

        waiter.loop = &loop;
        loop.exec();
        waiter.loop = nullptr;
    }
}

} // namespace

int EventWait::depth() { return g_depth; }

void EventWait::wakeAll() { wake(g_inputWaiters); }

WaitEnd EventWait::until(const QDeadlineTimer& deadline, ComPort* input)
{
    return waitUntil(deadline, input, input ? &g_inputWaiters : nullptr);
}

bool EventWait::pause(const QDeadlineTimer& deadline)
{
    return waitUntil(deadline, nullptr, &g_pauses) == WaitEnd::Woken;
}

void EventWait::endPauses() { wake(g_pauses); }

void DelayWithEvents(unsigned ms)
{
    if (ms == 0) {
        YieldToUI();
        return;
    }
    EventWait::until(QDeadlineTimer(qint64(ms), Qt::PreciseTimer));
}

void YieldToUI()
{
    // Events handled here run inside the caller's operation just as in a timed wait.
    const QScopedValueRollback depth(g_depth, g_depth + 1);
    if (hooks().pumpEvents)
        hooks().pumpEvents();
    else
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace kfc
