#include "publish.h"

#include "folder.h"
#include "pages.h"

namespace kfc::publish {

bool publishPages(const PublishOptions& options, Published* published, QString* error)
{
    archive::Archive database;
    if (!database.open(options.archive, archive::Archive::Mode::Read, error))
        return false;
    QString problem;
    const QStringList sites = database.sites(&problem);
    if (!problem.isEmpty()) {
        *error = problem;
        return false;
    }
    FolderReplacement folder(options.folder);
    if (!folder.begin(error))
        return false;
    const PageOptions pageOptions{options.title, options.since, options.now};
    const QStringList names = pageNames(sites);
    QList<SiteEntry> entries;
    *published = Published{};
    auto add = [&](const QString& name, const QString& text) {
        const QByteArray bytes = text.toUtf8();
        published->largestPage = std::max(published->largestPage, qint64(bytes.size()));
        return folder.write(name, bytes, error);
    };
    for (qsizetype i = 0; i < sites.size(); ++i) {
        const QList<archive::VisitRecord> visits = database.visits(sites[i], {}, &problem);
        if (!problem.isEmpty()) {
            *error = problem;
            return false;
        }
        const QList<archive::VisitCounts> counts = archive::countsAtVisits(visits);
        entries << siteEntry(sites[i], names[i], visits, counts, pageOptions);
        if (!add(names[i] + QStringLiteral(".html"), sitePage(entries.last(), visits, counts, pageOptions))
            || !folder.write(names[i] + QStringLiteral(".csv"), archive::countsCsv(sites[i], counts).toUtf8(), error))
            return false;
        published->visits += int(visits.size());
    }
    published->sites = int(sites.size());
    return add(QStringLiteral("index.html"), indexPage(entries, pageOptions)) && folder.commit(error);
}

} // namespace kfc::publish
