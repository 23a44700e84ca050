// The status window: activation, the view and edit modes, the buttons, and the one
// decision on which controls are usable.

#include "tfstatus.h"

#include "app/application.h"
#include "app/buttonmnemonics.h"
#include "app/messageboxes.h"
#include "app/tfmain.h"
#include "contupdate.h"
#include "counter/counterstatus.h"
#include "link/link.h"
#include "statusform.h"
#include "statusmenus.h"

#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMessageBox>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollArea>

namespace kfc::status {

TfStatus::TfStatus(app::TfMain& main)
    : m_main(main),
      m_form(new StatusForm),
      m_update(std::make_unique<ContinuousUpdate>(main.link(), *m_form, [this] { updateControls(); })),
      m_menus(std::make_unique<StatusMenus>(main, *this))
{
    setObjectName(QStringLiteral("fStatus"));
    setWindowTitle(kCaption);
    // A scroll area lets a smaller frame reach every control instead of cutting them off.
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("scrStatus"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(m_form);
    setWidget(scroll);
    connectForm();
    connect(m_menus.get(), &StatusMenus::changed, this, &TfStatus::updateControls);
    // The tool windows are registered after this window is made.
    connect(&m_main, &app::TfMain::toolsChanged, this, &TfStatus::updateControls);
    SetEditMode(false);
    // Added as a window of its own (not wrapped), so that closing it hides it and the
    // next connection shows it again.
    m_main.mdiArea()->addSubWindow(this);
    hide();
    connect(m_main.mdiArea(), &QMdiArea::subWindowActivated, this, &TfStatus::onSubWindowActivated);
    connect(&link(), &Link::holdChanged, this, &TfStatus::updateControls);
    // Queued: the line is let go at the end of another window's handler, which finishes first.
    connect(&link(), &Link::holdChanged, this, &TfStatus::readOnceLineFree, Qt::QueuedConnection);
    // "&Save" and the "Counter &Setup" menu share a letter: in edit mode Alt+S saves.
    app::giveButtonsMnemonicPriority(this);
    showNoValues();
}

TfStatus::~TfStatus()
{
    // The sub-window's own destructor, which runs after this one, tells the area that the
    // active window changed; the area must not call back into this half-destroyed window.
    if (QMdiArea* area = mdiArea())
        disconnect(area, nullptr, this, nullptr);
    // Nor the link: the window's parts go before its children, and the link must not
    // ask them for the controls' state in between.
    disconnect(&link(), nullptr, this, nullptr);
}

Link& TfStatus::link() const { return m_main.link(); }

CounterStatus& TfStatus::record() const { return counterStatus(); }

CounterStatus& TfStatus::status() { return record(); }

bool TfStatus::contUpdActive() const { return m_update->active(); }

QString TfStatus::profileCell(int column) const { return m_form->profileCell(column); }

void TfStatus::setProfileCell(int column, const QString& text) { m_form->setProfileCell(column, text); }

QString TfStatus::profileType() const { return m_form->profileType(); }

void TfStatus::setProfileType(const QString& type) { m_form->setProfileType(type); }

QList<QMenu*> TfStatus::mergedMenus() const { return m_menus->menus(); }

bool TfStatus::accessGranted() const { return m_menus->accessGranted(); }

bool TfStatus::passwordSet() const { return m_menus->passwordSet(); }

bool TfStatus::dateChanged() const { return m_form->dateChanged(); }

bool TfStatus::timeChanged() const { return m_form->timeChanged(); }

void TfStatus::CheckPasswordState() { m_menus->CheckPasswordState(); }

void TfStatus::connectForm()
{
    const StatusForm::Buttons& buttons = m_form->buttons();
    connect(buttons.refresh, &QPushButton::clicked, this, &TfStatus::bbtnRefreshClick);
    connect(buttons.change, &QPushButton::clicked, this, &TfStatus::bbtnChangeClick);
    connect(buttons.save, &QPushButton::clicked, this, &TfStatus::bbtnSaveClick);
    connect(buttons.cancel, &QPushButton::clicked, this, &TfStatus::bbtnCancelClick);
    connect(buttons.contUpd, &QPushButton::clicked, this, &TfStatus::bbtnContUpdClick);
    connect(buttons.profile, &QPushButton::clicked, this, &TfStatus::bbtnProfileClick);
    connect(m_form, &StatusForm::profileGridDoubleClicked, this, &TfStatus::sgCondDblClick);
    connect(m_form, &StatusForm::contOutputChosen, this, &TfStatus::cbContOutputChange);
    connect(m_form, &StatusForm::dumpChosen, this, &TfStatus::cbDumpChange);
}

// ---- activation -----------------------------------------------------------------------

void TfStatus::onSubWindowActivated(QMdiSubWindow* window)
{
    // No child is active while a dialog has the focus, and when the main frame becomes the
    // active window again the focus may pass through the placeholder on its way back.
    // Neither is the operator turning to this window from another one.
    if (!window || window == m_main.blankWindow())
        return;
    const QMdiSubWindow* previous = m_lastActiveChild;
    m_lastActiveChild = window;
    // Run from the area's signal: an error of the read it starts must not pass through Qt.
    if (window == this && previous != this && !m_activationQuiet)
        app::showingErrors([this] { FormActivate(); });
}

void TfStatus::FormActivate()
{
    if (!isMaximized())
        showMaximized();
    m_form->setGridTitles();
    // Continuous update keeps its mode; it is left through "&Cancel" only.
    if (m_update->active())
        return;
    SetEditMode(false);
    if (!m_main.comPort().PortIsOpen())
        return;
    // Another window's dialogue (a download, a terminal) has the line: the read would only
    // be refused. Nothing is asked now; the window reads once the line is free.
    if (!link().lineFree()) {
        m_readWhenLineFree = true;
        return;
    }
    RefreshStatus();
}

void TfStatus::readOnceLineFree()
{
    if (!m_readWhenLineFree || !link().lineFree())
        return;
    m_readWhenLineFree = false;
    // Only while the operator is still looking at this window, with nothing of theirs to lose.
    if (!isVisible() || m_main.mdiArea()->currentSubWindow() != this || m_update->active() || m_editMode
        || !m_main.comPort().PortIsOpen())
        return;
    app::showingErrors([this] { RefreshStatus(); });
}

bool TfStatus::OpenAfterConnect()
{
    m_readWhenLineFree = false;
    m_menus->CheckPasswordState();
    // The check waits for the counter; a hang-up or a dead line may have come meanwhile.
    if (!m_main.comPort().PortIsOpen())
        m_menus->withdrawAccess();
    if (!m_menus->accessGranted())
        return false;
    // What the last connection showed is not this counter's.
    showNoValues();
    {
        // Brought to the front here, and started afresh below exactly once.
        const QScopedValueRollback quiet(m_activationQuiet, true);
        showMaximized();
        m_main.mdiArea()->setActiveSubWindow(this);
        widget()->setFocus(Qt::OtherFocusReason);
        m_lastActiveChild = this;
    }
    FormActivate();
    return true;
}

int TfStatus::runOwnDialog(const std::function<int()>& run)
{
    // Closing a dialog of this window gives the focus back to it; that is no activation.
    const QScopedValueRollback quiet(m_activationQuiet, true);
    return run();
}

void TfStatus::bringBackWithoutActivation()
{
    const QScopedValueRollback quiet(m_activationQuiet, true);
    showMaximized();
    m_main.mdiArea()->setActiveSubWindow(this);
}

void TfStatus::hideWindow()
{
    m_menus->withdrawAccess();
    m_valuesKnown = false;
    m_readWhenLineFree = false;
    // A tool open over this window belongs to the connection that has ended: it goes too,
    // rather than stay on screen with nothing to talk to. One still talking closes when
    // its handler returns.
    for (QDialog* tool : findChildren<QDialog*>(Qt::FindDirectChildrenOnly)) {
        if (tool->isVisible() && !qobject_cast<QMessageBox*>(tool))
            tool->done(QDialog::Rejected);
    }
    // Hidden, not closed: closing a sub-window also closes the widget it holds, and the
    // window would come back empty on the next connection.
    hide();
}

void TfStatus::closeEvent(QCloseEvent* event)
{
    event->ignore();
    // The counter streams its lines: a hang-up now would leave it streaming.
    if (m_update->active()) {
        app::messageBoxes().show(MessageKind::Information, app::TfMain::kContUpdRunning);
        return;
    }
    if (!m_main.comPort().PortIsOpen()) {
        hideWindow();
        return;
    }
    // After the close event has run its course: the hang-up asks and talks to the counter.
    QMetaObject::invokeMethod(&m_main, &app::TfMain::menuConnectHangupClick, Qt::QueuedConnection);
}

void TfStatus::updateControls()
{
    // While a dialogue holds the line nothing here may start another one, the dialogue's
    // own window included; the listener of continuous update is this window's own mode.
    const bool lineBusy = link().busy();
    const bool updating = m_update->active();
    const bool viewing = !m_editMode && !updating && !lineBusy;
    const StatusForm::Buttons& b = m_form->buttons();
    b.refresh->setEnabled(viewing);
    b.change->setEnabled(viewing && m_valuesKnown);
    b.contUpd->setEnabled(viewing && m_valuesKnown);
    b.save->setEnabled(m_editMode && !lineBusy);
    b.cancel->setEnabled((m_editMode || updating) && !lineBusy);
    b.syncTime->setEnabled(m_editMode && !lineBusy);
    b.profile->setEnabled(m_editMode && !lineBusy && m_main.hasTool(app::Tool::Profile));
    b.profile->setToolTip(m_main.hasTool(app::Tool::Profile) ? QString()
                                                             : QStringLiteral("Profile calibration is not available"));
    // In edit mode the settings themselves can start a command (" Dump", "Cont. Output").
    // Re-enabling a parent gives each child back its own state.
    m_form->setEnabled(!(lineBusy && m_editMode));
    m_menus->updateEnabling(lineBusy, updating, m_update->sessionKept());
}

// ---- reading and showing --------------------------------------------------------------

void TfStatus::RefreshStatus() { readStatus(false); }

void TfStatus::readStatus(bool keepSession)
{
    // Any read is the one an activation put off.
    m_readWhenLineFree = false;
    if (!ReadCounterStatus(link(), record()))
        return;
    m_valuesKnown = true;
    if (!keepSession && !m_update->active())
        m_update->forgetSession();
    ShowStatus();
    updateControls();
}

void TfStatus::showNoValues()
{
    m_valuesKnown = false;
    m_form->showNoValues();
    updateControls();
}

void TfStatus::ShowStatus() { m_form->showRecord(record()); }

void TfStatus::ShowChannel(int n) { m_form->showChannel(n, record().channel(n)); }

// ---- modes --------------------------------------------------------------------------

void TfStatus::SetEditMode(bool on)
{
    m_editMode = on;
    m_form->setEditable(on);
    updateControls();
}

void TfStatus::bbtnContUpdClick() { m_update->bbtnContUpdClick(); }

void TfStatus::SetContinuousUpdate(bool on) { m_update->SetContinuousUpdate(on); }

QString TfStatus::eventStamp(const QDateTime& when) { return ContinuousUpdate::eventStamp(when); }

void TfStatus::menuSaveSessionClick()
{
    app::showingErrors([this] {
        const QDateTime started = m_update->session().lines().isEmpty() ? record().dateTime
                                                                        : m_update->session().lines().first().stamp;
        const QString suggested = QDir(QDir::homePath())
                                      .filePath(QStringLiteral("session-%1.csv")
                                                    .arg(started.toString(QStringLiteral("yyyy-MM-dd-HHmm"))));
        QString fileName;
        runOwnDialog([&] {
            fileName = app::messageBoxes().askSaveFileName(this, QStringLiteral("Save Session"), suggested,
                                                           QStringLiteral("CSV files (*.csv);;All files (*)"),
                                                           QStringLiteral("csv"));
            return 0;
        });
        if (fileName.isEmpty())
            return;
        QString error;
        if (!m_update->saveSession(fileName, &error))
            app::messageBoxes().show(MessageKind::Error, QStringLiteral("Cannot save the session to %1: %2")
                                                             .arg(QDir::toNativeSeparators(fileName), error));
    });
}

// ---- handlers -----------------------------------------------------------------------

void TfStatus::bbtnRefreshClick()
{
    app::showingErrors([this] { RefreshStatus(); });
}

void TfStatus::bbtnChangeClick()
{
    m_form->forgetClockChanges();
    SetEditMode(true);
    m_form->UpdateEventControls();
}

void TfStatus::bbtnSaveClick()
{
    // A save refused part way (a malformed cell) leaves the window in edit mode.
    app::showingErrors([this] {
        SaveChanges();
        SetEditMode(false);
        RefreshStatus();
    });
}

void TfStatus::bbtnCancelClick()
{
    app::showingErrors([this] {
        if (m_update->active()) {
            // The stop and the read after it run inside the listener's wait: one dialogue
            // that the listener gives way to.
            auto hold = link().holdLine(Link::HoldKind::Interrupt);
            SetContinuousUpdate(false);
            readStatus(true);
            return;
        }
        SetEditMode(false);
        RefreshStatus();
    });
}

void TfStatus::bbtnProfileClick()
{
    // The profile window runs its dialog through runOwnDialog: closing it must not count
    // as activating this window again, which would leave edit mode and read the counter.
    m_main.openTool(app::Tool::Profile, *this);
}

void TfStatus::sgCondDblClick()
{
    if (m_form->buttons().profile->isEnabled())
        bbtnProfileClick();
}

void TfStatus::keyPressEvent(QKeyEvent* event)
{
    // Enter saves and Escape cancels, as a dialog's default and cancel buttons do.
    const int key = event->key();
    QPushButton* save = m_form->buttons().save;
    QPushButton* cancel = m_form->buttons().cancel;
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && save->isEnabled()) {
        save->click();
        return;
    }
    if (key == Qt::Key_Escape && cancel->isEnabled()) {
        cancel->click();
        return;
    }
    QMdiSubWindow::keyPressEvent(event);
}

} // namespace kfc::status
