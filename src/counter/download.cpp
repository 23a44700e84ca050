#include "download.h"

#include "counterstatus.h"
#include "link/errors.h"
#include "link/link.h"
#include "readers.h"

#include <type_traits>

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

const QChar kBlank = QLatin1Char(' ');

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// One line of a status header as it is read: its number for the messages, and the part not
// read yet. The fields are taken with the counter's readers.
class HeaderLine {
public:
    HeaderLine(const QStringList& lines, int number) : m_number(number)
    {
        if (number > lines.size())
            throw ConversionError(number == 1 ? QStringLiteral("The file is empty: it has no status header")
                                              : QStringLiteral("The status header ends after line %1 of %2")
                                                    .arg(number - 1)
                                                    .arg(kStatusHeaderLineCount));
        m_rest = lines[number - 1];
    }

    [[noreturn]] void fail(const QString& why) const
    {
        throw ConversionError(QStringLiteral("Line %1 of the status header: %2").arg(QString::number(m_number), why));
    }

    // Blanks, then the label.
    void label(const char* label)
    {
        const QLatin1String text(label);
        skipBlanks();
        if (!m_rest.startsWith(text))
            fail(QStringLiteral("\"%1\" expected, found %2").arg(text, found()));
        m_rest.remove(0, text.size());
    }

    // The label, then a number.
    qint32 integer(const char* name)
    {
        label(name);
        return read([this] { return TakeInteger(m_rest); });
    }

    // The label, then one letter standing alone: 1 for `set`, 0 for `clear`.
    quint8 flag(const char* name, char set, char clear)
    {
        label(name);
        skipBlanks();
        const QChar letter = m_rest.isEmpty() ? QChar() : m_rest[0];
        if ((letter != QLatin1Char(set) && letter != QLatin1Char(clear)) || (m_rest.size() > 1 && m_rest[1] != kBlank))
            fail(QStringLiteral("%1 is not %2 or %3").arg(found(), QString(QLatin1Char(set)), QString(QLatin1Char(clear))));
        m_rest.remove(0, 1);
        return letter == QLatin1Char(set) ? 1 : 0;
    }

    // "dd/mm/yy hh/mm/ss" as the header writes it, the separators not examined.
    QDateTime clock()
    {
        label("Date:");
        const QDate date = read([this] { return TakeDate(m_rest); }, "date");
        label("Time:");
        const QTime time = read([this] { return TakeTime(m_rest); }, "time");
        // The readers take a year from 50 on as 19yy; the counter's clock runs in 2000-2099.
        // A leap year stays one, for 19yy and 20yy are leap years alike in these years.
        return QDateTime(QDate(2000 + date.year() % 100, date.month(), date.day()), time, Qt::UTC);
    }

    // The rest of the line as it stands, after the two blanks that follow a label.
    QString text()
    {
        const int blanks = m_rest.startsWith(QStringLiteral("  ")) ? 2 : m_rest.startsWith(kBlank) ? 1 : 0;
        const QString text = m_rest.mid(blanks);
        m_rest.clear();
        return text;
    }

    // The part after the label; the caller reads it whole.
    QString take()
    {
        const QString rest = m_rest;
        m_rest.clear();
        return rest;
    }

    void end()
    {
        skipBlanks();
        if (!m_rest.isEmpty())
            fail(QStringLiteral("%1 after the last field").arg(found()));
    }

private:
    void skipBlanks()
    {
        qsizetype i = 0;
        while (i < m_rest.size() && m_rest[i] == kBlank)
            ++i;
        m_rest.remove(0, i);
    }

    // The next field as the user should see it.
    QString found() const
    {
        const QString rest = m_rest.trimmed();
        if (rest.isEmpty())
            return QStringLiteral("the end of the line");
        return QLatin1Char('\'') + rest.left(rest.indexOf(kBlank) < 0 ? 20 : qMin<qsizetype>(20, rest.indexOf(kBlank)))
            + QLatin1Char('\'');
    }

    // A reader's error, with the line named; a date or time field must be eight characters,
    // which the readers, reading by position, do not check.
    template <class Read>
    std::invoke_result_t<Read> read(Read take, const char* clockField = nullptr)
    {
        skipBlanks();
        const qsizetype width = m_rest.indexOf(kBlank) < 0 ? m_rest.size() : m_rest.indexOf(kBlank);
        if (clockField && width != 8)
            fail(QStringLiteral("%1 is not a valid %2").arg(found(), QLatin1String(clockField)));
        try {
            return take();
        } catch (const ConversionError& e) {
            fail(e.text());
        }
    }

