#include "tfsendcommand.h"

#include "app/application.h"
#include "app/messageboxes.h"
#include "link/link.h"
#include "link/untrusted.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QVBoxLayout>

namespace kfc::tools {

namespace {

// Characters of the longest reply the counter gives in one line (its status line is 56).
constexpr int kWidestUsualReply = 60;

} // namespace

TfSendCommand::TfSendCommand(Link& link, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_link(link)
{
    setObjectName(QStringLiteral("SendCommand"));
    setWindowTitle(kCaption);

    eCommand = new QLineEdit(this);
    eCommand->setObjectName(QStringLiteral("eCommand"));
    eResult = new QLineEdit(this);
    eResult->setObjectName(QStringLiteral("eResult"));
    eResult->setReadOnly(true);
    eResult->setFocusPolicy(Qt::ClickFocus);   // not in the tab order
    auto* labCommand = new QLabel(QStringLiteral("Command"), this);
    labCommand->setObjectName(QStringLiteral("Label1"));
    labCommand->setBuddy(eCommand);
    auto* labResult = new QLabel(QStringLiteral("Result"), this);
    labResult->setObjectName(QStringLiteral("Label2"));

    OKBtn = new QPushButton(QStringLiteral("&Send"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("E&xit"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setAutoDefault(false);
    connect(OKBtn, &QPushButton::clicked, this, &TfSendCommand::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto* fields = new QGridLayout;
    fields->addWidget(labCommand, 0, 0);
    fields->addWidget(eCommand, 0, 1);
    fields->addWidget(labResult, 1, 0, 1, 2);
    // The whole width for the reply: the status line that "a" brings back fits, date first.
    fields->addWidget(eResult, 2, 0, 1, 2);
    eResult->setMinimumWidth(eResult->fontMetrics().horizontalAdvance(QString(kWidestUsualReply, QLatin1Char('0')))
                             + 2 * eResult->fontMetrics().averageCharWidth());
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    OKBtn->setFocus();
}

QString TfSendCommand::refusal(const QString& command)
{
    if (command.size() > kMaxCommandLength)
        return QStringLiteral("The command is %1 characters long and was not sent: a command holds at most %2.")
            .arg(command.size())
            .arg(kMaxCommandLength);
    for (QChar c : command) {
        if (c.unicode() > 0xFF)
            return QStringLiteral("The command was not sent: the character '%1' cannot be sent to the counter.")
                .arg(c);
    }
    return {};
}

void TfSendCommand::OKBtnClick()
{
    eResult->clear();
    const QString command = eCommand->text();
    const QString refused = refusal(command);
    if (!refused.isEmpty()) {
        app::messageBoxes().show(MessageKind::Warning, refused);
        return;
    }
    OKBtn->setEnabled(false);
    const auto enable = qScopeGuard([this] { OKBtn->setEnabled(true); });
    app::showingErrors([this, &command] {
        eResult->setText(printable(m_link.Exchange(command)));
        // A reply wider than the field is read from its start.
        eResult->setCursorPosition(0);
    });
}

} // namespace kfc::tools
