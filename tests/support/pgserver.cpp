#include "pgserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>

#include <pwd.h>
#include <unistd.h>
#endif

namespace kfc::test {

namespace {

const QString kBinDir = QStringLiteral("/usr/lib/postgresql/15/bin");
const QString kSuperuser = QStringLiteral("postgres");
// The system user the server runs as when the tests run as root.
const char* const kServerUser = "postgres";
constexpr int kReadyTimeoutMs = 60000;

bool runningAsRoot()
{
#ifdef Q_OS_UNIX
    return ::geteuid() == 0;
#else
    return false;
#endif
}

QString randomPassword()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex();
}

// A field of a libpq password file: ':' and '\' are escaped with '\'.
QString passFileField(QString text)
{
    return text.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char(':'), QStringLiteral("\\:"));
}

// The programs' messages in English, whatever the test's locale.
QProcessEnvironment serverEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    return environment;
}

// Makes the server's user the owner of `path` when the tests run as root. Empty when done,
// else why not.
QString giveToServerUser(const QString& path)
{
#ifdef Q_OS_UNIX
    if (!runningAsRoot())
        return {};
    const passwd* user = ::getpwnam(kServerUser);
    if (!user)
        return QStringLiteral("The tests run as root, and there is no system user %1 to run the PostgreSQL server "
                              "as (the Debian package postgresql makes it)").arg(QLatin1String(kServerUser));
    if (::chown(QFile::encodeName(path).constData(), user->pw_uid, user->pw_gid) != 0)
        return QStringLiteral("%1 cannot be given to the user %2: %3")
            .arg(path, QLatin1String(kServerUser), QString::fromLocal8Bit(strerror(errno)));
    return {};
#else
    return QStringLiteral("The test PostgreSQL server runs on Linux only");
#endif
}

QString sqlLiteral(QString text)
{
    return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
}

} // namespace

PgServer::PgServer()
    : m_folder(QDir::tempPath() + QStringLiteral("/kfc-pg-XXXXXX")),
      // With the two characters a password file must escape.
      m_password(randomPassword().insert(8, QLatin1Char(':')).insert(16, QLatin1Char('\\'))),
      m_superPassword(randomPassword())
{
}

PgServer::~PgServer()
{
    stop();
    if (isRunning()) {
        m_server.kill();
        m_server.waitForFinished(5000);
    }
}

bool PgServer::isRunning() const
{
    return m_server.state() != QProcess::NotRunning;
}

QString PgServer::start()
{
    if (isRunning())
        return {};
    if (!QFileInfo(kBinDir + QStringLiteral("/initdb")).isExecutable())
        return QStringLiteral("PostgreSQL 15 is not installed: no %1/initdb (scripts/test.sh installs the "
                              "Debian package postgresql)").arg(kBinDir);
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        return QStringLiteral("setpriv is not installed (Debian package util-linux)");
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return QStringLiteral("Qt's PostgreSQL driver is not installed (scripts/test.sh installs the Debian "
                              "package libqt6sql6-psql)");
    if (!m_initialised) {
        if (const QString why = initCluster(); !why.isEmpty())
            return why;
    }

    m_server.setProcessChannelMode(QProcess::MergedChannels);
    m_server.setStandardOutputFile(m_folder.filePath(QStringLiteral("server.log")));
    m_server.setWorkingDirectory(m_folder.path());
    m_server.setProcessEnvironment(serverEnvironment());
    // The server gets SIGINT, a fast shutdown, when the thread that started it ends: a test
    // that crashes or is killed leaves no server behind.
    QStringList arguments{QStringLiteral("--pdeathsig"), QStringLiteral("INT")};
    arguments += asServerUser(kBinDir + QStringLiteral("/postgres"),
                              {QStringLiteral("-D"), dataDir(), QStringLiteral("-c"), QStringLiteral("listen_addresses="),
                               QStringLiteral("-c"), QStringLiteral("unix_socket_directories=") + socketDir(),
                               QStringLiteral("-c"), QStringLiteral("port=%1").arg(kPort),
                               // A cluster that lives for one test needs no protection from a
                               // crash of the machine.
                               QStringLiteral("-c"), QStringLiteral("fsync=off")});
    m_server.start(QStringLiteral("setpriv"), arguments);
    if (!m_server.waitForStarted(10000))
        return QStringLiteral("The PostgreSQL server could not be started: %1").arg(m_server.errorString());
    if (const QString why = waitUntilReady(); !why.isEmpty())
        return why;
    if (m_initialised)
        return {};
    m_initialised = true;
    const QString why = execAsSuperuser(
        {QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD %2").arg(userName(), sqlLiteral(m_password)),
         QStringLiteral("CREATE DATABASE %1 OWNER %2").arg(databaseName(), userName())},
        kSuperuser);
    return why.isEmpty() ? why : QStringLiteral("The test database could not be made: ") + why;
}

QString PgServer::initCluster()
{
    if (!m_folder.isValid())
        return QStringLiteral("No temporary folder for the PostgreSQL server: ") + m_folder.errorString();
    // The folder is the server's: its data, its socket and its log.
    if (const QString why = giveToServerUser(m_folder.path()); !why.isEmpty())
        return why;
    // The superuser's password reaches initdb in a file that only the server's user reads.
    QFile passwordFile(m_folder.filePath(QStringLiteral("superuser-password")));
    if (!passwordFile.open(QIODevice::WriteOnly) || !passwordFile.setPermissions(QFile::ReadOwner | QFile::WriteOwner)
        || passwordFile.write(m_superPassword.toUtf8() + '\n') < 0)
        return QStringLiteral("Cannot write %1: %2").arg(passwordFile.fileName(), passwordFile.errorString());
    passwordFile.close();
    if (const QString why = giveToServerUser(passwordFile.fileName()); !why.isEmpty())
        return why;
    const QString why = runAsServerUser(
        kBinDir + QStringLiteral("/initdb"),
        {QStringLiteral("-D"), dataDir(), QStringLiteral("-U"), kSuperuser, QStringLiteral("--auth=scram-sha-256"),
         QStringLiteral("--pwfile=") + passwordFile.fileName(), QStringLiteral("--encoding=UTF8"),
         QStringLiteral("--no-locale"), QStringLiteral("--no-sync"), QStringLiteral("--no-instructions")},
        120000);
    passwordFile.remove();
    if (!why.isEmpty() && runningAsRoot())
        return why + QStringLiteral("\n(The tests run as root, so the server runs as the user %1, which must be able "
                                    "to reach the temporary folder %2.)").arg(QLatin1String(kServerUser), m_folder.path());
    return why;
}

