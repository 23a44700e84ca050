#pragma once
// Where a new event file's new events begin. Without a flush the counter's buffer is
// downloaded again at each visit, so a site's consecutive files overlap: the end of the
// events the site has is the start of the new file (for a circular buffer that has wrapped,
// the part still held). The lines are compared whole, byte for byte; none is interpreted.

#include <QByteArrayList>
#include <QStringList>

namespace kfc::archive {

// The number of lines at the start of `fileEvents` that the site already has: the length
// of the longest run at the end of `siteEvents` that equals the start of `fileEvents`. The
// file's new events are those from this index on; it is fileEvents.size() when the whole
// file is known, and 0 when nothing is. Only the last fileEvents.size() lines of the series
// can take part, so that tail may be passed instead of the whole. Linear in the number of
// lines.
qsizetype firstNewEvent(const QByteArrayList& siteEvents, const QByteArrayList& fileEvents);
qsizetype firstNewEvent(const QStringList& siteEvents, const QStringList& fileEvents);

// True when a file shares no event with the site's series although the counter's buffer
// was not flushed since the visit before: events between the two may be missing (a buffer
// cleared on the counter, or a circular buffer that wrapped past all that was collected).
bool gapBefore(qsizetype firstNew, qsizetype siteEventCount, qsizetype fileEventCount, bool flushedSince);

} // namespace kfc::archive
