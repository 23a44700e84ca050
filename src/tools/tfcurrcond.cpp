#include "tfcurrcond.h"

#include "app/application.h"
#include "app/radiogroup.h"
#include "app/statusaccess.h"
#include "counter/counterstatus.h"
#include "link/link.h"
#include "link/untrusted.h"
#include "link/wait.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QVBoxLayout>

namespace kfc::tools {

namespace {

constexpr int kOnce = 0;
constexpr int kContinuous = 1;

} // namespace

int TfCurrCond::open(Link& link, app::StatusAccess& status)
{
    TfCurrCond dialog(link, status.dialogParent());
    return status.runOwnDialog([&dialog] { return dialog.exec(); });
}

TfCurrCond::TfCurrCond(Link& link, QWidget* parent) : ToolDialog(parent), m_link(link)
{
    setObjectName(QStringLiteral("fCurrCond"));
    setWindowTitle(QStringLiteral("Current Conductivity"));

    m_label1 = new QLabel(QStringLiteral("Conductivity"), this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_eValue = new QLineEdit(this);
    m_eValue->setObjectName(QStringLiteral("eValue"));
    m_eValue->setReadOnly(true);
    m_eValue->setFrame(false);
    m_eValue->setFocusPolicy(Qt::NoFocus);
    QFont big = m_eValue->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    m_eValue->setFont(big);

    m_rgMode = new app::RadioGroup(QStringLiteral("rgMode"), QStringLiteral(" Mode "),
                                   {QStringLiteral("&Once"), QStringLiteral("&Continuous")}, this);
    // Two columns: the items side by side.
    delete m_rgMode->layout();
    auto* columns = new QHBoxLayout(m_rgMode);
    for (int i = 0; i < m_rgMode->count(); ++i)
        columns->addWidget(m_rgMode->button(i));
    m_rgMode->setItemIndex(kOnce);

    m_bbtnStart = new QPushButton(QStringLiteral("&Start"), this);
    m_bbtnStart->setObjectName(QStringLiteral("bbtnStart"));
    m_bbtnStart->setDefault(true);
    connect(m_bbtnStart, &QPushButton::clicked, this, &TfCurrCond::bbtnStartClick);
    m_bbtnExit = new QPushButton(kExit, this);
    m_bbtnExit->setObjectName(QStringLiteral("bbtnExit"));
    connect(m_bbtnExit, &QPushButton::clicked, this, &TfCurrCond::bbtnExitClick);

    auto* reading = new QHBoxLayout;
    reading->addWidget(m_label1);
    reading->addWidget(m_eValue, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_bbtnStart);
    buttons->addWidget(m_bbtnExit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(reading);
    layout->addWidget(m_rgMode);
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(280, 0)));
    m_bbtnStart->setFocus();
}

void TfCurrCond::bbtnStartClick()
{
    // Disabled during the run, "&Start" hands the focus on to "E&xit"; it takes it back
    // afterwards, or Enter would close the window instead of reading again.
    const bool hadFocus = focusWidget() == m_bbtnStart;
    const auto refocus = qScopeGuard([this, hadFocus] {
        if (hadFocus && isVisible())
            m_bbtnStart->setFocus();
    });
    // Only "E&xit" stays usable during a run: it reads "&Stop" then.
    app::showingErrors([this] {
        runBusy({m_bbtnStart, m_rgMode}, [this] {
            if (m_rgMode->itemIndex() == kContinuous)
                m_bbtnExit->setText(kStop);
            // Back to "E&xit" on every way out, a line that dies under the read included:
            // otherwise the button would only ever stop a run that is over.
            const auto restore = qScopeGuard([this] { m_bbtnExit->setText(kExit); });
            readingLoop();
        });
    });
}

void TfCurrCond::bbtnExitClick()
{
    if (m_bbtnExit->text() == kExit)
        done(QDialog::Rejected);
    else
        m_stop = true;
}

void TfCurrCond::reject() { bbtnExitClick(); }

void TfCurrCond::readingLoop()
{
    m_stop = false;
    do {
        YieldToUI();
        const QString value = ReadConductivity(m_link);
        // The reading as received, but a control byte from a noisy line shown as \xHH.
        m_eValue->setText(printable(value));
        if (m_rgMode->itemIndex() == kContinuous)
            DelayWithEvents(unsigned(m_link.timing.monitorIntervalMs));
        else
            m_stop = true;
        // A closed line has nothing more to say: without this every pass would bring
        // up another error box.
        if (!m_link.port().PortIsOpen()) {
            m_link.LogLine(QStringLiteral("--  conductivity monitor stopped: the line is closed"));
            m_stop = true;
        }
    } while (!m_stop);
}

} // namespace kfc::tools
