// The status window's menus (shown in the main frame's menu bar while the window is the
// active child), the password-state check made after every connection, the password
// entries and the commands that act on the counter as a whole.

#include "tfstatus.h"

#include "app/messageboxes.h"
#include "app/program.h"
#include "app/tfblank.h"
#include "app/tfcounterlogon.h"
#include "app/tfmain.h"
#include "link/link.h"
#include "link/password.h"
#include "link/wait.h"

#include <QAction>
#include <QDeadlineTimer>
#include <QLabel>
#include <QMdiArea>
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

bool confirm(const QString& question)
{
    return app::messageBoxes().ask(MessageKind::Warning, question);
}

} // namespace

// The entries that open tool windows, the terminal and the dummy fish window are added
// with those windows; "&Information" holds only such entries and joins with them.
void TfStatus::buildMenus()
{
    menuCounterSetup = makeMenu(QStringLiteral("menuCounterSetup"), QStringLiteral("Counter &Setup"), this);
    ClearCounts1 = addItem(menuCounterSetup, QStringLiteral("ClearCounts1"), QStringLiteral("&Clear Counts"));
    menuCounterSetup->addSeparator();
    menuDisplay = makeMenu(QStringLiteral("menuDisplay"), QStringLiteral("&Display"), this);
    menuDisplay->menuAction()->setObjectName(QStringLiteral("menuDisplayItem"));
    menuCounterSetup->addMenu(menuDisplay);
    menuDisplayKestrova = addItem(menuDisplay, QStringLiteral("menuDisplayKestrova"), QStringLiteral("&Kestrova"));
    menuDisplayCounts = addItem(menuDisplay, QStringLiteral("menuDisplayCounts"), QStringLiteral("&Counts"));

    menuAdvancedSetup = makeMenu(QStringLiteral("menuAdvancedSetup"), QStringLiteral("&Advanced Setup"), this);
    menuPasswords = addItem(menuAdvancedSetup, QStringLiteral("menuPasswords"), QStringLiteral("&Passwords"));
    menuClearPwd = addItem(menuAdvancedSetup, QStringLiteral("menuClearPwd"), QStringLiteral("&Clear Password"));
    menuClearPwd->setEnabled(false);
    menuAdvancedSetup->addSeparator();
    menuRecalibrate = addItem(menuAdvancedSetup, QStringLiteral("menuRecalibrate"), QStringLiteral("&Recalibrate"));
    menuFlush = addItem(menuAdvancedSetup, QStringLiteral("menuFlush"), QStringLiteral("&Flush Buffer"));

    connect(ClearCounts1, &QAction::triggered, this, &TfStatus::ClearCounts1Click);
    connect(menuDisplayKestrova, &QAction::triggered, this, &TfStatus::menuDisplayKestrovaClick);
    connect(menuDisplayCounts, &QAction::triggered, this, &TfStatus::menuDisplayCountsClick);
    connect(menuPasswords, &QAction::triggered, this, &TfStatus::menuPasswordsClick);
    connect(menuClearPwd, &QAction::triggered, this, &TfStatus::menuClearPwdClick);
    connect(menuRecalibrate, &QAction::triggered, this, &TfStatus::menuRecalibrateClick);
    connect(menuFlush, &QAction::triggered, this, &TfStatus::menuFlushClick);
}

QList<QMenu*> TfStatus::mergedMenus() const
{
    QList<QMenu*> menus;
    if (Information1)
        menus << Information1;
    menus << menuCounterSetup << menuAdvancedSetup;
    return menus;
}

// ---- passwords ------------------------------------------------------------------------

void TfStatus::CheckPasswordState()
{
    m_accessGranted = false;
    const QString state = link().QueryPasswordState();
    if (state == PasswordState::New) {
        m_accessGranted = true;
        m_passwordSet = false;
        menuPasswords->setText(QStringLiteral("Set &Password"));
    } else if (state == PasswordState::LoggedOn) {
        m_accessGranted = true;
        m_passwordSet = true;
        menuPasswords->setText(QStringLiteral("Change &Password"));
        DelayWithEvents(kLoggedOnSettleMs);
    } else if (state == PasswordState::Old) {
        if (showPasswordWindow(app::TfCounterLogon::Mode::Logon) == QDialog::Accepted) {
            m_passwordSet = true;
            m_accessGranted = true;
            menuPasswords->setText(QStringLiteral("Change &Password"));
        }
    } else {
        // Without this the operator would be left connected in front of the placeholder,
        // with no word of why the counter is not shown.
        app::messageBoxes().show(MessageKind::Error, QStringLiteral("Invalid Password Response - ") + state);
    }
    menuClearPwd->setEnabled(m_passwordSet);
}

int TfStatus::runOwnDialog(const std::function<int()>& run)
{
    // Closing a dialog of this window gives the focus back to it; that is no activation.
    const bool before = m_activationQuiet;
    m_activationQuiet = true;
    struct Restore {
        bool& flag;
        bool value;
        ~Restore() { flag = value; }
    } restore{m_activationQuiet, before};
    return run();
}

int TfStatus::showPasswordWindow(app::TfCounterLogon::Mode mode)
{
    app::TfCounterLogon* window = app::fCounterLogon;
    if (!window) {
        link().LogLine(QStringLiteral("--  the password window is missing"));
        return QDialog::Rejected;
    }
    return runOwnDialog([window, mode] {
        switch (mode) {
        case app::TfCounterLogon::Mode::Logon: return window->showForLogon();
        case app::TfCounterLogon::Mode::Set: return window->showForSet();
        case app::TfCounterLogon::Mode::Change: return window->showForChange();
        }
        return int(QDialog::Rejected);
    });
}

void TfStatus::menuPasswordsClick()
{
    showPasswordWindow(m_passwordSet ? app::TfCounterLogon::Mode::Change : app::TfCounterLogon::Mode::Set);
}

void TfStatus::menuClearPwdClick()
{
    if (SetCounterPassword(link(), kClearingPassword))
        CheckPasswordState();
}

// ---- maintenance ----------------------------------------------------------------------

void TfStatus::ClearCounts1Click()
{
    if (!confirm(QStringLiteral("Warning! Clearing counts. Are You Sure?")))
        return;
    link().SendCommand(QStringLiteral("1C"));
    RefreshStatus();
}

void TfStatus::menuFlushClick()
{
    if (!confirm(QStringLiteral("Warning. This will flush the buffer of counts. Are you sure?")))
        return;
    link().SendCommand(QStringLiteral("c"));
    RefreshStatus();
}

void TfStatus::menuRecalibrateClick()
{
    if (!confirm(QStringLiteral("Warning! Recalibrating counter. Are You Sure?")))
        return;
    link().SendCommand(QStringLiteral("E1"));
    recalibrateCountdown();
    // The counter is not read again here: the operator refreshes once it is ready.
    bringBackWithoutActivation();
}

void TfStatus::recalibrateCountdown()
{
    const QDeadlineTimer deadline(qint64(kRecalibrateSeconds) * 1000, Qt::PreciseTimer);
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

void TfStatus::bringBackWithoutActivation()
{
    const bool before = m_activationQuiet;
    m_activationQuiet = true;
    showMaximized();
    m_main.mdiArea()->setActiveSubWindow(this);
    m_activationQuiet = before;
}

void TfStatus::menuDisplayKestrovaClick() { link().SendCommand(QStringLiteral("EA0")); }

void TfStatus::menuDisplayCountsClick() { link().SendCommand(QStringLiteral("EA1")); }

} // namespace kfc::status
