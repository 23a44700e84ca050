// Counts History: the numbers of an archive made here (the table's rows, the CSV's bytes),
// the window end to end with no connection (its chart's bars, the export, the printed page),
// and the archives it refuses in plain words.

#include "support/apptest.h"
#include "support/archivetest.h"

#include "archive/archive.h"
#include "history/countshistory.h"
#include "history/tfcountshistory.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTableView>

Q_DECLARE_METATYPE(kfc::archive::VisitRecord)

using namespace kfc;
using namespace kfc::test;

namespace {

// Counted, counted, a failed call, and counts cleared in between, channel 2 since counting
// past its old count: the whole visit is cleared.
QList<archive::VisitRecord> nights(const QString& site)
{
    return {visitOn(site, 1, "collected", {10, 7, 0, 0}, {4, 0, 0, 0}),
            visitOn(site, 2, "collected", {13, 7, 0, 0}, {4, 0, 0, 0}),
            visitOn(site, 3, "failed", {}, {}, false),
            visitOn(site, 4, "incomplete", {2, 9, 0, 0}, {1, 0, 0, 0})};
}

const QString kCsvHeader = "Site,Visit,Outcome,Ch 1 Up,Ch 1 Up Since Visit Before,Ch 1 Down,Ch 1 Down Since Visit Before,"
                           "Ch 2 Up,Ch 2 Up Since Visit Before,Ch 2 Down,Ch 2 Down Since Visit Before,Ch 3 Up,"
                           "Ch 3 Up Since Visit Before,Ch 3 Down,Ch 3 Down Since Visit Before,Ch 4 Up,Ch 4 Up Since "
                           "Visit Before,Ch 4 Down,Ch 4 Down Since Visit Before\r\n";

// The CSV of nights("Weir A").
const QString kNightsCsv = kCsvHeader + "Weir A,2026-12-01T02:00:20+01:00,collected,10,,4,,7,,0,,0,,0,,0,,0,\r\n"
                                        "Weir A,2026-12-02T02:00:20+01:00,collected,13,3,4,0,7,0,0,0,0,0,0,0,0,0,0,0\r\n"
                                        "Weir A,2026-12-04T02:00:20+01:00,incomplete,2,cleared,1,cleared,9,cleared,0,"
                                        "cleared,0,cleared,0,cleared,0,cleared,0,cleared\r\n";

} // namespace

