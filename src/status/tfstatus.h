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
#include "app/statusaccess.h"
#include "app/statuswindowapi.h"
#include "app/tfcounterlogon.h"
#include "channelcontrols.h"

#include <QMdiSubWindow>
#include <QPointer>

#include <functional>
#include <vector>

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
struct EditedSettings;
}

namespace kfc::app {
class TfMain;
}

namespace kfc::status {

class TfStatus : public QMdiSubWindow,
                 public app::StatusWindowApi,
                 public app::StatusAccess,
                 public app::MergedMenus {
    Q_OBJECT
public:
    // Made as a child window of the main frame's work area.
    explicit TfStatus(app::TfMain& main);
    ~TfStatus() override;

    static inline const QString kCaption = QStringLiteral("Status");

    // What the main frame calls.
    void OpenAfterConnect() override;
    QMdiSubWindow* subWindow() override { return this; }
    void hideWindow() override;
    QList<QMenu*> mergedMenus() const override;

    // What the tool windows may ask.
    CounterStatus& status() override;
    bool contUpdActive() const override { return m_contUpdActive; }
    QString profileCell(int column) const override;
    void setProfileCell(int column, const QString& text) override;
    QString profileType() const override;
    void setProfileType(const QString& type) override;
    QWidget* dialogParent() override { return this; }
    // Runs a modal dialog of this window's own (its closing is no activation).
    int runOwnDialog(const std::function<int()>& run) override;

    // Reading and showing.
    void RefreshStatus() override;
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

    // Saving: the controls' values go through the save plan.
    void SaveChanges();
    void dtpDateChange();
    void dtpTimeChange();
    void bbtnSyncTimeClick();
    void cbContOutputChange();
    void cbDumpChange();

    // Continuous update.
    void bbtnContUpdClick();
    void SetContinuousUpdate(bool on);
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
    bool dateChanged() const { return m_dateChanged; }
    bool timeChanged() const { return m_timeChanged; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // The window's own close box means the same as "&Hangup": it is the connection's window.
    void closeEvent(QCloseEvent* event) override;

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
    // The menus' part of updateControls().
    void updateMenuEnabling(bool lineBusy);
    void openTool(app::Tool tool);
    int showPasswordWindow(app::TfCounterLogon::Mode mode);

    // statussave.cpp
    EditedSettings editedSettings() const;

    // contupdate.cpp
    void takeUpdateLine(const QString& line);
    void listenForUpdates();
    // Ends the mode in this window only, saying why in the debug log.
    void leaveUpdateLocally(const QString& why);
    void applyUpdateMode(bool on);

    // tfstatus.cpp
    // Which buttons, settings and menu entries are usable, decided in this one place from
    // the window's mode and from who holds the line; called whenever either changes.
    void updateControls();
    // Before the first read of a connection has succeeded the window knows nothing of
    // the counter: every value shows empty, and nothing may be changed or followed.
    void showNoValues();
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
    // A read of this connection has succeeded: the controls show the counter's values.
    bool m_valuesKnown = false;

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
    struct ToolEntry {
        QAction* item;
        app::Tool tool;
    };
    std::vector<ToolEntry> m_toolEntries;
    bool m_editMode = false;
    QWidget* m_content = nullptr;
    // The profile grid and its button: during continuous update (which changes no gain)
    // they make room for the list of lines.
    QWidget* m_profileRow = nullptr;
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
