#include "wait.h"

#include "comport.h"
#include "hooks.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

namespace kfc {

namespace {

// A wait on a port sleeps until the port announces input or closes, or the deadline
// passes, so a wait on a silent counter wakes only for its deadline. The one place where
// input is not announced is inside a slot connected to the port's input signal: neither
// QSerialPort nor QTcpSocket emits readyRead again until that slot has returned, while
// each still takes the bytes into its queue. A wait there (and everything nested in it) also looks at the queue
// on this short timer, a timer in the event loop and not a spin.
constexpr int kInputPollMs = 10;

// Per thread, as the waits are: each thread runs its own nested loops on its own ports.
thread_local int g_depth = 0;

struct InputWaiter {
    QEventLoop* loop = nullptr;
    bool woken = false;
};
thread_local std::vector<InputWaiter*> g_inputWaiters;

} // namespace

int EventWait::depth() { return g_depth; }

void EventWait::wakeAll()
{
    for (InputWaiter* waiter : g_inputWaiters) {
        waiter->woken = true;
        if (waiter->loop)
            waiter->loop->quit();
    }
}

namespace {

// One wait: turn after turn of a nested event loop, each ended by the deadline's timer or
// by whatever wake() connects to the turn's loop (and its poll timer, which wake() may
// start), until end() names a reason or the deadline has passed.
WaitEnd runTurns(const QDeadlineTimer& deadline, const std::function<std::optional<WaitEnd>()>& end,
                 const std::function<void(QEventLoop&, QTimer& poll)>& wake, InputWaiter* waiter = nullptr)
{
    const QScopedValueRollback depth(g_depth, g_depth + 1);
    while (true) {
        if (auto reason = end())
            return *reason;
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
        wake(loop, pollTimer);

        if (waiter)
            waiter->loop = &loop;
        loop.exec();
        if (waiter)
            waiter->loop = nullptr;
    }
}

} // namespace

WaitEnd EventWait::until(const QDeadlineTimer& deadline, ComPort* input)
{
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
    if (input)
        g_inputWaiters.push_back(&waiter);
    const auto unregister = qScopeGuard([&waiter] { std::erase(g_inputWaiters, &waiter); });

    const auto end = [&]() -> std::optional<WaitEnd> {
        if (waiter.woken)
            return WaitEnd::Woken;
        return inputEnd();
    };
    const auto wake = [&](QEventLoop& loop, QTimer& pollTimer) {
        if (!input)
            return;
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
    };
    return runTurns(deadline, end, wake, &waiter);
}

bool EventWait::untilDone(const QDeadlineTimer& deadline, const std::function<bool()>& done,
                          const std::function<void(QEventLoop&)>& wake)
{
    const auto end = [&]() -> std::optional<WaitEnd> {
        return done() ? std::optional(WaitEnd::Woken) : std::nullopt;
    };
    return runTurns(deadline, end, [&](QEventLoop& loop, QTimer&) { wake(loop); }) == WaitEnd::Woken;
}

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
