#include "tfboardcalibrate.h"

#include "app/application.h"
#include "app/statusaccess.h"
#include "link/link.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

namespace kfc::tools {

int TfBoardCalibrate::open(Link& link, app::StatusAccess& status)
{
    TfBoardCalibrate dialog(link, status.dialogParent());
    return status.runOwnDialog([&dialog] { return dialog.exec(); });
}

TfBoardCalibrate::TfBoardCalibrate(Link& link, QWidget* parent) : ToolDialog(parent), m_link(link)
{
    setObjectName(QStringLiteral("fBoardCalibrate"));
    setWindowTitle(QStringLiteral("Board Calibration"));

    m_rbAutomatic = new QRadioButton(QStringLiteral("&Automatic"), this);
    m_rbAutomatic->setObjectName(QStringLiteral("rbAutomatic"));
    m_rbManual = new QRadioButton(QStringLiteral("&Manual"), this);
    m_rbManual->setObjectName(QStringLiteral("rbManual"));
    for (QRadioButton* button : {m_rbAutomatic, m_rbManual})
        connect(button, &QRadioButton::toggled, this, &TfBoardCalibrate::RadioButtonClick);

    m_spinEdit1 = new QSpinBox(this);
    m_spinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    m_spinEdit1->setRange(kGainMin, kGainMax);
    m_spinEdit1->setValue(kGainMin);
    m_spinEdit1->setEnabled(false);
    m_trackBar1 = new QSlider(Qt::Horizontal, this);
    m_trackBar1->setObjectName(QStringLiteral("TrackBar1"));
    m_trackBar1->setRange(kGainMin, kGainMax);
    m_trackBar1->setPageStep(50);
    m_trackBar1->setTickInterval(20);
    m_trackBar1->setTickPosition(QSlider::TicksBelow);
    m_trackBar1->setValue(kGainMin);
    m_trackBar1->setMinimumWidth(260);
    m_trackBar1->setEnabled(false);
    connect(m_spinEdit1, &QSpinBox::valueChanged, this, [this] { ValueChange(m_spinEdit1); });
    connect(m_trackBar1, &QSlider::valueChanged, this, [this] { ValueChange(m_trackBar1); });

    m_eMessage = new QLineEdit(this);
    m_eMessage->setObjectName(QStringLiteral("eMessage"));
    m_eMessage->setReadOnly(true);
    m_eMessage->setFocusPolicy(Qt::NoFocus);

    m_okBtn = new QPushButton(QStringLiteral("&OK"), this);
    m_okBtn->setObjectName(QStringLiteral("OKBtn"));
    m_okBtn->setDefault(true);
    connect(m_okBtn, &QPushButton::clicked, this, &TfBoardCalibrate::OKBtnClick);
    m_cancelBtn = new QPushButton(QStringLiteral("&Cancel"), this);
    m_cancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    connect(m_cancelBtn, &QPushButton::clicked, this, &TfBoardCalibrate::CancelBtnClick);

    auto* modes = new QHBoxLayout;
    modes->addWidget(m_rbAutomatic);
    modes->addWidget(m_rbManual);
    modes->addStretch(1);
    auto* value = new QHBoxLayout;
    value->addWidget(m_trackBar1, 1);
    value->addWidget(m_spinEdit1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_okBtn);
    buttons->addWidget(m_cancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(modes);
    layout->addLayout(value);
    layout->addWidget(m_eMessage);
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(380, 0)));
    m_okBtn->setFocus();
}

void TfBoardCalibrate::FormActivate()
{
    m_calibration.reset();
    bool automatic = false;
    // Also when the line dies during the test: the dialog then offers manual calibration.
    const auto choose = qScopeGuard([&] {
        m_rbAutomatic->setEnabled(automatic);
        (automatic ? m_rbAutomatic : m_rbManual)->setChecked(true);
        RadioButtonClick();
    });
    runBusy({m_okBtn, m_cancelBtn, m_rbAutomatic, m_rbManual},
            [&] { automatic = ProbeCanCalibrateItself(m_link); });
}

void TfBoardCalibrate::RadioButtonClick()
{
    const bool manual = m_rbManual->isChecked();
    m_spinEdit1->setEnabled(manual);
    m_trackBar1->setEnabled(manual);
}

void TfBoardCalibrate::ValueChange(QObject* sender)
{
    // The slider is not inverted here.
    if (sender == m_spinEdit1)
        m_trackBar1->setValue(m_spinEdit1->value());
    else if (sender == m_trackBar1)
        m_spinEdit1->setValue(m_trackBar1->value());
}

void TfBoardCalibrate::OKBtnClick()
{
    app::showingErrors([this] {
        const auto mode = m_rbManual->isChecked() ? ProbeCalibration::Mode::Manual
                                                  : ProbeCalibration::Mode::Automatic;
        runStep(m_calibration.ok(mode, m_spinEdit1->value()));
    });
}

void TfBoardCalibrate::CancelBtnClick()
{
    app::showingErrors([this] {
        const ProbeCalibration::Step step = m_calibration.cancel();
        if (step.command.isEmpty()) {
            done(QDialog::Rejected);
            return;
        }
        runStep(step);
    });
}

void TfBoardCalibrate::reject()
{
    if (m_cancelBtn->isEnabled())
        CancelBtnClick();
}

void TfBoardCalibrate::runStep(const ProbeCalibration::Step& step)
{
    // The operator reads the step's message either way; the debug log says whether the
    // command went out.
    runBusy({m_okBtn, m_cancelBtn}, [&] { sendProbeStep(m_link, step); });
    m_eMessage->setText(step.message);
}

} // namespace kfc::tools
