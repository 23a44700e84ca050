#include "buttonmnemonics.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeySequence>
#include <QPointer>
#include <QPushButton>
#include <QShortcutEvent>
#include <QWidget>

namespace kfc::app {

namespace {

const char* const kPriorityProperty = "kfcButtonMnemonicPriority";

// The window given priority that holds the keyboard focus; none when the focus is in
// another window (a dialog opened over it, another sub-window).
QWidget* focusedPriorityWindow()
{
    for (QWidget* widget = QApplication::focusWidget(); widget; widget = widget->parentWidget()) {
        if (widget->property(kPriorityProperty).toBool())
            return widget;
        if (widget->isWindow())
            break;
    }
    return nullptr;
}

// The control of the window that owns the key (an Alt+letter sequence), or none: the one
// visible push button that marks it, else the one visible check box or radio button.
QAbstractButton* mnemonicOwner(QWidget* window, const QKeySequence& key)
{
    QList<QAbstractButton*> pushButtons;
    QList<QAbstractButton*> others;
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        // A dialog opened over the window holds buttons of its own.
        if (button->window() != window->window() || !button->isVisible()
            || QKeySequence::mnemonic(button->text()) != key)
            continue;
        (qobject_cast<QPushButton*>(button) ? pushButtons : others) << button;
    }
    // Two of a kind that mark one letter: Qt's own turn-taking is as good as any choice.
    if (!pushButtons.isEmpty())
        return pushButtons.size() == 1 ? pushButtons.first() : nullptr;
    return others.size() == 1 ? others.first() : nullptr;
}

// A shortcut's receiver is a control, or an action or a QShortcut held by one.
bool isInside(QWidget* window, QObject* receiver)
{
    auto* widget = qobject_cast<QWidget*>(receiver);
    if (!widget && receiver)
        widget = qobject_cast<QWidget*>(receiver->parent());
    return widget && (widget == window || window->isAncestorOf(widget));
}

// Sees every shortcut before its receiver does. Only the Shortcut event is looked at, and
// only while the focus is in a window given priority, so the cost elsewhere is one
// comparison an event.
class MnemonicPriority : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        if (event->type() != QEvent::Shortcut)
            return false;
        QWidget* window = focusedPriorityWindow();
        if (!window)
            return false;
        const auto* shortcut = static_cast<const QShortcutEvent*>(event);
        QAbstractButton* owner = mnemonicOwner(window, shortcut->key());
        if (!owner)
            return false;
        // The owner's own shortcut, and no other for the key: Qt presses it already.
        if (receiver == owner && !shortcut->isAmbiguous())
            return false;
        // A disabled owner keeps its letter from the window's other controls, so that
        // Alt+S never checks "&Screen" while "&Start" is off, but lets a menu have it.
        if (!owner->isEnabled())
            return isInside(window, receiver);
        // As Qt presses a button by its mnemonic: shown pressed, clicked a moment later.
        if (!owner->isDown())
            owner->animateClick();
        return true;
    }
};

} // namespace

void giveButtonsMnemonicPriority(QWidget* window)
{
    static QPointer<MnemonicPriority> filter;
    if (!filter) {
        filter = new MnemonicPriority(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(filter);
    }
    window->setProperty(kPriorityProperty, true);
}

} // namespace kfc::app
