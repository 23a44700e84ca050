#include "wheelguard.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QEvent>
#include <QObject>
#include <QWidget>

namespace kfc::app {

namespace {

class WheelGuard : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Wheel)
            return false;
        auto* control = qobject_cast<QWidget*>(watched);
        if (!control || control->hasFocus())
            return false;
        // Not handled here and not accepted: the application hands it to the parent.
        event->ignore();
        return true;
    }
};

void guard(QWidget* control, WheelGuard* filter)
{
    // A wheel turn must not give the focus either, or the next one would change the value.
    if (control->focusPolicy() == Qt::WheelFocus)
        control->setFocusPolicy(Qt::StrongFocus);
    control->installEventFilter(filter);
}

} // namespace

void keepWheelToFocusedControls(QWidget* root)
{
    auto* filter = new WheelGuard(root);
    for (QAbstractSpinBox* spin : root->findChildren<QAbstractSpinBox*>())
        guard(spin, filter);
    for (QComboBox* combo : root->findChildren<QComboBox*>())
        guard(combo, filter);
}

} // namespace kfc::app
