#pragma once
// The status record as the command-line client prints it: JSON for scripts, aligned text
// for people.

#include "counterstatus.h"

#include <QJsonObject>
#include <QString>

namespace kfc {

// Keys are the record's field names; "channels" is an array of four objects with the
// channel field names, "condProfile" an array of eight gains, "dateTime" the counter's
// clock as yyyy-MM-ddTHH:mm:ss (null before the first read).
QJsonObject counterStatusToJson(const CounterStatus& status);

// A few lines: clock, version, settings, events, the four channels as a table, then the
// conductivity profile under its points. Ends with a newline.
QString counterStatusToText(const CounterStatus& status);

} // namespace kfc
