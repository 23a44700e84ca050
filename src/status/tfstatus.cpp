// The status window: activation, view and edit modes, and showing the status record.

#include "tfstatus.h"

#include "app/application.h"
#include "app/buttonmnemonics.h"
#include "app/messageboxes.h"
#include "app/tfmain.h"
#include "counter/counterstatus.h"
#include "link/hooks.h"
#include "link/link.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMessageBox>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimeEdit>

#include <algorithm>

namespace kfc::status {

namespace {

void setNumber(QLineEdit& edit, qint32 value) { edit.setText(QString::number(value)); }

} // namespace

TfStatus::TfStatus(app::TfMain& main) : m_main(main)
{
    setObjectName(QStringLiteral("fStatus"));
    setWindowTitle(kCaption);
    buildControls();
    buildMenus();
    // The tool windows are registered after this window is made.
    connect(&m_main, &app::TfMain::toolsChanged, this, &TfStatus::updateControls);
    SetEditMode(false);
    // Added as a window of its own (not wrapped), so that closing it hides it and the
    // next connection shows it again.
    m_main.mdiArea()->addSubWindow(this);
    hide();
    connect(m_main.mdiArea(), &QMdiArea::subWindowActivated, this, &TfStatus::onSubWindowActivated);
    connect(&link(), &Link::holdChanged, this, &TfStatus::updateControls);
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
}

Link& TfStatus::link() const { return m_main.link(); }

CounterStatus& TfStatus::record() const { return counterStatus(); }

CounterStatus& TfStatus::status() { return record(); }

QString TfStatus::profileCell(int column) const { return sgCond->item(1, column)->text(); }

void TfStatus::setProfileCell(int column, const QString& text) { sgCond->item(1, column)->setText(text); }

QString TfStatus::profileType() const { return eCondType->text(); }

void TfStatus::setProfileType(const QString& type) { eCondType->setText(type); }

// Through the link's progress hook, which is the main frame's message panel: the one
// route for progress texts, whether the status read or this window shows them.
void TfStatus::showMessageText(const QString& text) const { showProgress(text); }

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
    setGridTitles();
    // Continuous update keeps its mode; it is left through "&Cancel" only.
    if (m_contUpdActive)
        return;
    SetEditMode(false);
    if (m_main.comPort().PortIsOpen())
        RefreshStatus();
}

void TfStatus::OpenAfterConnect()
{
    CheckPasswordState();
    // The check waits for the counter; a hang-up or a dead line may have come meanwhile.
    if (!m_main.comPort().PortIsOpen())
        m_accessGranted = false;
    if (!m_accessGranted)
        return;
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
}

