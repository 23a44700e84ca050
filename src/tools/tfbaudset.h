#pragma once
// "Baud Rate": sets the rate of the counter's printer port and of its communications
// port, and moves the PC's open port to the new communications rate without closing it.

#include <QDialog>

class QPushButton;

namespace kfc::app {
class RadioGroup;
class TfMain;
}

namespace kfc::tools {

class TfBaudSet : public QDialog {
    Q_OBJECT
public:
    TfBaudSet(app::TfMain& main, QWidget* parent = nullptr);

    static inline const QString kCaption = QStringLiteral("Baud Rate");
    static const QStringList kRates;

    void OKBtnClick();

private:
    void sendRates();

    app::TfMain& m_main;
    app::RadioGroup* RGComms = nullptr;
    app::RadioGroup* RGPrinter = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
};

} // namespace kfc::tools
