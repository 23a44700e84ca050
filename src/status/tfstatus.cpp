#include "tfstatus.h"

#include "app/tfmain.h"

#include <QMdiArea>
#include <QLabel>

namespace kfc::status {

TfStatus::TfStatus(app::TfMain& main) : m_main(main)
{
    setObjectName(QStringLiteral("fStatus"));
    setWindowTitle(QStringLiteral("Status"));
    // Until the status display is built, the window says what it stands for.
    auto* content = new QLabel(QStringLiteral("Counter connected"), this);
    content->setObjectName(QStringLiteral("labConnected"));
    content->setAlignment(Qt::AlignCenter);
    setWidget(content);
    // Added as a window of its own (not wrapped), so that closing it hides it and the
    // next connection shows it again.
    m_main.mdiArea()->addSubWindow(this);
}

void TfStatus::OpenAfterConnect()
{
    showMaximized();
    m_main.mdiArea()->setActiveSubWindow(this);
}

} // namespace kfc::status