class TestCountsHistory : public QObject {
    Q_OBJECT

private slots:
    // The default archive folder of this machine's user stays out of the tests.
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void numbers_data()
    {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QList<archive::VisitRecord>>("visits");
        QTest::addColumn<QStringList>("table");   // the cells of a row joined by "|"
        QTest::addColumn<QString>("csv");
        QTest::addColumn<QString>("season");
        QTest::newRow("cleared between") << "Weir A" << nights("Weir A")
            << QStringList{"2026-12-01 02:00|collected|10|4|7|0|0|0|0|0",
                           "2026-12-02 02:00|collected|13 (+3)|4 (+0)|7 (+0)|0 (+0)|0 (+0)|0 (+0)|0 (+0)|0 (+0)",
                           "2026-12-04 02:00|incomplete|2 (cleared)|1 (cleared)|9 (cleared)|0 (cleared)|0 (cleared)|"
                           "0 (cleared)|0 (cleared)|0 (cleared)"}
            << kNightsCsv
            << "Season from 2026-01-01, between the reads of 2026-12-01 02:00 and 2026-12-04 02:00:\n"
               "Ch 1 Up 3, Down 0; Ch 2 Up 0, Down 0; Ch 3 Up 0, Down 0; Ch 4 Up 0, Down 0; all Up 3, Down 0.\n"
               "At least this many: the counts were cleared at 1 of the season's visits, and the fish between each "
               "of them and the visit before are not known.";
        QTest::newRow("quoted site, same minute")
            << "Weir \"B\", lower"
            << QList<archive::VisitRecord>{visitOn("s", 5, "collected", {1, 0, 0, 0}),
                                           visitOn("s", 5, "collected", {2, 0, 0, 0})}
            << QStringList{"2026-12-05 02:00:20|collected|1|0|0|0|0|0|0|0",
                           "2026-12-05 02:00:20 #2|collected|2 (+1)|0 (+0)|0 (+0)|0 (+0)|0 (+0)|0 (+0)|0 (+0)|0 (+0)"}
            << kCsvHeader + "\"Weir \"\"B\"\", lower\",2026-12-05T02:00:20+01:00,collected,1,,0,,0,,0,,0,,0,,0,,0,\r\n"
                            "\"Weir \"\"B\"\", lower\",2026-12-05T02:00:20+01:00,collected,2,1,0,0,0,0,0,0,0,0,0,0,0,0,0,0\r\n"
            << "Season from 2026-01-01, between the reads of 2026-12-05 02:00 and 2026-12-05 02:00:\n"
               "Ch 1 Up 1, Down 0; Ch 2 Up 0, Down 0; Ch 3 Up 0, Down 0; Ch 4 Up 0, Down 0; all Up 1, Down 0.";
    }
    void numbers()
    {
        QFETCH(QString, site);
        QFETCH(QList<archive::VisitRecord>, visits);
        for (archive::VisitRecord& visit : visits)
            visit.site = site;
        QTemporaryDir folder;
        QCOMPARE(writeArchive(folder.path(), visits), QString());
        archive::Archive database;
        QString error;
        QVERIFY2(database.open(folder.path(), archive::Archive::Mode::Read, &error), qPrintable(error));
        const QList<history::HistoryRow> rows = history::historyRows(archive::countsAtVisits(database.visits(site)));
        QStringList table;
        for (const history::HistoryRow& row : rows)
            table << history::historyCells(row).join('|');
        QTEST(table, "table");
        QTEST(history::historyCsv(site, rows), "csv");
        const QList<archive::VisitCounts> counts = archive::countsAtVisits(database.visits(site));
        const QDateTime season = history::historySeason(counts);
        QTEST(history::seasonText(archive::seasonTotals(counts, season), season), "season");
    }

    // The chart draws the latest season, as the totals under the table add it up, and of
    // it the latest 400 visits at most; its title says so when there are more. Upright,
    // the days alone tell nightly visits apart; a second visit on a day brings back every
    // visit's time.
    void chartOfManyVisits_data()
    {
        QTest::addColumn<int>("visits");
        QTest::addColumn<QString>("when");   // "nightly", "nightly from June", "hourly", or "twice on the last day"
        QTest::addColumn<int>("bars");
        QTest::addColumn<QString>("firstBar");
        QTest::addColumn<QString>("title");
        QTest::newRow("one") << 1 << "nightly" << 0 << "" << "W, 2026-01-01";
        QTest::newRow("a season") << 40 << "nightly" << 39 << "01-02" << "W, 2026-01-01 to 2026-02-09";
        QTest::newRow("twice on the last day")
            << 40 << "twice on the last day" << 39 << "2026-01-02<br>02:00" << "W, 2026-01-01 to 2026-02-08";
        QTest::newRow("into the next season")
            << 400 << "nightly from June" << 186 << "01-01" << "W, 2026-12-31 to 2027-07-05, the last 186 of 400 visits";
        QTest::newRow("ten years")
            << 3650 << "nightly" << 363 << "01-01" << "W, 2034-12-31 to 2035-12-29, the last 363 of 3650 visits";
        QTest::newRow("hourly") << 720 << "hourly" << 400 << "2026-01-14<br>08:00"
                                << "W, 2026-01-14 to 2026-01-30, the last 400 of 720 visits";
    }
    void chartOfManyVisits()
    {
        QFETCH(int, visits);
        QFETCH(QString, when);
        const QDateTime first(QDate(2026, when == "nightly from June" ? 6 : 1, 1), QTime(2, 0), Qt::UTC);
        QList<archive::VisitCounts> counts;
        for (int visit = 0; visit < visits; ++visit)
            counts << archive::VisitCounts{when == "hourly" ? first.addSecs(3600 * (visit - 2)) : first.addDays(visit), "collected"};
        if (when == "twice on the last day")
            counts.last().at = counts[counts.size() - 2].at.addSecs(12 * 3600);
        const QList<history::HistoryRow> drawn = history::chartRows(history::historyRows(counts));
        QTEST(int(drawn.size()), "bars");
        QTEST(history::chartLabels(drawn).value(0), "firstBar");
        QTEST(history::historyTitle("W", history::historyRows(counts)), "title");
    }

