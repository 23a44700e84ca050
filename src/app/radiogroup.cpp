#include "radiogroup.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kfc::app {

RadioGroup::RadioGroup(const QString& name, const QString& caption, const QStringList& items,
                       QWidget* parent)
    : QGroupBox(caption, parent), m_group(new QButtonGroup(this))
{
    setObjectName(name);
    auto* layout = new QVBoxLayout(this);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        button->setObjectName(QStringLiteral("%1_%2").arg(name).arg(i));
        m_group->addButton(button, i);
        layout->addWidget(button);
        m_buttons << button;
    }
    layout->addStretch(1);
}

int RadioGroup::itemIndex() const { return m_group->checkedId(); }

void RadioGroup::setItemIndex(int index)
{
    if (QRadioButton* chosen = button(index)) {
        chosen->setChecked(true);
        return;
    }
    // No item: an exclusive group will not uncheck its last button, so step out of it.
    m_group->setExclusive(false);
    for (QRadioButton* other : m_buttons)
        other->setChecked(false);
    m_group->setExclusive(true);
}

} // namespace kfc::app
