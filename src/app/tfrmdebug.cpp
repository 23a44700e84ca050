#include "tfrmdebug.h"

#include "messageboxes.h"

#include <QDir>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>

namespace kfc::app {

TfrmDebug::TfrmDebug(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmDebug"));
    setWindowTitle(QStringLiteral("Debug"));
    resize(355, 272);
    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName(QStringLiteral("Memo1"));
    m_memo->setReadOnly(true);
    // The lines kept and the notice above them. This also turns off the undo history,
    // which would keep every line ever appended.
    m_memo->setMaximumBlockCount(kCapacity + 1);
    m_save = new QPushButton(QStringLiteral("&Save Log..."), this);
    m_save->setObjectName(QStringLiteral("btnSaveLog"));
    connect(m_save, &QPushButton::clicked, this, &TfrmDebug::saveLog);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(4, 4, 4, 4);
    buttons->addStretch();
    buttons->addWidget(m_save);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_memo);
    layout->addLayout(buttons);
}

void TfrmDebug::showWithinScreen()
{
    const QWidget* owner = parentWidget();
    const QScreen* display = owner ? owner->screen() : screen();
    if (!isVisible() && display) {
        // Over the middle of the main frame, moved in where that would cross an edge of the
        // screen; the frame and title bar are not known before the first showing.
        const QRect room = display->availableGeometry();
        const QRect outer = frameGeometry();
        const QRect inside = geometry();
        const QMargins decoration = outer != inside ? QMargins(inside.left() - outer.left(), inside.top() - outer.top(),
                                                               outer.right() - inside.right(),
                                                               outer.bottom() - inside.bottom())
                                                    : QMargins(8, 32, 8, 8);
        const QSize inner = size().boundedTo(room.size().shrunkBy(decoration));
        resize(inner);
        QRect frame(QPoint(), inner.grownBy(decoration));
        frame.moveCenter(owner ? owner->frameGeometry().center() : room.center());
        frame.moveRight(std::min(frame.right(), room.right()));
        frame.moveBottom(std::min(frame.bottom(), room.bottom()));
        frame.moveLeft(std::max(frame.left(), room.left()));
        frame.moveTop(std::max(frame.top(), room.top()));
        move(frame.topLeft());
    }
    show();
    raise();
    activateWindow();
}

void TfrmDebug::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TfrmDebug::LogLine(const QString& text)
{
    m_stamps.append(QDateTime::currentDateTime());
    // Past the limit the oldest line kept gives way to the notice. From the second time
    // on the document has already dropped its first block, the old notice, and it frees
    // the room such text held.
    m_memo->appendPlainText(text);
    if (m_stamps.size() > kCapacity)
        noteOldestLineDropped();
}

void TfrmDebug::noteOldestLineDropped()
{
    ++m_dropped;
    m_stamps.removeFirst();
    QTextCursor cursor(m_memo->document());
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(QStringLiteral("--  %1 older lines dropped: this log keeps the latest %2.")
                          .arg(m_dropped)
                          .arg(kCapacity));
}

QString TfrmDebug::stampedText() const
{
    QString text;
    QTextBlock block = m_memo->document()->firstBlock();
    if (m_dropped > 0) {
        text += block.text() + QLatin1Char('\n');
        block = block.next();
    }
    // The memo's blocks and the stamps are appended together, one each per line.
    for (const QDateTime& stamp : m_stamps) {
        if (!block.isValid())
            break;
        text += stamp.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")) + QStringLiteral("  ")
                + block.text() + QLatin1Char('\n');
        block = block.next();
    }
    return text;
}

bool TfrmDebug::saveLog()
{
    const QString fileName = messageBoxes().askSaveFileName(
        this, QStringLiteral("Save Debug Log"), QDir::homePath(),
        QStringLiteral("Log files (*.log);;Text files (*.txt);;All files (*)"));
    if (fileName.isEmpty())
        return false;
    QSaveFile file(fileName);
    if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        file.write(stampedText().toUtf8());
        if (file.commit())
            return true;
    }
    messageBoxes().show(MessageKind::Error, QStringLiteral("Cannot save the debug log to %1: %2")
                                                .arg(QDir::toNativeSeparators(fileName), file.errorString()));
    return false;
}

} // namespace kfc::app
