#include "printtarget.h"

#include <QDir>
#include <QFileInfo>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>

namespace kfc::app {

void choosePrintTarget(QPrinter& printer, const QString& pdfFileName)
{
    const QPrinterInfo defaultPrinter = QPrinterInfo::defaultPrinter();
    const QStringList installed = QPrinterInfo::availablePrinterNames();
    if (!defaultPrinter.isNull() || !installed.isEmpty()) {
        printer.setOutputFormat(QPrinter::NativeFormat);
        printer.setPrinterName(defaultPrinter.isNull() ? installed.first() : defaultPrinter.printerName());
        return;
    }
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QDir(folder).filePath(pdfFileName));
}

bool printsToPdf(const QPrinter& printer)
{
    return printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty();
}

QString printTargetName(const QPrinter& printer)
{
    return printsToPdf(printer) ? QDir::toNativeSeparators(printer.outputFileName()) : printer.printerName();
}

} // namespace kfc::app
