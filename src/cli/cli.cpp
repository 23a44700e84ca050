#include "cli.h"

#include "link/comport.h"
#include "counter/counterstatus.h"
#include "link/errors.h"
#include "link/hooks.h"
#include "link/link.h"
#include "link/modemdial.h"
#include "link/untrusted.h"
#include "counter/statusformat.h"
#include "counter/download.h"
#include "counter/password.h"

#include <QCommandLineParser>
#include <QFile>
#include <QJsonDocument>
#include <QSettings>

#include <cstdio>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace kfc::cli {

namespace {

// An explicit device path is given this number for the run; it is never saved.
constexpr int kPathComNumber = 99;

const char* const kUsage =
    "Usage: kestrova-cli ports\n"
    "       kestrova-cli send --port PORT [--baud N] [--parity E|O|N] [--data-bits 7|8]\n"
    "                         [--stop-bits 1|2] [--log] COMMAND...\n"
    "       kestrova-cli status --port PORT [line options] [--log] [--json]\n"
    "       kestrova-cli download --port PORT [line options] [--log] [--count N] [--status]\n"
    "                             [--output FILE]\n"
    "       kestrova-cli --help | --version\n"
    "send, status and download take --dial NUMBER [--dial-timeout MS]: PORT is a modem's\n"
    "port (9600 baud, 7 data bits, even parity, 1 stop bit unless line options say\n"
    "otherwise), the number is dialled and the command runs over the call; exit status 3\n"
    "when the call fails.\n"
    "PORT is COM and a number (COM3) or a device path (/dev/ttyUSB0).\n"
    "In a COMMAND, \\xHH stands for one byte (\\x06 is ACK) and \\\\ for a backslash.\n"
    "status and download log on when the counter has a password: its first line in a file\n"
    "named by --password-file, or the environment variable KESTROVA_PASSWORD.\n"
    "A COMMAND - reads commands from standard input, one a line (keeps a password off the\n"
    "command line).\n";

void loadUserPortNames(PortNames& names)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kestrova"),
                       QStringLiteral("Control"));
    names.load(settings);
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

void addLineOptions(QCommandLineParser& parser)
{
    parser.addOptions({
        {QStringLiteral("port"), QStringLiteral("COM and a number, or a device path."), QStringLiteral("PORT")},
        {QStringLiteral("baud"), QStringLiteral("Line speed (default 19200)."), QStringLiteral("N"), QStringLiteral("19200")},
        {QStringLiteral("parity"), QStringLiteral("E, O or N (default E)."), QStringLiteral("P"), QStringLiteral("E")},
        {QStringLiteral("data-bits"), QStringLiteral("7 or 8 (default 7)."), QStringLiteral("N"), QStringLiteral("7")},
        {QStringLiteral("stop-bits"), QStringLiteral("1 or 2 (default 1)."), QStringLiteral("N"), QStringLiteral("1")},
        {QStringLiteral("log"), QStringLiteral("Write the Tx/Rx trace to standard error.")},
        {QStringLiteral("json"), QStringLiteral("Print the status as JSON.")},
        {QStringLiteral("count"), QStringLiteral("download: this many events, 0 to 99999 (default: all)."), QStringLiteral("N")},
        {QStringLiteral("status"), QStringLiteral("download: write the status header first.")},
        {QStringLiteral("output"), QStringLiteral("download: write the event file FILE (CR LF line ends, the bytes as received; without it the lines go to standard output escaped as send prints replies)."), QStringLiteral("FILE")},
        {QStringLiteral("password-file"), QStringLiteral("Log on with the first line of FILE."), QStringLiteral("FILE")},
        {QStringLiteral("dial"), QStringLiteral("Dial NUMBER through the modem on PORT first."), QStringLiteral("NUMBER")},
        {QStringLiteral("dial-timeout"), QStringLiteral("Give up a call after MS milliseconds (default 60000)."),
         QStringLiteral("MS")},
    });
}

