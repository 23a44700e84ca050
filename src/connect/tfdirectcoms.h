#pragma once
// "Com Port Setup": the serial settings for a cable connection to the counter. Pressing OK
// stores the choices in the port and opens it; the window's result is OK only when the
// port is then open. A new window is made for each use.

#include "link/portnames.h"

#include <QDialog>
#include <QList>
#include <QStringList>

#include <functional>

class QComboBox;
class QLabel;
class QPushButton;

namespace kfc {
class ComPort;
}

namespace kfc::app {
class RadioGroup;
}

namespace kfc::connect {

class TfDirectComs : public QDialog {
    Q_OBJECT
public:
    // Looks for the present ports; called each time the window opens, so that an adapter
    // plugged in since the last time is offered.
    using PortLister = std::function<QList<PresentPort>()>;
    TfDirectComs(ComPort& port, PortLister listPorts, QWidget* parent = nullptr);
    // The ports that the port's names find when the window opens (the "Ports" group of
    // the settings store read again).
    explicit TfDirectComs(ComPort& port, QWidget* parent = nullptr);

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
    PortLister m_listPorts;
    QComboBox* m_cbComPort;
    QLabel* m_labDevice;
    QComboBox* m_cbRate;
    app::RadioGroup* m_rgDataBits;
    app::RadioGroup* m_rgParity;
    app::RadioGroup* m_rgStopBits;
    QPushButton* m_okBtn;
    QPushButton* m_cancelBtn;
};

} // namespace kfc::connect
