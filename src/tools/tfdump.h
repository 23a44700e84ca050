#pragma once
// The event download window: asks the counter for all its logged events or a number of
// them and copies every line, as it arrives, to the screen, an event file and a printer,
// optionally after a status header. A new window for each "&Download"; it frees itself
// when closed with "&Exit".

#include "counter/eventfile.h"

#include <QMdiSubWindow>
#include <QPrinter>

#include <functional>
#include <memory>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace kfc::app {
class StatusAccess;
class TfMain;
}

namespace kfc::tools {

class LinePrinter;

class TfDump : public QMdiSubWindow {
    Q_OBJECT
public:
    TfDump(app::TfMain& main, app::StatusAccess& status);
    ~TfDump() override;

    static inline const QString kSaveFilter =
        QStringLiteral("Kestrova Log Files (*.LG2);;Text Files (*.TXT);;All Files (*)");

    // Prints to a PDF file instead of a printer (as the print dialog's "Print to File" does).
    void setPdfOutput(const QString& fileName);
    // Where print jobs come from (tests: a job that fails as a printer's driver can).
    using PrintJobFactory = std::function<std::unique_ptr<LinePrinter>(QPrinter&)>;
    void setPrintJobFactory(PrintJobFactory factory) { m_printJobs = std::move(factory); }
    bool running() const { return m_running; }

    // Handlers.
    void FormActivate();
    void cboxAllValuesClick();
    void cboxFileClick();
    void cboxPrinterClick();
    void btnFileClick();
    void btnPrinterClick();
    void bbtnStartClick();
    void bbtnExitClick();
    // Takes the file of the last run, with its status header, into the collection archive
    // as a visit of the site the user names; offered after a run to a file with Include
    // Status.
    void btnAddToArchiveClick();

private:
    void buildControls();
    void EnableControls(bool enabled);
    void updateStartButton();
    void DisableAllControls();
    void RunDownload();
    // From the check of the outputs to the end of the events; throws to end the run.
    void runSteps(const QString& count);
    // The closing steps, however the run ended. Returns the failure of a completed run's
    // print job, empty when none.
    QString closeRun(bool completed);
    void comeToFront();
    QString countText() const;
    // The file and printer chosen during a run take over once it is over.
    void takeChoicesForNextRun();
    // "Download complete: 364 events to events1.LG2": what the run did.
    QString completionText() const;
    // The screen output shows its last line.
    void followScreen();
    void showPrintTarget();
    void OpenOutputs();
    // Empty, or why the print job failed at its end.
    QString CloseOutputs();
    void WriteOutputLine(const QString& text);
    void WriteStatusHeader();
    QString printerName() const;

    app::TfMain& m_main;
    app::StatusAccess& m_status;
    std::unique_ptr<QPrinter> m_printer = std::make_unique<QPrinter>();
    std::unique_ptr<QPrinter> m_nextPrinter;   // chosen during a run, for the next one
    QString m_nextFileName;                    // likewise
    EventFileWriter m_eventFile;
    std::unique_ptr<LinePrinter> m_job;
    PrintJobFactory m_printJobs;
    bool m_running = false;
    bool m_keepOutput = false;   // the line died under the last run: its output stays
    int m_received = 0;          // events of the current or last run
    int m_expected = 0;          // how many it should bring; 0: not known
    bool m_sentRequest = false;  // the run got as far as asking the counter
    // The file of the last run that completed with Include Status, and the phone book
    // entry or port its counter is known by; empty when there is none.
    QString m_archivable;
    QString m_archivableCounter;

    QGroupBox* gbValues = nullptr;
    QCheckBox* cboxAllValues = nullptr;
    QSpinBox* seValues = nullptr;
    QGroupBox* gbDestination = nullptr;
    QCheckBox* cboxScreen = nullptr;
    QCheckBox* cboxFile = nullptr;
    QPushButton* btnFile = nullptr;
    QLabel* labFileName = nullptr;
    QCheckBox* cboxPrinter = nullptr;
    QPushButton* btnPrinter = nullptr;
    QLabel* labPrinter = nullptr;
    QCheckBox* cboxStatus = nullptr;
    QPushButton* bbtnStart = nullptr;
    QPushButton* bbtnExit = nullptr;
    QPushButton* btnAddToArchive = nullptr;
    QPlainTextEdit* memDisplay = nullptr;
    QProgressBar* pbDownload = nullptr;
};

} // namespace kfc::tools
