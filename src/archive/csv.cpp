#include "csv.h"

namespace kfc::archive {

QString csvField(const QString& text)
{
    // A spreadsheet drops blanks at the ends of a bare field.
    const bool quoted = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"'))
                        || text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))
                        || (!text.isEmpty() && (text.front().isSpace() || text.back().isSpace()));
    if (!quoted)
        return text;
    QString field = text;
    field.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + field + QLatin1Char('"');
}

QString csvRecord(const QStringList& fields)
{
    QStringList written;
    written.reserve(fields.size());
    for (const QString& field : fields)
        written << csvField(field);
    return written.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

} // namespace kfc::archive
