#pragma once
// Where a printout goes: the system's printer, or, on a machine with no printer installed,
// a PDF file through Qt's own PDF output (the print dialog offers "Print to File" then).

#include <QString>

class QPrinter;

namespace kfc::app {

// The system's default printer, else the first one installed; with none, a PDF file of
// this name in the user's documents folder (the home folder when there is none).
void choosePrintTarget(QPrinter& printer, const QString& pdfFileName);
bool printsToPdf(const QPrinter& printer);
// The printer's name, or the PDF file's full path.
QString printTargetName(const QPrinter& printer);

} // namespace kfc::app