// Fills the port settings from the options; an error text when one is not valid.
QString readLineOptions(const QCommandLineParser& parser, ComPort& port)
{
    const QString portText = parser.value(QStringLiteral("port"));
    if (portText.isEmpty())
        return QStringLiteral("--port is required");
    loadUserPortNames(port.portNames());
    if (portText.startsWith(QLatin1Char('/'))) {
        port.portNames().setOverride(kPathComNumber, portText);
        port.settings.comNumber = kPathComNumber;
    } else {
        bool ok = portText.startsWith(QLatin1String("COM"), Qt::CaseInsensitive);
        const int n = ok ? portText.mid(3).trimmed().toInt(&ok) : 0;
        if (!ok || n < PortNames::kFirst || n > PortNames::kLast)
            return QStringLiteral("PORT must be COM1..COM99 or a device path: %1").arg(portText);
        port.settings.comNumber = n;
    }

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

int usageError(QTextStream& err, const QString& text)
{
    err << "kestrova-cli: " << text << '\n' << kUsage;
    err.flush();
    return UsageOrPortError;
}

// A reply as printed: one line, control bytes as \xHH, and a backslash doubled so that a
// reply holding the text "\x06" reads differently from one holding the byte.
QString replyLine(const QString& reply)
{
    return printable(QString(reply).replace(QLatin1Char('\\'), QStringLiteral("\\\\")));
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
        // JSON escapes the C0 controls itself; DEL and the C1 controls are written as
        // \u escapes too, so that no text from the counter reaches the terminal raw.
        QString text = QString::fromUtf8(QJsonDocument(counterStatusToJson(status)).toJson(QJsonDocument::Indented));
        for (qsizetype i = text.size() - 1; i >= 0; --i) {
            if (text[i].unicode() >= 0x7f && text[i].unicode() <= 0x9f)
                text.replace(i, 1, QStringLiteral("\\u%1").arg(int(text[i].unicode()), 4, 16, QLatin1Char('0')));
        }
        out << text;
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

// Logs on when the counter has a password in force.
bool logOn(Link& link, const QString& password, QTextStream& err)
{
    const QString state = link.QueryPasswordState();
    if (state == PasswordState::Old && password.isEmpty()) {
        err << "kestrova-cli: the counter has a password; give it as the first line of a file "
               "with --password-file FILE, or in the environment variable KESTROVA_PASSWORD\n";
        return false;
    }
    if (state != PasswordState::Old && state != PasswordState::New && state != PasswordState::LoggedOn) {
        err << "kestrova-cli: Invalid Password Response - " << printable(state) << '\n';
        return false;
    }
    return state != PasswordState::Old || CounterLogon(link, PadPassword(password));
}

// Ends the session as the program's hang-up does: log-off, then "e".
void hangUp(Link& link, ComPort& port)
{
    if (!port.PortIsOpen())
        return;
    CounterLogoff(link);
    link.SendCommand(QStringLiteral("e"));
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

class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The same download as the window's: the lines go to standard output escaped, or to the
// event file exactly as the window writes it.
int download(Link& link, const QCommandLineParser& parser, const QString& count, QTextStream& out,
             QTextStream& err)
{
    QFile file(parser.value(QStringLiteral("output")));
    const bool toFile = parser.isSet(QStringLiteral("output"));
    if (toFile && !file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        err << "kestrova-cli: cannot create " << file.fileName() << ": " << file.errorString() << '\n';
        return EmptyReply;
    }
    auto sink = [&](const QString& line) {
        // On standard output as send prints a reply, so no byte of it drives a terminal;
        // the event file keeps the bytes exactly.
        if (!toFile) {
            out << replyLine(line) << '\n';
            out.flush();
            return;
        }
        const QByteArray bytes = line.toLatin1() + "\r\n";
        if (file.write(bytes) != bytes.size() || !file.flush())
            throw OutputError(QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString()).toStdString());
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

// Logs on, runs the verb, and ends the session; a failure of the link or of the output
// file ends the run with its reason on standard error.
int counterSession(Link& link, ComPort& port, const QString& verb, const QCommandLineParser& parser,
                   const QString& password, const QString& count, QTextStream& out, QTextStream& err)
{
    int result = EmptyReply;
    try {
        if (logOn(link, password, err)) {
            result = verb == QLatin1String("status")
                         ? printStatus(link, parser.isSet(QStringLiteral("json")), out, err)
                         : download(link, parser, count, out, err);
        }
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

// Dials through the modem on the open port; on a failure says why on standard error.
int dialModem(ComPort& port, const QString& number, int timeoutMs, QTextStream& err)
{
    ModemDialer dialer(port);
    QString lastLine;
    dialer.progress = [&lastLine](const QString& text) { lastLine = text; };
    bool connected = false;
    try {
        connected = dialer.dial(number, timeoutMs);
    } catch (const LinkError& e) {
        lastLine = e.text();
    }
    if (connected) {
        port.DiscardInput();   // whatever the modem sent after "CONNECT"
        return Ok;
    }
    err << "kestrova-cli: " << lastLine << '\n';
    err.flush();
    port.ClosePort();
    return CallFailed;
}

} // namespace

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
    QCommandLineParser parser;
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    addLineOptions(parser);
    parser.addPositionalArgument(QStringLiteral("verb"), QStringLiteral("ports, send, status or download"));
    if (!parser.parse(args))
        return usageError(err, parser.errorText());
    if (parser.isSet(help)) {
        out << kUsage << '\n' << parser.helpText();
        return Ok;
    }
    if (parser.isSet(version)) {
        out << "kestrova-cli " << KFC_VERSION_TEXT << '\n';
        return Ok;
    }
    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(err, QStringLiteral("no verb given"));
    const QString verb = positional.takeFirst();

    if (verb == QLatin1String("ports"))
        return listPorts(out);
    const bool send = verb == QLatin1String("send");
    if (!send && verb != QLatin1String("status") && verb != QLatin1String("download"))
        return usageError(err, QStringLiteral("unknown verb: %1").arg(verb));
    if (!send && !positional.isEmpty())
        return usageError(err, QStringLiteral("%1 takes no COMMAND").arg(verb));

    // "-": the commands read from standard input, one a line, in its place.
    if (const qsizetype dash = positional.indexOf(QStringLiteral("-")); dash >= 0 && in) {
        QStringList read;
        for (QString line; in->readLineInto(&line);)
            read << line;
        positional.remove(dash);
        for (qsizetype i = 0; i < read.size(); ++i)
            positional.insert(dash + i, read[i]);
    }

    QStringList commands;
    for (const QString& text : positional) {
        QString command;
        if (!decodeCommand(text, &command))
            return usageError(err, QStringLiteral("malformed \\x escape in: %1").arg(text));
        // Latin-1 would send such a character as '?' and the run would report success.
        if (const QString bad = firstUnsendable(command); !bad.isEmpty())
            return usageError(err, QStringLiteral("'%1' in command %2 is not a character the counter "
                                                  "can receive (only 8-bit characters can be sent)")
                                       .arg(bad, text));
        if (command.size() > kMaxCommandLength)
            return usageError(err, QStringLiteral("a command holds at most %1 characters").arg(kMaxCommandLength));
        commands << command;
    }
    if (send && commands.isEmpty())
        return usageError(err, QStringLiteral("send needs at least one COMMAND"));
    QString count;
    if (!readCount(parser, &count))
        return usageError(err, QStringLiteral("--count must be a whole number from 0 to %1").arg(kMaxDownloadCount));
    QString password, problem;
    if (!readPassword(parser, &password, &problem))
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
    int result = EmptyReply;
    try {
        result = send ? sendCommands(link, commands, out)
                      : counterSession(link, port, verb, parser, password, count, out, err);
    } catch (const LineLostError&) {
        // Said on standard error when the port reported it.
    }
    port.ClosePort();
    hooks().showMessage = nullptr;
    return result;
}

} // namespace kfc::cli
