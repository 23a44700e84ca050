#pragma once
// The link never touches widgets. It reaches the user through these hooks, which the
// application fills with its message-box service and its status-bar message panel.
// Left unset, messages go to the debug output (command-line tools, tests).
// Each thread has hooks of its own: the windows all live on the main thread, and a
// collection talks to each of its lines on a thread of the line's own, so that what one
// line says never reaches another line's visit.

#include <functional>

#include <QString>

namespace kfc {

enum class MessageKind { Error, Warning, Information, Confirmation };

struct LinkHooks {
    // Shows a modal message with an OK button.
    std::function<void(MessageKind, const QString&)> showMessage;
    // Puts a progress text into the main frame's message panel; empty clears it.
    std::function<void(const QString&)> showProgress;
    // Runs all pending user-interface events once.
    std::function<void()> pumpEvents;
};

// The calling thread's hooks.
LinkHooks& hooks();

void showMessage(MessageKind kind, const QString& text);
void showProgress(const QString& text);

} // namespace kfc
