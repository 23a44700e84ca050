#pragma once
// "Board Calibration": calibrates the counter's probe, automatically (the counter is told
// to start, the operator puts the probe in air and confirms) or with a value the operator
// sets. Each showing asks the counter whether it can calibrate by itself.

#include "tooldialog.h"

#include "counter/calibration.h"

class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;

namespace kfc {
class Link;
}

namespace kfc::app {
class StatusAccess;
}

namespace kfc::tools {

class TfBoardCalibrate : public ToolDialog {
    Q_OBJECT
public:
    TfBoardCalibrate(Link& link, QWidget* parent = nullptr);

    static int open(Link& link, app::StatusAccess& status);

    void FormActivate() override;
    void RadioButtonClick();
    void ValueChange(QObject* sender);
    void OKBtnClick();
    void CancelBtnClick();

    bool waiting() const { return m_calibration.waiting(); }

protected:
    // Escape is "&Cancel": it aborts a calibration that waits for the probe.
    void reject() override;

private:
    void runStep(const ProbeCalibration::Step& step);

    Link& m_link;
    ProbeCalibration m_calibration;
    QRadioButton* m_rbAutomatic;
    QRadioButton* m_rbManual;
    QSpinBox* m_spinEdit1;
    QSlider* m_trackBar1;
    QLineEdit* m_eMessage;
    QPushButton* m_okBtn;
    QPushButton* m_cancelBtn;
};

} // namespace kfc::tools
