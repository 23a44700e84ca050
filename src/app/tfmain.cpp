#include "tfmain.h"

#include "counter/counterstatus.h"

#include "activitylamp.h"
#include "application.h"
#include "elidedlabel.h"
#include "mergedmenus.h"
#include "messageboxes.h"
#include "settingsstore.h"
#include "statuswindowapi.h"
#include "tfblank.h"
#include "tfrmabout.h"

#include "counter/password.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScopeGuard>
#include <QScreen>
#include <QStatusBar>

namespace kfc::app {

namespace {

constexpr int kStatusBarHeight = 22;
constexpr int kConnectPanelWidth = 144;
constexpr int kDateTimePanelWidth = 97;
constexpr int kLightsPanelWidth = 39;

// A text that does not fit is cut at its end, shown whole as the tool tip; a long message
// never pushes the connection or the clock aside.
QLabel* makePanel(const QString& name, QWidget* parent)
{
    auto* panel = new ElidedLabel(Qt::ElideRight, parent);
    panel->setObjectName(name);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSizeF(parent->font().pointSizeF());
    panel->setFont(arial);
    return panel;
}

// The first character of a locale format that is neither a field letter nor a blank.
QChar separatorIn(const QString& format, QChar fallback)
{
    for (QChar c : format) {
        if (!c.isLetter() && !c.isSpace() && c != QLatin1Char('\''))
            return c;
    }
    return fallback;
}

} // namespace

TfMain::TfMain(std::unique_ptr<PortDevice> device, QWidget* parent)
    : QMainWindow(parent),
      m_port(std::make_unique<ComPort>(std::move(device))),
      m_link(std::make_unique<Link>(*m_port))
{
    setObjectName(QStringLiteral("fMain"));
    setWindowTitle(kCaption);
    m_port->setObjectName(QStringLiteral("ApdComPort"));

    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setObjectName(QStringLiteral("mdiArea"));
    setCentralWidget(m_mdiArea);
    m_mdiArea->viewport()->installEventFilter(this);
    connect(m_mdiArea, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow*) {
        // The current child rather than the active one: while a dialog of the program
        // has the focus no child is active, but its menus should stay.
        mergeMenusOf(m_mdiArea->currentSubWindow());
    });

    buildMenus();
    buildStatusBar();

    m_timerDateTime = new QTimer(this);
    m_timerDateTime->setObjectName(QStringLiteral("TimerDateTime"));
    m_timerDateTime->setInterval(1000);
    connect(m_timerDateTime, &QTimer::timeout, this, &TfMain::TimerDateTimeTimer);
    m_timerDateTime->start();

    connect(m_port.get(), &ComPort::lampsChanged, this, [this](bool txLit, bool rxLit) {
        m_apdslTx->setLit(txLit);
        m_apdslRx->setLit(rxLit);
    });
    // Queued: the exchange that met the dead line finishes first, then the user hears of it.
    connect(m_port.get(), &ComPort::lineLost, this, &TfMain::onLineLost, Qt::QueuedConnection);
    connect(m_link.get(), &Link::holdChanged, this, &TfMain::updateMenusForLine);

    resize(kDefaultWidth, kDefaultHeight);
    move(kDefaultLeft, kDefaultTop);

    loadPortNames();
    m_presentPorts = m_port->ListPresentPorts();
    m_conductivityPoints = kfc::kConductivityPoints;
    loadSettings();
    UpdateConnectMenu();
}

TfMain::~TfMain()
{
    saveSettings();
    // The children go before the port and the link they may still refer to; the work area
    // being freed has nothing more to say about its children.
    m_mdiArea->viewport()->removeEventFilter(this);
    delete m_mdiArea;
    m_mdiArea = nullptr;
}

// ---- building ---------------------------------------------------------------------

