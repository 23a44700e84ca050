#include "cli.h"

#include "link/comport.h"
#include "counter/counterstatus.h"
#include "link/errors.h"
#include "link/hooks.h"
#include "link/link.h"
#include "counter/statusformat.h"

#include <QCommandLineParser>
#include <QJsonDocument>
#include <QSettings>

namespace kfc::cli {

namespace {

// An explicit device path is given this number for the run; it is never saved.
constexpr int kPathComNumber = 99;

const char* const kUsage =
    "Usage: kestrova-cli ports\n"
    "       kestrova-cli send --port PORT [--baud N] [--parity E|O|N] [--data-bits 7|8]\n"
    "                         [--stop-bits 1|2] [--log] COMMAND...\n"
    "       kestrova-cli status --port PORT [line options] [--log] [--json]\n"
    "PORT is COM and a number (COM3) or a device path (/dev/ttyUSB0).\n"
    "In a COMMAND, \\xHH stands for one byte (\\x06 is ACK) and \\\\ for a backslash.\n";

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
    const int baud = parser.value(QStringLiteral("baud")).toInt(&ok);
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

// Prints each reply on a line of its own; non-printable bytes are shown as \xHH so the
// output stays one line per reply.
QString printable(const QString& reply)
{
    QString out;
    for (QChar c : reply) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QLatin1Char('\\'))
            out += c == QLatin1Char('\\') ? QStringLiteral("\\\\")
                                          : QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

int sendCommands(Link& link, const QStringList& commands, QTextStream& out)
{
    bool allAnswered = true;
    for (const QString& command : commands) {
        const QString reply = link.Exchange(command);
        allAnswered = allAnswered && !reply.isEmpty();
        out << printable(reply) << '\n';
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
        err << "kestrova-cli: " << e.text() << '\n';
        return EmptyReply;
    }
    if (json)
        out << QJsonDocument(counterStatusToJson(status)).toJson(QJsonDocument::Indented);
    else
        out << counterStatusToText(status);
    return Ok;
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

int run(const QStringList& args, QTextStream& out, QTextStream& err)
{
    QCommandLineParser parser;
    addLineOptions(parser);
    parser.addPositionalArgument(QStringLiteral("verb"), QStringLiteral("ports, send or status"));
    if (!parser.parse(args))
        return usageError(err, parser.errorText());
    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(err, QStringLiteral("no verb given"));
    const QString verb = positional.takeFirst();

    if (verb == QLatin1String("ports"))
        return listPorts(out);
    const bool status = verb == QLatin1String("status");
    if (!status && verb != QLatin1String("send"))
        return usageError(err, QStringLiteral("unknown verb: %1").arg(verb));
    if (status && !positional.isEmpty())
        return usageError(err, QStringLiteral("status takes no COMMAND"));

    QStringList commands;
    for (const QString& text : positional) {
        QString command;
        if (!decodeCommand(text, &command))
            return usageError(err, QStringLiteral("malformed \\x escape in: %1").arg(text));
        if (command.size() > kMaxCommandLength)
            return usageError(err, QStringLiteral("a command holds at most %1 characters").arg(kMaxCommandLength));
        commands << command;
    }
    if (!status && commands.isEmpty())
        return usageError(err, QStringLiteral("send needs at least one COMMAND"));

    ComPort port;
    if (QString problem = readLineOptions(parser, port); !problem.isEmpty())
        return usageError(err, problem);

    hooks().showMessage = [&err](MessageKind, const QString& text) {
        err << "kestrova-cli: " << text << '\n';
        err.flush();
    };
    QObject::connect(&port, &ComPort::lineLost, &port, [&err](const QString& reason) {
        err << "kestrova-cli: " << reason << '\n';
        err.flush();
    });
    if (!port.OpenPort())
        return UsageOrPortError;

    Link link(port);
    if (parser.isSet(QStringLiteral("log"))) {
        QObject::connect(&link, &Link::logged, &link, [&err](const QString& line) {
            err << printable(line) << '\n';
            err.flush();
        });
    }
    int result = EmptyReply;
    try {
        result = status ? printStatus(link, parser.isSet(QStringLiteral("json")), out, err)
                        : sendCommands(link, commands, out);
    } catch (const LineLostError&) {
        // Said on standard error when the port reported it.
    }
    port.ClosePort();
    hooks().showMessage = nullptr;
    return result;
}

} // namespace kfc::cli
