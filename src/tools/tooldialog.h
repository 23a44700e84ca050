#pragma once
// What the counter tool dialogs share: they are filled once they are on screen (a
// dialogue with the counter can then run with the dialog visible), and while one of their
// handlers talks to the counter the controls that would start another are disabled and a
// close is held back until the handler has returned, so that the dialog is never freed
// under a handler that is still waiting.

#include <QDialog>

#include <functional>
#include <initializer_list>

namespace kfc::tools {

class ToolDialog : public QDialog {
    Q_OBJECT
public:
    explicit ToolDialog(QWidget* parent = nullptr);

    // True while a handler runs through runBusy.
    bool busy() const { return m_busyDepth > 0; }

protected:
    // Fills the dialog; runs each time the dialog has been shown.
    virtual void FormActivate() {}
    // A close was asked while busy; it is carried out when the handler returns.
    virtual void closeDeferred() {}

    // Runs work with the controls disabled; each gets back the state it had.
    void runBusy(std::initializer_list<QWidget*> controls, const std::function<void()>& work);

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;

private:
    void deferClose(int result);

    int m_busyDepth = 0;
    bool m_closePending = false;
    int m_pendingResult = QDialog::Rejected;
};

} // namespace kfc::tools
