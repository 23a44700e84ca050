#include "tfblank.h"

#include <QLabel>

namespace kfc::app {

TfBlank::TfBlank(QWidget* parent)
    : QMdiSubWindow(parent, Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("fBlank"));
    setWindowTitle(QStringLiteral("Not Connected"));
    m_panMain = new QLabel(this);
    m_panMain->setObjectName(QStringLiteral("panMain"));
    m_panMain->setAlignment(Qt::AlignCenter);
    m_panMain->setFrameStyle(QFrame::NoFrame);
    m_panMain->setAutoFillBackground(true);
    setWidget(m_panMain);
    connect(this, &QMdiSubWindow::windowStateChanged, this,
            [this](Qt::WindowStates before, Qt::WindowStates now) {
                if (!(before & Qt::WindowActive) && (now & Qt::WindowActive))
                    FormActivate();
            });
}

void TfBlank::FormActivate()
{
    if (!isMaximized())
        showMaximized();
}

} // namespace kfc::app
