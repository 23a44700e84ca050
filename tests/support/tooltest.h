#pragma once
// Drivers for the tool dialogs that the status window opens: reaching a menu entry as the
// operator does, and acting on the modal dialog it brings up.

#include "support/statustest.h"

#include "link/wait.h"

#include <QDialog>
#include <QScopeGuard>

#include <functional>

namespace kfc::test {

// Runs act on the dialog that open brings up, once the dialog's own first exchange is
// over; a dialog still open afterwards is closed, so that a failed check cannot leave the
// test waiting on it. False when no dialog came up.
inline bool withDialog(const std::function<void()>& open, const std::function<void(QDialog*)>& act)
{
    bool seen = false;
    const int depth = EventWait::depth();
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || EventWait::depth() != depth)
            return;
        poll.stop();
        seen = true;
        const auto close = qScopeGuard([dialog] {
            if (dialog->isVisible())
                dialog->done(QDialog::Rejected);
        });
        act(dialog);
    });
    poll.start();
    open();
    return seen;
}

// A status window menu entry as the operator reaches it: the menu is opened first.
inline void chooseEntry(const StatusSession& s, const char* menu, const QString& entry)
{
    emit s.status->findChild<QMenu*>(menu)->aboutToShow();
    s.item(entry)->trigger();
}

} // namespace kfc::test
