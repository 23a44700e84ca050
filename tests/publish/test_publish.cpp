// The published pages of an archive made here: what each page shows (the season's totals,
// "at least" across a cleared visit, the sites that stand out, texts escaped), the folder
// replaced whole, and the size of a page of ten years of nightly visits.

#include "support/archivetest.h"

#include "publish/chart.h"
#include "publish/folder.h"
#include "publish/pages.h"
#include "publish/publish.h"

#include <QRegularExpression>
#include <QTest>

using namespace kfc;

namespace {

const QString kOdd = R"(<b>Weir</b> & "Co")";

// Weir A: counts rise, are cleared before the 4th, rise again. The odd name: its last call
// met a busy line. Weir C: nothing since the 2nd.
QList<archive::VisitRecord> nights()
{
    using test::visitOn;
    QList<archive::VisitRecord> visits{
        visitOn("Weir A", 1, "collected", {10, 7, 0, 0}, {4, 0, 0, 0}),
        visitOn("Weir A", 2, "collected", {13, 7, 0, 0}, {4, 1, 0, 0}),
        visitOn("Weir A", 3, "collected", {15, 8, 0, 0}, {5, 1, 0, 0}),
        visitOn("Weir A", 4, "incomplete", {2, 9, 0, 0}, {1, 0, 0, 0}),
        visitOn("Weir A", 5, "collected", {6, 9, 1, 0}, {1, 2, 0, 0}),
        visitOn(kOdd, 4, "collected", {1, 0, 0, 0}),
        visitOn(kOdd, 5, "failed", {}, {}, false),
        visitOn("Weir C", 1, "collected"),
        visitOn("Weir C", 2, "collected"),
    };
    visits[3].events = 3, visits[3].expected = 9;
    visits[4].events = visits[4].expected = 6;
    visits[6].error = "BUSY <now>";
    return visits;
}

const QDateTime kNow(QDate(2026, 12, 5), QTime(6, 0), Qt::OffsetFromUTC, 3600);

// The page's text as a reader sees it: no markup, the references read, blanks run together.
QString shownText(QString html)
{
    html.remove(QRegularExpression("<style>.*</style>", QRegularExpression::DotMatchesEverythingOption));
    html.replace(QRegularExpression("<[^>]*>"), " ");
    for (const auto& [reference, text] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"},
                                          {"&middot;", "·"}, {"&ndash;", "–"}, {"&larr;", "←"}, {"&amp;", "&"}})
        html.replace(QString::fromUtf8(reference), QString::fromUtf8(text));
    return html.simplified();
}

QString publishArchive(const QString& archive, const QString& folder, const QDateTime& since)
{
    publish::Published published;
    QString error;
    publish::publishPages({archive, folder, "River counts", since, kNow}, &published, &error);
    return error;
}

QByteArray fileBytes(const QString& name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

} // namespace