void TfMain::buildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    auto addItem = [this](QMenu* menu, const QString& name, const QString& caption) {
        QAction* item = menu->addAction(caption);
        item->setObjectName(name);
        return item;
    };
    auto addSeparator = [](QMenu* menu, const QString& name) {
        menu->addSeparator()->setObjectName(name);
    };

    QMenu* menuFile = bar->addMenu(QStringLiteral("&File"));
    menuFile->setObjectName(QStringLiteral("menuFile"));
    m_menuFile = menuFile;
    // Reads the collection archive: no connection needed.
    m_menuCountsHistory = addItem(menuFile, QStringLiteral("menuCountsHistory"), QStringLiteral("Counts &History..."));
    m_menuCountsHistory->setEnabled(false);
    connect(m_menuCountsHistory, &QAction::triggered, this, &TfMain::menuCountsHistoryClick);
    addSeparator(menuFile, QStringLiteral("N3"));
    m_menuExit = addItem(menuFile, QStringLiteral("menuExit"), QStringLiteral("E&xit"));
    connect(m_menuExit, &QAction::triggered, this, &TfMain::menuExitClick);

    QMenu* menuConnect = bar->addMenu(QStringLiteral("Co&nnect"));
    menuConnect->setObjectName(QStringLiteral("menuConnect"));
    m_menuConnect = menuConnect;
    m_menuConnectDirect = addItem(menuConnect, QStringLiteral("menuConnectDirect"),
                                  QStringLiteral("&Direct Connection"));
    connect(m_menuConnectDirect, &QAction::triggered, this, &TfMain::menuConnectDirectClick);
    m_menuConnectModem = addItem(menuConnect, QStringLiteral("menuConnectModem"),
                                 QStringLiteral("&Modem Connection"));
    connect(m_menuConnectModem, &QAction::triggered, this, &TfMain::menuConnectModemClick);
    addSeparator(menuConnect, QStringLiteral("N2"));
    m_menuConnectTerminal = addItem(menuConnect, QStringLiteral("menuConnectTerminal"),
                                    QStringLiteral("&Terminal"));
    connect(m_menuConnectTerminal, &QAction::triggered, this, &TfMain::menuConnectTerminalClick);
    addSeparator(menuConnect, QStringLiteral("N1"));
    m_menuConnectHangup = addItem(menuConnect, QStringLiteral("menuConnectHangup"),
                                  QStringLiteral("&Hangup"));
    m_menuConnectHangup->setEnabled(false);
    connect(m_menuConnectHangup, &QAction::triggered, this, &TfMain::menuConnectHangupClick);

    m_menuHelp = bar->addMenu(QStringLiteral("&Help"));
    m_menuHelp->setObjectName(QStringLiteral("menuHelp"));
    m_menuAbout = addItem(m_menuHelp, QStringLiteral("menuAbout"), QStringLiteral("&About"));
    connect(m_menuAbout, &QAction::triggered, this, &TfMain::menuAboutClick);
}

void TfMain::buildStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("panStatus"));
    bar->setFixedHeight(kStatusBarHeight);
    bar->setSizeGripEnabled(false);

    // The connection and clock panels are at least their design widths and grow to fit
    // their text, so that a long port description or another font is never cut off.
    m_panConnect = makePanel(QStringLiteral("panConnect"), bar);
    m_panConnect->setMinimumWidth(kConnectPanelWidth);
    m_panConnect->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_panConnect->setText(QStringLiteral("  Not Connected"));

    m_panMessage = makePanel(QStringLiteral("panMessage"), bar);
    m_panMessage->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    m_panDateTime = makePanel(QStringLiteral("panDateTime"), bar);
    m_panDateTime->setMinimumWidth(kDateTimePanelWidth);
    m_panDateTime->setAlignment(Qt::AlignCenter);

    auto* panLights = new QFrame(bar);
    panLights->setObjectName(QStringLiteral("panLights"));
    panLights->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panLights->setFixedWidth(kLightsPanelWidth);
    auto* lights = new QHBoxLayout(panLights);
    lights->setContentsMargins(2, 0, 2, 0);
    lights->setSpacing(1);
    m_apdslTx = new ActivityLamp(QStringLiteral("apdslTx"), QColor(0xe0, 0x20, 0x20), panLights);
    m_apdslRx = new ActivityLamp(QStringLiteral("apdslRx"), QColor(0x20, 0xd0, 0x20), panLights);
    lights->addWidget(m_apdslTx);
    lights->addWidget(m_apdslRx);

    bar->addWidget(m_panConnect);
    bar->addWidget(m_panMessage, 1);
    bar->addPermanentWidget(m_panDateTime);
    bar->addPermanentWidget(panLights);
}

