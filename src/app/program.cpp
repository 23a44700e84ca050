#include "program.h"

#include "passwordwindow.h"
#include "statuswindowapi.h"
#include "tfblank.h"
#include "tfmain.h"
#include "tfrmdebug.h"

#include "link/hooks.h"
#include "link/portdevice.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QShortcut>

namespace kfc::app {

TfMain* fMain = nullptr;
StatusWindowApi* fStatus = nullptr;
TfBlank* fBlank = nullptr;
PasswordWindow* fCounterLogon = nullptr;
TfrmDebug* frmDebug = nullptr;

namespace {

void installLinkHooks(TfMain* main)
{
    hooks().showProgress = [main](const QString& text) { main->ShowMessageText(text); };
}

void removeLinkHooks()
{
    hooks().showProgress = nullptr;
}

} // namespace

ProgramWindows::ProgramWindows(const StatusFactory& makeStatus, const PasswordFactory& makePassword,
                               std::unique_ptr<PortDevice> device)
{
    m_main = new TfMain(std::move(device));
    fMain = m_main;
    installLinkHooks(m_main);

    fStatus = makeStatus ? makeStatus(*m_main) : nullptr;
    // Out of reach until a connection grants access (OpenAfterConnect shows it).
    m_main->setStatusWindow(fStatus);

    fBlank = new TfBlank;
    m_main->mdiArea()->addSubWindow(fBlank);
    m_main->setBlankWindow(fBlank);
    fBlank->showMaximized();

    fCounterLogon = makePassword ? makePassword(*m_main) : nullptr;

    frmDebug = new TfrmDebug(m_main);
    for (const QString& line : m_main->link().log())
        frmDebug->LogLine(line);
    QObject::connect(&m_main->link(), &Link::logged, frmDebug, &TfrmDebug::LogLine);
    // No menu leads to the log; a technician reaches it with this key.
    auto* showDebug = new QShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+D")), m_main);
    showDebug->setObjectName(QStringLiteral("showDebugLog"));
    QObject::connect(showDebug, &QShortcut::activated, frmDebug, &TfrmDebug::showWithinScreen);
}

ProgramWindows::~ProgramWindows()
{
    delete frmDebug;
    frmDebug = nullptr;
    delete fCounterLogon;
    fCounterLogon = nullptr;
    delete fBlank;
    fBlank = nullptr;
    if (m_main)
        m_main->setStatusWindow(nullptr);
    if (fStatus)
        delete fStatus->subWindow();
    fStatus = nullptr;
    removeLinkHooks();
    delete m_main;
    fMain = nullptr;
}

} // namespace kfc::app
