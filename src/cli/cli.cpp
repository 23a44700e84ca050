#include "cli.h"
#include "session.h"
#include "collect.h"
#include "publishconf.h"
#include "report.h"
#include "sitelist.h"

#include "link/comport.h"
#include "counter/counterstatus.h"
#include "link/errors.h"
#include "link/hooks.h"
#include "link/link.h"
#include "link/modemdial.h"
#include "link/untrusted.h"
#include "counter/statusformat.h"
#include "counter/download.h"
#include "counter/eventfile.h"
#include "counter/password.h"
#include "archive/archive.h"
#include "publish/publish.h"

#include <QCommandLineParser>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSettings>

#include <cstdio>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace kfc::cli {

namespace {

const char* const kNotes =
    "line options: [--baud N] [--parity E|O|N] [--data-bits 7|8] [--stop-bits 1|2]\n"
    "              [--dial NUMBER [--dial-timeout MS]]\n"
    "With --dial NUMBER, PORT is a modem's port (9600 baud, 7 data bits, even parity,\n"
    "1 stop bit unless line options say otherwise), the number is dialled and the command\n"
    "runs over the call; exit status 3 when the call fails.\n"
    "PORT is COM and a number (COM3), a device path (/dev/ttyUSB0), or tcp://HOST:PORT for a\n"
    "counter behind a serial device server (raw TCP; the line options are then the server's).\n"
    "In a COMMAND, \\xHH stands for one byte (\\x06 is ACK) and \\\\ for a backslash.\n"
    "status and download log on when the counter has a password: its first line in a file\n"
    "named by --password-file, or the environment variable KESTROVA_PASSWORD.\n"
    "A COMMAND - reads commands from standard input, one a line (keeps a password off the\n"
    "command line).\n";

QCommandLineOption option(const char* name, const char* description, const char* valueName = nullptr,
                          const char* defaultValue = nullptr)
{
    QCommandLineOption option(QString::fromLatin1(name), QString::fromLatin1(description));
    if (valueName)
        option.setValueName(QString::fromLatin1(valueName));
    if (defaultValue)
        option.setDefaultValue(QString::fromLatin1(defaultValue));
    return option;
}

// The options of every verb that talks to a counter.
QList<QCommandLineOption> lineOptions()
{
    return {
        option("port", "COM and a number, a device path, or tcp://HOST:PORT.", "PORT"),
        option("baud", "Line speed (default 19200).", "N", "19200"),
        option("parity", "E, O or N (default E).", "P", "E"),
        option("data-bits", "7 or 8 (default 7).", "N", "7"),
        option("stop-bits", "1 or 2 (default 1).", "N", "1"),
        option("log", "Write the Tx/Rx trace to standard error."),
        option("dial", "Dial NUMBER through the modem on PORT first.", "NUMBER"),
        option("dial-timeout", "Give up a call after MS milliseconds (default 60000).", "MS"),
    };
}

QCommandLineOption passwordFileOption()
{
    return option("password-file", "Log on with the first line of FILE.", "FILE");
}


int listPorts(QTextStream& out)
{
    PortNames names;
    loadUserPortNames(names);
    for (const QString& entry : names.listPresentPorts()) {
        const int n = entry.mid(4).toInt();
        out << entry << '\t' << names.deviceFor(n) << '\n';
    }
    return Ok;
}

struct LineOptions {
    QString port;
    SerialSettings settings;
};

// Fills the port settings from the options; an error text when one is not valid.
QString readLineOptions(const QCommandLineParser& parser, ComPort& port)
{
    const QString portText = parser.value(QStringLiteral("port"));
    if (portText.isEmpty())
        return QStringLiteral("--port is required");
    loadUserPortNames(port.portNames());
    if (QString problem = applyPortText(portText, port); !problem.isEmpty())
        return QStringLiteral("PORT ") + problem;

    bool ok = false;
    // A modem line runs at the modem's speed unless told otherwise.
    const bool modemBaud = parser.isSet(QStringLiteral("dial")) && !parser.isSet(QStringLiteral("baud"));
    const int baud = modemBaud ? 9600 : parser.value(QStringLiteral("baud")).toInt(&ok);
    ok = ok || modemBaud;
    if (!ok || baud <= 0)
        return QStringLiteral("--baud must be a positive number");
    port.settings.baud = baud;

    const QString parity = parser.value(QStringLiteral("parity")).toUpper();
    if (parity == QLatin1String("E"))
        port.settings.parity = Parity::Even;
    else if (parity == QLatin1String("O"))
        port.settings.parity = Parity::Odd;
    else if (parity == QLatin1String("N"))
        port.settings.parity = Parity::None;
    else
        return QStringLiteral("--parity must be E, O or N");

    const QString dataBits = parser.value(QStringLiteral("data-bits"));
    if (dataBits != QLatin1String("7") && dataBits != QLatin1String("8"))
        return QStringLiteral("--data-bits must be 7 or 8");
    port.settings.dataBits = dataBits.toInt();

    const QString stopBits = parser.value(QStringLiteral("stop-bits"));
    if (stopBits != QLatin1String("1") && stopBits != QLatin1String("2"))
        return QStringLiteral("--stop-bits must be 1 or 2");
    port.settings.stopBits = stopBits.toInt();
    return {};
}

QString usageText();

int usageError(QTextStream& err, const QString& text)
{
    err << "kestrova-cli: " << text << '\n' << usageText();
    err.flush();
    return UsageOrPortError;
}

// A reply as printed: one line, control bytes as \xHH, and a backslash doubled so that a
// reply holding the text "\x06" reads differently from one holding the byte.
QString replyLine(const QString& reply)
{
    return printable(reply, Backslashes::Doubled);
}

int sendCommands(Link& link, const QStringList& commands, QTextStream& out)
{
    bool allAnswered = true;
    for (const QString& command : commands) {
        const QString reply = link.Exchange(command);
        allAnswered = allAnswered && !reply.isEmpty();
        out << replyLine(reply) << '\n';
        out.flush();
    }
    return allAnswered ? Ok : EmptyReply;
}

// Reads the whole status as the program does and prints the record.
int printStatus(Link& link, bool json, QTextStream& out, QTextStream& err)
{
    CounterStatus status;
    try {
        if (!ReadCounterStatus(link, status))
            return EmptyReply;
    } catch (const LineLostError&) {
        throw;
    } catch (const LinkError& e) {
        err << "kestrova-cli: " << printable(e.text()) << '\n';
        return EmptyReply;
    }
    if (json) {
        out << jsonText(QJsonDocument(counterStatusToJson(status)));
    } else {
        QStringList lines = counterStatusToText(status).split(QLatin1Char('\n'));
        for (QString& line : lines)
            line = printable(line);
        out << lines.join(QLatin1Char('\n'));
    }
    return Ok;
}

bool stderrIsTerminal()
{
#ifdef Q_OS_UNIX
    return ::isatty(STDERR_FILENO) != 0;
#else
    return false;
#endif
}

// The password: the first line of --password-file, else KESTROVA_PASSWORD, never an
// argument (other users can read those). False with the reason when the file cannot be read.
bool readPassword(const QCommandLineParser& parser, QString* password, QString* problem)
{
    const QString fileName = parser.value(QStringLiteral("password-file"));
    if (fileName.isEmpty()) {
        *password = qEnvironmentVariable("KESTROVA_PASSWORD");
        return true;
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = QStringLiteral("cannot read the password file %1: %2").arg(fileName, file.errorString());
        return false;
    }
    *password = QString::fromLocal8Bit(file.readLine()).remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    return true;
}



// The download's count text: "0" (all values) without --count.
bool readCount(const QCommandLineParser& parser, QString* count)
{
    if (!parser.isSet(QStringLiteral("count"))) {
        *count = QStringLiteral("0");
        return true;
    }
    bool ok = false;
    const int n = parser.value(QStringLiteral("count")).toInt(&ok);
    if (!ok || n < 0 || n > kMaxDownloadCount)
        return false;
    *count = QString::number(n);
    return true;
}

// The same download as the window's: the lines go to standard output escaped, or to the
// event file exactly as the window writes it.
int download(Link& link, const QCommandLineParser& parser, const QString& count, QTextStream& out,
             QTextStream& err)
{
    EventFileWriter file;
    if (parser.isSet(QStringLiteral("output")))
        file.open(parser.value(QStringLiteral("output")));
    auto sink = [&](const QString& line) {
        // On standard output as send prints a reply, so no byte of it drives a terminal;
        // the event file keeps the bytes exactly.
        if (file.isOpen()) {
            file.writeLine(line);
            return;
        }
        out << replyLine(line) << '\n';
        out.flush();
    };

    auto hold = link.holdLine();
    CounterStatus status;
    if (parser.isSet(QStringLiteral("status"))) {
        ReadCounterStatus(link, status);
        for (const QString& line : StatusHeaderLines(status))
            sink(line);
    }
    const bool allValues = count == QLatin1String("0");
    const DownloadClock clock(ExpectedEventCount(allValues, count.toInt(), status));
    const bool showProgress = stderrIsTerminal();
    const int received = RunDownload(link, count, sink, [&](int eventNumber) {
        if (showProgress) {
            err << '\r' << clock.text(eventNumber) << "\x1b[K";
            err.flush();
        }
    });
    if (showProgress)
        err << "\r\x1b[K";
    if (!link.port().PortIsOpen()) {
        err << "kestrova-cli: the line was lost after " << received << " events\n";
        return EmptyReply;
    }
    if (allValues) {
        if (const QString missing = MissingEventsText(received, clock.total()); !missing.isEmpty()) {
            err << "kestrova-cli: " << missing << '\n';
            return EmptyReply;
        }
    }
    return Ok;
}


// What a verb's handler is given.
struct Invocation {
    const QCommandLineParser& parser;   // the verb's own options
    QStringList arguments;              // after the verb; send's are made its commands
    QTextStream& out;
    QTextStream& err;
    QTextStream* in;
    Link* link = nullptr;               // the open line, for a verb that opens one
    QList<Site> sites = {};             // collect's, checked before any call
};

struct Verb {
    QString name;
    QString synopsis;                    // what follows "kestrova-cli " in the usage
    QList<QCommandLineOption> options;   // its own; any other verb's option is refused
    QString arguments;                   // the positional arguments it takes; none when empty
    bool opensLine;                      // opens PORT (and dials) before the handler runs
    bool logsOn;                         // logs on before, and hangs up after, the handler
    QString (*prepare)(Invocation&);     // checks before the line opens: a usage error or empty
    int (*handler)(Invocation&);
};

// Logs on, runs the verb, and ends the session; a failure of the link or of the output
// file ends the run with its reason on standard error.
int counterSession(ComPort& port, const Verb& verb, Invocation& invocation, const QString& password)
{
    Link& link = *invocation.link;
    QTextStream& err = invocation.err;
    int result = EmptyReply;
    try {
        if (logOn(link, password, err))
            result = verb.handler(invocation);
    } catch (const LineLostError&) {
        // Said on standard error when the port reported it; nothing is left to hang up.
        return EmptyReply;
    } catch (const std::exception& e) {
        err << "kestrova-cli: " << e.what() << '\n';
        result = EmptyReply;
    }
    try {
        hangUp(link, port);
    } catch (const LineLostError&) {
    } catch (const std::exception& e) {
        err << "kestrova-cli: " << e.what() << '\n';
    }
    return result;
}



// Opens the line (dialling when asked), runs the verb over it, logged on when it logs on,
// and closes the line.
int runOnLine(const Verb& verb, Invocation& invocation)
{
    const QCommandLineParser& parser = invocation.parser;
    QTextStream& err = invocation.err;
    QString password, problem;
    if (verb.logsOn && !readPassword(parser, &password, &problem))
        return usageError(err, problem);

    const QString dialNumber = parser.value(QStringLiteral("dial"));
    if (parser.isSet(QStringLiteral("dial")) && dialNumber.isEmpty())
        return usageError(err, QStringLiteral("--dial needs a NUMBER"));
    int dialTimeoutMs = Timing().modemDialTimeoutMs;
    if (parser.isSet(QStringLiteral("dial-timeout"))) {
        bool ok = false;
        dialTimeoutMs = parser.value(QStringLiteral("dial-timeout")).toInt(&ok);
        if (!ok || dialTimeoutMs <= 0)
            return usageError(err, QStringLiteral("--dial-timeout must be a positive number of milliseconds"));
    }

    ComPort port;
    if (QString problem = readLineOptions(parser, port); !problem.isEmpty())
        return usageError(err, problem);

    hooks().showMessage = [&err](MessageKind, const QString& text) {
        err << "kestrova-cli: " << printable(text) << '\n';
        err.flush();
    };
    QObject::connect(&port, &ComPort::lineLost, &port, [&err](const QString& reason) {
        err << "kestrova-cli: " << printable(reason) << '\n';
        err.flush();
    });
    if (!port.OpenPort())
        return UsageOrPortError;

    if (!dialNumber.isEmpty()) {
        if (const int dialled = dialModem(port, dialNumber, dialTimeoutMs, err); dialled != Ok) {
            hooks().showMessage = nullptr;
            return dialled;
        }
    }

    Link link(port);
    // A test aid: the tests' short delays instead of the real ones.
    if (qEnvironmentVariable("KESTROVA_TIMING") == QLatin1String("shrunk"))
        link.timing = Timing::shrunk();
    if (parser.isSet(QStringLiteral("log"))) {
        QObject::connect(&link, &Link::logged, &link, [&err](const QString& line) {
            err << printable(line) << '\n';
            err.flush();
        });
    }
    invocation.link = &link;
    int result = EmptyReply;
    try {
        result = verb.logsOn ? counterSession(port, verb, invocation, password) : verb.handler(invocation);
    } catch (const LineLostError&) {
        // Said on standard error when the port reported it.
    }
    port.ClosePort();
    hooks().showMessage = nullptr;
    return result;
}

// ---- the verbs ------------------------------------------------------------------------

int portsVerb(Invocation& invocation)
{
    return listPorts(invocation.out);
}

// Makes the arguments the commands to send: "-" stands for the lines of standard input,
// and each is decoded and checked before anything goes on the line.
QString prepareCommands(Invocation& invocation)
{
    QStringList& positional = invocation.arguments;
    if (const qsizetype dash = positional.indexOf(QStringLiteral("-")); dash >= 0 && invocation.in) {
        QStringList read;
        for (QString line; invocation.in->readLineInto(&line);)
            read << line;
        positional.remove(dash);
        for (qsizetype i = 0; i < read.size(); ++i)
            positional.insert(dash + i, read[i]);
    }

    QStringList commands;
    for (const QString& text : positional) {
        QString command;
        if (!decodeCommand(text, &command))
            return QStringLiteral("malformed \\x escape in: %1").arg(text);
        // Latin-1 would send such a character as '?' and the run would report success.
        if (const QString bad = firstUnsendable(command); !bad.isEmpty())
            return QStringLiteral("'%1' in command %2 is not a character the counter "
                                  "can receive (only 8-bit characters can be sent)")
                .arg(bad, text);
        if (command.size() > kMaxCommandLength)
            return QStringLiteral("a command holds at most %1 characters").arg(kMaxCommandLength);
        commands << command;
    }
    if (commands.isEmpty())
        return QStringLiteral("send needs at least one COMMAND");
    positional = commands;
    return {};
}

int sendVerb(Invocation& invocation)
{
    return sendCommands(*invocation.link, invocation.arguments, invocation.out);
}

int statusVerb(Invocation& invocation)
{
    return printStatus(*invocation.link, invocation.parser.isSet(QStringLiteral("json")), invocation.out,
                       invocation.err);
}

QString prepareCount(Invocation& invocation)
{
    QString count;
    if (!readCount(invocation.parser, &count))
        return QStringLiteral("--count must be a whole number from 0 to %1").arg(kMaxDownloadCount);
    return {};
}

int downloadVerb(Invocation& invocation)
{
    QString count;
    readCount(invocation.parser, &count);
    return download(*invocation.link, invocation.parser, count, invocation.out, invocation.err);
}

// The sites to visit, read and checked before any call: the whole list, or the ones named.
QString prepareSites(Invocation& invocation)
{
    const QCommandLineParser& parser = invocation.parser;
    if (parser.value(QStringLiteral("sites")).isEmpty())
        return QStringLiteral("collect needs --sites FILE");
    if (parser.value(QStringLiteral("archive")).isEmpty())
        return QStringLiteral("collect needs --archive DIR");
    if (parser.isSet(QStringLiteral("max-online"))) {
        bool ok = false;
        const double minutes = parser.value(QStringLiteral("max-online")).toDouble(&ok);
        if (!ok || minutes <= 0)
            return QStringLiteral("--max-online must be a number of minutes above 0");
    }
    if (bool ok = false; parser.value(QStringLiteral("parallel")).toInt(&ok) < 1 || !ok)
        return QStringLiteral("--parallel must be a whole number, 1 or more");
    for (const char* name : {"retries", "retry-wait"}) {
        bool ok = false;
        if (parser.isSet(QLatin1String(name)) && (parser.value(QLatin1String(name)).toInt(&ok), !ok
                                                  || parser.value(QLatin1String(name)).toInt() < 0))
            return QStringLiteral("--%1 must be a whole number, 0 or more").arg(QLatin1String(name));
    }
    QList<Site> sites;
    QString error;
    if (!loadSiteList(parser.value(QStringLiteral("sites")), &sites, &error))
        return error;
    const QStringList named = parser.values(QStringLiteral("site"));
    for (const QString& name : named) {
        if (std::none_of(sites.begin(), sites.end(), [&name](const Site& site) { return site.name == name; }))
            return QStringLiteral("no site %1 in %2").arg(name, parser.value(QStringLiteral("sites")));
    }
    if (!named.isEmpty())
        sites.removeIf([&named](const Site& site) { return !named.contains(site.name); });
    invocation.sites = sites;
    return {};
}

// The rows of the busy lines written over the ones drawn before (*drawn of them) in place,
// each on a terminal line of its own; rows no longer wanted are cleared, and the cursor is
// left at the start of the last row, so that no rows at all leave it where the first was.
QString redrawnRows(int* drawn, const QStringList& rows)
{
    const int wanted = std::max(1, int(rows.size()));
    const int written = std::max(*drawn, wanted);
    QString text = *drawn > 1 ? QStringLiteral("\x1b[%1A").arg(*drawn - 1) : QString();
    for (int row = 0; row < written; ++row)
        text += (row > 0 ? QStringLiteral("\n\r") : QStringLiteral("\r")) + rows.value(row).left(79) + QStringLiteral("\x1b[K");
    if (written > wanted)
        text += QStringLiteral("\x1b[%1A").arg(written - wanted);
    *drawn = wanted;
    return text + QLatin1Char('\r');
}

int collectVerb(Invocation& invocation)
{
    const QCommandLineParser& parser = invocation.parser;
    CollectOptions options;
    options.archive = parser.value(QStringLiteral("archive"));
    options.retries = parser.value(QStringLiteral("retries")).toInt();
    options.retryWaitSecs = parser.value(QStringLiteral("retry-wait")).toInt();
    options.parallel = parser.value(QStringLiteral("parallel")).toInt();
    options.log = parser.isSet(QStringLiteral("log"));
    if (parser.isSet(QStringLiteral("max-online")))
        options.maxOnlineMs = qint64(parser.value(QStringLiteral("max-online")).toDouble() * 60'000);
    QTextStream& err = invocation.err;
    if (stderrIsTerminal() && !options.log)
        options.progress = [&err, drawn = 0](const QStringList& rows) mutable {
            err << redrawnRows(&drawn, rows);
            err.flush();
        };
    return collectSites(invocation.sites, options, invocation.out, err);
}

QString prepareReport(Invocation& invocation)
{
    const QCommandLineParser& parser = invocation.parser;
    if (parser.value(QStringLiteral("archive")).isEmpty())
        return QStringLiteral("report needs --archive DIR");
    if (parser.isSet(QStringLiteral("html")) && parser.isSet(QStringLiteral("json")))
        return QStringLiteral("report takes --html FOLDER or --json, not both");
    if (parser.isSet(QStringLiteral("html")) && parser.value(QStringLiteral("html")).isEmpty())
        return QStringLiteral("--html needs a folder");
    if (parser.isSet(QStringLiteral("publish-conf"))
        && (parser.isSet(QStringLiteral("html")) || parser.isSet(QStringLiteral("json"))
            || parser.isSet(QStringLiteral("title")) || parser.isSet(QStringLiteral("since"))))
        return QStringLiteral("--publish-conf takes the folder, title and season from its file alone");
    if (parser.isSet(QStringLiteral("title")) && !parser.isSet(QStringLiteral("html")))
        return QStringLiteral("--title goes with --html");
    if (!parser.isSet(QStringLiteral("since")))
        return {};
    if (!sinceMoment(parser.value(QStringLiteral("since"))).isValid())
        return QStringLiteral("--since must be a date (2026-12-01) or a date and time (2026-12-01T02:00)");
    return {};
}

// The pages of report --html, or of the folder a --publish-conf file names, written as a
// whole into their folder.
int publishVerb(Invocation& invocation)
{
    const QCommandLineParser& parser = invocation.parser;
    const QDateTime now = QDateTime::currentDateTime();
    publish::PublishOptions options{
        parser.value(QStringLiteral("archive")), parser.value(QStringLiteral("html")),
        parser.value(QStringLiteral("title")),
        parser.isSet(QStringLiteral("since")) ? sinceMoment(parser.value(QStringLiteral("since")))
                                              : archive::seasonStart(now.date()),
        now};
    QString error;
    if (const QString conf = parser.value(QStringLiteral("publish-conf")); !conf.isEmpty()) {
        error = readPublishConf(conf, &options);
        if (error.isEmpty() && options.folder.isEmpty()) {
            invocation.out << "No pages written: " << printable(conf) << " names no folder\n";
            return Ok;
        }
    }
    publish::Published published;
    if (!error.isEmpty() || !publish::publishPages(options, &published, &error)) {
        invocation.err << "kestrova-cli: " << printable(error) << '\n';
        return UsageOrPortError;
    }
    invocation.out << "Pages of " << published.sites << (published.sites == 1 ? " site" : " sites") << " written to "
                   << printable(options.folder) << '\n';
    return Ok;
}

int reportVerb(Invocation& invocation)
{
    const QCommandLineParser& parser = invocation.parser;
    if (parser.isSet(QStringLiteral("html")) || parser.isSet(QStringLiteral("publish-conf")))
        return publishVerb(invocation);
    ReportOptions options;
    options.archive = parser.value(QStringLiteral("archive"));
    options.json = parser.isSet(QStringLiteral("json"));
    if (parser.isSet(QStringLiteral("since")))
        options.since = sinceMoment(parser.value(QStringLiteral("since")));
    options.season = options.since.isValid() ? options.since : archive::seasonStart(QDate::currentDate());
    return printReport(options, invocation.out, invocation.err);
}

const std::vector<Verb>& verbs()
{
    static const std::vector<Verb> table{
        {QStringLiteral("ports"), QStringLiteral("ports"), {}, {}, false, false, nullptr, portsVerb},
        {QStringLiteral("send"), QStringLiteral("send --port PORT [line options] [--log] COMMAND..."),
         lineOptions(), QStringLiteral("COMMAND"), true, false, prepareCommands, sendVerb},
        {QStringLiteral("status"),
         QStringLiteral("status --port PORT [line options] [--log] [--password-file FILE] [--json]"),
         lineOptions() << passwordFileOption() << option("json", "Print the status as JSON."), {}, true, true,
         nullptr, statusVerb},
        {QStringLiteral("download"),
         QStringLiteral("download --port PORT [line options] [--log] [--password-file FILE]\n"
                        "[--count N] [--status] [--output FILE]"),
         lineOptions() << passwordFileOption()
                       << option("count", "This many events, 0 to 99999 (default: all).", "N")
                       << option("status", "Write the status header first.")
                       << option("output",
                                 "Write the event file FILE (CR LF line ends, the bytes as received; without "
                                 "it the lines go to standard output escaped as send prints replies).",
                                 "FILE"),
         {}, true, true, prepareCount, downloadVerb},
        {QStringLiteral("collect"),
         QStringLiteral("collect --sites FILE --archive DIR [--site NAME]... [--retries N]\n"
                        "[--retry-wait SECONDS] [--max-online MINUTES] [--parallel N] [--log]"),
         {option("sites", "The site list (INI, one group per site).", "FILE"),
          option("archive", "Write the event files and journal.jsonl under DIR.", "DIR"),
          option("site", "Visit only this site (may be repeated).", "NAME"),
          option("retries", "Call a busy or silent line again N times (default 2).", "N", "2"),
          option("retry-wait", "Seconds before calling again (default 300).", "SECONDS", "300"),
          option("max-online", "End a site's session after MINUTES online (default 90).", "MINUTES"),
          option("parallel", "Keep at most N lines busy at once (default 4); 1 calls the sites one after another.",
                 "N", "4"),
          option("log", "Write the Tx/Rx trace to standard error.")},
         {}, false, false, prepareSites, collectVerb},
        {QStringLiteral("report"),
         QStringLiteral("report --archive DIR [--since DATE] [--json]\n"
                        "[--html FOLDER [--title TEXT]] [--publish-conf FILE]"),
         {option("archive", "The archive a collection wrote.", "DIR"),
          option("since", "Only visits from DATE on (2026-12-01, or 2026-12-01T02:00); the season's start.", "DATE"),
          option("json", "Print the report as JSON."),
          option("html", "Write the report as web pages into FOLDER, which they replace whole (the season from "
                         "--since, or else from the first of January).", "FOLDER"),
          option("title", "The pages' heading (default: Fish counts).", "TEXT", "Fish counts"),
          option("publish-conf",
                 "Write the pages into the folder FILE names (folder=, and title= and since= if wanted); "
                 "nothing when FILE is missing or names none.",
                 "FILE")},
         {}, false, false, prepareReport, reportVerb},
    };
    return table;
}

const Verb* findVerb(const QString& name)
{
    for (const Verb& verb : verbs())
        if (verb.name == name)
            return &verb;
    return nullptr;
}

bool takesOption(const Verb& verb, const QString& name)
{
    return std::any_of(verb.options.begin(), verb.options.end(),
                       [&name](const QCommandLineOption& option) { return option.names().contains(name); });
}

// "kestrova-cli" and the verb's synopsis, its second line lined up under the first option,
// after a "Usage: " or its width of blanks.
QString synopsisText(const Verb& verb)
{
    const QString indent = QStringLiteral("\n") + QString(20 + verb.name.size() + 1, QLatin1Char(' '));
    return QStringLiteral("kestrova-cli ") + QString(verb.synopsis).replace(QLatin1Char('\n'), indent)
           + QLatin1Char('\n');
}

QString usageText()
{
    QString text;
    for (const Verb& verb : verbs())
        text += (text.isEmpty() ? QStringLiteral("Usage: ") : QStringLiteral("       ")) + synopsisText(verb);
    return text + QStringLiteral("       kestrova-cli --help | --version | VERB --help\n") + QLatin1String(kNotes);
}

// The parser of one verb: its own options, and its arguments for the help.
void addVerbOptions(QCommandLineParser& parser, const Verb& verb)
{
    parser.addHelpOption();
    parser.addOptions(verb.options);
    if (!verb.arguments.isEmpty())
        parser.addPositionalArgument(verb.arguments, QStringLiteral("What to send, in turn; - reads them from "
                                                                    "standard input, one a line."),
                                     verb.arguments + QStringLiteral("..."));
}

// Without a verb, the usage of all and the options that need no verb; with one, its usage
// and its options only.
QString helpText(const Verb* verb)
{
    if (!verb) {
        QCommandLineParser general;
        general.addHelpOption();
        general.addVersionOption();
        general.addPositionalArgument(QStringLiteral("verb"), QStringLiteral("ports, send, status, download, collect or report; "
                                                                             "kestrova-cli VERB --help lists its "
                                                                             "options"));
        return usageText() + QLatin1Char('\n') + general.helpText();
    }
    QCommandLineParser parser;
    addVerbOptions(parser, *verb);
    QString options = parser.helpText();
    options = options.mid(std::max<qsizetype>(options.indexOf(QLatin1String("Options:")), 0));
    return QStringLiteral("Usage: ") + synopsisText(*verb) + QLatin1Char('\n') + options;
}

} // namespace

// A day, written yyyy-MM-dd and taken from its start (the PC's time), or a moment with its
// time of day; invalid when the text is neither. The date reader alone would take the date
// at the front of a moment and pass over the time, even an hour 25.
QDateTime sinceMoment(const QString& text)
{
    static const QRegularExpression dayOnly(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    if (dayOnly.match(text).hasMatch())
        return QDate::fromString(text, Qt::ISODate).startOfDay();
    return QDateTime::fromString(text, Qt::ISODate);
}

QString jsonText(const QJsonDocument& document)
{
    // JSON escapes the C0 controls itself; DEL and the C1 controls are written as \u
    // escapes too, so that no text from a counter or a site file reaches the terminal raw.
    QString text = QString::fromUtf8(document.toJson(QJsonDocument::Indented));
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        if (text[i].unicode() >= 0x7f && text[i].unicode() <= 0x9f)
            text.replace(i, 1, QStringLiteral("\\u%1").arg(int(text[i].unicode()), 4, 16, QLatin1Char('0')));
    }
    return text;
}

bool decodeCommand(const QString& text, QString* command)
{
    QString decoded;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('\\')) {
            decoded += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == QLatin1Char('\\')) {
            decoded += QLatin1Char('\\');
            ++i;
            continue;
        }
        bool ok = i + 3 < text.size() && text[i + 1] == QLatin1Char('x');
        const int byte = ok ? text.mid(i + 2, 2).toInt(&ok, 16) : 0;
        if (!ok)
            return false;
        decoded += QChar(byte);
        i += 3;
    }
    *command = decoded;
    return true;
}

