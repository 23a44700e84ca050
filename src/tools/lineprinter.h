#pragma once
// A print job that takes lines of text: each line under the last from the top left of the
// printable area, in the printer's default font, and a new page when the next line would
// not fit. Nothing else is added: no margins of its own, no title, no page numbers.

#include <QPainter>
#include <QString>

class QPrinter;

namespace kfc::tools {

class LinePrinter {
public:
    explicit LinePrinter(QPrinter& printer) : m_printer(printer) {}
    virtual ~LinePrinter() { LinePrinter::end(); }
    LinePrinter(const LinePrinter&) = delete;
    LinePrinter& operator=(const LinePrinter&) = delete;

    // Starts the job; false when the printer cannot be used.
    bool begin();
    // False when the page could not be added.
    bool printLine(const QString& text);
    // Ends the job: the pages are printed. False when the job failed (a printer's driver
    // can refuse the job at its end; Qt's PDF output never does, so tests override it).
    virtual bool end();
    bool active() const { return m_painter.isActive(); }

private:
    QPrinter& m_printer;
    QPainter m_painter;
    int m_y = 0;
    int m_lineSpacing = 0;
    int m_ascent = 0;
    int m_pageHeight = 0;
};

} // namespace kfc::tools
