#pragma once
// Event files that a download wrote in the field, taken into an archive as visits of a
// site: by `kestrova-cli import` and by the download window's "Add to Archive...". A file
// with the status header that a download with Include Status writes gives the counter's
// clock, version, flags and counts; one without it, its events alone.

#include "archive.h"
#include "recorder.h"

#include <QByteArray>
#include <QString>

namespace kfc {
struct CounterStatus;
}

namespace kfc::archive {

// The status read as the archive keeps it; `readAt` is the PC's clock at the read.
StatusRecord statusRecord(const CounterStatus& status, const QDateTime& readAt);

// A downloaded event file, read and checked, and made a visit, before anything is written.
struct FieldFile {
    QString name;
    QByteArray bytes;
    VisitRecord visit;
};

// The file as a visit of the site; empty with the reason when it cannot be taken (it
// cannot be read, or it lacks the status header and `noStatus` is false).
QString readFieldFile(const QString& fileName, const QString& site, bool noStatus, FieldFile* field);

// What became of a field file.
struct Imported {
    bool heldAlready = false;   // the archive holds a file of that SHA-256 for the site
    Recorded recorded;
    QString problem;            // why it is not safe in the archive; empty when it is
};

// Copies the file into the archive's layout and records its visit; a file the archive
// holds already for the site is left out. The same file of the same site is the same
// visit, however often and from wherever it is taken in.
Imported importFieldFile(Recorder& archive, FieldFile& field);

} // namespace kfc::archive
