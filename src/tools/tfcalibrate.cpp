#include "tfcalibrate.h"

#include "app/messageboxes.h"
#include "app/statusaccess.h"
#include "counter/calibration.h"
#include "counter/counterstatus.h"
#include "link/errors.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

namespace kfc::tools {

int TfCalibrate::open(app::StatusAccess& status)
{
    TfCalibrate dialog(status, status.dialogParent());
    return status.runOwnDialog([&dialog] { return dialog.exec(); });
}

TfCalibrate::TfCalibrate(app::StatusAccess& status, QWidget* parent)
    : ToolDialog(parent), m_status(status)
{
    setObjectName(QStringLiteral("fCalibrate"));
    setWindowTitle(QStringLiteral("Calibration"));

    m_rbDefault = new QRadioButton(QStringLiteral("&Default"), this);
    m_rbDefault->setObjectName(QStringLiteral("rbDefault"));
    m_rbFlat = new QRadioButton(QStringLiteral("&Flat"), this);
    m_rbFlat->setObjectName(QStringLiteral("rbFlat"));
    m_rbManual = new QRadioButton(QStringLiteral("&Manual"), this);
    m_rbManual->setObjectName(QStringLiteral("rbManual"));
    auto* modes = new QHBoxLayout;
    for (QRadioButton* button : {m_rbDefault, m_rbFlat, m_rbManual}) {
        connect(button, &QRadioButton::toggled, this, &TfCalibrate::RadioButtonClick);
        modes->addWidget(button);
    }
    modes->addStretch(1);

    auto* values = new QGridLayout;
    values->setHorizontalSpacing(10);
    for (int n = 1; n <= kProfilePointCount; ++n) {
        // The conductivity point the gain belongs to, over its column.
        auto* point = new QLabel(QString::number(conductivityPoint(n)), this);
        point->setObjectName(QStringLiteral("labPoint%1").arg(n));
        point->setAlignment(Qt::AlignCenter);

        auto* track = new QSlider(Qt::Vertical, this);
        track->setObjectName(QStringLiteral("TrackBar%1").arg(n));
        track->setRange(kGainMin, kGainMax);
        track->setPageStep(50);
        track->setSingleStep(1);
        track->setTickInterval(20);
        track->setTickPosition(QSlider::TicksRight);
        // Position 20 (the highest gain) at the top.
        track->setInvertedAppearance(true);
        track->setInvertedControls(true);
        // Upside down, a style's filled groove would grow from the top and read as the
        // opposite of the gain: the groove is drawn unfilled.
        QPalette unfilled = track->palette();
        unfilled.setColor(QPalette::Highlight, unfilled.color(QPalette::Window).darker(115));
        track->setPalette(unfilled);
        track->setValue(kGainMin);
        track->setMinimumHeight(180);
        track->setEnabled(false);

        auto* spin = new QSpinBox(this);
        spin->setObjectName(QStringLiteral("SpinEdit%1").arg(n));
        spin->setRange(kGainMin, kGainMax);
        spin->setValue(kGainMin);
        spin->setEnabled(false);

        connect(track, &QSlider::valueChanged, this, [this, track] { ValueChange(track); });
        connect(spin, &QSpinBox::valueChanged, this, [this, spin] { ValueChange(spin); });
        values->addWidget(point, 0, n - 1, Qt::AlignHCenter);
        values->addWidget(track, 1, n - 1, Qt::AlignHCenter);
        values->addWidget(spin, 2, n - 1);
        m_trackBars[size_t(n - 1)] = track;
        m_spinEdits[size_t(n - 1)] = spin;
    }

    m_bitBtn1 = new QPushButton(QStringLiteral("&OK"), this);
    m_bitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    m_bitBtn1->setDefault(true);
    connect(m_bitBtn1, &QPushButton::clicked, this, &TfCalibrate::BitBtn1Click);
    m_bitBtn2 = new QPushButton(QStringLiteral("&Cancel"), this);
    m_bitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    connect(m_bitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_bitBtn1);
    buttons->addWidget(m_bitBtn2);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(modes);
    layout->addLayout(values);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());
}

void TfCalibrate::FormActivate()
{
    // Always opens on the default profile, whatever was chosen before.
    m_rbDefault->setChecked(true);
    RadioButtonClick();
    for (int n = 1; n <= kProfilePointCount; ++n) {
        const QString cell = m_status.profileCell(n);
        try {
            QSpinBox* spin = m_spinEdits[size_t(n - 1)];
            spin->setValue(gainFromText(cell));
            // A value equal to the one shown raises no change; its slider must follow too.
            ValueChange(spin);
        } catch (const ConversionError& error) {
            // The values from this column on keep what they showed.
            app::messageBoxes().show(MessageKind::Error, error.text());
            return;
        }
    }
}

void TfCalibrate::RadioButtonClick()
{
    const bool manual = m_rbManual->isChecked();
    for (int i = 0; i < kProfilePointCount; ++i) {
        m_spinEdits[size_t(i)]->setEnabled(manual);
        m_trackBars[size_t(i)]->setEnabled(manual);
    }
}

void TfCalibrate::ValueChange(QObject* sender)
{
    // Setting the value a control already shows raises no change: the pair settles.
    for (size_t i = 0; i < m_spinEdits.size(); ++i) {
        if (sender == m_spinEdits[i])
            m_trackBars[i]->setValue(invertedGain(m_spinEdits[i]->value()));
        else if (sender == m_trackBars[i])
            m_spinEdits[i]->setValue(invertedGain(m_trackBars[i]->value()));
    }
}

void TfCalibrate::BitBtn1Click()
{
    for (int n = 1; n <= kProfilePointCount; ++n)
        m_status.setProfileCell(n, QString::number(m_spinEdits[size_t(n - 1)]->value()));
    if (m_rbDefault->isChecked())
        m_status.setProfileType(QStringLiteral("D"));
    else if (m_rbFlat->isChecked())
        m_status.setProfileType(QStringLiteral("F"));
    else
        m_status.setProfileType(QStringLiteral("N"));
    accept();
}

} // namespace kfc::tools
