#pragma once
// The status window: the central child window of the main frame, made once at start-up
// and kept for the whole run. It shows the counter's configuration and counts, lets the
// technician change and save them, follows the counter live in continuous update, and
// carries the maintenance and password commands in its menus.
//
// The window is the controller: it holds the modes (view, edit, continuous update), runs
// the dialogues with the counter, and decides in one place which controls are usable.
// Each part owns its own state:
//   statusform.h     the form: the controls, their layout, showing a record, the edits
//   contupdate.h     continuous update and its mode
//   statusmenus.h    the menus, the password state and the maintenance commands
//   tfstatus.cpp     this window: activation, view and edit modes, the buttons
//   statussave.cpp   saving the edits and the settings that act at once

#include "app/mergedmenus.h"
#include "app/statusaccess.h"
#include "app/statuswindowapi.h"
#include "channelcontrols.h"

#include <QMdiSubWindow>
#include <QPointer>

#include <functional>
#include <memory>

class QDateTime;

namespace kfc {
class Link;
struct CounterStatus;
}

namespace kfc::app {
class TfMain;
}

namespace kfc::status {

class ContinuousUpdate;
class StatusForm;
class StatusMenus;

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
    bool OpenAfterConnect() override;
    QMdiSubWindow* subWindow() override { return this; }
    void hideWindow() override;
    QList<QMenu*> mergedMenus() const override;

    // What the tool windows may ask.
    CounterStatus& status() override;
    bool contUpdActive() const override;
    QString profileCell(int column) const override;
    void setProfileCell(int column, const QString& text) override;
    QString profileType() const override;
    void setProfileType(const QString& type) override;
    QWidget* dialogParent() override { return this; }
    // Runs a modal dialog of this window's own (its closing is no activation).
    int runOwnDialog(const std::function<int()>& run) override;
    // Brings the window back to the front without the activation steps.
    void bringBackWithoutActivation();

    // Reading and showing the record.
    void RefreshStatus() override;
    void ShowStatus();
    void ShowChannel(int n);
    void SetEditMode(bool on);

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
    void bbtnProfileClick();
    void sgCondDblClick();
    void bbtnContUpdClick();
    void SetContinuousUpdate(bool on);
    // "&Save Session...": the lines of the latest continuous update as a CSV file.
    void menuSaveSessionClick();
    // The time stamp of an event line in continuous update.
    static QString eventStamp(const QDateTime& when);

    // Saving: the form's edits go through the save plan; two settings act at once.
    void SaveChanges();
    void cbContOutputChange();
    void cbDumpChange();

    void CheckPasswordState();
    bool accessGranted() const;
    bool passwordSet() const;
    bool dateChanged() const;
    bool timeChanged() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // The window's own close box means the same as "&Hangup": it is the connection's window.
    void closeEvent(QCloseEvent* event) override;

private:
    // Which buttons, settings and menu entries are usable, decided in this one place from
    // the window's mode and from who holds the line; called whenever either changes.
    void updateControls();
    // A successful read shows the counter afresh and ends a kept continuous-update
    // session, unless it is the read that stops the mode (keepSession).
    void readStatus(bool keepSession);
    // Before the first read of a connection has succeeded the window knows nothing of
    // the counter: every value shows empty, and nothing may be changed or followed.
    void showNoValues();
    void connectForm();
    void onSubWindowActivated(QMdiSubWindow* window);
    // The read that an activation put off while another dialogue held the line.
    void readOnceLineFree();

    Link& link() const;
    CounterStatus& record() const;

    app::TfMain& m_main;
    StatusForm* m_form = nullptr;
    std::unique_ptr<ContinuousUpdate> m_update;
    std::unique_ptr<StatusMenus> m_menus;

    bool m_editMode = false;
    // A read of this connection has succeeded: the controls show the counter's values.
    bool m_valuesKnown = false;
    // The child that was active last; a modal dialog taking the focus for a while does
    // not change it, so its closing is no activation of this window.
    QPointer<QMdiSubWindow> m_lastActiveChild;
    bool m_activationQuiet = false;
    bool m_readWhenLineFree = false;
};

} // namespace kfc::status
