#pragma once
// Comma-separated text as spreadsheets read it: a field holding a comma, a quote or a line
// break is quoted, with its quotes doubled; each row ends in CR LF. UTF-8.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kfc {

QString CsvField(const QString& text);
QByteArray CsvRow(const QStringList& fields);

} // namespace kfc
