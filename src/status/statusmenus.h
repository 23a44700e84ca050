#pragma once
// The status window's menus (shown in the main frame's menu bar while the window is the
// active child), the password state asked after every connection, the password entries,
// and the commands that act on the counter as a whole.

#include "app/passwordwindow.h"
#include "app/statusaccess.h"

#include <QObject>

#include <vector>

class QAction;
class QMenu;

namespace kfc::app {
class TfMain;
}

namespace kfc::status {

class TfStatus;

class StatusMenus : public QObject {
    Q_OBJECT
public:
    // The menus belong to the window, which shows what the commands read.
    StatusMenus(app::TfMain& main, TfStatus& window);

    // In the order they appear in the menu bar.
    QList<QMenu*> menus() const;
    // The menus' part of the window's one decision on what is usable. sessionKept: the
    // lines of a continuous update are there to be saved.
    void updateEnabling(bool lineBusy, bool updating, bool sessionKept);

    // Asks the counter's password state and logs on when a password is in force; access
    // is granted when the counter may be shown.
    void CheckPasswordState();
    bool accessGranted() const { return m_accessGranted; }
    bool passwordSet() const { return m_passwordSet; }
    // The connection has ended, or the line died during the check.
    void withdrawAccess() { m_accessGranted = false; }

    void ClearCounts1Click();
    void menuFlushClick();
    void menuRecalibrateClick();
    void menuDisplayKestrovaClick();
    void menuDisplayCountsClick();
    void menuPasswordsClick();
    void menuClearPwdClick();

signals:
    // The password state changed, or a menu is about to show (the tools are registered
    // after the window is made): the window decides again what is usable.
    void changed();

private:
    void buildMenus();
    QAction* addTool(QMenu* menu, const QString& name, const QString& caption, app::Tool tool);
    void connectItems();
    void openTool(app::Tool tool);
    int showPasswordWindow(app::PasswordWindow::Mode mode);
    void recalibrateCountdown();

    app::TfMain& m_main;
    TfStatus& m_window;
    bool m_accessGranted = false;
    bool m_passwordSet = false;

    struct ToolEntry {
        QAction* item;
        app::Tool tool;
    };
    std::vector<ToolEntry> m_toolEntries;
    QMenu* Information1 = nullptr;
    QMenu* menuCounterSetup = nullptr;
    QMenu* menuAdvancedSetup = nullptr;
    QMenu* menuDisplay = nullptr;
    QAction* ClearCounts1 = nullptr;
    QAction* menuDisplayKestrova = nullptr;
    QAction* menuDisplayCounts = nullptr;
    QAction* menuPasswords = nullptr;
    QAction* menuClearPwd = nullptr;
    QAction* menuRecalibrate = nullptr;
    QAction* menuFlush = nullptr;
    QAction* menuSaveSession = nullptr;
};

} // namespace kfc::status
