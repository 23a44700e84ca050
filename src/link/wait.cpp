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

// readyRead is not emitted again while a slot connected to it is still running, so a
// wait nested inside such a slot would never hear of new input. This short poll of the
// queue covers that case; it is a timer in the event loop, not a spin. It is only a
// fallback (input normally wakes the wait at once), so it is kept slow enough that a wait
// on a silent counter costs well under 1 % of a core.
constexpr int kInputPollMs = 25;

int g_depth = 0;

struct InputWaiter {
    QEventLoop* loop = nullptr;
    bool woken = false;
};
std::vector<InputWaiter*> g_inputWaiters;

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

WaitEnd EventWait::until(const QDeadlineTimer& deadline, ComPort* input)
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
    if (input)
        g_inputWaiters.push_back(&waiter);
    const auto unregister = qScopeGuard([&waiter] { std::erase(g_inputWaiters, &waiter); });

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
        // Round up: a timer that fires a fraction early would only cost another turn.
        qint64 remainingNs = deadline.remainingTimeNSecs();
        deadlineTimer.start(int((remainingNs + 999'999) / 1'000'000));

        QTimer pollTimer;
        if (input) {
            pollTimer.setInterval(kInputPollMs);
            QObject::connect(&pollTimer, &QTimer::timeout, &loop, [&]() {
                if (inputEnd())
                    loop.quit();
            });
            pollTimer.start();
            QObject::connect(input, &ComPort::inputArrived, &loop, &QEventLoop::quit);
            QObject::connect(input, &ComPort::closed, &loop, &QEventLoop::quit);
        }

        waiter.loop = &loop;
        loop.exec();
        waiter.loop = nullptr;
    }
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
