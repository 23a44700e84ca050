#pragma once
// Unattended collection: visits each site of a site list, downloads every event into the
// archive, checks the clock, flushes only a verified download, and keeps a journal.

#include "sitelist.h"

#include <QDir>
#include <QTextStream>

#include <functional>

namespace kfc::cli {

struct CollectOptions {
    QString archive;            // a folder, or a PostgreSQL URI
    QString spool;              // the local folder of an archive on a server
    int retries = 2;            // further calls after one that met BUSY, NO CARRIER or silence
    int retryWaitSecs = 300;
    qint64 maxOnlineMs = 90 * 60 * 1000;   // one site's session, from the port's opening
    bool log = false;           // the Tx/Rx trace on standard error
    // Told the site, its step and how far the download is; empty: nothing shown.
    std::function<void(const QString&)> progress;
};

// Visits the sites; 0 when every one was collected, 1 otherwise.
int collectSites(const QList<Site>& sites, const CollectOptions& options, QTextStream& out, QTextStream& err);

} // namespace kfc::cli
