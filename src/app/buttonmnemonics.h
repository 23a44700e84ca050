#pragma once
// Alt+letter in a window presses the window's own control that marks the letter.
//
// When two shortcuts share a key, Qt presses neither: each press only moves the focus to
// the next of them. That happens between a button and a check box of one window ("&Start"
// and "&Screen") and between a window's control and a menu of the main frame ("&File").
// In a window given priority, while the keyboard focus is inside it, the key presses the
// window's push button that marks it; where no push button does, the window's one check
// box or radio button that marks it is clicked. The main frame's menus stay reachable
// from the menu bar (the mouse, Alt alone or F10 where the style offers them).

class QWidget;

namespace kfc::app {

// Gives the window's own mnemonics priority. The window is a sub-window of the main frame
// (or the widget it holds) or a dialog. Its controls are looked up at each key press, so
// controls added, shown or renamed later count. A hidden control does not own its key; a
// visible but disabled one keeps it from the window's other controls (the key does
// nothing there) and leaves it to the main frame's menus.
void giveButtonsMnemonicPriority(QWidget* window);

} // namespace kfc::app
