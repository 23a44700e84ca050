#pragma once
// The password window: logs on to the counter, or sets or changes its password. One window
// lives for the whole run and is shown modally in one of its three modes.

#include "app/passwordwindow.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kfc {
class Link;
}

namespace kfc::connect {

class TfCounterLogon : public QDialog, public app::PasswordWindow {
    Q_OBJECT
public:
    explicit TfCounterLogon(Link& link, QWidget* parent = nullptr);

    static constexpr int kMaxAttempts = 3;
    // The longest password that still fits the longest command ("91" + password).
    static constexpr int kMaxPasswordLength = 252;

    // Shown modally in one of the modes (see PasswordWindow).
    int showForLogon() override;
    int showForSet() override;
    int showForChange() override;

    // Sets the caption and the mode without showing the window (what the three above do
    // before they show it).
    void setMode(Mode mode);
    Mode mode() const { return m_mode; }
    int attempts() const { return m_attempts; }

    void BitBtn1Click();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void reject() override;

private:
    int showIn(Mode mode);
    void logonStep();
    void setStep();
    void returnFocusToEntry();

    Link& m_link;
    Mode m_mode = Mode::Logon;
    int m_attempts = 0;
    bool m_talking = false;
    QLabel* m_label1;
    QLineEdit* m_mePassword;
    QPushButton* m_bitBtn1;
    QPushButton* m_bitBtn2;
};

} // namespace kfc::connect