int run(const QStringList& args, QTextStream& out, QTextStream& err, QTextStream* in)
{
    // Knows every verb's options: it finds the verb, and tells an option of another verb
    // from one that no verb has.
    QCommandLineParser any;
    const QCommandLineOption help = any.addHelpOption();
    const QCommandLineOption version = any.addVersionOption();
    QStringList added;
    for (const Verb& verb : verbs()) {
        for (const QCommandLineOption& option : verb.options) {
            if (!added.contains(option.names().first())) {
                added << option.names();
                any.addOption(option);
            }
        }
    }
    any.addPositionalArgument(QStringLiteral("verb"), QStringLiteral("ports, send, status, download, collect or report"));
    if (!any.parse(args))
        return usageError(err, any.errorText());
    const QStringList positional = any.positionalArguments();
    const Verb* verb = positional.isEmpty() ? nullptr : findVerb(positional.first());
    if (any.isSet(help)) {
        out << helpText(verb);
        return Ok;
    }
    if (any.isSet(version)) {
        out << "kestrova-cli " << KFC_VERSION_TEXT << '\n';
        return Ok;
    }
    if (positional.isEmpty())
        return usageError(err, QStringLiteral("no verb given"));
    if (!verb)
        return usageError(err, QStringLiteral("unknown verb: %1").arg(positional.first()));
    for (const QString& name : any.optionNames()) {
        if (!takesOption(*verb, name))
            return usageError(err, QStringLiteral("%1 does not take --%2; kestrova-cli %1 --help lists its options")
                                       .arg(verb->name, name));
    }

    QCommandLineParser parser;
    addVerbOptions(parser, *verb);
    if (!parser.parse(args))
        return usageError(err, parser.errorText());
    Invocation invocation{parser, parser.positionalArguments().mid(1), out, err, in};
    if (verb->arguments.isEmpty() && !invocation.arguments.isEmpty())
        return usageError(err, QStringLiteral("%1 takes no COMMAND").arg(verb->name));
    if (verb->prepare) {
        if (const QString problem = verb->prepare(invocation); !problem.isEmpty())
            return usageError(err, problem);
    }
    return verb->opensLine ? runOnLine(*verb, invocation) : verb->handler(invocation);
}

} // namespace kfc::cli
