// Where a site's new event file begins to bring new events: the overlap of consecutive
// downloads of a counter's buffer, found from whole lines alone.

#include "archive/overlap.h"

#include <QTest>

using namespace kfc::archive;

namespace {

// Event lines number `from` to `to`, in a counter's layout.
QStringList events(int from, int to, const QString& day = QStringLiteral("06/12/26"))
{
    QStringList lines;
    for (int n = from; n <= to; ++n)
        lines << QStringLiteral("%1 %2:%3:00 UP %4 %5").arg(day).arg(n / 60, 2, 10, QLatin1Char('0'))
                     .arg(n % 60, 2, 10, QLatin1Char('0')).arg(n % 4 + 1).arg(n);
    return lines;
}

} // namespace

class TestOverlap : public QObject {
    Q_OBJECT

private slots:
    void firstNew_data()
    {
        QTest::addColumn<QStringList>("site");
        QTest::addColumn<QStringList>("file");
        QTest::addColumn<bool>("flushedSince");
        QTest::addColumn<int>("firstNew");
        QTest::addColumn<bool>("gap");
        QTest::newRow("linear buffer growing") << events(1, 10) << events(1, 15) << false << 10 << false;
        QTest::newRow("circular buffer wrapping") << events(1, 20) << events(6, 25) << false << 15 << false;
        QTest::newRow("flushed buffer starts afresh") << events(1, 10) << events(1, 4, "07/12/26") << true << 0 << false;
        QTest::newRow("gap: buffer cleared, no flush") << events(1, 10) << events(1, 4, "07/12/26") << false << 0 << true;
        QTest::newRow("gap: wrapped past all collected") << events(1, 10) << events(12, 30) << false << 0 << true;
        QTest::newRow("empty series") << QStringList() << events(1, 5) << false << 0 << false;
        QTest::newRow("empty file") << events(1, 5) << QStringList() << false << 0 << false;
        QTest::newRow("whole file already known") << events(1, 10) << events(4, 10) << false << 7 << false;
        QTest::newRow("file equal to the series") << events(1, 10) << events(1, 10) << false << 10 << false;
        QTest::newRow("identical lines: the longest run wins")
            << QStringList{"b", "a", "a", "a"} << QStringList{"a", "a", "a", "a", "c"} << false << 3 << false;
        QTest::newRow("a run broken, then whole")
            << QStringList{"a", "a", "b", "a", "a", "a"} << QStringList{"a", "a", "a", "b"} << false << 3 << false;
        QTest::newRow("a repeated pattern")
            << QStringList{"x", "a", "b", "a", "b", "a"} << QStringList{"a", "b", "a", "b", "a", "c"} << false << 5 << false;
        QTest::newRow("a trailing blank is a different line")
            << QStringList{"e1", "e2 "} << QStringList{"e1", "e2", "e3"} << false << 0 << true;
    }
    void firstNew()
    {
        QFETCH(QStringList, site);
        QFETCH(QStringList, file);
        QFETCH(bool, flushedSince);
        QFETCH(int, firstNew);
        QCOMPARE(firstNewEvent(site, file), firstNew);
        // The same lines as the bytes of a file, and the series' tail alone.
        QByteArrayList siteBytes, fileBytes;
        for (const QString& line : site)
            siteBytes << line.toLatin1();
        for (const QString& line : file)
            fileBytes << line.toLatin1();
        QCOMPARE(firstNewEvent(siteBytes, fileBytes), firstNew);
        QCOMPARE(firstNewEvent(site.mid(qMax(0, int(site.size() - file.size()))), file), firstNew);
        QTEST(gapBefore(firstNew, site.size(), file.size(), flushedSince), "gap");
    }
};

QTEST_GUILESS_MAIN(TestOverlap)
#include "test_overlap.moc"
