#include "tfcounterlogon.h"

#include "app/application.h"
#include "app/messageboxes.h"

#include "counter/password.h"
#include "link/link.h"

#include <QEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScopedValueRollback>
#include <QScreen>

namespace kfc::connect {

TfCounterLogon::TfCounterLogon(Link& link, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                          | Qt::WindowTitleHint),
      m_link(link)
{
    setObjectName(QStringLiteral("fCounterLogon"));

    m_label1 = new QLabel(QStringLiteral("Password:"), this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_mePassword = new QLineEdit(this);
    m_mePassword->setObjectName(QStringLiteral("mePassword"));
    m_mePassword->setEchoMode(QLineEdit::Password);
    // The password travels inside a command frame: only printable characters may be in
    // it (a control character would end or break the frame), and the command with it must
    // fit the counter's command length.
    m_mePassword->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[\\x20-\\x7e]*")), m_mePassword));
    m_mePassword->setMaxLength(kMaxPasswordLength);
    m_label1->setBuddy(m_mePassword);

    m_bitBtn1 = new QPushButton(QStringLiteral("&OK"), this);
    m_bitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    m_bitBtn1->setDefault(true);
    connect(m_bitBtn1, &QPushButton::clicked, this, &TfCounterLogon::BitBtn1Click);
    m_bitBtn2 = new QPushButton(QStringLiteral("&Cancel"), this);
    m_bitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    m_bitBtn2->setAutoDefault(false);
    connect(m_bitBtn2, &QPushButton::clicked, this, &TfCounterLogon::reject);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(m_label1, 0, 0);
    layout->addWidget(m_mePassword, 0, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_bitBtn1);
    buttons->addWidget(m_bitBtn2);
    layout->addLayout(buttons, 1, 0, 1, 2);
    setFixedSize(sizeHint().expandedTo(QSize(196, 86)));
    setMode(Mode::Logon);
}

void TfCounterLogon::setMode(Mode mode)
{
    m_mode = mode;
    switch (mode) {
    case Mode::Logon: setWindowTitle(QStringLiteral("Counter Logon")); break;
    case Mode::Set: setWindowTitle(QStringLiteral("Set Counter Password")); break;
    case Mode::Change: setWindowTitle(QStringLiteral("Change Counter Password")); break;
    }
}

int TfCounterLogon::showIn(Mode mode)
{
    setMode(mode);
    if (const QScreen* display = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(display->availableGeometry().center());
        move(frame.topLeft());
    }
    return exec();
}

int TfCounterLogon::showForLogon() { return showIn(Mode::Logon); }
int TfCounterLogon::showForSet() { return showIn(Mode::Set); }
int TfCounterLogon::showForChange() { return showIn(Mode::Change); }

void TfCounterLogon::showEvent(QShowEvent* event)
{
    m_attempts = 0;
    m_mePassword->clear();
    QDialog::showEvent(event);
    m_mePassword->setFocus();
}

void TfCounterLogon::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        m_mePassword->setFocus();
}

void TfCounterLogon::reject()
{
    // Not while a step talks to the counter: the step decides how the window closes.
    if (m_talking)
        return;
    QDialog::reject();
}

void TfCounterLogon::BitBtn1Click()
{
    if (m_talking)
        return;
    {
        const QScopedValueRollback talking(m_talking, true);
        m_bitBtn1->setEnabled(false);
        m_bitBtn2->setEnabled(false);
        app::showingErrors([this] {
            if (m_mode == Mode::Logon)
                logonStep();
            else
                setStep();
        });
    }
    m_bitBtn1->setEnabled(true);
    m_bitBtn2->setEnabled(true);
    // A line that died under the step leaves nothing to log on to: the window goes, as a
    // refusal, instead of asking again on a dead line.
    if (isVisible() && !m_link.port().PortIsOpen())
        QDialog::reject();
}

void TfCounterLogon::logonStep()
{
    const QString password = PadPassword(m_mePassword->text());
    if (CounterLogon(m_link, password)) {
        done(QDialog::Accepted);
        return;
    }
    ++m_attempts;
    if (m_attempts < kMaxAttempts) {
        app::messageBoxes().show(MessageKind::Error,
                            QStringLiteral("Password Incorrect - you have %1 left")
                                .arg(kMaxAttempts - m_attempts));
        returnFocusToEntry();
        return;
    }
    app::messageBoxes().show(MessageKind::Error, QStringLiteral("Password Incorrect - Too many attempts"));
    returnFocusToEntry();
    done(QDialog::Rejected);
}

void TfCounterLogon::setStep()
{
    // Closes with OK whatever the counter said: SetCounterPassword has told the user.
    SetCounterPassword(m_link, PadPassword(m_mePassword->text()));
    done(QDialog::Accepted);
}

void TfCounterLogon::returnFocusToEntry() { m_mePassword->setFocus(); }

} // namespace kfc::connect