    // Opened from the File menu with no connection, on the folder chosen at the first open.
    void window()
    {
        AppFixture fixture;
        QTemporaryDir folder;
        QCOMPARE(writeArchive(folder.path(), nights("Weir A") + QList{visitOn("Lower Pass", 2, "collected")}), QString());
        auto windows = makeWindows();
        const QSize frame = windows->main().size();
        app::messageBoxes().queueFolder(folder.path());
        menuItem(windows->main(), "menuCountsHistory")->trigger();
        history::TfCountsHistory* history = history::fCountsHistory;
        QVERIFY(history);
        // Within the frame as the user left it.
        QCOMPARE(windows->main().size(), frame);
        QCOMPARE(fixture.store()->value("CountsHistoryArchive").toString(), folder.path());
        auto* sites = child<QComboBox>(history, "cbSite");
        QCOMPARE(sites->count(), 2);
        QCOMPARE(history->messageText(), QString());
        QChart* chart = child<QChartView>(history, "chartHistory")->chart();
        QCOMPARE(chart->title(), "Weir A, 2026-12-01 to 2026-12-04");
        auto* axis = qobject_cast<QBarCategoryAxis*>(chart->axes(Qt::Horizontal).value(0));
        QVERIFY(axis);
        QCOMPARE(axis->categories(), QStringList({"2026-12-02<br>02:00", "2026-12-04<br>02:00<br><b>cleared</b>"}));
        auto* series = qobject_cast<QBarSeries*>(chart->series().value(0));
        QVERIFY(series);
        QStringList bars;
        for (QBarSet* set : series->barSets())
            bars << QStringLiteral("%1 %2 %3").arg(set->label()).arg(set->at(0)).arg(set->at(1));
        QCOMPARE(bars, QStringList({"1 Up 3 0", "1 Down 0 0", "2 Up 0 0", "2 Down 0 0", "3 Up 0 0", "3 Down 0 0",
                                    "4 Up 0 0", "4 Down 0 0"}));
        auto* table = child<QTableView>(history, "tvHistory");
        QCOMPARE(table->model()->rowCount(), 3);
        QCOMPARE(table->model()->index(2, 2).data().toString(), "2 (cleared)");
        QVERIFY2(history->seasonTotalsText().startsWith("Season from 2026-01-01, between the reads of 2026-12-01 02:00 "
                                                        "and 2026-12-04 02:00:\nCh 1 Up 3, Down 0;"),
                 qPrintable(history->seasonTotalsText()));

        // The export starts among the user's documents, not in the archive, and next time
        // where the last one went.
        QTemporaryDir exports;
        const QString csv = exports.filePath("weir-a.csv");
        app::messageBoxes().queueSaveFileName(csv);
        child<QPushButton>(history, "btnExport")->click();
        QFile written(csv);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), kNightsCsv.toUtf8());
        QVERIFY(!app::messageBoxes().saveDialogFolders().value(0).startsWith(folder.path()));
        app::messageBoxes().queueSaveFileName({});
        child<QPushButton>(history, "btnExport")->click();
        QCOMPARE(QFileInfo(app::messageBoxes().saveDialogFolders().value(1)).path(), exports.path());

        // No printer is installed here (the test's CUPS server is not there): the print
        // dialog prints to a PDF file, and the window says where it went.
        const QString pdf = folder.filePath("weir-a.pdf");
        app::messageBoxes().queuePrintToFile(pdf);
        child<QPushButton>(history, "btnPrint")->click();
        QProcess info;
        info.start("pdfinfo", {pdf});
        QVERIFY(info.waitForFinished(30000));
        const QString facts = QString::fromUtf8(info.readAllStandardOutput()).simplified();
        // One page, wider than it is high, whatever paper the locale takes.
        const QRegularExpressionMatch size = QRegularExpression("Page size: ([0-9.]+) x ([0-9.]+) pts").match(facts);
        QVERIFY2(facts.contains("Pages: 1 ") && size.hasMatch() && size.captured(1).toDouble() > size.captured(2).toDouble(),
                 qPrintable(facts));
        QProcess text;
        text.start("pdftotext", {pdf, "-"});
        QVERIFY(text.waitForFinished(30000));
        const QString printed = QString::fromUtf8(text.readAllStandardOutput());
        QVERIFY2(printed.startsWith("Weir A, 2026-12-01 to 2026-12-04\n"), qPrintable(printed));
        QVERIFY2(printed.contains("2026-12-04\n02:00\ncleared"), qPrintable(printed));
        QCOMPARE(app::messageBoxes().recordedTexts(),
                 QStringList{"The chart was printed to the PDF file " + QDir::toNativeSeparators(pdf) + "."});

        sites->setCurrentIndex(1);
        QCOMPARE(history->messageText(), "Only one visit to Lower Pass has read the counts. The fish counted between "
                                         "visits show from the second one on.");
        QVERIFY(!child<QPushButton>(history, "btnPrint")->isEnabled());
        QCOMPARE(table->model()->rowCount(), 1);
        QVERIFY2(history->seasonTotalsText().contains("all Up 0, Down 0."), qPrintable(history->seasonTotalsText()));

        // An archive on a PostgreSQL server, named by its URI, is read the same way.
        test::TestArchives servers;
        QString why;
        const QString uri = servers.fresh("server", &why);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QCOMPARE(writeArchive(uri, nights("Weir A")), QString());
        app::messageBoxes().queueText(uri);
        child<QPushButton>(history, "btnDatabase")->click();
        QCOMPARE(child<QLabel>(history, "labArchive")->text(), uri);
        QCOMPARE(fixture.store()->value("CountsHistoryArchive").toString(), uri);
        QCOMPARE(sites->count(), 1);
        QCOMPARE(table->model()->rowCount(), 3);
        QCOMPARE(child<QChartView>(history, "chartHistory")->chart()->title(), "Weir A, 2026-12-01 to 2026-12-04");
        history->close();
    }

    void refused_data()
    {
        QTest::addColumn<QString>("content");   // of archive.sqlite
        QTest::addColumn<QString>("message");   // %1: the database's path
        QTest::newRow("missing") << QString()
            << "There is no archive database at %1. Run a collection into this folder first.";
        QTest::newRow("not an archive") << "plain text"
            << "%1 is not an archive database.";
        QTest::newRow("newer format") << "newer format"
            << QString("The archive %1 was written by a newer version of this program (format ")
                   + QString::number(archive::kFormatVersion + 1) + "; this version reads format "
                   + QString::number(archive::kFormatVersion) + " and older). Update the program to read it.";
    }
    void refused()
    {
        QFETCH(QString, content);
        AppFixture fixture;
        QTemporaryDir folder;
        const QString path = archive::databasePath(folder.path());
        if (content == "newer format") {
            QCOMPARE(writeArchive(folder.path(), nights("Weir A")), QString());
            QVERIFY(stampFormat(folder.path(), archive::kFormatVersion + 1));
        } else if (!content.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content.toUtf8()) > 0);
        }
        fixture.store()->setValue("CountsHistoryArchive", folder.path());
        auto windows = makeWindows();
        menuItem(windows->main(), "menuCountsHistory")->trigger();
        QVERIFY(history::fCountsHistory);
        QFETCH(QString, message);
        QCOMPARE(history::fCountsHistory->messageText(), message.arg(path));
        QCOMPARE(child<QComboBox>(history::fCountsHistory, "cbSite")->count(), 0);
        QVERIFY(!child<QPushButton>(history::fCountsHistory, "btnExport")->isEnabled());
        QVERIFY(!child<QPushButton>(history::fCountsHistory, "btnPrint")->isEnabled());
        history::fCountsHistory->close();
    }
};

KFC_APP_TEST_MAIN(TestCountsHistory)
#include "test_countshistory.moc"
