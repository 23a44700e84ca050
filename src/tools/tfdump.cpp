#include "tfdump.h"


#include "lineprinter.h"

#include "app/application.h"
#include "app/messageboxes.h"
#include "app/statusaccess.h"
#include "app/tfmain.h"
#include "counter/counterstatus.h"
#include "counter/download.h"
#include "link/hooks.h"
#include "link/link.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QShortcut>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>

#include <stdexcept>

namespace kfc::tools {

namespace {

// An output that cannot be opened or written ends the run; "&Start" shows the text.
[[noreturn]] void outputError(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

} // namespace

TfDump::TfDump(app::TfMain& main, app::StatusAccess& status)
    : QMdiSubWindow(main.mdiArea(), Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_main(main), m_status(status)
{
    setObjectName(QStringLiteral("fDump"));
    setWindowTitle(QStringLiteral("Download"));
    setAttribute(Qt::WA_DeleteOnClose);
    // The printer the application uses; with none installed the window still works for
    // the screen and the file.
    const QPrinterInfo defaultPrinter = QPrinterInfo::defaultPrinter();
    const QStringList installed = QPrinterInfo::availablePrinterNames();
    if (!defaultPrinter.isNull())
        m_printer.setPrinterName(defaultPrinter.printerName());
    else if (!installed.isEmpty())
        m_printer.setPrinterName(installed.first());
    buildControls();
    EnableControls(true);
    connect(this, &QMdiSubWindow::windowStateChanged, this,
            [this](Qt::WindowStates before, Qt::WindowStates now) {
                if (!(before & Qt::WindowActive) && (now & Qt::WindowActive))
                    FormActivate();
            });
    main.mdiArea()->addSubWindow(this);
}

TfDump::~TfDump() = default;

void TfDump::buildControls()
{
    auto* body = new QWidget;
    auto* layout = new QVBoxLayout(body);

    gbValues = new QGroupBox(QStringLiteral(" Required Values "));
    gbValues->setObjectName(QStringLiteral("gbValues"));
    cboxAllValues = new QCheckBox(QStringLiteral("&All Values"));
    cboxAllValues->setObjectName(QStringLiteral("cboxAllValues"));
    cboxAllValues->setChecked(true);
    seValues = new QSpinBox;
    seValues->setObjectName(QStringLiteral("seValues"));
    // Five digits: the request carries the count in five characters.
    seValues->setRange(0, kMaxDownloadCount);
    auto* values = new QVBoxLayout(gbValues);
    values->addWidget(cboxAllValues);
    values->addWidget(seValues);
    values->addStretch();

    gbDestination = new QGroupBox(QStringLiteral(" Output "));
    gbDestination->setObjectName(QStringLiteral("gbDestination"));
    auto makeBox = [](const QString& name, const QString& caption, bool checked) {
        auto* box = new QCheckBox(caption);
        box->setObjectName(name);
        box->setChecked(checked);
        return box;
    };
    auto makeButton = [](const QString& name, const QString& caption) {
        auto* button = new QPushButton(caption);
        button->setObjectName(name);
        return button;
    };
    cboxScreen = makeBox(QStringLiteral("cboxScreen"), QStringLiteral("&Screen"), true);
    cboxFile = makeBox(QStringLiteral("cboxFile"), QStringLiteral("&File"), false);
    cboxPrinter = makeBox(QStringLiteral("cboxPrinter"), QStringLiteral("&Printer"), false);
    btnFile = makeButton(QStringLiteral("btnFile"), QStringLiteral("Se&lect"));
    btnPrinter = makeButton(QStringLiteral("btnPrinter"), QStringLiteral("Selec&t"));
    labFileName = new QLabel;
    labFileName->setObjectName(QStringLiteral("labFileName"));
    labPrinter = new QLabel;
    labPrinter->setObjectName(QStringLiteral("labPrinter"));
    auto* outputs = new QGridLayout(gbDestination);
    outputs->addWidget(cboxScreen, 0, 0);
    outputs->addWidget(cboxFile, 1, 0);
    outputs->addWidget(btnFile, 1, 1);
    outputs->addWidget(labFileName, 1, 2);
    outputs->addWidget(cboxPrinter, 2, 0);
    outputs->addWidget(btnPrinter, 2, 1);
    outputs->addWidget(labPrinter, 2, 2);
    outputs->setColumnStretch(2, 1);

    cboxStatus = makeBox(QStringLiteral("cboxStatus"), QStringLiteral("&Include Status"), false);
    bbtnStart = makeButton(QStringLiteral("bbtnStart"), QStringLiteral("&Start"));
    bbtnStart->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    bbtnExit = makeButton(QStringLiteral("bbtnExit"), QStringLiteral("&Exit"));
    bbtnExit->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cboxStatus);
    buttons->addStretch();
    buttons->addWidget(bbtnStart);
    buttons->addWidget(bbtnExit);

    auto* top = new QHBoxLayout;
    top->addWidget(gbValues);
    top->addWidget(gbDestination, 1);
    top->addLayout(buttons);
    layout->addLayout(top);

    memDisplay = new QPlainTextEdit;
    memDisplay->setObjectName(QStringLiteral("memDisplay"));
    memDisplay->setReadOnly(true);
    memDisplay->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::Monospace);
    memDisplay->setFont(fixed);
    layout->addWidget(memDisplay, 1);

