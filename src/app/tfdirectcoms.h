#pragma once
// "Com Port Setup": the serial settings for a cable connection to the counter. Pressing OK
// stores the choices in the port and opens it; the window's result is OK only when the
// port is then open. A new window is made for each use.

#include <QDialog>
#include <QStringList>

class QComboBox;
class QPushButton;

namespace kfc {
class ComPort;
}

namespace kfc::app {

class RadioGroup;

class TfDirectComs : public QDialog {
    Q_OBJECT
public:
    // presentPorts: the main frame's list of present ports ("COM n").
    TfDirectComs(ComPort& port, const QStringList& presentPorts, QWidget* parent = nullptr);

    static const QStringList kRates;

    // Fills the controls from the port's settings.
    void FormActivate();
    void OKBtnClick();

    // What is missing for OK, as told to the user; empty when both choices are made.
    QString missingChoices() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    ComPort& m_port;
    QStringList m_presentPorts;
    QComboBox* m_cbComPort;
    QComboBox* m_cbRate;
    RadioGroup* m_rgDataBits;
    RadioGroup* m_rgParity;
    RadioGroup* m_rgStopBits;
    QPushButton* m_okBtn;
    QPushButton* m_cancelBtn;
};

} // namespace kfc::app