void TfMain::setBlankWindow(TfBlank* blank) { m_blank = blank; }

// ---- settings ---------------------------------------------------------------------

void TfMain::loadPortNames()
{
    auto store = SettingsStore::open();
    m_port->portNames().load(*store);
}

void TfMain::loadSettings()
{
    auto store = SettingsStore::open();
    QStringList problems;
    auto read = [&](const QString& name) {
        return SettingsStore::readInteger(*store, name, &problems);
    };
    QRect frame(pos(), size());
    if (auto top = read(SettingName::Top))
        frame.moveTop(*top);
    if (auto left = read(SettingName::Left))
        frame.moveLeft(*left);
    if (auto width = read(SettingName::Width))
        frame.setWidth(*width);
    if (auto height = read(SettingName::Height))
        frame.setHeight(*height);
    move(frame.topLeft());
    resize(frame.size());

    SerialSettings& port = m_port->settings;
    if (auto comPort = read(SettingName::DirectComPort))
        port.comNumber = *comPort;
    if (auto baud = read(SettingName::DirectBaud))
        port.baud = *baud;
    if (auto parity = read(SettingName::DirectParity)) {
        if (*parity >= int(Parity::None) && *parity <= int(Parity::Space))
            port.parity = Parity(*parity);
        else
            problems << QStringLiteral("The setting \"%1\" (%2) is not a parity; it is ignored.")
                            .arg(SettingName::DirectParity)
                            .arg(*parity);
    }
    if (auto stopBits = read(SettingName::DirectStopBits))
        port.stopBits = *stopBits;
    if (auto dataBits = read(SettingName::DirectDataBits))
        port.dataBits = *dataBits;

    for (const QString& problem : problems)
        m_link->LogLine(QStringLiteral("--  ") + problem);
}

void TfMain::saveSettings()
{
    auto store = SettingsStore::open();
    // A maximised or minimised frame keeps the size it will have when restored.
    const QRect frame = (windowState() & (Qt::WindowMaximized | Qt::WindowMinimized))
                            ? normalGeometry()
                            : QRect(pos(), size());
    const SerialSettings& port = m_port->settings;
    store->setValue(SettingName::Top, frame.top());
    store->setValue(SettingName::Left, frame.left());
    store->setValue(SettingName::Width, frame.width());
    store->setValue(SettingName::Height, frame.height());
    store->setValue(SettingName::DirectComPort, port.comNumber);
    store->setValue(SettingName::DirectBaud, int(port.baud));
    store->setValue(SettingName::DirectParity, int(port.parity));
    store->setValue(SettingName::DirectStopBits, port.stopBits);
    store->setValue(SettingName::DirectDataBits, port.dataBits);
    store->sync();
    if (store->status() != QSettings::NoError)
        qWarning("The settings could not be saved to %s.", qPrintable(store->fileName()));
}

// ---- showing ----------------------------------------------------------------------

void TfMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_centred) {
        m_centred = true;
        centreOnScreen();
    }
}

void TfMain::centreOnScreen()
{
    const QScreen* display = screen();
    if (!display)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(display->availableGeometry().center());
    move(frame.topLeft());
}

// ---- services ---------------------------------------------------------------------

void TfMain::ShowMessageText(const QString& text) { m_panMessage->setText(text); }

