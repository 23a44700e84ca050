#include "tooldialog.h"

#include "app/application.h"

#include <QCloseEvent>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>

#include <utility>
#include <vector>

namespace kfc::tools {

ToolDialog::ToolDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                          | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
}

void ToolDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // After the show has been carried out, so that the operator sees the dialog while it
    // asks the counter. From a timer: an error of that dialogue is shown here.
    QTimer::singleShot(0, this, [this] {
        if (isVisible())
            app::showingErrors([this] { FormActivate(); });
    });
}

void ToolDialog::runBusy(std::initializer_list<QWidget*> controls, const std::function<void()>& work)
{
    std::vector<std::pair<QPointer<QWidget>, bool>> before;
    for (QWidget* control : controls) {
        before.emplace_back(control, control->isEnabled());
        control->setEnabled(false);
    }
    // Also when the work ends in an error: the controls come back, and a close asked for
    // during the work is carried out.
    const auto restore = qScopeGuard([this, &before] {
        for (auto& [control, enabled] : before) {
            if (control)
                control->setEnabled(enabled);
        }
        if (--m_busyDepth == 0 && m_closePending) {
            m_closePending = false;
            done(m_pendingResult);
        }
    });
    ++m_busyDepth;
    work();
}

void ToolDialog::deferClose(int result)
{
    m_closePending = true;
    m_pendingResult = result;
    closeDeferred();
}

void ToolDialog::closeEvent(QCloseEvent* event)
{
    if (busy()) {
        event->ignore();
        deferClose(QDialog::Rejected);
        return;
    }
    QDialog::closeEvent(event);
}

void ToolDialog::done(int result)
{
    if (busy()) {
        deferClose(result);
        return;
    }
    QDialog::done(result);
}

} // namespace kfc::tools
