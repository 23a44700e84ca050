#pragma once
// "Calibration": the conductivity profile the next save sends. The operator chooses the
// counter's default profile, a flat one, or eight gains of their own. Nothing is sent
// from here: "&OK" writes the gains into the status window's profile row and the profile
// type beside it, and saving the status window sends them.

#include "tooldialog.h"

#include <array>

class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;

namespace kfc::app {
class StatusAccess;
}

namespace kfc::tools {

class TfCalibrate : public ToolDialog {
    Q_OBJECT
public:
    TfCalibrate(app::StatusAccess& status, QWidget* parent = nullptr);

    // Opens the dialog modally for the status window and frees it when it closes.
    static int open(app::StatusAccess& status);

    void FormActivate() override;
    void RadioButtonClick();
    void ValueChange(QObject* sender);
    void BitBtn1Click();

private:
    app::StatusAccess& m_status;
    QRadioButton* m_rbDefault;
    QRadioButton* m_rbFlat;
    QRadioButton* m_rbManual;
    std::array<QSpinBox*, 8> m_spinEdits{};
    std::array<QSlider*, 8> m_trackBars{};
    QPushButton* m_bitBtn1;
    QPushButton* m_bitBtn2;
};

} // namespace kfc::tools
