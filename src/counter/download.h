#pragma once
// The event download: the request, the status header that may precede the events, and the
// loop that fetches the counter's logged events one line per exchange. The lines are
// handed on as they arrive and never kept, so a download of any length costs the memory
// of one line.

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>

namespace kfc {

class Link;
struct CounterStatus;

// The largest count the request carries in its five digits.
constexpr int kMaxDownloadCount = 99999;

// "d" and the count text, left-filled with '0' to five characters; a longer text is sent
// whole, never cut. A count of "0" asks for every event in the buffer.
QString DownloadRequest(const QString& countText);

constexpr int kStatusHeaderLineCount = 7;

// The seven lines of the status header, from the record as it stands.
QStringList StatusHeaderLines(const CounterStatus& status);

// The status header read back from the first lines of an event file (without their line
// ends; lines after the seventh are not looked at): the counter's clock, its two-digit year
// read as 20yy, the version text, the flags, the maximum fish size, the conductivity
// profile, and per channel enabled, thresholds, counts, sAtt and wAtt. The record's other
// fields keep a fresh record's values, so what StatusHeaderLines wrote reads back equal.
// Lines that do not make a valid header throw ConversionError, its text naming the line.
CounterStatus ReadStatusHeader(const QStringList& lines);

// Receives each event line as it arrives; may throw to end the download (a file that can
// no longer be written).
using DownloadSink = std::function<void(const QString& line)>;
// Told the number of lines received so far after each line.
using DownloadProgress = std::function<void(int eventNumber)>;

// Sends the request, then one ACK per line received, and ends at the first empty reply
// (the counter's end of buffer, or a reply that did not come). Holds the line for its
// whole length. Returns the number of lines handed to the sink. Throws LineBusyError when
// another dialogue holds the line; whatever the sink throws ends the loop and is passed on.
int RunDownload(Link& link, const QString& countText, const DownloadSink& sink,
                const DownloadProgress& progress = {});

// How many events a download should bring: the count asked for, or for all values the
// event count of the last status read (0: not known).
int ExpectedEventCount(bool allValues, int countAsked, const CounterStatus& lastRead);

// The warning for a download of all values that brought fewer lines than the counter said
// it held; empty when nothing is missing or the count is not known.
QString MissingEventsText(int received, int expected);

// Estimates the time left from the events' own pace: the middle one of the times between
// the latest lines. A line that waited while the program was held up elsewhere (a dialog
// left open, a busy machine) is one slow line among many and moves the estimate little.
class DownloadClock {
public:
    // Milliseconds on a monotonic clock; by default since the clock was made.
    using Now = std::function<qint64()>;
    explicit DownloadClock(int total, Now now = {});
    int total() const { return m_total; }
    // Milliseconds left after `done` lines; -1 until a line has come or when the total is
    // not known. Each call with a new `done` notes the moment that line came.
    qint64 msLeft(int done) const;
    // "12 of 340 events, about 3 min 5 s left"; without a total "12 events"; with all of
    // them in, the counter is still to say that its buffer has ended.
    QString text(int done) const;

    static QString durationText(qint64 ms);
    // How many of the latest times between lines the pace is taken from.
    static constexpr int kPaceLines = 31;

private:
    void note(int done) const;

    int m_total;
    Now m_now;
    QElapsedTimer m_elapsed;
    // What has been seen of the lines so far; the clock only watches them come.
    mutable int m_noted = 0;
    mutable qint64 m_lastAt = 0;
    mutable std::deque<qint64> m_gaps;
};

} // namespace kfc
