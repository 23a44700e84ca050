#include "terminalview.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>

namespace kfc::connect {

namespace {

const QColor kBackground(Qt::black);
const QColor kText(192, 192, 192);
constexpr int kFontPixels = 12;
constexpr char kDelete = 127;

} // namespace

TerminalView::TerminalView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("AdTerminal1"));
    m_font = QFont(QStringLiteral("Courier New"));
    // Where that face is missing the system's own fixed-pitch face stands in.
    m_font.setStyleHint(QFont::TypeWriter);
    m_font.setFixedPitch(true);
    m_font.setPixelSize(kFontPixels);
    setFont(m_font);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

void TerminalView::receive(const QByteArray& bytes)
{
    m_screen.feed(bytes);
    if (m_screen.bells() != m_lastBells) {
        m_lastBells = m_screen.bells();
        QApplication::beep();
    }
    update();
}

QByteArray TerminalView::bytesForKey(int key, const QString& text)
{
    if (key == Qt::Key_Backspace)
        return QByteArray(1, kDelete);
    return text.toLatin1();
}

QSize TerminalView::sizeHint() const
{
    const QFontMetrics metrics(m_font);
    return {metrics.horizontalAdvance(QLatin1Char('M')) * TerminalScreen::kColumns,
            metrics.height() * TerminalScreen::kRows};
}

void TerminalView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    painter.setFont(m_font);
    const QFontMetrics metrics(m_font);
    const int cellWidth = metrics.horizontalAdvance(QLatin1Char('M'));
    const int lineHeight = metrics.height();

    painter.setPen(kText);
    for (int r = 0; r < TerminalScreen::kRows; ++r)
        painter.drawText(0, r * lineHeight + metrics.ascent(), m_screen.row(r));

    // The block cursor, with the character under it drawn in the background colour.
    const QRect cursor(m_screen.cursorColumn() * cellWidth, m_screen.cursorRow() * lineHeight,
                       cellWidth, lineHeight);
    painter.fillRect(cursor, kText);
    painter.setPen(kBackground);
    painter.drawText(cursor.left(), cursor.top() + metrics.ascent(),
                     m_screen.row(m_screen.cursorRow()).mid(m_screen.cursorColumn(), 1));
}

void TerminalView::keyPressEvent(QKeyEvent* event)
{
    const QByteArray bytes = bytesForKey(event->key(), event->text());
    if (bytes.isEmpty()) {
        QWidget::keyPressEvent(event);
        return;
    }
    emit typed(bytes);
}

bool TerminalView::focusNextPrevChild(bool) { return false; }

} // namespace kfc::connect
