#include "tffishtest.h"

#include "app/application.h"
#include "app/messageboxes.h"
#include "app/radiogroup.h"
#include "app/statusaccess.h"
#include "counter/counterstatus.h"
#include "counter/dummyfish.h"
#include "link/errors.h"
#include "link/link.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QVBoxLayout>

namespace kfc::tools {

int TfFishTest::open(Link& link, app::StatusAccess& status)
{
    TfFishTest dialog(link, status, status.dialogParent());
    return status.runOwnDialog([&dialog] { return dialog.exec(); });
}

TfFishTest::TfFishTest(Link& link, app::StatusAccess& status, QWidget* parent)
    : ToolDialog(parent), m_link(link), m_status(status)
{
    setObjectName(QStringLiteral("fFishTest"));
    setWindowTitle(QStringLiteral("Send Dummy Fish"));

    m_channelPlace = new QVBoxLayout;
    m_rgDirection = new app::RadioGroup(QStringLiteral("rgDirection"), QStringLiteral(" Direction "),
                                        {QStringLiteral("&Up"), QStringLiteral("&Down")}, this);
    m_labProgress = new QLabel(this);
    m_labProgress->setObjectName(QStringLiteral("labProgress"));
    m_labProgress->setAlignment(Qt::AlignCenter);

    m_okBtn = new QPushButton(QStringLiteral("&Insert"), this);
    m_okBtn->setObjectName(QStringLiteral("OKBtn"));
    m_okBtn->setDefault(true);
    connect(m_okBtn, &QPushButton::clicked, this, &TfFishTest::OKBtnClick);
    m_cancelBtn = new QPushButton(QStringLiteral("&Exit"), this);
    m_cancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    connect(m_cancelBtn, &QPushButton::clicked, this, [this] { done(kAbort); });

    auto* groups = new QHBoxLayout;
    groups->addLayout(m_channelPlace, 1);
    groups->addWidget(m_rgDirection, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_okBtn);
    buttons->addWidget(m_cancelBtn);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addWidget(m_labProgress);
    layout->addLayout(buttons);
    FormActivate();
    setMinimumSize(300, 200);
    m_okBtn->setFocus();
}

void TfFishTest::FormActivate()
{
    // Only enabled channels are offered, as the last status read found them.
    QStringList items;
    m_channels.clear();
    for (int n = 1; n <= kChannelCount; ++n) {
        if (m_status.status().channel(n).enabled != 0) {
            items << QStringLiteral("Channel %1").arg(n);
            m_channels << n;
        }
    }
    auto* rebuilt = new app::RadioGroup(QStringLiteral("rgChannel"), QStringLiteral(" Channel "), items, this);
    if (m_rgChannel) {
        delete m_channelPlace->replaceWidget(m_rgChannel, rebuilt);   // the old item is ours to free
        delete m_rgChannel;
    } else {
        m_channelPlace->addWidget(rebuilt);
    }
    m_rgChannel = rebuilt;
    rebuilt->show();
}

void TfFishTest::OKBtnClick()
{
    const int item = m_rgChannel->itemIndex();
    if (item < 0) {
        app::messageBoxes().show(MessageKind::Error, QStringLiteral("Error: Channel must be selected"));
        return;
    }
    const int direction = m_rgDirection->itemIndex();
    if (direction < 0) {
        app::messageBoxes().show(MessageKind::Error, QStringLiteral("Error: Direction must be selected"));
        return;
    }
    const int channel = m_channels.at(item);
    const auto fish = direction == 0 ? FishDirection::Up : FishDirection::Down;
    app::showingErrors([&] {
        runBusy({m_rgChannel, m_rgDirection, m_okBtn, m_cancelBtn}, [&] { insertFish(channel, fish); });
        if (m_status.contUpdActive())
            done(QDialog::Accepted);
    });
}

void TfFishTest::insertFish(int channel, FishDirection fish)
{
    // Cleared when the step ends early (a dead line): the label must not go on saying that
    // the status is being updated.
    auto unfinished = qScopeGuard([this] { m_labProgress->clear(); });
    // During continuous update the fish is sent inside the listener's wait, which gives
    // way to it; the fish and the status read after it are one dialogue.
    auto hold = m_link.holdLine(Link::HoldKind::Interrupt);
    // A fish that could not go out is in the debug log; the read below shows the counts.
    SendDummyFish(m_link, channel, fish);
    // The status window follows the counter live: the fish shows there.
    if (m_status.contUpdActive()) {
        unfinished.dismiss();
        return;
    }
    m_labProgress->setText(QStringLiteral("Dummy fish sent. Updating status..."));
    try {
        m_status.RefreshStatus();
    } catch (const ConversionError& error) {
        // Reported here so that the dialog still ends its step below.
        app::messageBoxes().show(MessageKind::Error, error.text());
    }
    unfinished.dismiss();
    m_labProgress->setText(QStringLiteral("Status Updated"));
}

} // namespace kfc::tools
