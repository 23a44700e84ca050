#include "tfbaudset.h"

#include "app/application.h"
#include "app/messageboxes.h"
#include "app/radiogroup.h"
#include "app/tfmain.h"
#include "link/link.h"
#include "link/wait.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QScopeGuard>
#include <QVBoxLayout>

namespace kfc::tools {

namespace {

// How long the frame of a command takes on the wire at the port's present settings: a
// start bit, the data bits, a parity bit unless there is none, and the stop bits.
unsigned frameTimeMs(const SerialSettings& settings, const QString& command)
{
    const int bitsPerChar = 1 + settings.dataBits + (settings.parity == Parity::None ? 0 : 1) + settings.stopBits;
    const qint64 bits = qint64(command.size() + 2) * bitsPerChar;
    return unsigned((bits * 1000 + settings.baud - 1) / settings.baud);
}

} // namespace

const QStringList TfBaudSet::kRates = {QStringLiteral("300"),  QStringLiteral("1200"), QStringLiteral("2400"),
                                       QStringLiteral("4800"), QStringLiteral("9600"), QStringLiteral("19200")};

TfBaudSet::TfBaudSet(app::TfMain& main, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                          | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_main(main)
{
    setObjectName(QStringLiteral("BaudSet"));
    setWindowTitle(kCaption);

    RGComms = new app::RadioGroup(QStringLiteral("RGComms"), QStringLiteral(" Comms "), kRates, this);
    RGPrinter = new app::RadioGroup(QStringLiteral("RGPrinter"), QStringLiteral(" Printer "), kRates, this);
    // The PC port's present rate; a rate that is not an item selects nothing.
    RGComms->setItemIndex(int(kRates.indexOf(QString::number(main.comPort().settings.baud))));
    RGPrinter->setItemIndex(-1);

    OKBtn = new QPushButton(QStringLiteral("&Set"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    CancelBtn = new QPushButton(QStringLiteral("&Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setAutoDefault(false);
    connect(OKBtn, &QPushButton::clicked, this, &TfBaudSet::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto* groups = new QHBoxLayout;
    groups->addWidget(RGComms);
    groups->addWidget(RGPrinter);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    OKBtn->setFocus();
}

void TfBaudSet::OKBtnClick()
{
    OKBtn->setEnabled(false);
    CancelBtn->setEnabled(false);
    // Closed however the rates went out, before an error is shown.
    app::showingErrors([this] {
        const auto close = qScopeGuard([this] { accept(); });
        sendRates();
    });
}

void TfBaudSet::sendRates()
{
    Link& link = m_main.link();
    // The printer rate goes out first, at the old communications rate.
    auto hold = link.holdLine();
    if (RGPrinter->itemIndex() >= 0)
        link.SendPaddedCommand(QStringLiteral("2"), kRates.at(RGPrinter->itemIndex()));
    if (RGComms->itemIndex() < 0)
        return;
    const QString rate = kRates.at(RGComms->itemIndex());
    if (rate.toInt() == m_main.comPort().settings.baud)
        return;
    if (!link.SendPaddedCommand(QStringLiteral("1"), rate))
        return;
    // The counter switches at once and says nothing; so does the PC, once the command's
    // last bytes have left at the old rate: at 300 baud a byte takes longer than the gap
    // paced after it, and the rate must not change under one still going out.
    DelayWithEvents(frameTimeMs(m_main.comPort().settings, link.LastCommand));
    if (!m_main.comPort().setBaudWhileOpen(rate.toInt()))
        app::messageBoxes().show(MessageKind::Error, m_main.comPort().speedNotFollowedMessage(rate.toInt()));
    m_main.ShowConnectionState();
}

} // namespace kfc::tools
