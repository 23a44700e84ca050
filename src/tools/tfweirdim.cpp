#include "tfweirdim.h"

#include "app/application.h"
#include "counter/counterstatus.h"
#include "link/link.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <functional>

namespace kfc::tools {

namespace {

QSpinBox* makeSpin(const QString& name, int maximum, QWidget* parent)
{
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(10, maximum);
    spin->setValue(10);
    // The wheel over an unfocused value must not change it.
    spin->setFocusPolicy(Qt::StrongFocus);
    // Nothing to edit until the counter has said what it holds.
    spin->setEnabled(false);
    return spin;
}

} // namespace

TfWeirDim::TfWeirDim(Link& link, WeirDimensions& weir, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                          | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_link(link), m_weir(weir)
{
    setObjectName(QStringLiteral("WeirDim"));
    setWindowTitle(kCaption);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    auto* labLength = new QLabel(QStringLiteral("Length"), this);
    labLength->setObjectName(QStringLiteral("Label5"));
    auto* labDepth = new QLabel(QStringLiteral("Depth"), this);
    labDepth->setObjectName(QStringLiteral("Label6"));
    grid->addWidget(labLength, 0, 1, Qt::AlignHCenter);
    grid->addWidget(labDepth, 0, 2, Qt::AlignHCenter);
    for (int n = 1; n <= kChannelCount; ++n) {
        auto* label = new QLabel(QStringLiteral("Channel %1").arg(n), this);
        label->setObjectName(QStringLiteral("Label%1").arg(n));
        grid->addWidget(label, n, 0);
        grid->addWidget(makeSpin(QStringLiteral("seLength%1").arg(n), 5000, this), n, 1);
        grid->addWidget(makeSpin(QStringLiteral("seDepth%1").arg(n), 500, this), n, 2);
    }

    OKBtn = new QPushButton(QStringLiteral("&OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    btnRead = new QPushButton(QStringLiteral("&Read"), this);
    btnRead->setObjectName(QStringLiteral("btnRead"));
    btnRead->setAutoDefault(false);
    CancelBtn = new QPushButton(QStringLiteral("&Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setAutoDefault(false);
    connect(OKBtn, &QPushButton::clicked, this, &TfWeirDim::OKBtnClick);
    connect(btnRead, &QPushButton::clicked, this, &TfWeirDim::readFromCounter);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKBtn);
    buttons->addWidget(btnRead);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    OKBtn->setFocus();
}

QSpinBox* TfWeirDim::spinOf(const QString& prefix, int n) const
{
    return findChild<QSpinBox*>(prefix + QString::number(n));
}

void TfWeirDim::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Once, when the dialog opens; after that only on request. Reading on every
    // activation would read again each time the read's own error box closes.
    if (!m_readOnOpen)
        return;
    m_readOnOpen = false;
    // Empty until the read has brought the counter's values (a spin edit fills itself in
    // when it is shown).
    for (QSpinBox* spin : findChildren<QSpinBox*>())
        spin->clear();
    QTimer::singleShot(0, this, &TfWeirDim::readFromCounter);
}

void TfWeirDim::readFromCounter()
{
    app::showingErrors([this] {
        setBusy(true);
        const auto idle = qScopeGuard([this] { setBusy(false); });
        // The channels read before a bad reply are shown too.
        const auto show = qScopeGuard([this] { showEntries(); });
        ReadWeirDimensions(m_link, m_weir);
    });
}

void TfWeirDim::showEntries()
{
    for (int n = 1; n <= kChannelCount; ++n) {
        const WeirDimension& entry = m_weir.channel(n);
        QSpinBox* length = spinOf(QStringLiteral("seLength"), n);
        QSpinBox* depth = spinOf(QStringLiteral("seDepth"), n);
        Shown& shown = m_shown[size_t(n - 1)];
        shown.read = entry.read;
        for (QSpinBox* spin : {length, depth}) {
            spin->setEnabled(entry.read);
            if (!entry.read)
                spin->clear();
        }
        if (!entry.read)
            continue;
        length->setValue(entry.length);  // out of range: shown at the nearer limit
        depth->setValue(entry.depth);
        shown.length = length->value();
        shown.depth = depth->value();
    }
}

void TfWeirDim::OKBtnClick()
{
    app::showingErrors([this] { writeToCounter(); });
}

void TfWeirDim::writeToCounter()
{
    setBusy(true);
    const auto idle = qScopeGuard([this] { setBusy(false); });
    for (int n = 1; n <= kChannelCount; ++n) {
        Shown& shown = m_shown[size_t(n - 1)];
        if (!shown.read)
            continue;
        WeirDimension& entry = m_weir.channel(n);
        const int length = spinOf(QStringLiteral("seLength"), n)->value();
        const int depth = spinOf(QStringLiteral("seDepth"), n)->value();
        if (length != shown.length) {
            entry.length = length;
            entry.changed = true;
        }
        if (depth != shown.depth) {
            entry.depth = depth;
            entry.changed = true;
        }
        shown.length = length;
        shown.depth = depth;
    }
    WriteWeirDimensions(m_link, m_weir);
}

// The buttons are off while the counter is talked to, so that no second dialogue starts
// from a click during the waits.
void TfWeirDim::setBusy(bool busy)
{
    OKBtn->setEnabled(!busy);
    btnRead->setEnabled(!busy);
}

} // namespace kfc::tools