QString PgServer::waitUntilReady()
{
    // The server writes "ready" into the eighth line of its pid file once it accepts
    // connections (pg_ctl waits the same way).
    QFile pidFile(dataDir() + QStringLiteral("/postmaster.pid"));
    const auto ready = [&pidFile] {
        if (!pidFile.open(QIODevice::ReadOnly))
            return false;
        const QList<QByteArray> lines = pidFile.readAll().split('\n');
        pidFile.close();
        return lines.size() > 7 && lines[7].trimmed() == "ready";
    };
    const bool settled = QTest::qWaitFor([&] { return !isRunning() || ready(); }, kReadyTimeoutMs);
    if (!isRunning())
        return QStringLiteral("The PostgreSQL server stopped as it started:\n") + logTail();
    if (!settled)
        return QStringLiteral("The PostgreSQL server was not ready within %1 s:\n%2").arg(kReadyTimeoutMs / 1000).arg(logTail());
    return {};
}

QString PgServer::stop()
{
    if (!isRunning())
        return {};
    const QString why = runAsServerUser(
        kBinDir + QStringLiteral("/pg_ctl"),
        {QStringLiteral("stop"), QStringLiteral("-D"), dataDir(), QStringLiteral("-m"), QStringLiteral("fast"),
         QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("60")},
        70000);
    m_server.waitForFinished(10000);
    if (!isRunning())
        return {};
    return why.isEmpty() ? QStringLiteral("The PostgreSQL server did not end:\n") + logTail() : why;
}

QString PgServer::uri() const
{
    return QStringLiteral("postgresql://%1@/%2?host=%3&port=%4")
        .arg(userName(), databaseName(), QString::fromLatin1(QUrl::toPercentEncoding(socketDir(), "/")))
        .arg(kPort);
}

void PgServer::configure(QSqlDatabase& db) const
{
    db.setHostName(socketDir());
    db.setPort(kPort);
    db.setDatabaseName(databaseName());
    db.setUserName(userName());
}

QString PgServer::writePassFile(const QString& fileName, const QString& password) const
{
    QFile file(fileName);
    const QString line = QStringLiteral("%1:%2:%3:%4:%5\n")
                             .arg(passFileField(socketDir()))
                             .arg(kPort)
                             .arg(passFileField(databaseName()), passFileField(userName()), passFileField(password));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner)
        || file.write(line.toUtf8()) < 0 || !file.flush())
        return QStringLiteral("Cannot write the password file %1: %2").arg(fileName, file.errorString());
    return {};
}

QString PgServer::execAsSuperuser(const QStringList& statements, const QString& database) const
{
    static int connections = 0;
    const QString name = QStringLiteral("kfc-pgserver-%1").arg(++connections);
    QString why;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        configure(db);
        db.setDatabaseName(database.isEmpty() ? databaseName() : database);
        db.setUserName(kSuperuser);
        db.setPassword(m_superPassword);
        if (!db.open())
            why = db.lastError().text();
        for (qsizetype i = 0; why.isEmpty() && i < statements.size(); ++i) {
            QSqlQuery query(db);
            if (!query.exec(statements[i]))
                why = QStringLiteral("%1: %2").arg(statements[i], query.lastError().text());
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return why;
}

QString PgServer::logTail() const
{
    QFile log(m_folder.filePath(QStringLiteral("server.log")));
    if (!log.open(QIODevice::ReadOnly))
        return QStringLiteral("(no server log)");
    const QStringList lines = QString::fromLocal8Bit(log.readAll()).split(QLatin1Char('\n'));
    return lines.mid(qMax(0, int(lines.size()) - 20)).join(QLatin1Char('\n'));
}

QString PgServer::runAsServerUser(const QString& program, const QStringList& arguments, int timeoutMs) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(m_folder.path());
    process.setProcessEnvironment(serverEnvironment());
    process.start(QStringLiteral("setpriv"), asServerUser(program, arguments));
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return QStringLiteral("%1 did not finish: %2").arg(QFileInfo(program).fileName(), process.errorString());
    }
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return {};
    return QStringLiteral("%1 failed (exit code %2):\n%3")
        .arg(QFileInfo(program).fileName())
        .arg(process.exitCode())
        .arg(QString::fromLocal8Bit(process.readAll()).trimmed());
}

// setpriv (util-linux) runs the program as the server's user: the test's own, or the
// postgres system user for a test run as root.
QStringList PgServer::asServerUser(const QString& program, const QStringList& arguments) const
{
    QStringList command;
    if (runningAsRoot())
        command << QStringLiteral("--reuid=%1").arg(QLatin1String(kServerUser))
                << QStringLiteral("--regid=%1").arg(QLatin1String(kServerUser)) << QStringLiteral("--init-groups");
    return command << QStringLiteral("--") << program << arguments;
}

QString PgServer::dataDir() const
{
    return m_folder.filePath(QStringLiteral("data"));
}

} // namespace kfc::test