QChar TfMain::parityLetter(Parity parity)
{
    switch (parity) {
    case Parity::None: return QLatin1Char('N');
    case Parity::Odd: return QLatin1Char('O');
    case Parity::Even: return QLatin1Char('E');
    case Parity::Mark: return QLatin1Char('M');
    case Parity::Space: return QLatin1Char('S');
    }
    return QLatin1Char('?');
}

QString TfMain::connectionText(const ComPort& port, const std::optional<QString>& modemName)
{
    if (!port.PortIsOpen())
        return QStringLiteral("  Not Connected");
    if (modemName)
        return QStringLiteral("  Modem: ") + *modemName;
    const SerialSettings& s = port.settings;
    return QStringLiteral("  Direct: Com %1, %2, %3, %4, %5")
        .arg(s.comNumber)
        .arg(s.baud)
        .arg(parityLetter(s.parity))
        .arg(s.dataBits)
        .arg(s.stopBits);
}

void TfMain::ShowConnectionState(const std::optional<QString>& modemName)
{
    if (!modemName)
        m_phoneBookEntry.clear();
    m_panConnect->setText(connectionText(*m_port, modemName));
}

QString TfMain::counterKey() const
{
    if (!m_port->PortIsOpen())
        return {};
    if (!m_phoneBookEntry.isEmpty())
        return QStringLiteral("phone book/") + m_phoneBookEntry;
    return QStringLiteral("port/COM%1").arg(m_port->settings.comNumber);
}

void TfMain::UpdateConnectMenu()
{
    const bool open = m_port->PortIsOpen();
    const bool canConnect = !open && !m_dialling && m_connectWindows;
    m_menuConnectDirect->setEnabled(canConnect);
    m_menuConnectModem->setEnabled(canConnect);
    // The terminal's setup opens the port: on an open one its settings would not apply.
    m_menuConnectTerminal->setEnabled(canConnect);
    // While a dialogue holds the line a hang-up would only be refused.
    m_menuConnectHangup->setEnabled(open && !m_link->busy());
}

void TfMain::updateMenusForLine()
{
    // A dialogue (a read, a save, a download, a dial) or the continuous-update listener
    // holds the line: nothing here may start another command. A terminal that owns the
    // line hides the Connect menu itself, and File's Exit lets it go first.
    const bool held = m_link->busy() || m_link->listening();
    for (QMenu* menu : {m_menuFile, m_menuConnect, m_menuHelp})
        menu->menuAction()->setEnabled(!held);
    m_menuExit->setEnabled(!m_link->busy());
    UpdateConnectMenu();
}

void TfMain::Disconnect()
{
    if (!m_port->PortIsOpen())
        return;
    // A terminal owns the line: it lets go first, so that the counter hears the goodbye.
    closeTerminal();
    // One dialogue: refused as a whole (LineBusyError) when a command is in flight.
    auto hold = m_link->holdLine();
    CounterLogoff(*m_link);
    m_link->SendCommand(QStringLiteral("e"));
    m_port->ClosePort();
    m_port->TapiMode = false;
}

void TfMain::dropLine()
{
    m_port->ClosePort();
    m_port->TapiMode = false;
    showNotConnected();
}

void TfMain::showBlank()
{
    if (!m_blank)
        return;
    m_blank->showMaximized();
    m_mdiArea->setActiveSubWindow(m_blank);
}

bool TfMain::eventFilter(QObject* watched, QEvent* event)
{
    // A maximised child that is freed (a terminal, a download window) puts the frame's
    // bare caption back as it goes, whichever child is in front by then.
    if (watched == m_mdiArea->viewport() && event->type() == QEvent::ChildRemoved)
        QMetaObject::invokeMethod(this, &TfMain::showFrontCaption, Qt::QueuedConnection);
    return QMainWindow::eventFilter(watched, event);
}

