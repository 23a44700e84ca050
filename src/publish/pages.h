#pragma once
// The published pages: an index with one row per site, and one page per site with its
// season's charts, its visits and the links to its files. Made from the archive's records
// alone; every text that came from a site list, a counter or the archive is escaped.

#include "archive/archive.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace kfc::publish {

struct PageOptions {
    QString title;      // the index's heading (plain text)
    QDateTime since;    // the season's start
    QDateTime now;      // when the pages are written
};

// What the index shows of one site.
struct SiteEntry {
    QString name;
    QString page;                                  // its file names without the extension
    std::optional<archive::VisitRecord> last;      // its last visit, without its status reads
    archive::SeasonTotals totals;
    QString attention;                             // why it stands out; empty when it does not
    bool events = false;                           // its event series is published beside its page
};

// Short lower-case file names for the sites, in turn: their letters and digits, words
// joined by '-', told apart by a number where two would be the same (also on a file
// system that ignores case).
QStringList pageNames(const QStringList& sites);

// Why a site stands out on the index: its last visit failed, or its last collected visit
// ended more than two days before `now` (or it has none); empty when neither.
QString attentionText(const QList<archive::VisitRecord>& visits, const QDateTime& now);

// The site's entry for the index, from all its visits (oldest first) and their counts.
SiteEntry siteEntry(const QString& name, const QString& page, const QList<archive::VisitRecord>& visits,
                    const QList<archive::VisitCounts>& counts, const PageOptions& options);

QString sitePage(const SiteEntry& entry, const QList<archive::VisitRecord>& visits,
                 const QList<archive::VisitCounts>& counts, const PageOptions& options);
QString indexPage(const QList<SiteEntry>& sites, const PageOptions& options);

} // namespace kfc::publish
