#pragma once
// The status window: the central child window of the main frame, made once at start-up
// and kept for the whole run. It shows the counter's configuration and counts, lets the
// technician change and save them, follows the counter live in continuous update, and
// carries the maintenance and password commands in its menus.
//
// Its code is split by concern:
//   tfstatus.cpp     the window, activation, modes and display
//   statuslayout.cpp the controls and their layout
//   statussave.cpp   saving the changes and the controls that act at once
//   contupdate.cpp   continuous update
//   statusmenus.cpp  menus, passwords and maintenance commands

#include "app/mergedmenus.h"
#include "app/statuswindowapi.h"
#include "app/tfcounterlogon.h"
#include "channelcontrols.h"

#include <QMdiSubWindow>
#include <QPointer>

#include <functional>

class QAction;
class QCheckBox;
class QComboBox;
class QDateTime;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimeEdit;

namespace kfc {
class Link;
struct CounterStatus;
}

namespace kfc::app {
class TfMain;
}

namespace kfc::status {

class TfStatus : public QMdiSubWindow, public app::StatusWindowApi, public app::MergedMenus {
    Q_OBJECT
public:
    // Made as a child window of the main frame's work area.
    explicit TfStatus(app::TfMain& main);
    ~TfStatus() override;

    static inline const QString kCaption = QStringLiteral("Status");

    // What the main frame calls.
    void OpenAfterConnect() override;
    QMdiSubWindow* subWindow() override { return this; }
    QList<QMenu*> mergedMenus() const override;

    // Reading and showing.
    void RefreshStatus();
    void ShowStatus();
    void ShowChannel(int n);
    void SetEditMode(bool on);
    void UpdateChannelControls(int n);
    void UpdateEventControls();

    // The control of channel n named prefix + n, whatever the letter case (null when the
    // window has none).
    template <typename T>
    T* channelControl(const QString& prefix, int n) const
    {
        return findChannelControl<T>(*this, prefix, n);
    }

    // Handlers of the window.
    void FormActivate();
    void bbtnRefreshClick();
    void bbtnChangeClick();
    void bbtnSaveClick();
    void bbtnCancelClick();
    void cBoxChannelClick(QCheckBox* box);
    void cbEventsChange();
    void bbtnProfileClick();
    void sgCondDblClick();

    // Saving.
    void SaveChanges();
    void SaveChannel(int n);
    void dtpDateChange();
    void dtpTimeChange();
    void bbtnSyncTimeClick();
    void cbContOutputChange();
    void cbDumpChange();

    // Continuous update.
    void bbtnContUpdClick();
    void SetContinuousUpdate(bool on);
    void SetBusyMenus(bool enabled);
    void AddEventLine(const QString& text);
    // The time stamp of an event line: the counter's clock as the system writes a short
    // date and a long time.
    static QString eventStamp(const QDateTime& when);

    // Passwords and maintenance.
    void CheckPasswordState();
    void ClearCounts1Click();
    void menuFlushClick();
    void menuRecalibrateClick();
    void menuDisplayKestrovaClick();
    void menuDisplayCountsClick();
    void menuPasswordsClick();
    void menuClearPwdClick();

    bool accessGranted() const { return m_accessGranted; }
    bool passwordSet() const { return m_passwordSet; }
    bool contUpdActive() const { return m_contUpdActive; }
    bool dateChanged() const { return m_dateChanged; }
    bool timeChanged() const { return m_timeChanged; }

    // How long "&Recalibrate" gives the counter before the window comes back.
    static constexpr int kRecalibrateSeconds = 5;
    // How long the counter is given after an event flags command before the line is
    // cleared of whatever it answered.
    static constexpr int kEventFlagsSettleMs = 1500;
    // How long the counter is given after reporting that this connection is logged on.
    static constexpr int kLoggedOnSettleMs = 5000;

    // The profile window lives in the tools library, which builds on this one; it makes
    // itself known here. Until then "&Profile" cannot be used.
    using ProfileOpener = std::function<void(TfStatus&)>;
    static void setProfileOpener(ProfileOpener opener);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // statuslayout.cpp
    void buildControls();
    QWidget* buildSettings();
    QWidget* buildCounterBox();
    QWidget* buildProfile();
    QGroupBox* buildChannels();
    QWidget* buildButtons();
    void connectHandlers();

    // statusmenus.cpp
    void buildMenus();
    void recalibrateCountdown();
    void bringBackWithoutActivation();
    // Runs a modal dialog of this window's own (its closing is no activation).
    int runOwnDialog(const std::function<int()>& run);
    int showPasswordWindow(app::TfCounterLogon::Mode mode);

    // statussave.cpp
    void saveDate();
    void saveTime();
    void saveEventFlags();
    void saveProfile();
    void saveRelayGroup(int group, int n);

    // contupdate.cpp
    void handleUpdateLine(QString line);
    void takeConductivityLine(QString& rest);
    bool takeFishLine(QString& rest);
    void leaveUpdateLocally();
    void applyUpdateMode(bool on);

    // tfstatus.cpp
    void onSubWindowActivated(QMdiSubWindow* window);
    void setGridTitles();
    int gridTitleWidth() const;

    Link& link() const;
    CounterStatus& record() const;
    void showMessageText(const QString& text) const;

    app::TfMain& m_main;

    bool m_timeChanged = false;
    bool m_dateChanged = false;
    bool m_accessGranted = false;
    bool m_passwordSet = false;
    bool m_contUpdActive = false;

    // Setting the controls from the record is not the operator's change.
    bool m_showing = false;
    // The child that was active last; a modal dialog taking the focus for a while does
    // not change it, so its closing is no activation of this window.
    QPointer<QMdiSubWindow> m_lastActiveChild;
    bool m_activationQuiet = false;

    // Controls the code reaches directly; the per-channel ones are found by name.
    QLabel* labVersion = nullptr;
    QLabel* labEvents = nullptr;
    QComboBox* cbPrinter = nullptr;
    QComboBox* cbEvents = nullptr;
    QComboBox* cbRelay = nullptr;
    QComboBox* cbLogging = nullptr;
    QComboBox* cbBuffer = nullptr;
    QComboBox* cbAlgorithm = nullptr;
    QComboBox* cbContOutput = nullptr;
    QComboBox* cbDump = nullptr;
    QComboBox* cbMaxSize = nullptr;
    QSpinBox* seLengthComp = nullptr;
    QLabel* labCond = nullptr;
    QLineEdit* eCond = nullptr;
    QTableWidget* sgCond = nullptr;
    QPushButton* bbtnProfile = nullptr;
    QLineEdit* eCondType = nullptr;
    QDateEdit* dtpDate = nullptr;
    QTimeEdit* dtpTime = nullptr;
    QPushButton* bbtnSyncTime = nullptr;
    QGroupBox* gbChannels = nullptr;
    QPushButton* bbtnRefresh = nullptr;
    QPushButton* bbtnChange = nullptr;
    QPushButton* bbtnSave = nullptr;
    QPushButton* bbtnCancel = nullptr;
    QPushButton* bbtnContUpd = nullptr;
    QPlainTextEdit* memLastEvent = nullptr;

    // Menus merged into the main frame's menu bar.
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
};

} // namespace kfc::status
