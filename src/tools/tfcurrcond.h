#pragma once
// "Current Conductivity": the conductivity the counter reports now, read once or every
// monitor interval until the operator stops. The value is shown as the counter sent it.

#include "tooldialog.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace kfc {
class Link;
}

namespace kfc::app {
class RadioGroup;
class StatusAccess;
}

namespace kfc::tools {

class TfCurrCond : public ToolDialog {
    Q_OBJECT
public:
    TfCurrCond(Link& link, QWidget* parent = nullptr);

    static int open(Link& link, app::StatusAccess& status);

    static inline const QString kExit = QStringLiteral("E&xit");
    static inline const QString kStop = QStringLiteral("&Stop");

    void bbtnStartClick();
    void bbtnExitClick();

protected:
    // Escape is "E&xit" (or "&Stop" during a run).
    void reject() override;
    // Closing during a run stops it; the dialog closes once the pass in progress is over.
    void closeDeferred() override { m_stop = true; }

private:
    void readingLoop();

    Link& m_link;
    bool m_stop = false;
    QLabel* m_label1;
    QLineEdit* m_eValue;
    app::RadioGroup* m_rgMode;
    QPushButton* m_bbtnStart;
    QPushButton* m_bbtnExit;
};

} // namespace kfc::tools
