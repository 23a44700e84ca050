// The status window's menus (shown in the main frame's menu bar while the window is the
// active child), the password-state check made after every connection, the password
// entries and the commands that act on the counter as a whole.

#include "statusmenus.h"

#include "app/application.h"
#include "app/messageboxes.h"
#include "app/passwordwindow.h"
#include "app/program.h"
#include "app/tfblank.h"
#include "app/tfmain.h"
#include "link/link.h"
#include "counter/password.h"
#include "link/untrusted.h"
#include "link/wait.h"
#include "tfstatus.h"

#include <QAction>
#include <QDeadlineTimer>
#include <QDialog>
#include <QLabel>
#include <QMenu>

#include <algorithm>

namespace kfc::status {

namespace {

// What "&Clear Password" sets: the counter takes this value as "no password".
const QString kClearingPassword = QStringLiteral("8642");

QAction* addItem(QMenu* menu, const QString& name, const QString& caption)
{
    QAction* item = menu->addAction(caption);
    item->setObjectName(name);
    return item;
}

QMenu* makeMenu(const QString& name, const QString& title, QWidget* owner)
{
    auto* menu = new QMenu(title, owner);
    menu->setObjectName(name);
    return menu;
}

// Every question here guards a command that destroys data on the counter: Enter says No.
bool confirm(const QString& question)
{
    return app::messageBoxes().ask(MessageKind::Warning, question, app::MessageBoxes::Default::No);
}

} // namespace

StatusMenus::StatusMenus(app::TfMain& main, TfStatus& window) : m_main(main), m_window(window)
{
    buildMenus();
    connectItems();
}

QAction* StatusMenus::addTool(QMenu* menu, const QString& name, const QString& caption, app::Tool tool)
{
    QAction* item = addItem(menu, name, caption);
    connect(item, &QAction::triggered, this, [this, tool] { app::showingErrors([this, tool] { openTool(tool); }); });
    m_toolEntries.push_back({item, tool});
    return item;
}

void StatusMenus::buildMenus()
{
    QWidget* owner = &m_window;
    Information1 = makeMenu(QStringLiteral("Information1"), QStringLiteral("&Information"), owner);
    addTool(Information1, QStringLiteral("menuDownload"), QStringLiteral("&Download"), app::Tool::Download);
    addTool(Information1, QStringLiteral("menuConductivity"), QStringLiteral("C&urrent Conductivity"),
            app::Tool::CurrentConductivity);

    menuCounterSetup = makeMenu(QStringLiteral("menuCounterSetup"), QStringLiteral("Counter &Setup"), owner);
    addTool(menuCounterSetup, QStringLiteral("menuDummyFish"), QStringLiteral("Insert Dummy &Fish"),
            app::Tool::DummyFish);
    ClearCounts1 = addItem(menuCounterSetup, QStringLiteral("ClearCounts1"), QStringLiteral("&Clear Counts"));
    menuCounterSetup->addSeparator();
    menuDisplay = makeMenu(QStringLiteral("menuDisplay"), QStringLiteral("&Display"), owner);
    menuDisplay->menuAction()->setObjectName(QStringLiteral("menuDisplayItem"));
    menuCounterSetup->addMenu(menuDisplay);
    menuDisplayKestrova = addItem(menuDisplay, QStringLiteral("menuDisplayKestrova"), QStringLiteral("&Kestrova"));
    menuDisplayCounts = addItem(menuDisplay, QStringLiteral("menuDisplayCounts"), QStringLiteral("&Counts"));
    addTool(menuCounterSetup, QStringLiteral("menuProbe"), QStringLiteral("&Probe Calibrate"),
            app::Tool::ProbeCalibrate);
    // Beside the dummy fish: the one menu that stays open while continuous update runs.
    menuCounterSetup->addSeparator();
    menuSaveSession = addItem(menuCounterSetup, QStringLiteral("menuSaveSession"), QStringLiteral("&Save Session..."));

    menuAdvancedSetup = makeMenu(QStringLiteral("menuAdvancedSetup"), QStringLiteral("&Advanced Setup"), owner);
    addTool(menuAdvancedSetup, QStringLiteral("BaudRate1"), QStringLiteral("Set &Baud Rate"), app::Tool::BaudRate);
    addTool(menuAdvancedSetup, QStringLiteral("menuSendCommand"), QStringLiteral("&Send Command"),
            app::Tool::SendCommand);
    menuAdvancedSetup->addSeparator();
    menuPasswords = addItem(menuAdvancedSetup, QStringLiteral("menuPasswords"), QStringLiteral("&Passwords"));
    menuClearPwd = addItem(menuAdvancedSetup, QStringLiteral("menuClearPwd"), QStringLiteral("&Clear Password"));
    menuAdvancedSetup->addSeparator();
    menuRecalibrate = addItem(menuAdvancedSetup, QStringLiteral("menuRecalibrate"), QStringLiteral("&Recalibrate"));
    menuFlush = addItem(menuAdvancedSetup, QStringLiteral("menuFlush"), QStringLiteral("&Flush Buffer"));
    addTool(menuAdvancedSetup, QStringLiteral("menuWeirDim"), QStringLiteral("&Weir Dimensions"),
            app::Tool::WeirDimensions);
    menuAdvancedSetup->addSeparator();
    addTool(menuAdvancedSetup, QStringLiteral("menuTerminal"), QStringLiteral("&Terminal"), app::Tool::Terminal);
}

void StatusMenus::connectItems()
{
    // The tools are registered after this window is made; their entries are usable once
    // a window is there to open.
    for (QMenu* menu : {Information1, menuCounterSetup, menuAdvancedSetup})
        connect(menu, &QMenu::aboutToShow, this, &StatusMenus::changed);

    connect(ClearCounts1, &QAction::triggered, this, &StatusMenus::ClearCounts1Click);
    connect(menuDisplayKestrova, &QAction::triggered, this, &StatusMenus::menuDisplayKestrovaClick);
    connect(menuDisplayCounts, &QAction::triggered, this, &StatusMenus::menuDisplayCountsClick);
    connect(menuPasswords, &QAction::triggered, this, &StatusMenus::menuPasswordsClick);
    connect(menuClearPwd, &QAction::triggered, this, &StatusMenus::menuClearPwdClick);
    connect(menuRecalibrate, &QAction::triggered, this, &StatusMenus::menuRecalibrateClick);
    connect(menuFlush, &QAction::triggered, this, &StatusMenus::menuFlushClick);
    connect(menuSaveSession, &QAction::triggered, &m_window, &TfStatus::menuSaveSessionClick);
}

void StatusMenus::updateEnabling(bool lineBusy, bool updating, bool sessionKept)
{
    // During continuous update only Counter Setup stays open, and in it only the dummy
    // fish, whose fish show in the list of lines, and the session's saving, which says
    // nothing to the counter.
    const bool free = !lineBusy && !updating;
    Information1->menuAction()->setEnabled(free);
    menuAdvancedSetup->menuAction()->setEnabled(free);
    menuCounterSetup->menuAction()->setEnabled(!lineBusy);
    for (QAction* item : menuCounterSetup->actions())
        item->setEnabled(free);
    for (const ToolEntry& entry : m_toolEntries) {
        const bool allowed = free || (entry.tool == app::Tool::DummyFish && !lineBusy);
        entry.item->setEnabled(m_main.hasTool(entry.tool) && allowed);
    }
    menuClearPwd->setEnabled(free && m_passwordSet);
    menuSaveSession->setEnabled(sessionKept);
}

void StatusMenus::openTool(app::Tool tool)
{
    // "&Terminal" watches the line's activity; the lamps are switched on before it opens.
    if (tool == app::Tool::Terminal)
        m_main.comPort().switchMonitoringOn();
    m_main.openTool(tool, m_window);
}

QList<QMenu*> StatusMenus::menus() const
{
    return {Information1, menuCounterSetup, menuAdvancedSetup};
}

// ---- passwords ------------------------------------------------------------------------

void StatusMenus::CheckPasswordState()
{
    m_accessGranted = false;
    const QString reply = QueryPasswordStateOnConnect(m_main.link());
    const PasswordState state = ClassifyPasswordState(reply);
    if (state == PasswordState::New) {
        m_accessGranted = true;
        m_passwordSet = false;
        menuPasswords->setText(QStringLiteral("Set &Password"));
    } else if (state == PasswordState::LoggedOn) {
        m_accessGranted = true;
        m_passwordSet = true;
        menuPasswords->setText(QStringLiteral("Change &Password"));
        DelayWithEvents(unsigned(m_main.link().timing.loggedOnSettleMs));
    } else if (state == PasswordState::Old) {
        if (showPasswordWindow(app::PasswordWindow::Mode::Logon) == QDialog::Accepted) {
            m_passwordSet = true;
            m_accessGranted = true;
            menuPasswords->setText(QStringLiteral("Change &Password"));
        }
    } else if (state == PasswordState::NoAnswer) {
        // Nothing answers on this port: the line is dropped at once, since a log-off would
        // only wait for the same silence.
        app::messageBoxes().show(MessageKind::Error,
                                 QStringLiteral("Invalid Password Response - the counter did not answer. "
                                                "Check the cable, the port and the counter's power."));
        m_main.dropLine();
    } else {
        // Without this the operator would be left connected in front of the placeholder,
        // with no word of why the counter is not shown.
        app::messageBoxes().show(MessageKind::Error, QStringLiteral("Invalid Password Response - ") + printable(reply));
    }
    emit changed();
}

int StatusMenus::showPasswordWindow(app::PasswordWindow::Mode mode)
{
    app::PasswordWindow* window = app::fCounterLogon;
    if (!window) {
        m_main.link().LogLine(QStringLiteral("--  the password window is missing"));
        return QDialog::Rejected;
    }
    return m_window.runOwnDialog([window, mode] {
        switch (mode) {
        case app::PasswordWindow::Mode::Logon: return window->showForLogon();
        case app::PasswordWindow::Mode::Set: return window->showForSet();
        case app::PasswordWindow::Mode::Change: return window->showForChange();
        }
        return int(QDialog::Rejected);
    });
}

void StatusMenus::menuPasswordsClick()
{
    app::showingErrors([this] {
        // A password set or changed puts the counter in another state: ask it, so that the
        // menu offers what now fits ("Change &Password", "&Clear Password").
        if (showPasswordWindow(m_passwordSet ? app::PasswordWindow::Mode::Change : app::PasswordWindow::Mode::Set)
            == QDialog::Accepted)
            CheckPasswordState();
    });
}

void StatusMenus::menuClearPwdClick()
{
    app::showingErrors([this] {
        if (!confirm(QStringLiteral("Warning! Clearing password. Are You Sure?")))
            return;
        if (SetCounterPassword(m_main.link(), kClearingPassword))
            CheckPasswordState();
    });
}

// ---- maintenance ----------------------------------------------------------------------

void StatusMenus::ClearCounts1Click()
{
    app::showingErrors([this] {
        if (!confirm(QStringLiteral("Warning! Clearing counts. Are You Sure?")))
            return;
        m_main.link().SendCommand(QStringLiteral("1C"));
        m_window.RefreshStatus();
    });
}

void StatusMenus::menuFlushClick()
{
    app::showingErrors([this] {
        if (!confirm(QStringLiteral("Warning. This will flush the buffer of counts. Are you sure?")))
            return;
        m_main.link().SendCommand(QStringLiteral("c"));
        m_window.RefreshStatus();
    });
}

void StatusMenus::menuRecalibrateClick()
{
    app::showingErrors([this] {
        if (!confirm(QStringLiteral("Warning! Recalibrating counter. Are You Sure?")))
            return;
        m_main.link().SendCommand(QStringLiteral("E1"));
        recalibrateCountdown();
        // The counter is not read again here: the operator refreshes once it is ready. A
        // line that ended during the countdown has left the placeholder in front, and the
        // window of a dead connection stays hidden.
        if (m_main.comPort().PortIsOpen())
            m_window.bringBackWithoutActivation();
    });
}

void StatusMenus::recalibrateCountdown()
{
    const QDeadlineTimer deadline(qint64(m_main.link().timing.recalibrateMs), Qt::PreciseTimer);
    app::TfBlank* blank = m_main.blankWindow();
    QLabel* panel = blank ? blank->panMain() : nullptr;
    if (panel)
        panel->clear();
    m_main.showBlank();
    while (true) {
        const qint64 remainingMs = deadline.remainingTime();
        const qint64 seconds = (remainingMs + 500) / 1000;
        if (panel)
            panel->setText(QStringLiteral("%1 Seconds until reset complete").arg(seconds));
        if (deadline.hasExpired())
            return;
        // Sleep until the rounded number of seconds goes down by one.
        const qint64 untilNext = remainingMs - (seconds * 1000 - 500) + 1;
        DelayWithEvents(unsigned(std::max<qint64>(1, std::min(untilNext, remainingMs))));
    }
}

void StatusMenus::menuDisplayKestrovaClick()
{
    app::showingErrors([this] { m_main.link().SendCommand(QStringLiteral("EA0")); });
}

void StatusMenus::menuDisplayCountsClick()
{
    app::showingErrors([this] { m_main.link().SendCommand(QStringLiteral("EA1")); });
}

} // namespace kfc::status
