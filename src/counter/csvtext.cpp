#include "csvtext.h"

#include <algorithm>

namespace kfc {

QString CsvField(const QString& text)
{
    static const QString needsQuotes = QStringLiteral(",\"\r\n");
    const bool quoted = std::any_of(text.begin(), text.end(), [](QChar c) { return needsQuotes.contains(c); });
    if (!quoted)
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1String("\""), QLatin1String("\"\"")) + QLatin1Char('"');
}

QByteArray CsvRow(const QStringList& fields)
{
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString& field : fields)
        quoted << CsvField(field);
    return quoted.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

} // namespace kfc
