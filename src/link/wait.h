#pragma once
// The program's one way of waiting. A wait runs a nested event loop, so the windows stay
// live (timers fire, buttons can be pressed) while a command is paced out or a reply is
// awaited, and it sleeps in the event loop instead of spinning. Deadlines are on the
// monotonic clock with precise timers, so a 20 ms byte gap is 20 ms and not 21.

#include <QDeadlineTimer>

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

    // How many waits are on the call stack. A handler that runs inside a wait sees a
    // higher depth than the code that started the wait; the link uses this to tell a
    // dialogue's own commands from a click that arrived during one of its waits.
    static int depth();

    // Ends every wait on a port at its next turn (they return Woken). Used when the line
    // is taken from a listener, so that its read returns at once.
    static void wakeAll();

    // A pause of the program's own (not of a dialogue: no port, no pacing) until the
    // deadline or until endPauses() is called; true when it was ended early. The
    // unattended collection waits so between two calls, and a request to stop ends it.
    static bool pause(const QDeadlineTimer& deadline);
    static void endPauses();
};

// Waits at least ms milliseconds with the user interface running.
void DelayWithEvents(unsigned ms);

// Runs the pending user-interface events once, then returns.
void YieldToUI();

} // namespace kfc
