#pragma once
// The terminal window: a plain text terminal on the counter's line. While it is open the
// line is its own: every byte received is shown, every key typed is sent, and no command
// of the program can take the line. Opened from the main frame's Connect menu (connect
// mode: leave by going on to the status window or by dropping the line) or from the status
// window (plain mode: leave back to it).

#include "link/link.h"
#include "app/mergedmenus.h"

#include <QMdiSubWindow>
#include <QPointer>

#include <optional>

class QAction;
class QMenu;

namespace kfc::app {
class TfMain;
}

namespace kfc::connect {

class TerminalView;

class TfTerminal : public QMdiSubWindow, public app::MergedMenus {
    Q_OBJECT
public:
    // Opens the terminal on the main frame's open port, or brings the open one to the
    // front. Refused with LineBusyError while a command holds the line.
    static TfTerminal* open(app::TfMain& main, bool connectMode);
    // Closes the open terminal, if there is one (the connection is dropping).
    static void closeOpen();

    ~TfTerminal() override;

    void SetConnectMode(bool flag);
    bool connectMode() const { return m_connectMode; }
    void CloseTerminal();

    TerminalView* view() const { return m_view; }
    QList<QMenu*> mergedMenus() const override;

    // Handlers.
    void FormActivate();
    void menuConnectCloseClick();
    void menuDisconnectCloseClick();
    void menuCloseClick();
    void menuNewLineOnCrClick();

    // The kept choice of "&New Line on CR"; on unless the user turned it off.
    static bool storedNewLineOnCr();

protected:
    // No close box and no shortcut closes it: its menu items are the ways out.
    void closeEvent(QCloseEvent* event) override;

private:
    explicit TfTerminal(app::TfMain& main);
    void attach();
    void detach();
    void takeInput();

    app::TfMain& m_main;
    TerminalView* m_view = nullptr;
    QMenu* m_menu = nullptr;
    QAction* m_menuConnectClose = nullptr;
    QAction* m_menuDisconnectClose = nullptr;
    QAction* m_menuClose = nullptr;
    QAction* m_menuNewLineOnCr = nullptr;
    bool m_connectMode = false;
    bool m_closing = false;
    std::optional<Link::LineHold> m_hold;
    QMetaObject::Connection m_input;
};

// The open terminal; null when none is.
extern QPointer<TfTerminal> fTerminal;

} // namespace kfc::connect
