#include "lineprinter.h"

#include <QFontMetrics>
#include <QPrinter>

namespace kfc::tools {

bool LinePrinter::begin()
{
    if (!m_painter.begin(&m_printer))
        return false;
    const QFontMetrics metrics(m_painter.font(), &m_printer);
    m_lineSpacing = metrics.lineSpacing();
    m_ascent = metrics.ascent();
    m_pageHeight = m_painter.viewport().height();
    m_y = 0;
    return true;
}

bool LinePrinter::printLine(const QString& text)
{
    // A first line always goes on the page, however tall the font.
    if (m_y > 0 && m_y + m_lineSpacing > m_pageHeight) {
        if (!m_printer.newPage())
            return false;
        m_y = 0;
    }
    m_painter.drawText(0, m_y + m_ascent, text);
    m_y += m_lineSpacing;
    return true;
}

bool LinePrinter::end()
{
    if (!m_painter.isActive())
        return true;
    return m_painter.end();
}

} // namespace kfc::tools
