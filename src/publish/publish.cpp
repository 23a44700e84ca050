#include "publish.h"

#include "folder.h"
#include "pages.h"

namespace kfc::publish {

bool readArchive(const QString& location, QList<SiteVisits>* sites, QString* error)
{
    archive::Archive database;
    if (!database.open(location, archive::Archive::Mode::Read, error))
        return false;
    QString problem;
    for (const QString& site : database.sites(&problem)) {
        SiteVisits read{site, database.visits(site, {}, &problem), {}};
        for (qsizetype i = 0; problem.isEmpty() && i < read.visits.size(); ++i)
            for (const QByteArray& line : database.newEventLines(read.visits[i], &problem))
                read.events += line + "\r\n";
        if (!problem.isEmpty())
            break;
        *sites << read;
    }
    if (problem.isEmpty())
        return true;
    *error = problem;
    return false;
}

bool writePages(const QList<SiteVisits>& sites, const PublishOptions& options, Published* published, QString* error)
{
    FolderReplacement folder(options.folder);
    if (!folder.begin(error))
        return false;
    const PageOptions pageOptions{options.title, options.since, options.now};
    QStringList siteNames;
    for (const SiteVisits& site : sites)
        siteNames << site.site;
    const QStringList names = pageNames(siteNames);
    *published = Published{int(sites.size()), 0, 0};
    auto add = [&](const QString& name, const QString& text) {
        const QByteArray bytes = text.toUtf8();
        if (name.endsWith(QLatin1String(".html")))
            published->largestPage = std::max(published->largestPage, qint64(bytes.size()));
        return folder.write(name, bytes, error);
    };
    QList<SiteEntry> entries;
    for (qsizetype i = 0; i < sites.size(); ++i) {
        const QList<archive::VisitCounts> counts = archive::countsAtVisits(sites[i].visits);
        entries << siteEntry(sites[i].site, names[i], sites[i].visits, counts, pageOptions);
        entries.last().events = !sites[i].events.isEmpty();
        if (entries.last().events && !folder.write(names[i] + QStringLiteral(".LG2"), sites[i].events, error))
            return false;
        if (!add(names[i] + QStringLiteral(".html"), sitePage(entries.last(), sites[i].visits, counts, pageOptions))
            || !add(names[i] + QStringLiteral(".csv"), archive::countsCsv(sites[i].site, counts)))
            return false;
        published->visits += int(sites[i].visits.size());
    }
    return add(QStringLiteral("index.html"), indexPage(entries, pageOptions)) && folder.commit(error);
}

bool publishPages(const PublishOptions& options, Published* published, QString* error)
{
    QList<SiteVisits> sites;
    return readArchive(options.archive, &sites, error) && writePages(sites, options, published, error);
}

} // namespace kfc::publish
