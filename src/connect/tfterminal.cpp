#include "tfterminal.h"

#include "terminalview.h"

#include "app/application.h"
#include "app/settingsstore.h"
#include "app/statuswindowapi.h"
#include "app/tfmain.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMenu>

namespace kfc::connect {

QPointer<TfTerminal> fTerminal;

TfTerminal* TfTerminal::open(app::TfMain& main, bool connectMode)
{
    if (!fTerminal) {
        auto* terminal = new TfTerminal(main);
        fTerminal = terminal;
        main.mdiArea()->addSubWindow(terminal);
        terminal->SetConnectMode(false);
        terminal->showMaximized();
    }
    if (connectMode)
        fTerminal->SetConnectMode(true);
    main.mdiArea()->setActiveSubWindow(fTerminal);
    return fTerminal;
}

void TfTerminal::closeOpen()
{
    if (!fTerminal)
        return;
    // The placeholder goes in front first: the status window behind must not become
    // active and start reading a counter that is being left.
    fTerminal->m_main.showBlank();
    fTerminal->CloseTerminal();
}

TfTerminal::TfTerminal(app::TfMain& main)
    : QMdiSubWindow(nullptr, Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_main(main)
{
    // First, so that a busy line refuses the window before anything of it exists.
    attach();
    setObjectName(QStringLiteral("fTerminal"));
    setWindowTitle(QStringLiteral("Terminal"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_view = new TerminalView(this);
    setWidget(m_view);
    connect(m_view, &TerminalView::typed, this, [this](const QByteArray& bytes) {
        // Nothing is checked and nothing is echoed: what the far end sends back is shown.
        app::showingErrors([this, &bytes] {
            if (m_main.comPort().PortIsOpen())
                m_main.comPort().WriteText(bytes);
        });
    });

    m_menu = new QMenu(QStringLiteral("&Terminal"), this);
    m_menu->setObjectName(QStringLiteral("Connect1"));
    auto addItem = [this](const QString& name, const QString& caption, void (TfTerminal::*handler)()) {
        QAction* item = m_menu->addAction(caption);
        item->setObjectName(name);
        connect(item, &QAction::triggered, this, handler);
        return item;
    };
    // The counter ends its lines with CR alone; the choice is the user's and is kept.
    m_menuNewLineOnCr = addItem(QStringLiteral("menuNewLineOnCR"), QStringLiteral("&New Line on CR"),
                                &TfTerminal::menuNewLineOnCrClick);
    m_menuNewLineOnCr->setCheckable(true);
    m_menuNewLineOnCr->setChecked(storedNewLineOnCr());
    m_view->screen().setNewLineOnCr(m_menuNewLineOnCr->isChecked());
    m_menu->addSeparator();
    m_menuConnectClose = addItem(QStringLiteral("menuConnectClose"), QStringLiteral("Close and &Connect"),
                                 &TfTerminal::menuConnectCloseClick);
    m_menuDisconnectClose = addItem(QStringLiteral("menuDisconnectClose"),
                                    QStringLiteral("Close and &Disconnect"),
                                    &TfTerminal::menuDisconnectCloseClick);
    m_menuClose = addItem(QStringLiteral("menuClose"), QStringLiteral("&Close"), &TfTerminal::menuCloseClick);

    connect(this, &QMdiSubWindow::windowStateChanged, this,
            [this](Qt::WindowStates before, Qt::WindowStates now) {
                if (!(before & Qt::WindowActive) && (now & Qt::WindowActive))
                    FormActivate();
            });
    takeInput();
}

TfTerminal::~TfTerminal() { detach(); }

void TfTerminal::attach()
{
    m_main.comPort().switchMonitoringOn();
    m_hold.emplace(m_main.link().holdLine(Link::HoldKind::Owner));
    m_input = connect(&m_main.comPort(), &ComPort::inputArrived, this, &TfTerminal::takeInput);
}

void TfTerminal::detach()
{
    disconnect(m_input);
    m_hold.reset();
}

void TfTerminal::takeInput()
{
    ComPort& port = m_main.comPort();
    if (m_hold && m_view && port.PortIsOpen() && port.InputAvailable())
        m_view->receive(port.readAll());
}

QList<QMenu*> TfTerminal::mergedMenus() const { return {m_menu}; }

void TfTerminal::SetConnectMode(bool flag)
{
    m_connectMode = flag;
    m_main.setConnectMenuShown(false);
    m_menuClose->setVisible(!flag);
    m_menuConnectClose->setVisible(flag);
    m_menuDisconnectClose->setVisible(flag);
}

void TfTerminal::FormActivate()
{
    if (!isMaximized())
        showMaximized();
    m_view->setFocus();
}

void TfTerminal::CloseTerminal()
{
    m_main.setConnectMenuShown(true);
    // The line is free again at once; the window goes when the handler has returned.
    detach();
    m_closing = true;
    close();
    if (fTerminal == this)
        fTerminal = nullptr;
}

void TfTerminal::closeEvent(QCloseEvent* event)
{
    if (!m_closing) {
        event->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(event);
}

bool TfTerminal::storedNewLineOnCr()
{
    return app::SettingsStore::open()->value(app::SettingName::TerminalNewLineOnCR, true).toBool();
}

void TfTerminal::menuNewLineOnCrClick()
{
    // Only what arrives from now on: the screen already shown stays as it is, and
    // nothing that is sent changes.
    const bool on = m_menuNewLineOnCr->isChecked();
    m_view->screen().setNewLineOnCr(on);
    auto store = app::SettingsStore::open();
    store->setValue(app::SettingName::TerminalNewLineOnCR, on);
    store->sync();
    if (store->status() != QSettings::NoError)
        qWarning("The terminal's New Line on CR could not be saved to %s.", qPrintable(store->fileName()));
}

void TfTerminal::menuConnectCloseClick()
{
    app::TfMain& main = m_main;
    // The placeholder, not the status window, takes the front when the terminal goes:
    // the status window shows itself once the logon has granted access.
    main.showBlank();
    CloseTerminal();
    main.ShowConnectionState();
    // As for a direct connection: no second connection from the menu during the logon.
    main.openStatusAfterConnect();
}

void TfTerminal::menuDisconnectCloseClick()
{
    app::TfMain& main = m_main;
    // Out of reach, not closed: closing it would ask to hang up a line that is being
    // dropped here anyway.
    if (main.statusWindow())
        main.statusWindow()->hideWindow();
    main.showBlank();
    main.comPort().ClosePort();
    main.comPort().TapiMode = false;
    CloseTerminal();
    main.ShowConnectionState();
}

void TfTerminal::menuCloseClick()
{
    app::TfMain& main = m_main;
    CloseTerminal();
    if (main.statusWindow() && main.statusWindow()->subWindow()) {
        QMdiSubWindow* status = main.statusWindow()->subWindow();
        status->showMaximized();
        main.mdiArea()->setActiveSubWindow(status);
    }
}

} // namespace kfc::connect
