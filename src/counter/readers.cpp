#include "readers.h"

#include "link/errors.h"

namespace kfc {

namespace {

constexpr int kWorkingCapacity = 255;
const QChar kBlank = QLatin1Char(' ');

void keepCapacity(QString& working)
{
    if (working.size() > kWorkingCapacity)
        working.truncate(kWorkingCapacity);
}

int firstNonBlank(const QString& s)
{
    int i = 0;
    while (i < s.size() && s[i] == kBlank)
        ++i;
    return i;
}

// The field as the user should see it in an error: the text up to the next blank.
QString fieldForMessage(const QString& working)
{
    QString rest = working.mid(firstNonBlank(working));
    return rest.left(rest.indexOf(kBlank) < 0 ? 20 : qMin(20, int(rest.indexOf(kBlank))));
}

[[noreturn]] void fail(const QString& field, const char* what)
{
    throw ConversionError(QStringLiteral("'%1' is not a valid %2").arg(field, QLatin1String(what)));
}

// Leading blanks and the rest of the line are cut off by the caller.
QString takeDateToken(QString& working)
{
    working.remove(0, firstNonBlank(working));
    int end = working.indexOf(kBlank);
    if (end < 0)
        end = int(working.size());
    QString token = working.left(end);
    working.remove(0, end);
    keepCapacity(working);
    return token;
}

// A two-character field of a date or time token; a leading blank is allowed.
bool pairAt(const QString& token, int pos, int* value)
{
    if (token.size() < pos + 2)
        return false;
    QString pair = token.mid(pos, 2);
    if (pair[0] == kBlank)
        pair.remove(0, 1);
    bool ok = !pair.isEmpty();
    for (QChar c : pair)
        ok = ok && c.isDigit() && c.unicode() < 128;
    if (ok)
        *value = pair.toInt();
    return ok;
}

} // namespace

qint32 TakeInteger(QString& working)
{
    int i = firstNonBlank(working);
    const int digitsStart = i;
    while (i < working.size() && working[i] >= QLatin1Char('0') && working[i] <= QLatin1Char('9'))
        ++i;
    bool ok = i > digitsStart;
    qint32 value = ok ? working.mid(digitsStart, i - digitsStart).toInt(&ok) : 0;
    if (!ok)
        fail(fieldForMessage(working), "integer value");
    working.remove(0, i);
    keepCapacity(working);
    return value;
}

double TakeFloat(QString& working)
{
    int i = firstNonBlank(working);
    const int start = i;
    int points = 0;
    bool digits = false;
    while (i < working.size()) {
        QChar c = working[i];
        if (c == QLatin1Char('.'))
            ++points;
        else if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digits = true;
        else
            break;
        ++i;
    }
    bool ok = digits && points <= 1;
    // QString::toDouble always reads '.' as the decimal point (it is locale-independent).
    double value = ok ? working.mid(start, i - start).toDouble(&ok) : 0.0;
    if (!ok)
        fail(fieldForMessage(working), "floating point value");
    working.remove(0, i);
    keepCapacity(working);
    return value;
}

QDate TakeDate(QString& working)
{
    const QString token = takeDateToken(working);
    int day = 0, month = 0, year = 0;
    if (!pairAt(token, 0, &day) || !pairAt(token, 3, &month) || !pairAt(token, 6, &year))
        fail(token, "date");
    year += year < 50 ? 2000 : 1900;
    QDate date(year, month, day);
    if (!date.isValid())
        fail(token, "date");
    return date;
}

QTime TakeTime(QString& working)
{
    const QString token = takeDateToken(working);
    int hour = 0, minute = 0, second = 0;
    if (!pairAt(token, 0, &hour) || !pairAt(token, 3, &minute) || !pairAt(token, 6, &second))
        fail(token, "time");
    QTime time(hour, minute, second, 0);
    if (!time.isValid())
        fail(token, "time");
    return time;
}

QString TakeToken(QString& working, QChar delimiter)
{
    working.remove(0, firstNonBlank(working));
    int at = working.indexOf(delimiter);
    QString token;
    if (at < 0) {
        token = working;
        working.clear();
    } else {
        token = working.left(at);
        working.remove(0, at + 1);
    }
    keepCapacity(working);
    return token;
}

QString PickText(int flag, const QString& whenTrue, const QString& whenFalse)
{
    return flag != 0 ? whenTrue : whenFalse;
}

} // namespace kfc