    int m_number;
    QString m_rest;
};

// The ends of the gain fields that may begin at `from`. Each gain is written "%5d": five
// characters, blanks then digits, or a wider gain's digits alone (never led by a zero).
QList<qsizetype> gainFieldEnds(const QString& text, qsizetype from)
{
    qsizetype digits = from;
    while (digits < text.size() && isDigit(text[digits]))
        ++digits;
    QList<qsizetype> ends;
    if (digits > from) {
        for (qsizetype end = from + 5; end <= digits && text[from] != QLatin1Char('0'); ++end)
            ends << end;
        return ends;
    }
    const qsizetype end = from + 5;
    qsizetype i = from;
    while (i < end && i < text.size() && text[i] == kBlank)
        ++i;
    if (end > text.size() || i == end)
        return ends;
    while (i < end && isDigit(text[i]))
        ++i;
    if (i == end)
        ends << end;
    return ends;
}

// The eight gains of the "Cond: " line. With no separator between them, a gain wider than
// its field runs into its neighbours: the line is split every way the fields allow, and
// refused when no split or more than one fits (two wide gains side by side).
std::array<qint32, kProfilePointCount> readGains(HeaderLine& line)
{
    // "Cond: " and eight fields of at most ten digits each.
    constexpr qsizetype kLongest = 1 + kProfilePointCount * 10;
    const QString text = line.take();
    if (!text.startsWith(kBlank) || text.size() > kLongest)
        line.fail(QStringLiteral("'%1' is not eight gains").arg(text.left(kLongest)));
    const QString fields = text.mid(1);
    const qsizetype n = fields.size();
    // splits[p][k]: the ways the fields from p split into k gains, counted up to 2.
    QList<std::array<int, kProfilePointCount + 1>> splits(n + 1, std::array<int, kProfilePointCount + 1>{});
    splits[n][0] = 1;
    for (qsizetype p = n - 1; p >= 0; --p)
        for (qsizetype end : gainFieldEnds(fields, p))
            for (int k = 1; k <= kProfilePointCount; ++k)
                splits[p][k] = qMin(2, splits[p][k] + splits[end][k - 1]);
    if (splits[0][kProfilePointCount] != 1)
        line.fail(QStringLiteral("'%1' %2").arg(fields, splits[0][kProfilePointCount] == 0
                                                            ? QStringLiteral("is not eight gains")
                                                            : QStringLiteral("splits into eight gains more than one way")));
    std::array<qint32, kProfilePointCount> gains{};
    qsizetype p = 0;
    for (int k = kProfilePointCount; k >= 1; --k) {
        for (qsizetype end : gainFieldEnds(fields, p)) {
            if (splits[end][k - 1] == 0)
                continue;
            bool ok = false;
            gains[kProfilePointCount - k] = fields.mid(p, end - p).trimmed().toInt(&ok);
            if (!ok)
                line.fail(QStringLiteral("'%1' is not a valid integer value").arg(fields.mid(p, end - p).trimmed()));
            p = end;
            break;
        }
    }
    return gains;
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

CounterStatus ReadStatusHeader(const QStringList& lines)
{
    CounterStatus s;
    HeaderLine first(lines, 1);
    s.dateTime = first.clock();
    first.label("Version:");
    s.versionText = first.text();

    HeaderLine flags(lines, 2);
    s.eventsEnabled = flags.flag("Events:", 'Y', 'N');
    s.relayMode = flags.flag("Relays:", 'I', 'D');
    s.eventLogging = flags.flag("Evlog:", 'Y', 'N');
    s.bufferType = flags.flag("Buftyp:", 'C', 'L');
    s.maxFishSize = flags.integer("Bufsiz:");
    flags.end();

    HeaderLine profile(lines, 3);
    profile.label("Cond:");
    s.condProfile = readGains(profile);

    for (int n = 1; n <= kChannelCount; ++n) {
        HeaderLine line(lines, 3 + n);
        if (const qint32 number = line.integer("Ch:"); number != n)
            line.fail(QStringLiteral("channel %1 where channel %2 belongs").arg(number).arg(n));
        ChannelStatus& c = s.channel(n);
        c.enabled = line.flag("En:", 'Y', 'N');
        c.upThreshold = line.integer("Ut:");
        c.downThreshold = line.integer("Dt:");
        c.upCount = line.integer("Uc:");
        c.downCount = line.integer("Dc:");
        c.sAtt = line.integer("Sa:");
        c.wAtt = line.integer("Wa:");
        line.end();
    }
    return s;
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
