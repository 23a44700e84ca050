#pragma once
// Counts History: the fish each site counted between the visits of the collection, read
// from the archive's database, as a bar chart over the visits and as a table. It needs no
// connection. The archive (a folder, or a database on a PostgreSQL server) is chosen once and kept in the settings store. The
// table can be exported as CSV, and the chart printed on one landscape page.

#include "countshistory.h"

#include <QMdiSubWindow>
#include <QPointer>
#include <QPrinter>

#include <memory>

class QChartView;
class QComboBox;
class QLabel;
class QPushButton;
class QStackedWidget;
class QStandardItemModel;
class QTableView;

namespace kfc::app {
class TfMain;
}

namespace kfc::archive {
class Archive;
}

namespace kfc::history {

class TfCountsHistory : public QMdiSubWindow {
    Q_OBJECT
public:
    // Opens the window, or brings the open one to the front.
    static TfCountsHistory* open(app::TfMain& main);
    ~TfCountsHistory() override;

    static inline const QString kCaption = QStringLiteral("Counts History");
    static inline const QString kCsvFilter = QStringLiteral("CSV Files (*.csv);;All Files (*)");
    // Where the nightly collection writes: ~/.local/share/Kestrova/archive on Linux.
    static QString defaultArchiveFolder();

    QString archiveFolder() const { return m_folder; }
    // The text shown in place of the chart; empty while the chart is shown.
    QString messageText() const;
    // The season's totals under the table; empty while no site is shown.
    QString seasonTotalsText() const;

    // Handlers.
    void btnArchiveClick();
    void btnDatabaseClick();
    void cbSiteChange();
    void btnExportClick();
    void btnPrintClick();
    void btnCloseClick();

private:
    TfCountsHistory();
    void buildControls();
    // The folder kept in the settings store, else the default one when it exists, else
    // the one the user chooses now.
    void openFirstArchive();
    void keepArchive(const QString& location);
    void loadArchive(const QString& folder);
    void showSite(const QString& site);
    void showMessage(const QString& text);
    void fillTable();
    void fillChart();
    void updateButtons();
    bool printChart(QPrinter& printer);
    static QString exportFolder();

    std::unique_ptr<archive::Archive> m_archive;
    QString m_folder;
    QString m_site;
    QList<HistoryRow> m_rows;
    QPrinter m_printer;
    // Chosen in the print dialog once: later prints go there too.
    bool m_printTargetChosen = false;

    QLabel* labArchive = nullptr;
    QPushButton* btnArchive = nullptr;
    QPushButton* btnDatabase = nullptr;
    QComboBox* cbSite = nullptr;
    QStackedWidget* m_chartArea = nullptr;
    QLabel* labMessage = nullptr;
    QChartView* chartHistory = nullptr;
    QTableView* tvHistory = nullptr;
    QLabel* labSeason = nullptr;
    QStandardItemModel* m_model = nullptr;
    QPushButton* btnExport = nullptr;
    QPushButton* btnPrint = nullptr;
    QPushButton* btnClose = nullptr;
};

// The open window; null when none is.
extern QPointer<TfCountsHistory> fCountsHistory;

} // namespace kfc::history
