#pragma once
// The archive published as a folder of static web pages: index.html, and for each site its
// page and the CSV of its counts. The folder is written whole (see folder.h).

#include <QDateTime>
#include <QString>

namespace kfc::publish {

struct PublishOptions {
    QString archive;    // the archive's folder
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

// False with a text for the user when the archive cannot be read or the pages cannot be
// written; the folder is then as it was.
bool publishPages(const PublishOptions& options, Published* published, QString* error);

} // namespace kfc::publish
