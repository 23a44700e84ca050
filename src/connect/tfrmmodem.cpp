#include "tfrmmodem.h"

#include "app/messageboxes.h"
#include "app/settingsstore.h"

#include "link/errors.h"
#include "link/link.h"
#include "link/wait.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QKeySequence>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSet>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace kfc::connect {

namespace {

constexpr int kBaud = 9600;
constexpr int kDataBits = 7;
constexpr int kStopBits = 1;

// Swallows the user's input to the windows that were there when it was made, while it
// lives; painting and timers go on. A window that opens meanwhile (the box that says the
// line was lost) takes its input as always: no box may be out of the user's reach.
class InputBlocker : public QObject {
public:
    InputBlocker()
    {
        for (QWidget* window : QApplication::topLevelWidgets())
            m_widgets.insert(window);
        for (QWindow* window : QGuiApplication::topLevelWindows())
            m_windows.insert(window);
        qApp->installEventFilter(this);
    }
    ~InputBlocker() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::Close:
            return wasThere(watched);
        default:
            return false;
        }
    }

private:
    bool wasThere(QObject* watched) const
    {
        if (auto* window = qobject_cast<QWindow*>(watched))
            return m_windows.contains(window);
        if (auto* widget = qobject_cast<QWidget*>(watched))
            return m_widgets.contains(widget->window());
        return false;
    }

    // Only compared, never used: a window freed meanwhile does no harm.
    QSet<const QObject*> m_widgets;
    QSet<const QObject*> m_windows;
};

} // namespace

// ---- where the modems are -----------------------------------------------------------

QStringList installedModems()
{
    auto store = app::SettingsStore::open();
    store->beginGroup(kModemsGroup);
    return store->childKeys();
}

QString modemPortText(const QString& modemName)
{
    auto store = app::SettingsStore::open();
    store->beginGroup(kModemsGroup);
    // The name must match exactly, letter case included.
    if (!store->childKeys().contains(modemName))
        return {};
    return store->value(modemName).toString();
}

DeviceSelectionDialog::DeviceSelectionDialog(const QStringList& modems, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("DeviceSelection"));
    setWindowTitle(QStringLiteral("Device Selection"));
    auto* layout = new QVBoxLayout(this);
    m_cbDevices = new QComboBox(this);
    m_cbDevices->setObjectName(QStringLiteral("cbDevices"));
    m_cbDevices->addItems(modems);
    layout->addWidget(m_cbDevices);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setText(QStringLiteral("OK"));
    QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    cancel->setText(QStringLiteral("Cancel"));
    if (modems.isEmpty()) {
        m_cbDevices->setEnabled(false);
        ok->setEnabled(false);
        // Broken by hand and never wrapped: a wrapped path breaks anywhere in it.
        auto* note = new QLabel(QStringLiteral("No modem is set up. Add one to the \"%1\" group of\n%2\n"
                                               "for example:\n%3")
                                    .arg(kModemsGroup,
                                         QDir::toNativeSeparators(app::SettingsStore::open()->fileName()),
                                         QStringLiteral("My Modem=COM5")),
                                this);
        note->setObjectName(QStringLiteral("labNoModems"));
        note->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(note);
    }
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString DeviceSelectionDialog::selectedName() const { return m_cbDevices->currentText(); }

// ---- the window ---------------------------------------------------------------------

TfrmModem::TfrmModem(Link& link, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint),
      m_link(link)
{
    setObjectName(QStringLiteral("frmModem"));
    setWindowTitle(QStringLiteral("Modem Connection"));
    setModal(false);

    m_memStatus = new QPlainTextEdit(this);
    m_memStatus->setObjectName(QStringLiteral("memStatus"));
    m_memStatus->setReadOnly(true);
    m_memStatus->setFrameShape(QFrame::NoFrame);
    m_memStatus->setBackgroundRole(QPalette::Window);
    m_memStatus->viewport()->setBackgroundRole(QPalette::Window);
    m_memStatus->setGeometry(16, 16, 321, 129);

    m_labTimeLeft = new QLabel(this);
    m_labTimeLeft->setObjectName(QStringLiteral("labTimeLeft"));
    m_labTimeLeft->setGeometry(16, 160, 118, 25);

    m_btbtnCancel = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                                    QStringLiteral("Cancel"), this);
    m_btbtnCancel->setObjectName(QStringLiteral("btbtnCancel"));
    m_btbtnCancel->setShortcut(QKeySequence(Qt::Key_Escape));
    m_btbtnCancel->setAutoDefault(false);
    m_btbtnCancel->setGeometry(138, 160, 75, 25);
    // Reachable only once the dial command is out.
    m_btbtnCancel->setEnabled(false);
    connect(m_btbtnCancel, &QPushButton::clicked, this, &TfrmModem::btbtnCancelClick);

    setFixedSize(351, 202);
    if (parent) {
        QRect frame(QPoint(), size());
        frame.moveCenter(parent->frameGeometry().center());
        move(frame.topLeft());
    }
}

TfrmModem::~TfrmModem() = default;

DialState TfrmModem::dialState() const
{
    return m_dialer ? m_dialer->state() : (m_detectionFailed ? DialState::dsFailed : DialState::dsWaiting);
}

