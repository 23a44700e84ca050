#pragma once
// The command-line client: talks to a counter through the same link code as the program.
//
//   kestrova-cli ports
//   kestrova-cli send --port PORT [line options] [--log] COMMAND...
//   kestrova-cli status --port PORT [line options] [--json]
//   kestrova-cli download --port PORT [line options] [--count N] [--status] [--output FILE]
//   send, status and download also take --dial NUMBER: PORT is then a modem's port, and
//   the command runs over the call.

#include <QStringList>
#include <QTextStream>

namespace kfc::cli {

enum ExitCode { Ok = 0, EmptyReply = 1, UsageOrPortError = 2, CallFailed = 3 };

// Runs one invocation. args[0] is the program name.
int run(const QStringList& args, QTextStream& out, QTextStream& err);

// "\xHH" in a command text stands for one byte; "\\" for a backslash. False on a
// malformed escape.
bool decodeCommand(const QString& text, QString* command);

} // namespace kfc::cli