void TfMain::showFrontCaption()
{
    // As the work area writes it when a maximised child comes to the front.
    const QMdiSubWindow* front = m_mdiArea->currentSubWindow();
    if (windowTitle() == kCaption && front && front->isVisible() && front->isMaximized()
        && !front->windowTitle().isEmpty())
        setWindowTitle(QStringLiteral("%1 - [%2]").arg(kCaption, front->windowTitle()));
}

void TfMain::setConnectMenuShown(bool shown) { m_menuConnect->menuAction()->setVisible(shown); }

bool TfMain::connectMenuShown() const { return m_menuConnect->menuAction()->isVisible(); }

void TfMain::setToolOpener(Tool tool, ToolOpener opener)
{
    if (opener)
        m_tools[tool] = std::move(opener);
    else
        m_tools.erase(tool);
    emit toolsChanged();
}

void TfMain::setConnectWindows(std::unique_ptr<ConnectWindows> windows)
{
    m_connectWindows = std::move(windows);
    UpdateConnectMenu();
}

void TfMain::setCountsHistoryOpener(std::function<void()> opener)
{
    m_openCountsHistory = std::move(opener);
    m_menuCountsHistory->setEnabled(bool(m_openCountsHistory));
}

bool TfMain::openTool(Tool tool, StatusAccess& status)
{
    const auto found = m_tools.find(tool);
    if (found == m_tools.end())
        return false;
    // A copy: the opener may run a modal dialog during which the registry changes.
    const ToolOpener opener = found->second;
    opener(status);
    return true;
}

void TfMain::closeStatusWindow()
{
    if (m_statusWindow)
        m_statusWindow->hideWindow();
}

void TfMain::closeTerminal()
{
    if (m_connectWindows)
        m_connectWindows->closeTerminal();
}

void TfMain::showNotConnected()
{
    closeTerminal();
    ShowConnectionState();
    // Whatever a dialogue or the recalibration countdown last said is over.
    ShowMessageText(QString());
    if (m_blank)
        m_blank->panMain()->clear();
    // The status window goes before the placeholder comes to the front: hiding a
    // maximised child after that would take " - [Not Connected]" off the frame's title.
    closeStatusWindow();
    showBlank();
    UpdateConnectMenu();
}

QString TfMain::clockText(const QDateTime& when)
{
    const QLocale locale;
    const QChar date = separatorIn(locale.dateFormat(QLocale::ShortFormat), QLatin1Char('/'));
    const QChar time = separatorIn(locale.timeFormat(QLocale::ShortFormat), QLatin1Char(':'));
    return when.toString(QStringLiteral("dd%1MM%1yy HH%2mm").arg(date, time));
}

void TfMain::TimerDateTimeTimer()
{
    m_panDateTime->setText(clockText(QDateTime::currentDateTime()));
}

// ---- handlers ---------------------------------------------------------------------

void TfMain::menuConnectDirectClick()
{
    // A new attempt: what the panel kept of the last one is over.
    ShowMessageText(QString());
    if (!m_connectWindows || !m_connectWindows->setUpDirectPort())
        return;
    ShowConnectionState();
    openStatusAfterConnect();
}

void TfMain::openStatusAfterConnect()
{
    // Also before the logon: its waits run user events, and a second connection must not
    // start from this menu while the first one is still being logged on.
    UpdateConnectMenu();
    bool granted = false;
    showingErrors([this, &granted] {
        if (m_statusWindow)
            granted = m_statusWindow->OpenAfterConnect();
    });
    // A logon refused or given up leaves nothing to show: the line is not left open
    // behind the placeholder, where only Hangup could still reach it.
    if (m_statusWindow && !granted && m_port->PortIsOpen())
        endRefusedConnection();
    UpdateConnectMenu();
}

void TfMain::endRefusedConnection()
{
    showingErrors([this] {
        // Never logged on, so no log-off: "e" ends the counter's session, also one that
        // is still waiting for a password.
        auto hold = m_link->holdLine();
        m_link->SendCommand(QStringLiteral("e"));
    });
    dropLine();
    ShowMessageText(kNotLoggedOn);
}

