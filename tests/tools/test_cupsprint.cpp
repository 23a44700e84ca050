// One print job through a real CUPS queue (the PDF printer that scripts/printqueue.sh
// adds): the job's PDF must appear in $HOME/PDF with as many pages as the same lines give
// on the printer's page. Fails, saying why, when no such queue is there: the test needs
// the real thing, and a machine without it has not tested printing.

#include "tools/lineprinter.h"

#include <QDir>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace kfc;

namespace {

const QString kQueue = QStringLiteral("KestrovaPDF");

void printLines(QPrinter& printer, int count)
{
    tools::LinePrinter job(printer);
    QVERIFY(job.begin());
    for (int i = 1; i <= count; ++i)
        QVERIFY(job.printLine(QStringLiteral("08/12/26 10:%1:00 CH1 UP   EV%2").arg(i % 60, 2, 10, QLatin1Char('0')).arg(i, 5, 10, QLatin1Char('0'))));
    QVERIFY(job.end());
}

// Why the queue is not there, as far as CUPS tells.
QString missingQueueReason()
{
    QProcess lpstat;
    lpstat.start(QStringLiteral("lpstat"), {QStringLiteral("-r")});
    if (!lpstat.waitForFinished(10000))
        return QStringLiteral("CUPS is not installed (no lpstat)");
    if (!lpstat.readAllStandardOutput().contains("scheduler is running"))
        return QStringLiteral("the CUPS scheduler (cupsd) is not running");
    return QStringLiteral("CUPS runs but has no queue %1").arg(kQueue);
}

int pageCount(const QString& pdf)
{
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {pdf});
    if (!info.waitForFinished(30000) || info.exitCode() != 0)
        return -1;
    for (const QString& line : QString::fromUtf8(info.readAllStandardOutput()).split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("Pages:")))
            return line.mid(6).trimmed().toInt();
    return -1;
}

} // namespace

class TestCupsPrint : public QObject {
    Q_OBJECT

private slots:
    void jobArrivesWithItsPages()
    {
        if (!QPrinterInfo::availablePrinterNames().contains(kQueue))
            QFAIL(qPrintable(QStringLiteral("Nothing printed: %1. scripts/printqueue.sh sets the queue up "
                                            "(scripts/test.sh runs it); its output says what failed.")
                                 .arg(missingQueueReason())));
        const QDir out(QDir::home().filePath(QStringLiteral("PDF")));
        const QStringList before = out.entryList({QStringLiteral("*.pdf")}, QDir::Files);

        // The same lines on the queue's own page, printed to a file: the page count to expect.
        QTemporaryDir folder;
        QPrinter local(QPrinterInfo::printerInfo(kQueue));
        local.setOutputFormat(QPrinter::PdfFormat);
        local.setOutputFileName(folder.filePath(QStringLiteral("expected.pdf")));
        printLines(local, 130);
        const int expected = pageCount(local.outputFileName());
        QVERIFY2(expected >= 2, "130 lines fill more than one page");

        QPrinter printer(QPrinterInfo::printerInfo(kQueue));
        printer.setDocName(QStringLiteral("kestrova-events"));
        printLines(printer, 130);

        // The job's file, once CUPS has written it whole.
        auto arrivedFile = [&] {
            for (const QString& name : out.entryList({QStringLiteral("*.pdf")}, QDir::Files))
                if (!before.contains(name) && pageCount(out.filePath(name)) > 0)
                    return out.filePath(name);
            return QString();
        };
        QString arrived;
        QTRY_VERIFY_WITH_TIMEOUT(!(arrived = arrivedFile()).isEmpty(), 60000);
        QCOMPARE(pageCount(arrived), expected);
        QFile::remove(arrived);
    }
};

QTEST_MAIN(TestCupsPrint)
#include "test_cupsprint.moc"
