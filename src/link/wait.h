#pragma once
// The program's one way of waiting. A wait runs a nested event loop, so the windows stay
// live (timers fire, buttons can be pressed) while a command is paced out or a reply is
// awaited, and it sleeps in the event loop instead of spinning. Deadlines are on the
// monotonic clock with precise timers, so a 20 ms byte gap is 20 ms and not 21.

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QObject>

#include <functional>

namespace kfc {

class ComPort;

enum class WaitEnd {
    Deadline,    // the deadline passed
    Input,       // the port has unread input
    PortClosed,  // the port closed (hang-up, or the line died)
    Woken        // EventWait::wakeAll() was called
};

class EventWait {
public:
    // Runs pending events until the deadline passes or, when a port is given, until it
    // has unread input or closes. A wait with no port always lasts until the deadline.
    // Between those it sleeps: on a silent line it wakes for the deadline alone, except
    // inside a slot of the port's inputArrived, where it looks at the queue every few ms.
    static WaitEnd until(const QDeadlineTimer& deadline, ComPort* input = nullptr);

    // Runs pending events until done() holds or the deadline passes, sleeping between
    // the moments when sender emits signal, which is when done() is looked at again (a
    // connection being made: the socket's state changes). True when done() holds.
    template <typename Sender, typename Signal>
    static bool until(const QDeadlineTimer& deadline, const Sender* sender, Signal signal,
                      const std::function<bool()>& done)
    {
        return untilDone(deadline, done, [sender, signal](QEventLoop& loop) {
            QObject::connect(sender, signal, &loop, &QEventLoop::quit);
        });
    }

    // How many waits are on the calling thread's stack. A handler that runs inside a wait sees a
    // higher depth than the code that started the wait; the link uses this to tell a
    // dialogue's own commands from a click that arrived during one of its waits.
    static int depth();

    // Ends every wait on a port in the calling thread at its next turn (they return Woken). Used when the line
    // is taken from a listener, so that its read returns at once.
    static void wakeAll();

private:
    static bool untilDone(const QDeadlineTimer& deadline, const std::function<bool()>& done,
                          const std::function<void(QEventLoop&)>& wake);
};

// Waits at least ms milliseconds with the user interface running.
void DelayWithEvents(unsigned ms);

// Runs the pending user-interface events once, then returns.
void YieldToUI();

} // namespace kfc
