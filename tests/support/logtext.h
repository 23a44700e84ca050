#pragma once
// The link's log without the frame times of the commands ("Tx  9D  (581 ms)" becomes
// "Tx  9D"), which vary from run to run, so that tests can compare whole lines.

#include <QRegularExpression>
#include <QStringList>

namespace kfc::test {

inline QString withoutFrameTimes(QString text)
{
    static const QRegularExpression time(QStringLiteral("  \\(\\d+ ms\\)$"),
                                         QRegularExpression::MultilineOption);
    return text.remove(time);
}

inline QStringList withoutFrameTimes(QStringList lines)
{
    for (QString& line : lines)
        line = withoutFrameTimes(line);
    return lines;
}

} // namespace kfc::test
