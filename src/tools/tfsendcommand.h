#pragma once
// "Send Command": sends any command text the operator types and shows the counter's reply.

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace kfc {
class Link;
}

namespace kfc::tools {

class TfSendCommand : public QDialog {
    Q_OBJECT
public:
    explicit TfSendCommand(Link& link, QWidget* parent = nullptr);

    static inline const QString kCaption = QStringLiteral("Send Command");

    void OKBtnClick();

    // Why a command text cannot go on the line; empty when it can.
    static QString refusal(const QString& command);

private:
    Link& m_link;
    QLineEdit* eCommand = nullptr;
    QLineEdit* eResult = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
};

} // namespace kfc::tools