void TfMain::menuConnectModemClick()
{
    ShowMessageText(QString());
    if (!m_connectWindows)
        return;
    const std::unique_ptr<ModemAttempt> modem = m_connectWindows->startModemAttempt();
    const std::optional<QString> number = modem->chooseNumber();
    if (!number)
        return;
    // While the attempt runs its waits let the menus work: no second connection may start.
    m_dialling = true;
    m_menuConnect->menuAction()->setEnabled(false);
    UpdateConnectMenu();
    bool connected = false;
    {
        const auto dialOver = qScopeGuard([this] {
            m_dialling = false;
            m_menuConnect->menuAction()->setEnabled(true);
            UpdateConnectMenu();
        });
        connected = modem->Dial(*number);
    }
    // The modem window closes two seconds after its last line: the panel keeps why the
    // call did not connect until the next attempt.
    if (!connected) {
        ShowMessageText(modem->failureText());
        return;
    }
    m_phoneBookEntry = modem->entryName();
    ShowConnectionState(modem->ModemName());
    openStatusAfterConnect();
}

void TfMain::menuConnectTerminalClick()
{
    ShowMessageText(QString());
    if (!m_connectWindows)
        return;
    m_port->switchMonitoringOn();
    if (!m_connectWindows->setUpDirectPort())
        return;
    // No logon and no status window: the terminal has the line until it is closed.
    ShowConnectionState();
    showingErrors([this] { m_connectWindows->openTerminal(true); });
}

void TfMain::menuConnectHangupClick()
{
    if (!messageBoxes().ask(MessageKind::Information,
                            QStringLiteral("About to drop connection. Are you sure?")))
        return;
    // Disconnect and showNotConnected close an open terminal too. A refused log-off (the
    // line busy) is shown and leaves the connection up.
    showingErrors([this] {
        Disconnect();
        showNotConnected();
    });
}

void TfMain::menuExitClick() { close(); }

void TfMain::menuCountsHistoryClick()
{
    if (m_openCountsHistory)
        m_openCountsHistory();
}

void TfMain::menuAboutClick()
{
    TfrmAbout about(this);
    about.exec();
}

void TfMain::closeEvent(QCloseEvent* event)
{
    // The counter streams in continuous update: a log-off now would meet its lines.
    if (m_statusWindow && m_statusWindow->contUpdActive()) {
        event->ignore();
        messageBoxes().show(MessageKind::Information, kContUpdRunning);
        return;
    }
    if (!messageBoxes().ask(MessageKind::Warning, QStringLiteral("Exiting System. Are you sure?"))) {
        event->ignore();
        return;
    }
    // Ignored until the connection is down: if the log-off is refused (the line is busy)
    // the error is shown and the program stays.
    event->ignore();
    showingErrors([this, event] {
        Disconnect();
        event->accept();
    });
}

void TfMain::onLineLost(const QString& reason)
{
    m_port->TapiMode = false;
    showNotConnected();
    messageBoxes().show(MessageKind::Error, reason);
}

// ---- merged menus -----------------------------------------------------------------

void TfMain::mergeMenusOf(QMdiSubWindow* child)
{
    // A child that has been freed took its menus with it.
    for (const QPointer<QAction>& action : std::as_const(m_mergedMenuActions)) {
        if (action)
            menuBar()->removeAction(action);
    }
    m_mergedMenuActions.clear();

    const MergedMenus* owner = dynamic_cast<const MergedMenus*>(child);
    if (!owner && child)
        owner = dynamic_cast<const MergedMenus*>(child->widget());
    if (!owner || !child->isVisible())
        return;
    for (QMenu* menu : owner->mergedMenus()) {
        menuBar()->insertMenu(m_menuHelp->menuAction(), menu);
        m_mergedMenuActions << menu->menuAction();
    }
}

} // namespace kfc::app
