#include "tfdump.h"


#include "lineprinter.h"

#include "app/application.h"
#include "app/buttonmnemonics.h"
#include "app/elidedlabel.h"
#include "app/messageboxes.h"
#include "app/printtarget.h"
#include "app/statusaccess.h"
#include "app/settingsstore.h"
#include "app/tfmain.h"
#include "archive/fieldfile.h"
#include "counter/counterstatus.h"
#include "counter/download.h"
#include "link/hooks.h"
#include "link/link.h"
#include "link/untrusted.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
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
    setWindowTitle(QStringLiteral("Display Buffer"));
    setAttribute(Qt::WA_DeleteOnClose);
    // The printer the application uses; with none installed a PDF file, named for the
    // moment the window opened so that it replaces no earlier one.
    app::choosePrintTarget(*m_printer, QStringLiteral("events-%1.pdf")
                                           .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    buildControls();
    // Who holds the line, and whether there is one, decides whether a run may start.
    connect(&main.link(), &Link::holdChanged, this, &TfDump::updateStartButton);
    connect(&main.comPort(), &ComPort::opened, this, &TfDump::updateStartButton);
    connect(&main.comPort(), &ComPort::closed, this, &TfDump::updateStartButton);
    EnableControls(true);
    // "&Start" and "&Screen" share Alt+S, "&File" shares Alt+F with the main frame's menu.
    app::giveButtonsMnemonicPriority(this);
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
    // The file's name stays in sight in a narrow frame; the whole path is the tool tip.
    labFileName = new app::ElidedLabel;
    labFileName->setObjectName(QStringLiteral("labFileName"));
    labPrinter = new app::ElidedLabel;
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
    btnAddToArchive = makeButton(QStringLiteral("btnAddToArchive"), QStringLiteral("Add to Ar&chive..."));
    btnAddToArchive->setVisible(false);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cboxStatus);
    buttons->addStretch();
    buttons->addWidget(bbtnStart);
    buttons->addWidget(bbtnExit);
    buttons->addWidget(btnAddToArchive);

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
    connect(btnAddToArchive, &QPushButton::clicked, this, [this] { app::showingErrors([this] { btnAddToArchiveClick(); }); });
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

QString TfDump::printerName() const { return app::printTargetName(*m_printer); }

void TfDump::showPrintTarget()
{
    labPrinter->setText(printerName());
    labPrinter->setToolTip(app::printsToPdf(*m_printer)
                               ? QStringLiteral("The printout goes to the PDF file %1. \"Select\" chooses a "
                                                "printer or another file.")
                                     .arg(printerName())
                               : QString());
}

void TfDump::setPdfOutput(const QString& fileName)
{
    m_printer->setOutputFormat(QPrinter::PdfFormat);
    m_printer->setOutputFileName(fileName);
    showPrintTarget();
}

void TfDump::FormActivate()
{
    if (!isMaximized())
        showMaximized();
    // A run's own screen output stays while the run goes on, and after a run that the
    // line cut short until the next Start: it is all the operator has of that run.
    if (m_running || m_keepOutput) {
        // Hidden behind another window, the screen output stopped following the lines.
        followScreen();
        return;
    }
    showPrintTarget();
    showProgress(QString());
    memDisplay->clear();
}

void TfDump::EnableControls(bool enabled)
{
    for (QWidget* control : std::initializer_list<QWidget*>{
             cboxAllValues, cboxScreen, cboxFile, cboxPrinter, cboxStatus, seValues, btnFile,
             btnPrinter, bbtnExit, btnAddToArchive})
        control->setEnabled(enabled);
    btnAddToArchive->setVisible(!m_archivable.isEmpty());
    updateStartButton();
    btnFile->setEnabled(cboxFile->isChecked());
    labFileName->setVisible(cboxFile->isChecked());
    btnPrinter->setEnabled(cboxPrinter->isChecked());
    labPrinter->setVisible(cboxPrinter->isChecked());
    seValues->setEnabled(!cboxAllValues->isChecked());
}

void TfDump::updateStartButton()
{
    // Off while this window runs, while any other dialogue, continuous update or the
    // terminal holds the line, and while no counter is connected. A run that ends turns
    // it back on only when nothing else holds the line.
    bbtnStart->setEnabled(!m_running && m_main.link().lineFree() && m_main.comPort().PortIsOpen());
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
    labPrinter->setVisible(cboxPrinter->isChecked());
}

void TfDump::btnFileClick()
{
    const QString name = app::messageBoxes().askSaveFileName(
        this, QStringLiteral("Log File Name"), QFileInfo(labFileName->text()).path(), kSaveFilter,
        QStringLiteral("LG2"));
    if (name.isEmpty())
        return;
    // The label names the file being written; a choice made during a run is the next one's.
    if (m_running)
        m_nextFileName = QFileInfo(name).absoluteFilePath();
    else
        labFileName->setText(QFileInfo(name).absoluteFilePath());
}

