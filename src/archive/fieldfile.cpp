#include "fieldfile.h"

#include "counter/counterstatus.h"
#include "counter/download.h"
#include "counter/eventfile.h"
#include "link/errors.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

namespace kfc::archive {

namespace {

// Names the visits of imported files: the same file of the same site is the same visit,
// however often and from wherever it is imported.
const QUuid kImportNamespace = QUuid::fromString(QStringLiteral("{6f1d7c3e-2b8a-4c55-9e0f-4b3a8d2c7e91}"));

QStringList textLines(const QByteArray& bytes, int count)
{
    QStringList lines;
    for (const QByteArray& line : bytes.split('\n').mid(0, count))
        lines << QString::fromLatin1(line.endsWith('\r') ? line.chopped(1) : line);
    return lines;
}

// Writes the file's bytes, as they are, to a new file of the archive's.
bool writeCopy(const QString& path, const QByteArray& bytes)
{
    QFile copy(path);
    if (!copy.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    if (copy.write(bytes) != bytes.size() || !syncToDisk(copy))
        throw EventFileError(QStringLiteral("Cannot write %1: %2").arg(path, copy.errorString()).toStdString());
    return true;
}

} // namespace

StatusRecord statusRecord(const CounterStatus& status, const QDateTime& readAt)
{
    StatusRecord record;
    record.readAt = readAt;
    record.counterClock = status.dateTime;
    record.version = status.versionText.isEmpty() ? QString::number(status.version, 'f', 2)
                                                  : QString::number(status.version, 'f', 2) + QLatin1Char(' ')
                                                        + status.versionText;
    record.eventCount = status.eventCount;
    record.conductivity = status.conductivity;
    for (int n = 1; n <= kChannelCount; ++n) {
        record.up[size_t(n - 1)] = status.channel(n).upCount;
        record.down[size_t(n - 1)] = status.channel(n).downCount;
    }
    return record;
}

QString readFieldFile(const QString& fileName, const QString& site, bool noStatus, FieldFile* field)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read %1: %2").arg(fileName, file.errorString());
    field->name = fileName;
    field->bytes = file.readAll();
    VisitRecord& visit = field->visit;
    visit.site = site;
    visit.outcome = QStringLiteral("imported");
    visit.fileSha256 = QString::fromLatin1(QCryptographicHash::hash(field->bytes, QCryptographicHash::Sha256).toHex());
    visit.id = QUuid::createUuidV5(kImportNamespace, site + QLatin1Char('\n') + visit.fileSha256)
                   .toString(QUuid::WithoutBraces);
    int lines = int(field->bytes.count('\n'));
    if (!field->bytes.isEmpty() && !field->bytes.endsWith('\n'))
        ++lines;
    if (noStatus) {
        // No clock in the file: the moment it was last written stands for the visit.
        visit.started = QFileInfo(file).lastModified();
    } else {
        CounterStatus status;
        try {
            status = ReadStatusHeader(textLines(field->bytes, kStatusHeaderLineCount));
        } catch (const ConversionError& e) {
            return QStringLiteral("%1 does not begin with the status header that a download with Include Status "
                                  "writes (%2); give --no-status to take its events without counts")
                .arg(fileName, e.text());
        }
        visit.fileHeaderLines = kStatusHeaderLineCount;
        // The counter's clock at the download, read as the PC's local time.
        visit.started = QDateTime(status.dateTime.date(), status.dateTime.time());
        status.eventCount = std::max(0, lines - kStatusHeaderLineCount);
        visit.statusReads << statusRecord(status, visit.started);
    }
    visit.finished = visit.started;
    visit.events = visit.expected = std::max(0, lines - visit.fileHeaderLines);
    return {};
}

Imported importFieldFile(Recorder& archive, FieldFile& field)
{
    Imported imported;
    VisitRecord& visit = field.visit;
    if (archive.holdsFile(visit.site, visit.fileSha256)) {
        imported.heldAlready = true;
        return imported;
    }
    try {
        visit.file = archive.newEventFile(
            visit.site, visit.started, [&](const QString& path) { return writeCopy(path, field.bytes); },
            &imported.problem);
    } catch (const EventFileError& e) {
        imported.problem = QString::fromUtf8(e.what());
    }
    if (visit.file.isEmpty() || !(imported.problem = archive.settleEventFile(visit)).isEmpty())
        return imported;
    imported.recorded = archive.record(visit, true);
    if (!imported.recorded.safe())
        imported.problem = QStringList{imported.recorded.notInDatabase, imported.recorded.notInJournal}.join(u"; ");
    return imported;
}

} // namespace kfc::archive
