#include "overlap.h"

#include <QList>

namespace kfc::archive {

namespace {

// Knuth-Morris-Pratt over lines: the file is the pattern, the end of the series the text;
// where the match stands after the last line of the series is the overlap. Each line is
// compared at most twice per step, so the work is linear in the lines and their lengths.
template <class Lines>
qsizetype overlapOf(const Lines& series, const Lines& file)
{
    const qsizetype m = file.size();
    if (m == 0 || series.isEmpty())
        return 0;
    // border[i]: the longest proper start of file[0..i] that is also its end.
    QList<qsizetype> border(m, 0);
    for (qsizetype i = 1, k = 0; i < m; ++i) {
        while (k > 0 && file[i] != file[k])
            k = border[k - 1];
        if (file[i] == file[k])
            ++k;
        border[i] = k;
    }
    // The text is at most m lines long, so a whole match can only come with its last line.
    qsizetype matched = 0;
    for (qsizetype j = qMax<qsizetype>(0, series.size() - m); j < series.size(); ++j) {
        while (matched > 0 && series[j] != file[matched])
            matched = border[matched - 1];
        if (series[j] == file[matched])
            ++matched;
    }
    return matched;
}

} // namespace

qsizetype firstNewEvent(const QByteArrayList& siteEvents, const QByteArrayList& fileEvents)
{
    return overlapOf(siteEvents, fileEvents);
}

qsizetype firstNewEvent(const QStringList& siteEvents, const QStringList& fileEvents)
{
    return overlapOf(siteEvents, fileEvents);
}

bool gapBefore(qsizetype firstNew, qsizetype siteEventCount, qsizetype fileEventCount, bool flushedSince)
{
    return firstNew == 0 && siteEventCount > 0 && fileEventCount > 0 && !flushedSince;
}

} // namespace kfc::archive
