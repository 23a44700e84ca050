#pragma once
// The placeholder: a blank child window that fills the main frame while no counter window
// is shown. Its panel is also a surface for a full-window message (a countdown).

#include <QMdiSubWindow>

class QLabel;

namespace kfc::app {

class TfBlank : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit TfBlank(QWidget* parent = nullptr);

    QLabel* panMain() const { return m_panMain; }

    void FormActivate();

private:
    QLabel* m_panMain;
};

} // namespace kfc::app
