#include "activitylamp.h"

#include <QPainter>

namespace kfc::app {

ActivityLamp::ActivityLamp(const QString& name, const QColor& litColour, QWidget* parent)
    : QWidget(parent), m_litColour(litColour)
{
    setObjectName(name);
    setFixedSize(kSize, kSize);
}

void ActivityLamp::setLit(bool lit)
{
    if (lit == m_lit)
        return;
    m_lit = lit;
    update();
    emit litChanged(lit);
}

void ActivityLamp::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    painter.setBrush(currentColour());
    painter.drawEllipse(QRectF(2.5, 2.5, kSize - 5, kSize - 5));
}

} // namespace kfc::app
