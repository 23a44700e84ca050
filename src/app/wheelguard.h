#pragma once
// The mouse wheel changes a value only in the control that has the keyboard focus. Over
// any other spin box, date or time edit or combo box it goes on to the window behind
// (which scrolls), so that scrolling a window never changes a setting by the way.

class QWidget;

namespace kfc::app {

// Guards every spin box, date/time edit and combo box inside root that exists now.
void keepWheelToFocusedControls(QWidget* root);

} // namespace kfc::app