void TfDump::btnPrinterClick()
{
    if (!m_running) {
        app::messageBoxes().askPrinterSetup(this, *m_printer);
        showPrintTarget();
        return;
    }
    // The job in progress keeps its printer: the choice is made on another, for the next run.
    auto next = std::make_unique<QPrinter>();
    const QPrinter& from = m_nextPrinter ? *m_nextPrinter : *m_printer;
    next->setPrinterName(from.printerName());
    next->setOutputFormat(from.outputFormat());
    next->setOutputFileName(from.outputFileName());
    if (app::messageBoxes().askPrinterSetup(this, *next))
        m_nextPrinter = std::move(next);
}

void TfDump::followScreen()
{
    QScrollBar* bar = memDisplay->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void TfDump::takeChoicesForNextRun()
{
    if (!m_nextFileName.isEmpty())
        labFileName->setText(m_nextFileName);
    m_nextFileName.clear();
    if (m_nextPrinter)
        m_printer = std::move(m_nextPrinter);
    showPrintTarget();
}

QString TfDump::completionText() const
{
    QStringList targets;
    if (cboxFile->isChecked())
        targets << QFileInfo(labFileName->text()).fileName();
    if (cboxPrinter->isChecked())
        targets << (app::printsToPdf(*m_printer) ? QFileInfo(m_printer->outputFileName()).fileName()
                                                 : QStringLiteral("the printer ") + m_printer->printerName());
    QString text = QStringLiteral("Download complete: %1 %2").arg(m_received).arg(m_received == 1 ? "event" : "events");
    if (!targets.isEmpty())
        text += QStringLiteral(" to ") + targets.join(QStringLiteral(" and "));
    return text;
}

void TfDump::bbtnStartClick()
{
    // The run puts the window back in order itself, however it ends; a Start that the
    // line refuses is told here.
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
    // Taken before anything else: a Start that the link refuses (a run of this window,
    // continuous update or another window's dialogue holds the line) changes nothing, not
    // even the message panel.
    auto hold = m_main.link().holdLine();
    bool completed = false;
    QString closeFailure;
    {
        const auto closing = qScopeGuard([&] { closeFailure = closeRun(completed); });
        runSteps(count);
        completed = true;
    }
    // Told like a failure to start printing: the pages may never come out.
    if (!closeFailure.isEmpty())
        outputError(closeFailure);
}

void TfDump::runSteps(const QString& count)
{
    m_keepOutput = false;
    m_archivable.clear();
    m_received = 0;
    m_expected = 0;
    m_sentRequest = false;
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
    m_running = true;
    EnableControls(false);
    OpenOutputs();
    memDisplay->clear();
    const QString counter = m_main.counterKey();
    if (cboxStatus->isChecked()) {
        showProgress(QStringLiteral("Obtaining Status. Please Wait"));
        ReadCounterStatus(link, m_status.status());
        WriteStatusHeader();
    }

    m_expected = ExpectedEventCount(cboxAllValues->isChecked(), count.toInt(), m_status.status());
    m_sentRequest = true;
    const DownloadClock clock(m_expected);
    pbDownload->setRange(0, std::max(m_expected, 1));
    pbDownload->setValue(0);
    pbDownload->setFormat(clock.text(0));
    pbDownload->setVisible(m_expected > 0);
    kfc::RunDownload(
        link, count, [this](const QString& line) { WriteOutputLine(line); },
        [this, &clock](int eventNumber) {
            m_received = eventNumber;
            showProgress(QStringLiteral("Downloading Event %1").arg(eventNumber));
            pbDownload->setValue(std::min(eventNumber, pbDownload->maximum()));
            pbDownload->setFormat(clock.text(eventNumber));
        });
    // An empty reply also ends the download when a reply was lost: say when lines are missing.
    if (cboxAllValues->isChecked()) {
        if (const QString missing = MissingEventsText(m_received, m_expected); !missing.isEmpty())
            app::messageBoxes().show(MessageKind::Warning, missing);
    }
    // A file with the status header is what the archive takes in as a visit.
    if (cboxFile->isChecked() && cboxStatus->isChecked()) {
        m_archivable = labFileName->text();
        m_archivableCounter = counter;
    }
}

void TfDump::btnAddToArchiveClick()
{
    if (m_archivable.isEmpty() || m_running)
        return;
    const QString location = app::keptArchive();
    archive::Archive reading;
    QString problem;
    const QStringList sites = reading.open(location, archive::Archive::Mode::Read, &problem) ? reading.sites() : QStringList();
    auto store = app::SettingsStore::open();
    const QString remembered = app::SettingName::ArchiveSites + QLatin1Char('/') + m_archivableCounter;
    const QString site = app::messageBoxes().askText(
        this, QStringLiteral("Add to Archive"),
        QStringLiteral("The site of this download, in the archive %1:").arg(location),
        sites, m_archivableCounter.isEmpty() ? QString() : store->value(remembered).toString());
    if (site.isEmpty())
        return;
    archive::FieldFile field;
    if (problem = archive::readFieldFile(m_archivable, site, false, &field); !problem.isEmpty()) {
        app::messageBoxes().show(MessageKind::Error, printable(problem));
        return;
    }
    archive::Recorder archive;
    if (!archive.open(location, archive::defaultSpoolFolder(), archive::Recorder::Hold::Shared, &problem)) {
        app::messageBoxes().show(MessageKind::Error, printable(problem));
        return;
    }
    const archive::Imported imported = archive::importFieldFile(archive, field);
    if (!imported.problem.isEmpty()) {
        app::messageBoxes().show(MessageKind::Error, printable(imported.problem));
        return;
    }
    if (!m_archivableCounter.isEmpty())
        store->setValue(remembered, site);
    const QString file = QFileInfo(m_archivable).fileName();
    if (imported.heldAlready)
        app::messageBoxes().show(MessageKind::Information,
                                 QStringLiteral("The archive holds %1 already, as a visit of %2.").arg(file, printable(site)));
    else
        app::messageBoxes().show(
            MessageKind::Information,
            QStringLiteral("%1 was added to the archive %2 as a visit of %3 with %4 events.%5")
                .arg(file, archive.name(), printable(site))
                .arg(field.visit.events)
                .arg(imported.recorded.inSpool ? QStringLiteral(" The server could not be reached: the visit waits in "
                                                                 "the spool, and the next collection or sync sends it.")
                                               : QString()));
}

QString TfDump::closeRun(bool completed)
{
    const QString closeFailure = CloseOutputs();
    m_running = false;
    const auto nextChoices = qScopeGuard([this] { takeChoicesForNextRun(); });
    if (m_main.comPort().PortIsOpen()) {
        pbDownload->setVisible(false);
    } else {
        // A dead line is told by the main frame, which puts the placeholder in front. The
        // window comes back over it with every line received and how many there were of
        // the events expected. The file is closed above with every line in it.
        m_keepOutput = true;
        const QString received = MissingEventsText(m_received, m_expected);
        pbDownload->setFormat(received);
        pbDownload->setVisible(!received.isEmpty());
        QMetaObject::invokeMethod(this, &TfDump::comeToFront, Qt::QueuedConnection);
    }
    EnableControls(true);
    if (!completed) {
        // The failure that ended the run is the one the operator hears of.
        if (!closeFailure.isEmpty())
            m_main.link().LogLine(QStringLiteral("--  ") + closeFailure);
        return {};
    }
    // What was done, after the words the panel has always ended a download with.
    if (closeFailure.isEmpty() && m_main.comPort().PortIsOpen())
        kfc::showProgress(m_sentRequest ? completionText() : QStringLiteral("Download complete"));
    return closeFailure;
}

void TfDump::comeToFront()
{
    if (QMdiArea* area = mdiArea())
        area->setActiveSubWindow(this);
}

void TfDump::OpenOutputs()
{
    if (cboxFile->isChecked())
        m_eventFile.open(labFileName->text());
    if (cboxPrinter->isChecked()) {
        m_job = m_printJobs ? m_printJobs(*m_printer) : std::make_unique<LinePrinter>(*m_printer);
        if (!m_job->begin()) {
            m_job.reset();
            outputError(QStringLiteral("Cannot start printing on %1").arg(printerName()));
        }
    }
}

QString TfDump::CloseOutputs()
{
    m_eventFile.close();
    if (!m_job)
        return {};
    const bool printed = m_job->end();
    m_job.reset();
    return printed ? QString() : QStringLiteral("Cannot finish printing on %1: the print job failed").arg(printerName());
}

void TfDump::WriteOutputLine(const QString& text)
{
    // The screen and the page show control bytes escaped, every other character as it
    // came; the file keeps the bytes exactly.
    if (cboxScreen->isChecked())
        memDisplay->appendPlainText(printable(text));
    // Each line reaches the file as it arrives, so a line that dies keeps what came.
    if (m_eventFile.isOpen())
        m_eventFile.writeLine(text);
    if (m_job && !m_job->printLine(printable(text)))
        outputError(QStringLiteral("Cannot print on %1").arg(printerName()));
}

void TfDump::WriteStatusHeader()
{
    for (const QString& line : StatusHeaderLines(m_status.status()))
        WriteOutputLine(line);
}

} // namespace kfc::tools