void TfrmModem::AddStatusLine(const QString& text)
{
    m_memStatus->appendPlainText(text);
    m_link.LogLine(QStringLiteral("--  modem: ") + text);   // the debug log keeps the whole attempt
}

QStringList TfrmModem::statusLines() const
{
    const QString text = m_memStatus->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

QString TfrmModem::failureText() const
{
    if (dialState() == DialState::dsConnected)
        return {};
    if (!m_error.isEmpty())
        return m_error;
    // The dialer's last line says how the call ended; before it, no modem was chosen.
    if (m_dialer)
        return statusLines().value(statusLines().size() - 1);
    return QStringLiteral("No modem was chosen; nothing was dialled.");
}

void TfrmModem::showTimeLeft()
{
    if (!m_dialling || !m_dialer || m_dialer->deadline().isForever()) {
        m_labTimeLeft->clear();
        return;
    }
    const qint64 seconds = (m_dialer->deadline().remainingTime() + 999) / 1000;
    m_labTimeLeft->setText(QStringLiteral("Answer within %1 s").arg(seconds));
}

void TfrmModem::reject()
{
    // The close box (and Escape) during a dial is Cancel. Otherwise the window closes by
    // itself once the attempt's last line has been read.
    if (m_dialling)
        btbtnCancelClick();
}

bool TfrmModem::Dial(const QString& number)
{
    m_phoneNumber = number;
    m_error.clear();
    show();
    raise();
    QString& error = m_error;
    // Only a display: the dial itself waits on the dialer's own deadline.
    QTimer countdown;
    countdown.setInterval(200);
    connect(&countdown, &QTimer::timeout, this, &TfrmModem::showTimeLeft);
    try {
        if (!m_comPort)
            throw PortError(QStringLiteral("No com port selected for dialing"));
        // Nothing else may talk on the line while the modem has it.
        auto hold = m_link.holdLine();
        if (DetectModem()) {
            m_dialer = std::make_unique<ModemDialer>(*m_comPort);
            m_dialer->progress = [this](const QString& text) {
                AddStatusLine(text);
                showTimeLeft();
            };
            m_btbtnCancel->setEnabled(true);
            const QScopedValueRollback dialling(m_dialling, true);
            countdown.start();
            m_dialer->dial(number, m_link.timing.modemDialTimeoutMs);
        }
    } catch (const LinkError& e) {
        error = e.text();
        // A port left open by a failed write must not look like a call.
        if (m_dialer && m_dialer->state() != DialState::dsFailed)
            m_dialer->AbortDial();
        else if (m_comPort && !m_dialer)
            m_comPort->ClosePort();
    }
    m_btbtnCancel->setEnabled(false);
    countdown.stop();
    showTimeLeft();
    exitSteps();
    if (!error.isEmpty()) {
        m_link.LogLine(QStringLiteral("--  ") + error);
        app::messageBoxes().show(MessageKind::Error, error);
    }
    // A line that died during the last pause carries no call, whatever the modem said.
    if (dialState() == DialState::dsConnected && !m_comPort->PortIsOpen())
        m_dialer->AbortDial();
    return dialState() == DialState::dsConnected;
}

void TfrmModem::exitSteps()
{
    {
        // The last line stays readable; the window is painted but takes no input.
        InputBlocker blocker;
        DelayWithEvents(unsigned(m_link.timing.modemClosePauseMs));
    }
    if (m_comPort && m_comPort->PortIsOpen())
        m_comPort->DiscardInput();   // whatever the modem sent after "CONNECT"
    hide();
}

bool TfrmModem::DetectModem()
{
    AddStatusLine(QStringLiteral("Checking for modems..."));
    m_comPort->ClosePort();

    const QStringList modems = installedModems();
    if (modems.size() == 1) {
        m_modemName = modems.first();
    } else {
        DeviceSelectionDialog selection(modems, this);
        if (selection.exec() != QDialog::Accepted || selection.selectedName().isEmpty()) {
            m_detectionFailed = true;
            return false;
        }
        m_modemName = selection.selectedName();
    }

    const int n = FindModemComPort();
    m_comPort->settings.comNumber = n;
    if (n > 0) {
        m_comPort->settings.dataBits = kDataBits;
        m_comPort->settings.parity = Parity::Even;
        m_comPort->settings.stopBits = kStopBits;
        m_comPort->settings.baud = kBaud;
        QString why;
        if (!m_comPort->openQuietly(&why))
            throw PortError(why);
        AddStatusLine(QStringLiteral("Using modem %1 on COM%2").arg(m_modemName).arg(n));
    }
    // With no port the dial command meets a closed port and says so.
    return true;
}

int TfrmModem::FindModemComPort() const { return comNumberFromPortText(modemPortText(m_modemName)); }

void TfrmModem::PollModemReply()
{
    if (m_dialer)
        m_dialer->PollModemReply();
}

void TfrmModem::AbortDial()
{
    if (m_dialer)
        m_dialer->AbortDial();
}

void TfrmModem::btbtnCancelClick()
{
    if (m_dialer)
        m_dialer->cancel();
    else if (m_comPort)
        m_comPort->ClosePort();
}

} // namespace kfc::connect