    // A full buffer takes most of an hour: show how far it is and how long is left.
    pbDownload = new QProgressBar;
    pbDownload->setObjectName(QStringLiteral("pbDownload"));
    pbDownload->setVisible(false);
    layout->addWidget(pbDownload);
    setWidget(body);

    connect(cboxAllValues, &QCheckBox::clicked, this, &TfDump::cboxAllValuesClick);
    connect(cboxFile, &QCheckBox::clicked, this, &TfDump::cboxFileClick);
    connect(cboxPrinter, &QCheckBox::clicked, this, &TfDump::cboxPrinterClick);
    connect(btnFile, &QPushButton::clicked, this, &TfDump::btnFileClick);
    connect(btnPrinter, &QPushButton::clicked, this, &TfDump::btnPrinterClick);
    connect(bbtnStart, &QPushButton::clicked, this, &TfDump::bbtnStartClick);
    connect(bbtnExit, &QPushButton::clicked, this, &TfDump::bbtnExitClick);
    // "&Start" is the default button and "&Exit" answers the Escape key.
    auto pressWhenEnabled = [this](QKeySequence key, QPushButton* button) {
        auto* shortcut = new QShortcut(key, this, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, button, [button] {
            if (button->isEnabled())
                button->click();
        });
    };
    pressWhenEnabled(QKeySequence(Qt::Key_Return), bbtnStart);
    pressWhenEnabled(QKeySequence(Qt::Key_Enter), bbtnStart);
    pressWhenEnabled(QKeySequence(Qt::Key_Escape), bbtnExit);
}

bool TfDump::printerAvailable() const
{
    return !QPrinterInfo::availablePrinterNames().isEmpty()
        || (m_printer.outputFormat() == QPrinter::PdfFormat && !m_printer.outputFileName().isEmpty());
}

QString TfDump::printerName() const
{
    if (m_printer.outputFormat() == QPrinter::PdfFormat && !m_printer.outputFileName().isEmpty())
        return m_printer.outputFileName();
    if (!printerAvailable())
        return QStringLiteral("No printer installed");
    return m_printer.printerName();
}

void TfDump::setPdfOutput(const QString& fileName)
{
    m_printer.setOutputFormat(QPrinter::PdfFormat);
    m_printer.setOutputFileName(fileName);
    labPrinter->setText(printerName());
    EnableControls(!m_running);
}

void TfDump::FormActivate()
{
    // A run's own screen output stays while the run goes on.
    if (m_running)
        return;
    labPrinter->setText(printerName());
    showProgress(QString());
    memDisplay->clear();
    if (!isMaximized())
        showMaximized();
}

void TfDump::EnableControls(bool enabled)
{
    for (QWidget* control : std::initializer_list<QWidget*>{
             cboxAllValues, cboxScreen, cboxFile, cboxPrinter, cboxStatus, seValues, btnFile,
             btnPrinter, bbtnStart, bbtnExit})
        control->setEnabled(enabled);
    const bool havePrinter = printerAvailable();
    if (!havePrinter)
        cboxPrinter->setChecked(false);
    cboxPrinter->setEnabled(enabled && havePrinter);
    btnFile->setEnabled(cboxFile->isChecked());
    labFileName->setVisible(cboxFile->isChecked());
    btnPrinter->setEnabled(cboxPrinter->isChecked());
    labPrinter->setVisible(cboxPrinter->isChecked() || !havePrinter);
    if (!havePrinter)
        labPrinter->setText(printerName());
    seValues->setEnabled(!cboxAllValues->isChecked());
}

void TfDump::DisableAllControls()
{
    for (QWidget* control : findChildren<QWidget*>())
        if (qobject_cast<QCheckBox*>(control) || qobject_cast<QPushButton*>(control)
            || qobject_cast<QSpinBox*>(control))
            control->setEnabled(false);
}

void TfDump::cboxAllValuesClick()
{
    seValues->setEnabled(!cboxAllValues->isChecked());
}

void TfDump::cboxFileClick()
{
    btnFile->setEnabled(cboxFile->isChecked());
    labFileName->setVisible(cboxFile->isChecked());
}

void TfDump::cboxPrinterClick()
{
    btnPrinter->setEnabled(cboxPrinter->isChecked());
    labPrinter->setVisible(cboxPrinter->isChecked() || !printerAvailable());
}

void TfDump::btnFileClick()
{
    const QString name = app::messageBoxes().askSaveFileName(
        this, QStringLiteral("Log File Name"), QFileInfo(labFileName->text()).path(), kSaveFilter,
        QStringLiteral("LG2"));
    if (!name.isEmpty())
        labFileName->setText(QFileInfo(name).absoluteFilePath());
}

void TfDump::btnPrinterClick()
{
    app::messageBoxes().askPrinterSetup(this, m_printer);
    labPrinter->setText(printerName());
}

void TfDump::bbtnStartClick()
{
    // The run puts the window back in order itself, however it ends.
    app::showingErrors([this] { RunDownload(); });
}

void TfDump::bbtnExitClick()
{
    DisableAllControls();
    close();
}

// The spin box's text, not its last valid value: text that is not a number counts as 0,
// which asks for every event.
QString TfDump::countText() const
{
    if (cboxAllValues->isChecked())
        return QStringLiteral("0");
    bool ok = false;
    const int value = seValues->cleanText().toInt(&ok);
    return QString::number(ok ? std::clamp(value, 0, kMaxDownloadCount) : 0);
}

void TfDump::RunDownload()
{
    const QString count = countText();
    // The closing steps, however the run ends.
    const auto closing = qScopeGuard([this] {
        // A dead line is told by the main frame; the download did not complete. Every line
        // received is in the outputs already, and the file is closed here.
        if (m_main.comPort().PortIsOpen())
            kfc::showProgress(QStringLiteral("Download complete"));
        CloseOutputs();
        m_running = false;
        pbDownload->setVisible(false);
        EnableControls(true);
    });

    if (!cboxScreen->isChecked() && !cboxFile->isChecked() && !cboxPrinter->isChecked()) {
        app::messageBoxes().show(MessageKind::Error, QStringLiteral("Error: You must select at least one output"));
        return;
    }
    if (cboxFile->isChecked() && labFileName->text().isEmpty()) {
        app::messageBoxes().show(MessageKind::Error,
                                 QStringLiteral("Error: You must select a file name for the File output"));
        return;
    }
    Link& link = m_main.link();
    auto hold = link.holdLine();
    m_running = true;
    EnableControls(false);
    OpenOutputs();
    memDisplay->clear();
    if (cboxStatus->isChecked()) {
        showProgress(QStringLiteral("Obtaining Status. Please Wait"));
        ReadCounterStatus(link, m_status.status());
        WriteStatusHeader();
    }

    const int expected = ExpectedEventCount(cboxAllValues->isChecked(), count.toInt(), m_status.status());
    const DownloadClock clock(expected);
    pbDownload->setRange(0, std::max(expected, 1));
    pbDownload->setValue(0);
    pbDownload->setFormat(clock.text(0));
    pbDownload->setVisible(expected > 0);
    const int received = kfc::RunDownload(
        link, count, [this](const QString& line) { WriteOutputLine(line); },
        [this, &clock](int eventNumber) {
            showProgress(QStringLiteral("Downloading Event %1").arg(eventNumber));
            pbDownload->setValue(std::min(eventNumber, pbDownload->maximum()));
            pbDownload->setFormat(clock.text(eventNumber));
        });
    // An empty reply also ends the download when a reply was lost: say when lines are missing.
    if (cboxAllValues->isChecked()) {
        if (const QString missing = MissingEventsText(received, expected); !missing.isEmpty())
            app::messageBoxes().show(MessageKind::Warning, missing);
    }
}

void TfDump::OpenOutputs()
{
    if (cboxFile->isChecked()) {
        m_file.setFileName(labFileName->text());
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            outputError(QStringLiteral("Cannot create the event file %1: %2").arg(m_file.fileName(), m_file.errorString()));
    }
    if (cboxPrinter->isChecked()) {
        m_job = std::make_unique<LinePrinter>(m_printer);
        if (!m_job->begin()) {
            m_job.reset();
            outputError(QStringLiteral("Cannot start printing on %1").arg(printerName()));
        }
    }
}

void TfDump::CloseOutputs()
{
    if (m_file.isOpen())
        m_file.close();
    if (m_job) {
        if (!m_job->end())
            qWarning("The print job on %s failed", qPrintable(printerName()));
        m_job.reset();
    }
}

void TfDump::WriteOutputLine(const QString& text)
{
    if (cboxScreen->isChecked())
        memDisplay->appendPlainText(ShownLine(text));
    // Each line reaches the file as it arrives, so a line that dies keeps what came.
    if (m_file.isOpen()) {
        const QByteArray bytes = text.toLatin1() + "\r\n";
        if (m_file.write(bytes) != bytes.size() || !m_file.flush())
            outputError(QStringLiteral("Cannot write the event file %1: %2").arg(m_file.fileName(), m_file.errorString()));
    }
    if (m_job && !m_job->printLine(ShownLine(text)))
        outputError(QStringLiteral("Cannot print on %1").arg(printerName()));
}

void TfDump::WriteStatusHeader()
{
    for (const QString& line : StatusHeaderLines(m_status.status()))
        WriteOutputLine(line);
}

} // namespace kfc::tools
