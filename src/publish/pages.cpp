#include "pages.h"

#include "chart.h"
#include "html.h"

#include <QSet>

#include <algorithm>
#include <numeric>

namespace kfc::publish {

namespace {

using archive::CountStep;
using archive::SeasonTotals;
using archive::VisitCounts;
using archive::VisitRecord;

// The table of a site's visits stops here, newest first; the CSV holds every one.
constexpr int kMaxVisitRows = 400;
constexpr qint64 kStaleSecs = 2 * 24 * 3600;

QString seasonText(const QDateTime& since)
{
    return since.time() == QTime(0, 0) ? since.toString(QStringLiteral("yyyy-MM-dd")) : momentText(since);
}

// When a visit counts in the season: when it read the counts, as the totals take it.
QDateTime visitMoment(const VisitRecord& visit)
{
    return visit.statusReads.isEmpty() ? visit.started : visit.statusReads.last().readAt;
}

QString outcomeHtml(const VisitRecord& visit)
{
    const QString outcome = visit.outcome == QLatin1String("failed")
                                ? QStringLiteral("<span class=\"failed\">failed</span>")
                                : escaped(visit.outcome);
    return visit.error.isEmpty() ? outcome
                                 : outcome + QStringLiteral("<span class=\"err\">%1</span>").arg(escaped(visit.error));
}

// The events a visit brought: all of them when it was collected; as many as came, of as
// many as the counter held, when it ended early.
QString eventsText(const VisitRecord& visit)
{
    if (visit.outcome == QLatin1String("failed") && visit.events == 0)
        return QString();
    if (visit.outcome == QLatin1String("collected") || visit.expected == 0)
        return number(visit.events);
    return QStringLiteral("%1 of %2").arg(number(visit.events), number(visit.expected));
}

// The events a visit added to its site's series; with "gap before" when the file shared
// none with the events before it, so some may be missing in between.
QString newEventsText(const VisitRecord& visit)
{
    if (visit.file.isEmpty())
        return QString();
    return visit.gapBefore ? QStringLiteral("%1 (gap before)").arg(number(visit.newEvents)) : number(visit.newEvents);
}

QString totalsTable(const SeasonTotals& totals, bool saysAtLeast)
{
    if (totals.visits == 0)
        return QStringLiteral("<span class=\"note\">No counts read in this season</span>");
    QString head = QStringLiteral("<tr><th></th>");
    for (int channel = 1; channel <= archive::kChannels; ++channel)
        head += QStringLiteral("<th class=\"n\">Ch %1</th>").arg(channel);
    head += QStringLiteral("<th class=\"n\">All</th></tr>");
    QString rows;
    for (const bool up : {true, false}) {
        const auto& fish = up ? totals.up : totals.down;
        rows += QStringLiteral("<tr><th>%1</th>").arg(up ? QStringLiteral("Up") : QStringLiteral("Down"));
        for (const int count : fish)
            rows += QStringLiteral("<td class=\"n\">%1</td>").arg(number(count));
        rows += QStringLiteral("<td class=\"n all\">%1</td></tr>")
                    .arg(number(std::accumulate(fish.begin(), fish.end(), 0)));
    }
    const QString atLeast =
        totals.atLeast() && saysAtLeast
            ? QStringLiteral("<span class=\"atleast\">at least: counts cleared at %1 of the season's visits</span>")
                  .arg(number(totals.cleared))
            : QString();
    return QStringLiteral("%1<table class=\"tot\"><thead>%2</thead><tbody>%3</tbody></table>").arg(atLeast, head, rows);
}

// The season's steps between visits, with the season's total at the end of each.
QList<ChartPoint> chartSteps(const QList<VisitCounts>& counts, const QDateTime& since)
{
    const QList<SeasonTotals> running = archive::runningTotals(counts, since);
    QList<ChartPoint> steps;
    qsizetype season = 0;
    for (qsizetype i = 0; i < counts.size(); ++i) {
        if (since.isValid() && counts[i].at < since)
            continue;
        const SeasonTotals& totals = running[season++];
        if (i == 0)
            continue;
        ChartPoint step;
        step.from = counts[i - 1].at;
        step.to = counts[i].at;
        step.cleared = counts[i].cleared ? 1 : 0;
        for (size_t channel = 0; channel < size_t(archive::kChannels); ++channel) {
            step.fish[2 * channel] = counts[i].up[channel].difference.value_or(0);
            step.fish[2 * channel + 1] = counts[i].down[channel].difference.value_or(0);
            step.total[2 * channel] = totals.up[channel];
            step.total[2 * channel + 1] = totals.down[channel];
        }
        steps << step;
    }
    return steps;
}

// Why the season's totals are only a lower bound, naming the visits found cleared.
QString atLeastText(const QList<VisitCounts>& counts, const QDateTime& since)
{
    QStringList cleared;
    for (const VisitCounts& row : counts)
        if (row.cleared && (!since.isValid() || row.at >= since))
            cleared << momentText(row.at);
    if (cleared.isEmpty())
        return QString();
    constexpr qsizetype kNamed = 5;
    const bool one = cleared.size() == 1;
    const QString allButLast = cleared.mid(0, cleared.size() - 1).join(QStringLiteral(", "));
    const QString visits = one ? QStringLiteral("the visit of %1").arg(cleared.first())
                           : cleared.size() <= kNamed
                               ? QStringLiteral("the visits of %1 and %2").arg(allButLast, cleared.last())
                               : QStringLiteral("%1 visits").arg(number(int(cleared.size())));
    return QStringLiteral("<p class=\"atleast\">At least this many: the counts had been cleared on the counter when "
                          "%1 read them, so the fish counted between %2 and the one before it are not known. The "
                          "totals hold the fish known on each side.</p>")
        .arg(visits, one ? QStringLiteral("that visit") : QStringLiteral("each of those visits"));
}

QString stepCell(const CountStep& step)
{
    if (step.cleared)
        return QStringLiteral("<td class=\"n cleared\">cleared");
    return QStringLiteral("<td class=\"n\">%1").arg(step.difference ? number(*step.difference) : QString());
}

// Newest first; the closing tags that HTML does without are left out, which keeps a
// season of nightly visits small.
QString visitsTable(const QList<VisitRecord>& visits, const QList<VisitCounts>& counts, const QDateTime& since)
{
    // The counts belong to the visits that read the status, in turn.
    QList<const VisitCounts*> countsOf;
    qsizetype next = 0;
    for (const VisitRecord& visit : visits)
        countsOf << (visit.statusReads.isEmpty() || next >= counts.size() ? nullptr : &counts[next++]);
    QString head = QStringLiteral("<tr><th rowspan=\"2\">Visit</th><th rowspan=\"2\">Outcome</th>"
                                  "<th rowspan=\"2\" class=\"n\">Events</th><th rowspan=\"2\" class=\"n\">New</th>");
    QString directions;
    for (int channel = 1; channel <= archive::kChannels; ++channel) {
        head += QStringLiteral("<th colspan=\"2\" class=\"ch\">Ch %1</th>").arg(channel);
        directions += QStringLiteral("<th class=\"n\">up</th><th class=\"n\">down</th>");
    }
    head += QStringLiteral("</tr><tr>") + directions + QStringLiteral("</tr>");
    QString rows;
    int shown = 0, inSeason = 0;
    for (qsizetype i = visits.size() - 1; i >= 0; --i) {
        if (since.isValid() && visitMoment(visits[i]) < since)
            continue;
        if (++inSeason > kMaxVisitRows)
            continue;
        ++shown;
        rows += QStringLiteral("<tr><td>%1<td class=\"out\">%2<td class=\"n\">%3<td class=\"n\">%4")
                    .arg(momentText(visits[i].started), outcomeHtml(visits[i]), eventsText(visits[i]),
                         newEventsText(visits[i]));
        for (size_t channel = 0; channel < size_t(archive::kChannels); ++channel)
            rows += countsOf[i] ? stepCell(countsOf[i]->up[channel]) + stepCell(countsOf[i]->down[channel])
                                : QStringLiteral("<td><td>");
        rows += QLatin1Char('\n');
    }
    if (inSeason == 0)
        return QStringLiteral("<p class=\"note\">No visits in this season.</p>\n");
    const QString note =
        inSeason > shown
            ? QStringLiteral("The latest %1 of the season's %2 visits; the CSV below holds the counts of every visit.")
                  .arg(number(shown), number(inSeason))
            : QStringLiteral("The season's %1 visits, the latest first. Each channel's column holds the fish counted "
                             "since the visit before.")
                  .arg(number(inSeason));
    return QStringLiteral("<p class=\"note\">%1</p><div class=\"scroll\"><table class=\"visits\"><thead>%2</thead>"
                          "<tbody>\n%3</tbody></table></div>\n")
        .arg(note, head, rows);
}

QString lastVisitText(const SiteEntry& entry)
{
    if (!entry.last)
        return QStringLiteral("No visits yet");
    const QString events = eventsText(*entry.last);
    return QStringLiteral("Last visit <strong>%1</strong>: %2%3")
        .arg(momentText(entry.last->started), events.isEmpty() ? QString() : QStringLiteral("%1 events, ").arg(events),
             outcomeHtml(*entry.last));
}

QString flag(const SiteEntry& entry)
{
    return entry.attention.isEmpty()
               ? QString()
               : QStringLiteral("<span class=\"flag\">Needs attention: %1</span>").arg(escaped(entry.attention));
}

QString footer(const PageOptions& options)
{
    return QStringLiteral("<footer>Written %1 by kestrova-cli. Times are the collecting PC's clock.</footer>\n")
        .arg(momentText(options.now));
}

QString indexRow(const SiteEntry& site)
{
    const QString lastVisit =
        site.last ? QStringLiteral("<time datetime=\"%1\">%2</time>")
                        .arg(site.last->started.toString(Qt::ISODate), momentText(site.last->started))
                  : QStringLiteral("none");
    return QStringLiteral("<tr%1><td><a href=\"%2.html\">%3</a>%4</td>"
                          "<td data-label=\"Last visit\" class=\"when\">%5</td><td data-label=\"Outcome\">%6</td>"
                          "<td data-label=\"New events of the last visit\" class=\"n\">%7</td>"
                          "<td data-label=\"Season totals\">%8</td></tr>\n")
        .arg(site.attention.isEmpty() ? QString() : QStringLiteral(" class=\"attention\""), site.page,
             escaped(site.name), flag(site), lastVisit, site.last ? outcomeHtml(*site.last) : QString(),
             site.last && !newEventsText(*site.last).isEmpty() ? newEventsText(*site.last) : QStringLiteral("&ndash;"),
             totalsTable(site.totals, true));
}

} // namespace

QStringList pageNames(const QStringList& sites)
{
    QStringList names;
    QSet<QString> taken{QStringLiteral("index")};
    for (const QString& site : sites) {
        QString name;
        for (const QChar c : site.toLower()) {
            if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9'))
                name += c;
            else if (!name.isEmpty() && !name.endsWith(QLatin1Char('-')))
                name += QLatin1Char('-');
        }
        while (name.endsWith(QLatin1Char('-')))
            name.chop(1);
        if (name.isEmpty())
            name = QStringLiteral("site");
        const QString plain = name;
        for (int n = 2; taken.contains(name); ++n)
            name = QStringLiteral("%1-%2").arg(plain).arg(n);
        taken << name;
        names << name;
    }
    return names;
}

QString attentionText(const QList<VisitRecord>& visits, const QDateTime& now)
{
    if (visits.isEmpty())
        return QStringLiteral("never visited");
    QStringList reasons;
    if (visits.last().outcome == QLatin1String("failed"))
        reasons << QStringLiteral("the last visit failed");
    const auto collected = std::find_if(visits.rbegin(), visits.rend(), [](const VisitRecord& visit) {
        return visit.outcome == QLatin1String("collected");
    });
    if (collected == visits.rend())
        reasons << QStringLiteral("never collected");
    else if (collected->finished.secsTo(now) > kStaleSecs)
        reasons << QStringLiteral("nothing collected since %1").arg(momentText(collected->finished));
    return reasons.join(QStringLiteral("; "));
}

SiteEntry siteEntry(const QString& name, const QString& page, const QList<VisitRecord>& visits,
                    const QList<VisitCounts>& counts, const PageOptions& options)
{
    SiteEntry entry{name, page, std::nullopt, archive::seasonTotals(counts, options.since),
                    attentionText(visits, options.now)};
    if (!visits.isEmpty()) {
        entry.last = visits.last();
        entry.last->statusReads.clear();
    }
    return entry;
}

QString sitePage(const SiteEntry& entry, const QList<VisitRecord>& visits, const QList<VisitCounts>& counts,
                 const PageOptions& options)
{
    const SeasonTotals& totals = entry.totals;
    QString body = QStringLiteral("<nav><a href=\"index.html\">&larr; All sites</a></nav>\n<header><h1>%1</h1>"
                                  "<p class=\"sub\">%2 &middot; season from %3</p></header>\n<main>\n")
                       .arg(escaped(entry.name), escaped(options.title), seasonText(options.since));
    body += QStringLiteral("<section%1><p class=\"last\">%2</p>%3</section>\n")
                .arg(entry.attention.isEmpty() ? QString() : QStringLiteral(" class=\"attention\""),
                     lastVisitText(entry), flag(entry));

    QString span;
    if (totals.visits > 0)
        span = QStringLiteral("<p class=\"note\">The fish counted between the visits of %1 and %2 (%3 visits of the "
                              "season read the counts).</p>%4")
                   .arg(momentText(totals.from), momentText(totals.to), number(totals.visits),
                        atLeastText(counts, options.since));
    body += QStringLiteral("<section><h2>Season totals</h2>%1%2</section>\n").arg(span, totalsTable(totals, false));

    const ChartPoints points = reduced(chartSteps(counts, options.since));
    if (points.points.isEmpty()) {
        body += QStringLiteral("<section><h2>Fish counted between visits</h2><p class=\"note\">Fewer than two visits "
                               "read the counts in this season.</p></section>\n");
    } else {
        const QString note = groupingNote(points);
        const QString noteHtml = note.isEmpty() ? QString() : QStringLiteral("<p class=\"note\">%1</p>").arg(note);
        body += QStringLiteral("<section><h2>Fish counted between visits</h2><figure>%1%2</figure>%3</section>\n")
                    .arg(chartSvg(points, ChartKind::Between,
                                  QStringLiteral("Fish counted between visits at %1, per channel").arg(entry.name)),
                         legendHtml(points), noteHtml);
        body += QStringLiteral("<section><h2>Season total so far</h2><figure>%1%2</figure>%3</section>\n")
                    .arg(chartSvg(points, ChartKind::Total,
                                  QStringLiteral("The season's total at %1, per channel").arg(entry.name)),
                         legendHtml(points), noteHtml);
    }
    body += QStringLiteral("<section><h2>Visits</h2>%1</section>\n").arg(visitsTable(visits, counts, options.since));
    const QString series =
        entry.events ? QStringLiteral("<li><a href=\"%1.LG2\">%1.LG2</a>: the site's events, each once, in the order "
                                      "they happened, as an event file</li>")
                           .arg(entry.page)
                     : QString();
    body += QStringLiteral("<section><h2>Files</h2><ul><li><a href=\"%1.csv\">%1.csv</a>: the counts at every visit "
                           "that read them, and the fish since the visit before (%2 visits)</li>%3</ul></section>\n")
                .arg(entry.page, number(int(counts.size())), series);
    return page(QStringLiteral("%1 - %2").arg(entry.name, options.title),
                body + QStringLiteral("</main>\n") + footer(options));
}

QString indexPage(const QList<SiteEntry>& sites, const PageOptions& options)
{
    const auto attention = std::count_if(sites.begin(), sites.end(),
                                         [](const SiteEntry& site) { return !site.attention.isEmpty(); });
    QString body = QStringLiteral("<header><h1>%1</h1><p class=\"sub\">Season from %2 &middot; %3 %4%5</p></header>\n"
                                  "<main>\n")
                       .arg(escaped(options.title), seasonText(options.since), number(int(sites.size())),
                            sites.size() == 1 ? QStringLiteral("site") : QStringLiteral("sites"),
                            attention > 0 ? QStringLiteral(" &middot; <strong>%1 %2 attention</strong>")
                                                .arg(number(int(attention)),
                                                     attention == 1 ? QStringLiteral("needs") : QStringLiteral("need"))
                                          : QString());
    if (sites.isEmpty()) {
        body += QStringLiteral("<section><p>The archive holds no visits yet.</p></section>\n");
    } else {
        body += QStringLiteral("<table class=\"sites\"><thead><tr><th>Site</th><th>Last visit</th><th>Outcome</th>"
                               "<th class=\"n\">New events of the last visit</th><th>Season totals</th></tr></thead>"
                               "<tbody>\n");
        for (const SiteEntry& site : sites)
            body += indexRow(site);
        body += QStringLiteral("</tbody></table>\n");
    }
    return page(options.title, body + QStringLiteral("</main>\n") + footer(options));
}

} // namespace kfc::publish
