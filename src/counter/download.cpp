#include "download.h"

#include "counterstatus.h"
#include "link/link.h"

#include <algorithm>
#include <vector>

namespace kfc {

namespace {

QString flag(quint8 value, char set, char clear)
{
    return QString(QLatin1Char(value != 0 ? set : clear));
}

// printf-style right alignment: a value wider than its field is written whole.
QString field(qint32 value, int width)
{
    return QStringLiteral("%1").arg(value, width);
}

} // namespace

QString DownloadRequest(const QString& countText)
{
    return QStringLiteral("d") + countText.rightJustified(5, QLatin1Char('0'));
}

QStringList StatusHeaderLines(const CounterStatus& s)
{
    // The counter's clock is written with "/" between the parts of the time as well.
    QStringList lines;
    lines << QStringLiteral("Date:   %1  Time:   %2  Version:  %3")
                 .arg(s.dateTime.toString(QStringLiteral("dd/MM/yy")),
                      s.dateTime.toString(QStringLiteral("hh/mm/ss")), s.versionText);
    lines << QStringLiteral("Events:  %1  Relays:  %2  Evlog:   %3  Buftyp:  %4  Bufsiz:  %5")
                 .arg(flag(s.eventsEnabled, 'Y', 'N'), flag(s.relayMode, 'I', 'D'),
                      flag(s.eventLogging, 'Y', 'N'), flag(s.bufferType, 'C', 'L'))
                 .arg(s.maxFishSize);
    QString cond = QStringLiteral("Cond: ");
    for (qint32 gain : s.condProfile)
        cond += field(gain, 5);
    lines << cond;
    for (int n = 1; n <= kChannelCount; ++n) {
        const ChannelStatus& c = s.channel(n);
        lines << QStringLiteral("Ch: %1   En: %2   Ut: %3   Dt: %4   Uc: %5   Dc: %6   Sa: %7   Wa: %8")
                     .arg(QString::number(n), flag(c.enabled, 'Y', 'N'), field(c.upThreshold, 2),
                          field(c.downThreshold, 2), field(c.upCount, 4), field(c.downCount, 4),
                          field(c.sAtt, 3), field(c.wAtt, 3));
    }
    return lines;
}

int RunDownload(Link& link, const QString& countText, const DownloadSink& sink,
                const DownloadProgress& progress)
{
    auto hold = link.holdLine();
    int eventNumber = 0;
    QString reply = link.Exchange(DownloadRequest(countText));
    while (!reply.isEmpty()) {
        sink(reply);
        ++eventNumber;
        if (progress)
            progress(eventNumber);
        reply = link.Exchange(ACK);
    }
    return eventNumber;
}

int ExpectedEventCount(bool allValues, int countAsked, const CounterStatus& lastRead)
{
    if (!allValues)
        return countAsked;
    return lastRead.dateTime.isValid() ? lastRead.eventCount : 0;
}

QString MissingEventsText(int received, int expected)
{
    if (expected <= 0 || received >= expected)
        return {};
    return QStringLiteral("%1 of %2 events received").arg(received).arg(expected);
}

DownloadClock::DownloadClock(int total, Now now) : m_total(total), m_now(std::move(now))
{
    m_elapsed.start();
}

void DownloadClock::note(int done) const
{
    if (done <= m_noted)
        return;
    const qint64 at = m_now ? m_now() : m_elapsed.elapsed();
    // Lines that came together share the time since the last one noted.
    const qint64 gap = (at - m_lastAt) / (done - m_noted);
    for (int line = m_noted; line < done; ++line)
        m_gaps.push_back(gap);
    while (m_gaps.size() > size_t(kPaceLines))
        m_gaps.pop_front();
    m_noted = done;
    m_lastAt = at;
}

qint64 DownloadClock::msLeft(int done) const
{
    if (m_total <= 0 || done <= 0)
        return -1;
    note(done);
    if (done >= m_total)
        return 0;
    std::vector<qint64> gaps(m_gaps.begin(), m_gaps.end());
    const auto middle = gaps.begin() + qsizetype(gaps.size() / 2);
    std::nth_element(gaps.begin(), middle, gaps.end());
    return *middle * (m_total - done);
}

QString DownloadClock::durationText(qint64 ms)
{
    const qint64 s = (ms + 999) / 1000;   // never "0 s" while something is left
    if (s < 60)
        return QStringLiteral("%1 s").arg(s);
    if (s < 3600)
        return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
    return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s % 3600 / 60);
}

QString DownloadClock::text(int done) const
{
    if (m_total <= 0)
        return QStringLiteral("%1 events").arg(done);
    // The counter ends a download by not answering: the last wait is a reply time-out.
    // Fish that passed since the status read make more events than were counted.
    if (done >= m_total)
        return (done > m_total ? QStringLiteral("%1 events").arg(done)
                               : QStringLiteral("%1 of %2 events").arg(done).arg(m_total))
               + QStringLiteral(", waiting for the counter's end of buffer");
    QString text = QStringLiteral("%1 of %2 events").arg(done).arg(m_total);
    const qint64 left = msLeft(done);
    if (left > 0)
        text += QStringLiteral(", about %1 left").arg(durationText(left));
    return text;
}

} // namespace kfc
