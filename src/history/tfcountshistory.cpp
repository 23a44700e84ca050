#include "tfcountshistory.h"

#include "app/messageboxes.h"
#include "app/printtarget.h"
#include "app/settingsstore.h"
#include "app/tfmain.h"

#include "archive/archive.h"
#include "archive/location.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGraphicsScene>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMdiArea>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>

namespace kfc::history {

QPointer<TfCountsHistory> fCountsHistory;

namespace {

// One colour a channel, told apart in print as well as on the screen.
const QColor kChannelColours[archive::kChannels] = {
    QColor(0x1f, 0x77, 0xb4), QColor(0xe3, 0x6c, 0x0a), QColor(0x2c, 0xa0, 0x2c), QColor(0x94, 0x3c, 0xb8)};

// A value axis this short gets a tick for every fish.
constexpr int kWholeTicksUpTo = 5;

// The printed chart is laid out at this width in points and scaled to the page, so that
// its text keeps the proportions it has on the screen.
constexpr qreal kPrintWidth = 1000;

void styleBarSet(QBarSet* set, int series)
{
    const QColor colour = kChannelColours[series / 2];
    set->setPen(QPen(colour, 1));
    set->setBrush(series % 2 == 0 ? QBrush(colour) : QBrush(colour, Qt::BDiagPattern));
}

QString archiveCaption(const QString& folder)
{
    if (folder.isEmpty())
        return QStringLiteral("No archive chosen");
    if (archive::isServerUri(folder))
        return folder;   // never holds a password
    const QString home = QDir::homePath();
    if (folder.startsWith(home + QLatin1Char('/')))
        return QDir::toNativeSeparators(QStringLiteral("~") + folder.mid(home.size()));
    return QDir::toNativeSeparators(folder);
}

// The chart of the rows that have a visit before them: a bar set per channel and
// direction, the same colour for a channel's up (solid) and down (hatched) bars.
QChart* makeHistoryChart(const QString& site, const QList<HistoryRow>& rows)
{
    const QList<HistoryRow> drawn = chartRows(rows);
    auto* series = new QBarSeries;
    int highest = 0;
    for (int index = 0; index < kHistorySeries; ++index) {
        // The legend's words are short ("1 Up"), so that all eight fit the frame's usual size.
        auto* set = new QBarSet(seriesName(index).mid(3));
        styleBarSet(set, index);
        for (const HistoryRow& row : drawn) {
            const int value = barValue(row.steps[size_t(index)]);
            highest = std::max(highest, value);
            set->append(value);
        }
        series->append(set);
    }
    auto* chart = new QChart;
    chart->setTitle(historyTitle(site, rows));
    QFont titleFont = chart->titleFont();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    chart->setTitleFont(titleFont);
    chart->setAnimationOptions(QChart::NoAnimation);
    // The bars get the room, not a frame around them.
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->addSeries(series);
    auto* visits = new QBarCategoryAxis;
    visits->append(chartLabels(drawn));
    if (drawn.size() >= kUprightLabelsFrom)
        visits->setLabelsAngle(-90);
    // Two short lines fit where one long one would be cut to "2026-12-...".
    visits->setTruncateLabels(false);
    chart->addAxis(visits, Qt::AlignBottom);
    series->attachAxis(visits);
    auto* fish = new QValueAxis;
    // Short, so that a small frame shows it whole: the bars are the fish counted since the
    // visit before, as the table's differences are.
    fish->setTitleText(QStringLiteral("Fish"));
    fish->setLabelFormat(QStringLiteral("%d"));
    fish->setRange(0, std::max(highest, 1));
    fish->applyNiceNumbers();
    // Whole fish: a short axis gets a line for each one, never a fraction.
    if (fish->max() <= kWholeTicksUpTo)
        fish->setTickCount(int(fish->max()) + 1);
    chart->addAxis(fish, Qt::AlignLeft);
    series->attachAxis(fish);
    chart->legend()->setAlignment(Qt::AlignBottom);
    return chart;
}

} // namespace

TfCountsHistory* TfCountsHistory::open(app::TfMain& main)
{
    if (!fCountsHistory) {
        auto* window = new TfCountsHistory;
        fCountsHistory = window;
        // Within the frame as the user has it, like every other window.
        main.mdiArea()->addSubWindow(window);
        window->showMaximized();
        window->openFirstArchive();
    }
    main.mdiArea()->setActiveSubWindow(fCountsHistory);
    return fCountsHistory;
}

TfCountsHistory::TfCountsHistory() : QMdiSubWindow(nullptr)
{
    setObjectName(QStringLiteral("fCountsHistory"));
    setWindowTitle(kCaption);
    setAttribute(Qt::WA_DeleteOnClose);
    buildControls();
    updateButtons();
}

TfCountsHistory::~TfCountsHistory() = default;

QString TfCountsHistory::defaultArchiveFolder()
{
    return app::defaultArchiveFolder();
}

void TfCountsHistory::buildControls()
{
    auto* body = new QWidget;
    auto* layout = new QVBoxLayout(body);

    auto makeButton = [](const QString& name, const QString& caption) {
        auto* button = new QPushButton(caption);
        button->setObjectName(name);
        return button;
    };
    auto* archiveLine = new QHBoxLayout;
    auto* archiveTitle = new QLabel(QStringLiteral("Archive:"));
    labArchive = new QLabel;
    labArchive->setObjectName(QStringLiteral("labArchive"));
    labArchive->setTextInteractionFlags(Qt::TextSelectableByMouse);
    labArchive->setText(archiveCaption(QString()));
    btnArchive = makeButton(QStringLiteral("btnArchive"), QStringLiteral("Choose &archive folder..."));
    btnDatabase = makeButton(QStringLiteral("btnDatabase"), QStringLiteral("&Database..."));
    btnDatabase->setToolTip(QStringLiteral("An archive on a PostgreSQL server, named by its URI"));
    auto* siteTitle = new QLabel(QStringLiteral("&Site:"));
    cbSite = new QComboBox;
    cbSite->setObjectName(QStringLiteral("cbSite"));
    cbSite->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    siteTitle->setBuddy(cbSite);
    archiveLine->addWidget(archiveTitle);
    archiveLine->addWidget(labArchive, 1);
    archiveLine->addWidget(btnArchive);
    archiveLine->addWidget(btnDatabase);
    archiveLine->addSpacing(12);
    archiveLine->addWidget(siteTitle);
    archiveLine->addWidget(cbSite);
    layout->addLayout(archiveLine);

    m_chartArea = new QStackedWidget;
    labMessage = new QLabel;
    labMessage->setObjectName(QStringLiteral("labMessage"));
    labMessage->setAlignment(Qt::AlignCenter);
    labMessage->setWordWrap(true);
    labMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
    chartHistory = new QChartView;
    chartHistory->setObjectName(QStringLiteral("chartHistory"));
    chartHistory->setRenderHint(QPainter::Antialiasing);
    m_chartArea->addWidget(labMessage);
    m_chartArea->addWidget(chartHistory);
    layout->addWidget(m_chartArea, 2);

    m_model = new QStandardItemModel(this);
    tvHistory = new QTableView;
    tvHistory->setObjectName(QStringLiteral("tvHistory"));
    tvHistory->setModel(m_model);
    tvHistory->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvHistory->verticalHeader()->hide();
    tvHistory->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(tvHistory, 1);
    labSeason = new QLabel;
    labSeason->setObjectName(QStringLiteral("labSeason"));
    labSeason->setWordWrap(true);
    labSeason->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(labSeason);

    btnExport = makeButton(QStringLiteral("btnExport"), QStringLiteral("&Export CSV..."));
    btnPrint = makeButton(QStringLiteral("btnPrint"), QStringLiteral("&Print..."));
    btnClose = makeButton(QStringLiteral("btnClose"), QStringLiteral("&Close"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnExport);
    buttons->addWidget(btnPrint);
    buttons->addWidget(btnClose);
    layout->addLayout(buttons);
    setWidget(body);

    connect(btnArchive, &QPushButton::clicked, this, &TfCountsHistory::btnArchiveClick);
    connect(btnDatabase, &QPushButton::clicked, this, &TfCountsHistory::btnDatabaseClick);
    connect(cbSite, &QComboBox::currentIndexChanged, this, &TfCountsHistory::cbSiteChange);
    connect(btnExport, &QPushButton::clicked, this, &TfCountsHistory::btnExportClick);
    connect(btnPrint, &QPushButton::clicked, this, &TfCountsHistory::btnPrintClick);
    connect(btnClose, &QPushButton::clicked, this, &TfCountsHistory::btnCloseClick);
}

QString TfCountsHistory::messageText() const
{
    return m_chartArea->currentWidget() == labMessage ? labMessage->text() : QString();
}

QString TfCountsHistory::seasonTotalsText() const
{
    return labSeason->text();
}


void TfCountsHistory::openFirstArchive()
{
    const QString kept = app::SettingsStore::open()->value(app::SettingName::CountsHistoryArchive).toString();
    if (!kept.isEmpty())
        loadArchive(kept);
    else if (QFileInfo::exists(archive::databasePath(defaultArchiveFolder())))
        loadArchive(defaultArchiveFolder());
    else
        btnArchiveClick();
}

void TfCountsHistory::btnArchiveClick()
{
    // The dialog opens in the nearest folder that exists, not wherever the program was started.
    QString start = m_folder.isEmpty() ? defaultArchiveFolder() : m_folder;
    while (!QFileInfo(start).isDir() && QFileInfo(start).absolutePath() != start)
        start = QFileInfo(start).absolutePath();
    const QString chosen = app::messageBoxes().askFolder(this, QStringLiteral("Choose the Archive Folder"), start);
    if (chosen.isEmpty()) {
        if (m_folder.isEmpty())
            showMessage(QStringLiteral("No archive is chosen. Choose the folder that the collection writes into with "
                                       "\"Choose archive folder...\", or a database with \"Database...\"."));
        return;
    }
    keepArchive(chosen);
}

void TfCountsHistory::btnDatabaseClick()
{
    const QString current = archive::isServerUri(m_folder) ? m_folder : QStringLiteral("postgresql://");
    const QString chosen = app::messageBoxes().askText(
        this, QStringLiteral("Choose the Archive Database"),
        QStringLiteral("The PostgreSQL database's URI, such as postgresql://kestrova@db.example/fishcounts\n"
                       "(the password comes from ~/.pgpass, never from the URI):"),
        {}, current);
    if (chosen.isEmpty() || chosen == QLatin1String("postgresql://"))
        return;
    if (!archive::isServerUri(chosen)) {
        app::messageBoxes().show(MessageKind::Error,
                            QStringLiteral("%1 is not a PostgreSQL URI: it begins with postgresql://").arg(chosen));
        return;
    }
    keepArchive(chosen);
}

// Opens the archive chosen and keeps the choice for the next time.
void TfCountsHistory::keepArchive(const QString& location)
{
    auto store = app::SettingsStore::open();
    store->setValue(app::SettingName::CountsHistoryArchive, location);
    store->sync();
    if (store->status() != QSettings::NoError)
        qWarning("The archive's choice could not be saved to %s.", qPrintable(store->fileName()));
    loadArchive(location);
}

void TfCountsHistory::loadArchive(const QString& folder)
{
    if (folder.isEmpty())
        return;
    m_folder = folder;
    labArchive->setText(archiveCaption(folder));
    m_archive = std::make_unique<archive::Archive>();
    const QSignalBlocker quiet(cbSite);
    cbSite->clear();
    m_site.clear();
    m_rows.clear();
    labSeason->clear();
    QString error;
    if (!m_archive->open(folder, archive::Archive::Mode::Read, &error)) {
        m_archive.reset();
        showMessage(error);
        return;
    }
    const QStringList sites = m_archive->sites(&error);
    if (sites.isEmpty()) {
        showMessage(error.isEmpty() ? QStringLiteral("The archive %1 holds no sites yet. Run a collection into it "
                                                     "first.")
                                          .arg(m_archive->name())
                                    : error);
        return;
    }
    cbSite->addItems(sites);
    showSite(sites.first());
}

void TfCountsHistory::cbSiteChange()
{
    if (m_archive && cbSite->currentIndex() >= 0)
        showSite(cbSite->currentText());
}

void TfCountsHistory::showSite(const QString& site)
{
    m_site = site;
    QString error;
    const QList<archive::VisitRecord> visits = m_archive->visits(site, {}, &error);
    const QList<archive::VisitCounts> counts = error.isEmpty() ? archive::countsAtVisits(visits)
                                                               : QList<archive::VisitCounts>();
    m_rows = historyRows(counts);
    fillTable();
    const QDateTime season = historySeason(counts);
    labSeason->setText(error.isEmpty() ? seasonText(archive::seasonTotals(counts, season), season) : QString());
    if (!error.isEmpty())
        showMessage(error);
    else if (m_rows.isEmpty())
        showMessage(QStringLiteral("No visit to %1 has read the counts yet. The fish counted between visits show "
                                   "once two visits have read them.")
                        .arg(site));
    else if (m_rows.size() == 1)
        showMessage(QStringLiteral("Only one visit to %1 has read the counts. The fish counted between visits show "
                                   "from the second one on.")
                        .arg(site));
    else
        fillChart();
    updateButtons();
}

void TfCountsHistory::showMessage(const QString& text)
{
    labMessage->setText(text);
    m_chartArea->setCurrentWidget(labMessage);
    if (m_rows.isEmpty())
        fillTable();
    updateButtons();
}

void TfCountsHistory::fillTable()
{
    m_model->clear();
    m_model->setHorizontalHeaderLabels(historyHeader());
    for (const HistoryRow& row : m_rows) {
        QList<QStandardItem*> items;
        for (const QString& cell : historyCells(row)) {
            auto* item = new QStandardItem(cell);
            if (items.size() >= 2)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            items << item;
        }
        m_model->appendRow(items);
    }
    // The latest visits in sight, beside the chart's: the oldest are a scroll away.
    tvHistory->scrollToBottom();
}

void TfCountsHistory::fillChart()
{
    QChart* old = chartHistory->chart();
    chartHistory->setChart(makeHistoryChart(m_site, m_rows));
    delete old;
    m_chartArea->setCurrentWidget(chartHistory);
}

void TfCountsHistory::updateButtons()
{
    btnExport->setEnabled(!m_rows.isEmpty());
    btnPrint->setEnabled(m_chartArea->currentWidget() == chartHistory);
    cbSite->setEnabled(cbSite->count() > 0);
}

QString TfCountsHistory::exportFolder()
{
    // The user's own files, not the collection's archive: the last folder exported to,
    // else the documents folder.
    const QString last = app::SettingsStore::open()->value(app::SettingName::CountsHistoryExportFolder).toString();
    if (!last.isEmpty() && QFileInfo(last).isDir())
        return last;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

void TfCountsHistory::btnExportClick()
{
    const QString suggested = QDir(exportFolder()).filePath(m_site + QStringLiteral(".csv"));
    const QString name = app::messageBoxes().askSaveFileName(this, QStringLiteral("Export Counts History"), suggested,
                                                        kCsvFilter, QStringLiteral("csv"));
    if (name.isEmpty())
        return;
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(historyCsv(m_site, m_rows).toUtf8()) < 0 || !file.commit()) {
        app::messageBoxes().show(MessageKind::Error, QStringLiteral("The counts history could not be written to %1: %2")
                                                    .arg(QDir::toNativeSeparators(name), file.errorString()));
        return;
    }
    auto store = app::SettingsStore::open();
    store->setValue(app::SettingName::CountsHistoryExportFolder, QFileInfo(name).absolutePath());
    store->sync();
}

void TfCountsHistory::btnPrintClick()
{
    // With no printer installed Qt's print dialog prints to a PDF file, named for the site.
    if (!m_printTargetChosen)
        app::choosePrintTarget(m_printer, QStringLiteral("Counts history %1.pdf").arg(m_site));
    m_printer.setPageOrientation(QPageLayout::Landscape);
    if (!app::messageBoxes().askPrinterSetup(this, m_printer))
        return;
    m_printTargetChosen = true;
    if (!printChart(m_printer)) {
        app::messageBoxes().show(MessageKind::Error,
                            QStringLiteral("The chart could not be printed on %1.").arg(app::printTargetName(m_printer)));
        return;
    }
    if (app::printsToPdf(m_printer))
        app::messageBoxes().show(MessageKind::Information,
                            QStringLiteral("The chart was printed to the PDF file %1.").arg(app::printTargetName(m_printer)));
}

bool TfCountsHistory::printChart(QPrinter& printer)
{
    // Laid out afresh for the page: the window's chart keeps the window's shape.
    QGraphicsScene scene;
    QChart* chart = makeHistoryChart(m_site, m_rows);
    scene.addItem(chart);
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const QRectF page = painter.viewport();
    const QSizeF size(kPrintWidth, kPrintWidth * page.height() / page.width());
    chart->setGeometry(QRectF(QPointF(0, 0), size));
    chart->layout()->activate();
    scene.setSceneRect(QRectF(QPointF(0, 0), size));
    scene.render(&painter, page, scene.sceneRect(), Qt::KeepAspectRatio);
    return painter.end();
}

void TfCountsHistory::btnCloseClick()
{
    close();
}

} // namespace kfc::history
