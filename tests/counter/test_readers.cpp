// The reply field readers: values, what stays in the working string, and malformed fields.

#include "link/errors.h"
#include "counter/readers.h"

#include <QTest>

using namespace kfc;

class TestReaders : public QObject {
    Q_OBJECT
private slots:
    void integersLeaveTheRestFromTheFirstNonDigit()
    {
        QString w = QStringLiteral("  12 34");
        QCOMPARE(TakeInteger(w), 12);
        QCOMPARE(w, QStringLiteral(" 34"));
        QCOMPARE(TakeInteger(w), 34);
        QCOMPARE(w, QString());

        w = QStringLiteral("7V1.2");
        QCOMPARE(TakeInteger(w), 7);
        QCOMPARE(w, QStringLiteral("V1.2"));
    }

    void malformedIntegersFailAndLeaveTheWorkingStringAlone_data()
    {
        QTest::addColumn<QString>("working");
        QTest::newRow("empty") << QString();
        QTest::newRow("blanks only") << QStringLiteral("   ");
        QTest::newRow("minus sign") << QStringLiteral(" -5 3");
        QTest::newRow("plus sign") << QStringLiteral("+5");
        QTest::newRow("letters") << QStringLiteral("ab 1");
        QTest::newRow("tab is not a blank") << QStringLiteral("\t5");
        QTest::newRow("too large for 32 bits") << QStringLiteral("2147483648 1");
    }
    void malformedIntegersFailAndLeaveTheWorkingStringAlone()
    {
        QFETCH(QString, working);
        const QString before = working;
        QVERIFY_THROWS_EXCEPTION(ConversionError, TakeInteger(working));
        QCOMPARE(working, before);
    }

    void largestIntegerIsRead()
    {
        QString w = QStringLiteral("2147483647x");
        QCOMPARE(TakeInteger(w), 2147483647);
        QCOMPARE(w, QStringLiteral("x"));
    }

    void floatsUseThePointWhateverTheLocale()
    {
        QLocale::setDefault(QLocale(QLocale::German));
        QString w = QStringLiteral(" 3.25 x");
        QCOMPARE(TakeFloat(w), 3.25);
        QCOMPARE(w, QStringLiteral(" x"));
        QLocale::setDefault(QLocale::c());

        w = QStringLiteral("8.90 Kestrova");
        QCOMPARE(TakeFloat(w), 8.9);
        QVERIFY(8.9 >= 8.9);  // the status read compares the stored value with 8.9
        QCOMPARE(w, QStringLiteral(" Kestrova"));
    }

    void malformedFloatsFail()
    {
        for (QString w : {QStringLiteral("1.2.3"), QStringLiteral("."), QStringLiteral(""),
                          QStringLiteral("-1.5")}) {
            const QString before = w;
            QVERIFY_THROWS_EXCEPTION(ConversionError, TakeFloat(w));
            QCOMPARE(w, before);
        }
    }

    void dateThenTimeOfAStatusLine()
    {
        QString w = QStringLiteral(" 05/11/03 14:20:00 1");
        QCOMPARE(TakeDate(w), QDate(2003, 11, 5));
        QCOMPARE(w, QStringLiteral(" 14:20:00 1"));
        QCOMPARE(TakeTime(w), QTime(14, 20, 0));
        QCOMPARE(w, QStringLiteral(" 1"));
    }

    void dateSeparatorsAreNotExamined()
    {
        QString w = QStringLiteral("05-11-03 ");
        QCOMPARE(TakeDate(w), QDate(2003, 11, 5));
        QCOMPARE(w, QStringLiteral(" "));
    }

    void twoDigitYearsCover1950To2049_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<int>("year");
        QTest::newRow("49") << QStringLiteral("01/01/49") << 2049;
        QTest::newRow("50") << QStringLiteral("01/01/50") << 1950;
        QTest::newRow("98") << QStringLiteral("01/01/98") << 1998;
        QTest::newRow("00") << QStringLiteral("01/01/00") << 2000;
    }
    void twoDigitYearsCover1950To2049()
    {
        QFETCH(QString, token);
        QFETCH(int, year);
        QCOMPARE(TakeDate(token).year(), year);
    }

    void dateWithoutATrailingBlankTakesTheRest()
    {
        QString w = QStringLiteral("07/12/26");
        QCOMPARE(TakeDate(w), QDate(2026, 12, 7));
        QCOMPARE(w, QString());
    }

    void impossibleDatesAndTimesFailAfterTakingTheToken()
    {
        QString w = QStringLiteral("31/02/03 x");
        QVERIFY_THROWS_EXCEPTION(ConversionError, TakeDate(w));
        QCOMPARE(w, QStringLiteral(" x"));

        w = QStringLiteral("25:00:00 x");
        QVERIFY_THROWS_EXCEPTION(ConversionError, TakeTime(w));
        QCOMPARE(w, QStringLiteral(" x"));

        w = QStringLiteral("ab/cd/ef");
        QVERIFY_THROWS_EXCEPTION(ConversionError, TakeDate(w));
        w = QStringLiteral("12:3");
        QVERIFY_THROWS_EXCEPTION(ConversionError, TakeTime(w));
        w = QString();
        QVERIFY_THROWS_EXCEPTION(ConversionError, TakeDate(w));
    }

    void conversionErrorNamesTheField()
    {
        QString w = QStringLiteral(" X12 5");
        try {
            TakeInteger(w);
            QFAIL("no error");
        } catch (const ConversionError& e) {
            QCOMPARE(e.text(), QStringLiteral("'X12' is not a valid integer value"));
        }
    }

    void tokensDropTheDelimiterAndKeepInnerBlanks()
    {
        QString w = QStringLiteral("  AB V2.1");
        QCOMPARE(TakeToken(w, QLatin1Char('V')), QStringLiteral("AB "));
        QCOMPARE(w, QStringLiteral("2.1"));

        w = QStringLiteral(" no delimiter");
        QCOMPARE(TakeToken(w, QLatin1Char('V')), QStringLiteral("no delimiter"));
        QCOMPARE(w, QString());
    }

    void workingStringKeepsAtMost255Characters()
    {
        QString w = QStringLiteral("1 ") + QString(300, QLatin1Char('x'));
        TakeInteger(w);
        QCOMPARE(w.size(), 255);
    }

    void pickText()
    {
        QCOMPARE(PickText(0, QStringLiteral("Y"), QStringLiteral("N")), QStringLiteral("N"));
        QCOMPARE(PickText(1, QStringLiteral("Y"), QStringLiteral("N")), QStringLiteral("Y"));
        QCOMPARE(PickText(255, QStringLiteral("I"), QStringLiteral("D")), QStringLiteral("I"));
    }
};

QTEST_GUILESS_MAIN(TestReaders)
#include "test_readers.moc"
