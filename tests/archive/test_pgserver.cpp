// The tests' own PostgreSQL server, reached as the archive reaches it: Qt's PostgreSQL
// driver taking the password from a libpq password file, never from the connection's own
// settings; a row kept across a stop and a start; a wrong password refused with the server
// named and no password in the message.

#include "support/pgserver.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace kfc::test;

namespace {

// Connects to the server's database with no password of its own and runs the statements;
// the last one's first value, or the error.
QString run(const PgServer& server, const QStringList& statements)
{
    QString result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "archive");
        server.configure(db);
        if (!db.open())
            result = db.lastError().text();
        for (qsizetype i = 0; result.isEmpty() && i < statements.size(); ++i) {
            QSqlQuery query(db);
            if (!query.exec(statements[i]))
                result = query.lastError().text();
            else if (i == statements.size() - 1 && query.next())
                result = query.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase("archive");
    return result;
}

} // namespace

class TestPgServer : public QObject {
    Q_OBJECT

private slots:
    void passwordFromFile()
    {
        PgServer server;
        QElapsedTimer timer;
        timer.start();
        const QString why = server.start();
        QVERIFY2(why.isEmpty(), qPrintable(why));
        const qint64 firstStart = timer.elapsed();
        QTemporaryDir home;
        const QString passFile = home.filePath("pgpass");
        qputenv("PGPASSFILE", QFile::encodeName(passFile));
        const auto unset = qScopeGuard([] { qunsetenv("PGPASSFILE"); });

        QVERIFY2(run(server, {"SELECT 1"}).contains("no password supplied"), qPrintable(run(server, {"SELECT 1"})));

        // A wrong password, with the characters a password file escapes.
        const QString wrong = "not:the\\password";
        QVERIFY(server.writePassFile(passFile, wrong).isEmpty());
        const QString refused = run(server, {"SELECT 1"});
        QVERIFY2(refused.contains(server.socketDir()), qPrintable(refused));
        QVERIFY2(refused.contains("password authentication failed for user \"kestrova\""), qPrintable(refused));
        QVERIFY2(!refused.contains(wrong) && !refused.contains(server.password()), qPrintable(refused));

        QVERIFY(server.writePassFile(passFile, server.password()).isEmpty());
        QCOMPARE(run(server, {"CREATE TABLE visits (id TEXT PRIMARY KEY, events INTEGER NOT NULL)",
                              "INSERT INTO visits VALUES ('weir-3 2026-12-07T02:00', 4120)",
                              "SELECT events FROM visits WHERE id = 'weir-3 2026-12-07T02:00'"}),
                 QString("4120"));
        // The URI names the same database for libpq's own client.
        QProcess psql;
        psql.start("psql", {"-X", "-A", "-t", "-c", "SELECT current_user || '@' || current_database()", server.uri()});
        QVERIFY2(psql.waitForFinished(30000), qPrintable(psql.errorString()));
        QCOMPARE(psql.readAllStandardOutput().trimmed(), QByteArray("kestrova@fishcounts"));

        timer.restart();
        QCOMPARE(server.stop(), QString());
        const qint64 stop = timer.restart();
        QVERIFY(!server.isRunning());
        QVERIFY2(run(server, {"SELECT 1"}).contains("No such file or directory"), qPrintable(run(server, {"SELECT 1"})));
        QCOMPARE(server.start(), QString());
        const qint64 restart = timer.elapsed();
        QCOMPARE(run(server, {"SELECT count(*) FROM visits"}), QString("1"));
        qInfo("Test PostgreSQL server: first start %lld ms (cluster, role and database made), stop %lld ms, "
              "start again %lld ms", firstStart, stop, restart);
    }
};

QTEST_GUILESS_MAIN(TestPgServer)
#include "test_pgserver.moc"
