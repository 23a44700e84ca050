#pragma once
// The status window: the central child window of the main frame, made once at start-up
// and kept for the whole run. For now it is an empty child that a connection brings to
// the front; the counter's status and its editing are shown in it next.

#include "app/statuswindowapi.h"

#include <QMdiSubWindow>

namespace kfc::app {
class TfMain;
}

namespace kfc::status {

class TfStatus : public QMdiSubWindow, public app::StatusWindowApi {
    Q_OBJECT
public:
    // Made as a child window of the main frame's work area.
    explicit TfStatus(app::TfMain& main);

    void OpenAfterConnect() override;
    QMdiSubWindow* subWindow() override { return this; }

private:
    app::TfMain& m_main;
};

} // namespace kfc::status
