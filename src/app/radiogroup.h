#pragma once
// A radio group: a captioned box of radio buttons of which at most one is chosen, read and
// set by item index. The buttons are named after the group: "<group>_0", "<group>_1", ...

#include <QGroupBox>
#include <QList>

class QButtonGroup;
class QRadioButton;

namespace kfc::app {

class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& name, const QString& caption, const QStringList& items,
               QWidget* parent = nullptr);

    // The chosen item, -1 when none is.
    int itemIndex() const;
    void setItemIndex(int index);
    QRadioButton* button(int index) const { return m_buttons.value(index); }
    int count() const { return int(m_buttons.size()); }

private:
    QButtonGroup* m_group;
    QList<QRadioButton*> m_buttons;
};

} // namespace kfc::app
