#pragma once
// A throw-away PostgreSQL 15 server for the tests that need a real one: Debian's initdb
// makes a cluster in a temporary folder, and the server listens there on a Unix socket
// only (no TCP port is opened). It runs as an unprivileged user: the test's own, or the
// `postgres` system user when the tests run as root (the server refuses root). The server
// is a child of the test and is told to shut down fast when the test ends however it ends:
// the destructor stops it, and a test that crashes or is killed takes it down with it.
//
// It holds one database and one role that owns it, with a password checked by SCRAM, so a
// test can show where a client's password comes from. scripts/test.sh installs the server
// (Debian's postgresql) and Qt's driver for it (libqt6sql6-psql).
//
// Use it from the thread that runs the test (the server ends with the thread that started
// it):
//
//     PgServer server;
//     const QString why = server.start();
//     QVERIFY2(why.isEmpty(), qPrintable(why));   // no server: the test fails, saying why
//     server.writePassFile(passFile, server.password());
//     qputenv("PGPASSFILE", passFile.toLocal8Bit());
//     QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "test");
//     server.configure(db);                         // or pass server.uri() to the program

#include <QProcess>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace kfc::test {

class PgServer {
public:
    PgServer();
    ~PgServer();
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    // Makes the cluster, its role and its database the first time, then starts the server
    // and waits until it accepts connections. Empty when it runs, else why it does not.
    // After stop() it starts the same cluster again, with everything written before.
    QString start();
    // Fast shutdown (open sessions are ended), waiting until the server is gone. Empty when
    // it is stopped, else why not.
    QString stop();
    bool isRunning() const;

    // The pieces of a connection, as libpq and QSqlDatabase take them. The host is the
    // folder that holds the server's socket.
    QString socketDir() const { return m_folder.path(); }
    int port() const { return kPort; }
    QString databaseName() const { return QStringLiteral("fishcounts"); }
    QString userName() const { return QStringLiteral("kestrova"); }
    // The role's password, made afresh for each server.
    QString password() const { return m_password; }
    // The connection URI as libpq reads it, without a password:
    // postgresql://kestrova@/fishcounts?host=SOCKETDIR&port=PORT
    QString uri() const;

    // Sets host, port, database and user on `db`; never a password, so that libpq looks
    // for one in PGPASSFILE or ~/.pgpass.
    void configure(QSqlDatabase& db) const;
    // Writes a libpq password file (mode 0600, which libpq insists on) that gives
    // `password` for this server's role and database. Empty when written, else why not.
    QString writePassFile(const QString& fileName, const QString& password) const;
    // Runs each statement in turn as the cluster's superuser, each in its own transaction,
    // in database `database` (default: this server's). Empty when all ran, else the first
    // error.
    QString execAsSuperuser(const QStringList& statements, const QString& database = {}) const;

    // The server's log, for a failure's message.
    QString logTail() const;

private:
    static constexpr int kPort = 15432;   // not the default, so that a lost port shows

    QString initCluster();
    QString waitUntilReady();
    // Runs a PostgreSQL program as the server's user; empty when it succeeded, else its
    // output.
    QString runAsServerUser(const QString& program, const QStringList& arguments, int timeoutMs) const;
    QStringList asServerUser(const QString& program, const QStringList& arguments) const;
    QString dataDir() const;

    QTemporaryDir m_folder;
    QString m_password;
    QString m_superPassword;
    bool m_initialised = false;
    QProcess m_server;
};

} // namespace kfc::test
