#pragma once
// A child window of the main frame that brings menus of its own. While it is the active
// child, the main frame shows these menus in its menu bar between "Co&nnect" and "&Help".

#include <QList>

class QMenu;

namespace kfc::app {

class MergedMenus {
public:
    virtual ~MergedMenus() = default;
    // In the order they appear in the menu bar. The window keeps ownership.
    virtual QList<QMenu*> mergedMenus() const = 0;
};

} // namespace kfc::app