class TestPublish : public QObject {
    Q_OBJECT

private slots:
    void pages_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("since");
        QTest::addColumn<QStringList>("shown");    // in this order, in the page's text
        QTest::addColumn<QStringList>("markup");   // anywhere in its HTML
        QTest::newRow("index") << "index.html" << "2026-12-02"
            << QStringList{"River counts Season from 2026-12-02 · 3 sites · 2 need attention",
                           "Weir A 2026-12-05 02:00 collected – at least: counts cleared at 1 of the season's visits "
                           "Ch 1 Ch 2 Ch 3 Ch 4 All Up 9 1 1 0 11 Down 1 3 0 0 4",
                           kOdd + " Needs attention: the last visit failed 2026-12-05 02:00 failed BUSY <now> – "
                                  "Ch 1 Ch 2 Ch 3 Ch 4 All Up 0 0 0 0 0 Down 0 0 0 0 0",
                           "Weir C Needs attention: nothing collected since 2026-12-02 02:01 2026-12-02 02:00 collected –",
                           "Written 2026-12-05 06:00"}
            << QStringList{"<tr><td><a href=\"weir-a.html\">Weir A</a></td>",
                           "<tr class=\"attention\"><td><a href=\"b-weir-b-co.html\">&lt;b&gt;Weir&lt;/b&gt; &amp; "
                           "&quot;Co&quot;</a><span class=\"flag\">",
                           "<tr class=\"attention\"><td><a href=\"weir-c.html\">"};
        QTest::newRow("site across a cleared visit") << "weir-a.html" << "2026-12-02"
            << QStringList{"Weir A River counts · season from 2026-12-02",
                           "Last visit 2026-12-05 02:00 : 6 events, collected",
                           "The fish counted between the visits of 2026-12-01 02:00 and 2026-12-05 02:00 (4 visits of "
                           "the season read the counts). At least this many: the counts had been cleared on the counter when the visit "
                           "of 2026-12-04 02:00 read them",
                           "Up 9 1 1 0 11 Down 1 3 0 0 4",
                           "The season's 4 visits, the latest first.",
                           "2026-12-05 02:00 collected 6 4 0 0 2 1 0 0 0",
                           "2026-12-04 02:00 incomplete 3 of 9 cleared cleared cleared cleared cleared cleared cleared cleared",
                           "2026-12-03 02:00 collected 0 2 1 1 0 0 0 0 0",
                           "2026-12-02 02:00 collected 0 3 0 0 1 0 0 0 0 Files weir-a.csv"}
            << QStringList{"<rect class=\"band\"", ">cleared</text>", "<a href=\"index.html\">", "<a href=\"weir-a.csv\">"};
        QTest::newRow("site, later season") << "weir-a.html" << "2026-12-04T00:00+01:00"
            << QStringList{"season from 2026-12-04",
                           "between the visits of 2026-12-03 02:00 and 2026-12-05 02:00 (2 visits of the season read the counts)",
                           "Up 4 0 1 0 5 Down 0 2 0 0 2", "The season's 2 visits"}
            << QStringList{};
        QTest::newRow("site escaped") << "b-weir-b-co.html" << "2026-12-01"
            << QStringList{kOdd + " - River counts", "← All sites " + kOdd,
                           "Last visit 2026-12-05 02:00 : failed BUSY <now> Needs attention: the last visit failed",
                           "Fewer than two visits read the counts in this season."}
            << QStringList{"<title>&lt;b&gt;Weir&lt;/b&gt; &amp; &quot;Co&quot; - River counts</title>",
                           "<section class=\"attention\">"};
    }
    void pages()
    {
        QFETCH(QString, page);
        QFETCH(QString, since);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, markup);
        QTemporaryDir archive, pages;
        QCOMPARE(test::writeArchive(archive.path(), nights()), QString());
        const QString folder = pages.filePath("site");
        QCOMPARE(publishArchive(archive.path(), folder, QDateTime::fromString(since, Qt::ISODate)), QString());
        const QString html = QString::fromUtf8(fileBytes(folder + "/" + page));
        const QString text = shownText(html);
        qsizetype at = 0;
        for (const QString& expected : shown) {
            const qsizetype found = text.indexOf(expected, at);
            QVERIFY2(found >= 0, qPrintable(QString("not in the text after %1: %2\n%3").arg(at).arg(expected, text)));
            at = found + expected.size();
        }
        for (const QString& expected : markup)
            QVERIFY2(html.contains(expected), qPrintable(expected));
        QCOMPARE(fileBytes(folder + "/weir-a.csv").count("\r\n"), 1 + 5);
    }

    // A run replaces the folder whole, files of its own and all; a folder of other files is
    // never taken.
    // Two nightly downloads of a buffer that was not flushed: the index gives the last
    // visit's new events, and the site's series holds each event once.
    void eventSeries()
    {
        QTemporaryDir archive, spool, pages;
        QString error;
        {
            archive::Recorder recorder;
            QVERIFY2(recorder.open(archive.path(), spool.path(), archive::Recorder::Hold::Exclusive, &error),
                     qPrintable(error));
            QVERIFY(recorder.record(test::fileVisit(recorder, "Weir A", 1, {"E1", "E2", "E3"}), true).whole());
            QVERIFY(recorder.record(test::fileVisit(recorder, "Weir A", 2, {"E2", "E3", "E4", "E5"}), true).whole());
        }
        const QString folder = pages.filePath("site");
        QCOMPARE(publishArchive(archive.path(), folder, QDateTime(QDate(2026, 1, 1), QTime(0, 0))), QString());
        QVERIFY2(shownText(QString::fromUtf8(fileBytes(folder + "/index.html"))).contains("2026-12-02 02:00 collected 2 "),
                 qPrintable(shownText(QString::fromUtf8(fileBytes(folder + "/index.html")))));
        QCOMPARE(fileBytes(folder + "/weir-a.LG2"), QByteArray("E1\r\nE2\r\nE3\r\nE4\r\nE5\r\n"));
        const QString site = shownText(QString::fromUtf8(fileBytes(folder + "/weir-a.html")));
        QVERIFY2(site.contains("2026-12-02 02:00 collected 4 2 ") && site.contains("2026-12-01 02:00 collected 3 3 ")
                     && site.contains("weir-a.LG2 : the site's events, each once"),
                 qPrintable(site));
    }

    void folderReplaced()
    {
        QTemporaryDir archive, pages;
        QCOMPARE(test::writeArchive(archive.path(), nights()), QString());
        const QString folder = pages.filePath("site");
        QCOMPARE(publishArchive(archive.path(), folder, {}), QString());
        QVERIFY(QFile(folder + "/weir-a.html").rename(folder + "/gone.html"));
        QCOMPARE(publishArchive(archive.path(), folder, {}), QString());
        QVERIFY(QFile::exists(folder + "/weir-a.html"));
        QVERIFY(!QFile::exists(folder + "/gone.html"));
        QCOMPARE(QDir(pages.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"site"});

        const QString other = pages.filePath("other");
        QVERIFY(QDir().mkpath(other));
        QFile mine(other + "/notes.txt");
        QVERIFY(mine.open(QIODevice::WriteOnly));
        mine.close();
        QCOMPARE(publishArchive(archive.path(), other, {}),
                 other + " holds files that were not written as pages; the pages replace their folder whole, so give "
                         "a new or empty folder");
        QCOMPARE(QDir(other).entryList(QDir::Files), QStringList{"notes.txt"});
    }

    // Ten years of nightly visits: one point a week in the charts, the latest visits in the
    // table, and the page well under 200 kB.
    void longHistory()
    {
        QList<archive::VisitRecord> visits;
        const QDateTime first(QDate(2017, 1, 1), QTime(2, 0), Qt::OffsetFromUTC, 3600);
        for (int night = 0; night < 3650; ++night) {
            archive::VisitRecord visit = test::visitOn("Weir A", 1, "collected");
            visit.started = first.addDays(night);
            visit.statusReads[0].readAt = visit.started.addSecs(20);
            for (int channel = 0; channel < 4; ++channel)
                visit.statusReads[0].up[size_t(channel)] = night * (channel + 37) % 99991,
                visit.statusReads[0].down[size_t(channel)] = night * (channel + 3);
            visits << visit;
        }
        const QList<archive::VisitCounts> counts = archive::countsAtVisits(visits);
        const publish::PageOptions options{"River counts", first, kNow};
        const QString html = publish::sitePage(publish::siteEntry("Weir A", "weir-a", visits, counts, options), visits,
                                               counts, options);
        QVERIFY2(html.toUtf8().size() < 200'000, qPrintable(QString::number(html.toUtf8().size())));
        const QString text = shownText(html);
        QVERIFY(text.contains("One point a week: the fish of 3,649 spans between visits, added up in 522 weeks."));
        QVERIFY(text.contains("The latest 400 of the season's 3,650 visits"));
        QVERIFY(text.contains("At least this many"));   // the up counts fall back every 99,991 fish
    }
};

QTEST_GUILESS_MAIN(TestPublish)
#include "test_publish.moc"
