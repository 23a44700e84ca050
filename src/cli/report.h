#pragma once
// The report of a collection archive: for each site its last visit, the events collected,
// the counts per channel at each visit with the fish counted since the one before, and the
// season's totals.

#include <QDateTime>
#include <QTextStream>

namespace kfc::cli {

struct ReportOptions {
    QString archive;
    QDateTime since;    // visits from then on; invalid: all
    QDateTime season;   // the start of the season whose totals are shown
    bool json = false;
};

// 0, or 2 when the archive cannot be read (said on err).
int printReport(const ReportOptions& options, QTextStream& out, QTextStream& err);

} // namespace kfc::cli
