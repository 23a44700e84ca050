#pragma once
// Comma-separated values as spreadsheets read them: one record a line, ended by CR LF, a
// field quoted when it holds a comma, a quote, a line break or blanks at either end, with
// its quotes doubled.

#include <QString>
#include <QStringList>

namespace kfc::archive {

QString csvField(const QString& text);
// The fields joined by commas, with the line end.
QString csvRecord(const QStringList& fields);

} // namespace kfc::archive
