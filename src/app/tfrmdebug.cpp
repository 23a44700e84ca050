#include "tfrmdebug.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace kfc::app {

TfrmDebug::TfrmDebug(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmDebug"));
    setWindowTitle(QStringLiteral("Debug"));
    resize(355, 272);
    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName(QStringLiteral("Memo1"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_memo);
}

void TfrmDebug::LogLine(const QString& text) { m_memo->appendPlainText(text); }

} // namespace kfc::app
