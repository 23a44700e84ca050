#pragma once
// Reaching the tool dialogs that the status window opens as the operator does (the
// dialog itself is driven with withDialog, in apptest.h).

#include "support/statustest.h"

#include <QMenu>

namespace kfc::test {

// A status window menu entry as the operator reaches it: the menu is opened first.
inline void chooseEntry(const StatusSession& s, const char* menu, const QString& entry)
{
    emit s.status->findChild<QMenu*>(menu)->aboutToShow();
    s.item(entry)->trigger();
}

} // namespace kfc::test
