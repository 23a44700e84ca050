#pragma once
// The main frame: the program's one multiple-document window. It owns the serial port and
// the link to the counter, shows the connection state, progress messages, the clock and
// the activity lamps in its status bar, offers the Connect menu, and keeps the window
// geometry and the direct-connection port settings in the settings store between runs.

#include "connectwindows.h"
#include "link/comport.h"
#include "link/link.h"
#include "statusaccess.h"
#include "tfblank.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace kfc::app {

class ActivityLamp;
class StatusWindowApi;

class TfMain : public QMainWindow {
    Q_OBJECT
public:
    // Without a device the port is a real serial port.
    explicit TfMain(std::unique_ptr<PortDevice> device = nullptr, QWidget* parent = nullptr);
    ~TfMain() override;

    static inline const QString kCaption = QStringLiteral("Kestrova Fish Counters");
    // Why the program and the status window do not close during continuous update.
    static inline const QString kContUpdRunning = QStringLiteral(
        "Continuous update is running. Press Cancel in the Status window to stop it before "
        "closing the program.");
    static constexpr int kDefaultTop = 211;
    static constexpr int kDefaultLeft = 289;
    static constexpr int kDefaultWidth = 627;
    static constexpr int kDefaultHeight = 480;

    ComPort& comPort() { return *m_port; }
    Link& link() { return *m_link; }
    // The ports present when the program started ("COM n"), in ascending order.
    const QStringList& presentPorts() const { return m_presentPorts; }
    const std::array<qint32, 8>& conductivityPoints() const { return m_conductivityPoints; }
    QMdiArea* mdiArea() const { return m_mdiArea; }

    void setStatusWindow(StatusWindowApi* statusWindow) { m_statusWindow = statusWindow; }
    StatusWindowApi* statusWindow() const { return m_statusWindow; }
    void setBlankWindow(TfBlank* blank);
    TfBlank* blankWindow() const { return m_blank; }

    // Services for the other windows.
    void ShowMessageText(const QString& text);
    // Without a modem name the connection is a direct one.
    void ShowConnectionState(const std::optional<QString>& modemName = std::nullopt);
    // What the counter on the open line is known by, for what is kept about it:
    // "phone book/ENTRY" or "port/COMn"; empty when no line is open.
    QString counterKey() const;
    void UpdateConnectMenu();
    // A connection is up: the status window checks the password and shows the counter.
    // An error of that dialogue is shown here, and the Connect menu is brought up to date
    // whether it finished or not.
    void openStatusAfterConnect();
    // Logs off, says goodbye to the counter and closes the port; nothing when it is closed.
    void Disconnect();
    // Closes the port without a word to the counter (it did not answer) and shows the
    // not-connected state.
    void dropLine();
    // What the message panel says after a connection whose logon did not grant access.
    static inline const QString kNotLoggedOn = QStringLiteral("Not logged on; the line is closed.");
    // Brings the placeholder to the front.
    void showBlank();
    // The terminal hides the Connect menu while it is open.
    void setConnectMenuShown(bool shown);
    bool connectMenuShown() const;

    // The windows that the status window's menus open; makeProgramWindows (wiring.h)
    // registers them.
    void setToolOpener(Tool tool, ToolOpener opener);
    bool hasTool(Tool tool) const { return m_tools.count(tool) != 0; }
    // Opens the tool; false when none is registered for it.
    bool openTool(Tool tool, StatusAccess& status);
    // The Connect menu's windows and Counts History, registered there too. Until they are,
    // the menu entries that open them are disabled.
    void setConnectWindows(std::unique_ptr<ConnectWindows> windows);
    void setCountsHistoryOpener(std::function<void()> opener);

    // The texts of the connection panel and the clock.
    static QString connectionText(const ComPort& port, const std::optional<QString>& modemName);
    static QString clockText(const QDateTime& when);
    static QChar parityLetter(Parity parity);

    // Handlers.
    void menuConnectDirectClick();
    void menuConnectModemClick();
    void menuConnectTerminalClick();
    void menuConnectHangupClick();
    void menuExitClick();
    void menuCountsHistoryClick();
    void menuAboutClick();
    void TimerDateTimeTimer();

signals:
    // A tool window was registered or removed: the entries that open tools follow.
    void toolsChanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void buildStatusBar();
    void loadPortNames();
    void loadSettings();
    void saveSettings();
    void centreOnScreen();
    void closeStatusWindow();
    void showNotConnected();
    void closeTerminal();
    // The logon did not grant access: the counter is told the session is over and the line
    // is closed.
    void endRefusedConnection();
    void onLineLost(const QString& reason);
    // Which menus are usable follows who holds the line, decided here alone.
    void updateMenusForLine();
    void mergeMenusOf(QMdiSubWindow* child);
    // " - [caption]" of the maximised child in front, where freeing another took it off.
    void showFrontCaption();

    std::unique_ptr<ComPort> m_port;
    std::unique_ptr<Link> m_link;
    QStringList m_presentPorts;
    std::array<qint32, 8> m_conductivityPoints{};

    QMdiArea* m_mdiArea = nullptr;
    StatusWindowApi* m_statusWindow = nullptr;
    QPointer<TfBlank> m_blank;

    QAction* m_menuExit = nullptr;
    QAction* m_menuCountsHistory = nullptr;
    QAction* m_menuConnectDirect = nullptr;
    QAction* m_menuConnectModem = nullptr;
    QAction* m_menuConnectTerminal = nullptr;
    QAction* m_menuConnectHangup = nullptr;
    QAction* m_menuAbout = nullptr;
    QMenu* m_menuFile = nullptr;
    QMenu* m_menuConnect = nullptr;
    QMenu* m_menuHelp = nullptr;
    std::map<Tool, ToolOpener> m_tools;
    std::unique_ptr<ConnectWindows> m_connectWindows;
    std::function<void()> m_openCountsHistory;
    QList<QPointer<QAction>> m_mergedMenuActions;

    QLabel* m_panConnect = nullptr;
    QLabel* m_panMessage = nullptr;
    QLabel* m_panDateTime = nullptr;
    ActivityLamp* m_apdslTx = nullptr;
    ActivityLamp* m_apdslRx = nullptr;
    QTimer* m_timerDateTime = nullptr;

    bool m_centred = false;
    bool m_dialling = false;   // a modem attempt runs: no second connection from the menus
    QString m_phoneBookEntry;  // the entry of the call in progress; empty on a direct line
};

} // namespace kfc::app
