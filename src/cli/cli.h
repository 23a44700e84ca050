#pragma once
// The command-line client: talks to a counter through the same link code as the program.
//
//   kestrova-cli ports
//   kestrova-cli send --port PORT [line options] [--log] COMMAND...
//   kestrova-cli status --port PORT [line options] [--json]
//   kestrova-cli download --port PORT [line options] [--count N] [--status] [--output FILE]
//   send, status and download also take --dial NUMBER: PORT is then a modem's port, and
//   the command runs over the call.
//   kestrova-cli collect --sites FILE --archive DIR [--site NAME]... [--retries N] ...
//   kestrova-cli report --archive DIR [--since DATE] [--json]
//   kestrova-cli --help | --version

#include <QDateTime>
#include <QStringList>
#include <QTextStream>

class QJsonDocument;

namespace kfc::cli {

enum ExitCode { Ok = 0, EmptyReply = 1, UsageOrPortError = 2, CallFailed = 3 };

// Runs one invocation. args[0] is the program name. A COMMAND "-" stands for the lines of
// `in` (standard input), so that a password need not appear on the command line.
int run(const QStringList& args, QTextStream& out, QTextStream& err, QTextStream* in = nullptr);

// "\xHH" in a command text stands for one byte; "\\" for a backslash. False on a
// malformed escape.
bool decodeCommand(const QString& text, QString* command);

// The moment a --since text stands for: a day written yyyy-MM-dd, from its start (the PC's
// time), or a date and time; invalid when it is neither.
QDateTime sinceMoment(const QString& text);

// The document indented, with DEL and the C1 controls escaped as well.
QString jsonText(const QJsonDocument& document);

} // namespace kfc::cli