void TfStatus::hideWindow()
{
    m_accessGranted = false;
    m_valuesKnown = false;
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
    if (m_contUpdActive) {
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
    const bool viewing = !m_editMode && !m_contUpdActive && !lineBusy;
    bbtnRefresh->setEnabled(viewing);
    bbtnChange->setEnabled(viewing && m_valuesKnown);
    bbtnContUpd->setEnabled(viewing && m_valuesKnown);
    bbtnSave->setEnabled(m_editMode && !lineBusy);
    bbtnCancel->setEnabled((m_editMode || m_contUpdActive) && !lineBusy);
    bbtnSyncTime->setEnabled(m_editMode && !lineBusy);
    bbtnProfile->setEnabled(m_editMode && !lineBusy && m_main.hasTool(app::Tool::Profile));
    bbtnProfile->setToolTip(m_main.hasTool(app::Tool::Profile)
                                ? QString()
                                : QStringLiteral("Profile calibration is not available"));
    // In edit mode the settings themselves can start a command (" Dump", "Cont. Output").
    // Re-enabling a parent gives each child back its own state.
    m_content->setEnabled(!(lineBusy && m_editMode));
    updateMenuEnabling(lineBusy);
}

int TfStatus::gridTitleWidth() const
{
    // 45 wide, unless the font in use needs more for "Gain(%)".
    constexpr int kTitleWidth = 45;
    constexpr int kCellPadding = 8;
    return std::max(kTitleWidth, sgCond->fontMetrics().horizontalAdvance(QStringLiteral("Gain(%)"))
                                     + kCellPadding);
}

void TfStatus::setGridTitles()
{
    sgCond->setColumnWidth(0, gridTitleWidth());
    sgCond->item(0, 0)->setText(QStringLiteral("Cond"));
    sgCond->item(1, 0)->setText(QStringLiteral("Gain(%)"));
}

// ---- reading and showing --------------------------------------------------------------

void TfStatus::RefreshStatus()
{
    if (!ReadCounterStatus(link(), record()))
        return;
    m_valuesKnown = true;
    ShowStatus();
    updateControls();
}

void TfStatus::showNoValues()
{
    const QScopedValueRollback showing(m_showing, true);
    m_valuesKnown = false;
    labVersion->setText(QStringLiteral("Counter Version: "));
    labEvents->clear();
    for (QAbstractSpinBox* spin : findChildren<QAbstractSpinBox*>())
        spin->clear();
    for (QComboBox* combo : findChildren<QComboBox*>())
        combo->setCurrentIndex(-1);
    for (QLineEdit* edit : findChildren<QLineEdit*>()) {
        if (edit != eCondType)
            edit->clear();
    }
    for (QCheckBox* box : findChildren<QCheckBox*>())
        box->setChecked(false);
    for (int i = 1; i <= kProfilePointCount; ++i) {
        sgCond->item(0, i)->setText(QString::number(conductivityPoint(i)));
        sgCond->item(1, i)->setText(QString());
    }
    updateControls();
}

void TfStatus::ShowStatus()
{
    const QScopedValueRollback showing(m_showing, true);
    const CounterStatus& status = record();
    labVersion->setText(QStringLiteral("Counter Version: ") + QString::number(status.version, 'f', 2)
                        + QLatin1Char(' ') + status.versionText);
    labEvents->setText(QStringLiteral("There are %1 events, max of %2")
                           .arg(status.eventCount)
                           .arg(status.maxEvents));
    if (status.dateTime.isValid()) {
        dtpDate->setDate(status.dateTime.date());
        dtpTime->setTime(status.dateTime.time());
    }
    setNumber(*eCond, status.conductivity);
    cbPrinter->setCurrentIndex(status.printerEnabled);
    cbEvents->setCurrentIndex(status.eventsEnabled);
    cbRelay->setCurrentIndex(status.relayMode);
    cbLogging->setCurrentIndex(status.eventLogging);
    cbBuffer->setCurrentIndex(status.bufferType);
    cbAlgorithm->setCurrentIndex(status.algorithm);
    cbContOutput->setCurrentIndex(status.contOutput);
    cbDump->setCurrentIndex(status.dump);
    cbMaxSize->setCurrentIndex(status.maxFishSize == 100 ? 0 : 1);
    seLengthComp->setValue(status.lengthComp);
    for (int i = 1; i <= kProfilePointCount; ++i) {
        sgCond->item(0, i)->setText(QString::number(conductivityPoint(i)));
        sgCond->item(1, i)->setText(QString::number(status.profileGain(i)));
    }
    for (int n = 1; n <= kChannelCount; ++n)
        ShowChannel(n);
}

void TfStatus::ShowChannel(int n)
{
    const QScopedValueRollback showing(m_showing, true);
    const ChannelStatus& c = record().channel(n);
    auto spin = [this, n](const char* prefix) -> QSpinBox& {
        return channelControlOf<QSpinBox>(*this, QLatin1String(prefix), n);
    };
    auto text = [this, n](const char* prefix) -> QLineEdit& {
        return channelControlOf<QLineEdit>(*this, QLatin1String(prefix), n);
    };
    channelControlOf<QCheckBox>(*this, QStringLiteral("cBoxChannel"), n).setChecked(c.enabled == 1);
    spin("seUpTh").setValue(c.upThreshold);
    spin("seDnTh").setValue(c.downThreshold);
    setNumber(text("eUpCnt"), c.upCount);
    setNumber(text("eDnCnt"), c.downCount);
    spin("seUpRel1Ch").setValue(c.upRelay1);
    spin("seUpRel2Ch").setValue(c.upRelay2);
    spin("seDnRel1Ch").setValue(c.downRelay1);
    spin("seDnRel2Ch").setValue(c.downRelay2);
    spin("seEvRel1Ch").setValue(c.eventRelay1);
    spin("seEvRel2Ch").setValue(c.eventRelay2);
    spin("seRelTimeCh").setValue(c.upRelayTime);
    spin("seEvTimeCh").setValue(c.eventRelayTime);
    channelControlOf<QCheckBox>(*this, QStringLiteral("cBoxGraphCh"), n).setChecked(c.graphEnabled == 1);
    setNumber(text("eSattCh"), c.sAtt);
    setNumber(text("eWattCh"), c.wAtt);
}

// ---- modes --------------------------------------------------------------------------

void TfStatus::SetEditMode(bool on)
{
    m_editMode = on;
    // The read-only texts are never switched: they show values, they take no input.
    for (QAbstractSpinBox* spin : findChildren<QAbstractSpinBox*>())
        spin->setEnabled(on);
    for (QCheckBox* box : findChildren<QCheckBox*>())
        box->setEnabled(on);
    for (QComboBox* combo : findChildren<QComboBox*>())
        combo->setEnabled(on);
    updateControls();
    if (on) {
        for (int n = 1; n <= kChannelCount; ++n)
            UpdateChannelControls(n);
    }
}

void TfStatus::UpdateChannelControls(int n)
{
    const bool usable = channelControlOf<QCheckBox>(*this, QStringLiteral("cBoxChannel"), n).isChecked()
                        && m_editMode;
    static const char* const spins[] = {"seUpTh",     "seDnTh",     "seUpRel1Ch", "seUpRel2Ch",
                                        "seDnRel1Ch", "seDnRel2Ch", "seRelTimeCh", "seEvRel1Ch",
                                        "seEvRel2Ch", "seEvTimeCh"};
    for (const char* prefix : spins)
        channelControlOf<QSpinBox>(*this, QLatin1String(prefix), n).setEnabled(usable);
    channelControlOf<QCheckBox>(*this, QStringLiteral("cBoxGraphCh"), n).setEnabled(usable);
}

void TfStatus::UpdateEventControls()
{
    cbRelay->setEnabled(cbEvents->currentIndex() == 1);
    cbLogging->setEnabled(cbRelay->isEnabled());
}

// ---- handlers -----------------------------------------------------------------------

void TfStatus::bbtnRefreshClick()
{
    app::showingErrors([this] { RefreshStatus(); });
}

void TfStatus::bbtnChangeClick()
{
    m_dateChanged = false;
    m_timeChanged = false;
    SetEditMode(true);
    UpdateEventControls();
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
        if (m_contUpdActive) {
            // The stop and the read after it run inside the listener's wait: one dialogue
            // that the listener gives way to.
            auto hold = link().holdLine(Link::HoldKind::Interrupt);
            SetContinuousUpdate(false);
            RefreshStatus();
            return;
        }
        SetEditMode(false);
        RefreshStatus();
    });
}

void TfStatus::cBoxChannelClick(QCheckBox* box)
{
    const QString name = box->objectName();
    UpdateChannelControls(name.right(1).toInt());
}

void TfStatus::cbEventsChange() { UpdateEventControls(); }

void TfStatus::bbtnProfileClick()
{
    // The profile window runs its dialog through runOwnDialog: closing it must not count
    // as activating this window again, which would leave edit mode and read the counter.
    m_main.openTool(app::Tool::Profile, *this);
}

void TfStatus::sgCondDblClick()
{
    if (bbtnProfile->isEnabled())
        bbtnProfileClick();
}

void TfStatus::keyPressEvent(QKeyEvent* event)
{
    // Enter saves and Escape cancels, as a dialog's default and cancel buttons do.
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && bbtnSave->isEnabled()) {
        bbtnSave->click();
        return;
    }
    if (key == Qt::Key_Escape && bbtnCancel->isEnabled()) {
        bbtnCancel->click();
        return;
    }
    QMdiSubWindow::keyPressEvent(event);
}

} // namespace kfc::status
