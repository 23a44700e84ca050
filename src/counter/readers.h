#pragma once
// Readers that take one blank-separated field from the front of a reply and leave the rest
// for the next reader. A malformed field raises ConversionError.

#include <QDate>
#include <QString>
#include <QTime>

namespace kfc {

// Digits after optional leading blanks; the first other character stays. No sign.
qint32 TakeInteger(QString& working);
// As TakeInteger, also accepting one '.' (always the decimal point, whatever the locale).
double TakeFloat(QString& working);
// "dd/mm/yy" read by position (separators not examined); years below 50 are 20xx.
// The blank that ends the token stays in the working string.
QDate TakeDate(QString& working);
// "hh:nn:ss" read by position; the blank that ends the token stays.
QTime TakeTime(QString& working);
// Text up to the delimiter, after leading blanks; the delimiter is dropped. Without the
// delimiter the whole rest is the token and the working string ends empty.
QString TakeToken(QString& working, QChar delimiter);
QString PickText(int flag, const QString& whenTrue, const QString& whenFalse);

} // namespace kfc
