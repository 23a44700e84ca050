#pragma once
// Unattended collection: visits each site of a site list, downloads every event into the
// archive, checks the clock, flushes only a verified download, and keeps a journal. Sites
// on different lines are visited at the same time; the sites that share a line (numbers
// dialled through one modem), one after another.

#include "sitelist.h"

#include <QDir>
#include <QTextStream>

#include <functional>

namespace kfc::cli {

struct CollectOptions {
    QString archive;
    int retries = 2;            // further calls after one that met BUSY, NO CARRIER or silence
    int retryWaitSecs = 300;
    qint64 maxOnlineMs = 90 * 60 * 1000;   // one site's session, from the port's opening
    int parallel = 4;           // lines busy at once; 1 calls the sites one after another
    bool log = false;           // the Tx/Rx trace on standard error, each line after its site's name
    // Told a row for each busy line (its site, the step and how far the download is), or
    // for the site called again next while none is; an empty list at the end. Empty:
    // nothing is shown.
    std::function<void(const QStringList&)> progress;
};

// Visits the sites; 0 when every one was collected, 1 otherwise.
int collectSites(const QList<Site>& sites, const CollectOptions& options, QTextStream& out, QTextStream& err);

} // namespace kfc::cli
