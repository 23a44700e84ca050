#pragma once
// The archive published as a folder of static web pages: index.html, and for each site its
// page and the CSV of its counts. The folder is written whole (see folder.h).

#include "archive/archive.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace kfc::publish {

struct PublishOptions {
    QString archive;    // the archive's folder or its server's URI
    QString folder;     // where the pages go
    QString title;
    QDateTime since;    // the season's start
    QDateTime now;      // when the pages are written
};

struct Published {
    int sites = 0;
    int visits = 0;
    qint64 largestPage = 0;   // bytes
};

struct SiteVisits {
    QString site;
    QList<archive::VisitRecord> visits;   // oldest first
    QByteArray events;                    // its events, each once, in order, as an event file
};

// Each site of the archive with its visits, in the archive's order.
bool readArchive(const QString& folder, QList<SiteVisits>* sites, QString* error);
// The pages of these sites, in place of those in options.folder.
bool writePages(const QList<SiteVisits>& sites, const PublishOptions& options, Published* published, QString* error);

// Both: false with a text for the user when the archive cannot be read or the pages
// cannot be written; the folder is then as it was.
bool publishPages(const PublishOptions& options, Published* published, QString* error);

} // namespace kfc::publish
