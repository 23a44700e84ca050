#include "archivecommands.h"

#include "cli.h"
#include "archive/recorder.h"
#include "counter/counterstatus.h"
#include "counter/download.h"
#include "counter/eventfile.h"
#include "counter/readers.h"
#include "link/errors.h"
#include "link/untrusted.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QSaveFile>
#include <QUuid>

namespace kfc::cli {

namespace {

// Names the visits of imported files: the same file of the same site is the same visit,
// however often and from wherever it is imported.
const QUuid kImportNamespace = QUuid::fromString(QStringLiteral("{6f1d7c3e-2b8a-4c55-9e0f-4b3a8d2c7e91}"));

// A downloaded event file, checked and made a visit before anything is written.
struct FieldFile {
    QString name;
    QByteArray bytes;
    archive::VisitRecord visit;
};

QStringList textLines(const QByteArray& bytes, int count)
{
    QStringList lines;
    for (const QByteArray& line : bytes.split('\n').mid(0, count))
        lines << QString::fromLatin1(line.endsWith('\r') ? line.chopped(1) : line);
    return lines;
}

// The file as a visit of the site; empty with the reason when it cannot be taken.
QString readFieldFile(const QString& fileName, const ImportOptions& options, FieldFile* field)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read %1: %2").arg(fileName, file.errorString());
    field->name = fileName;
    field->bytes = file.readAll();
    archive::VisitRecord& visit = field->visit;
    visit.site = options.site;
    visit.outcome = QStringLiteral("imported");
    visit.fileSha256 = QString::fromLatin1(QCryptographicHash::hash(field->bytes, QCryptographicHash::Sha256).toHex());
    visit.id = QUuid::createUuidV5(kImportNamespace, options.site + QLatin1Char('\n') + visit.fileSha256)
                   .toString(QUuid::WithoutBraces);
    int lines = int(field->bytes.count('\n'));
    if (!field->bytes.isEmpty() && !field->bytes.endsWith('\n'))
        ++lines;
    if (options.noStatus) {
        // No clock in the file: the moment it was last written stands for the visit.
        visit.started = QFileInfo(file).lastModified();
    } else {
        CounterStatus status;
        try {
            status = ReadStatusHeader(textLines(field->bytes, kStatusHeaderLineCount));
        } catch (const ConversionError& e) {
            return QStringLiteral("%1 does not begin with the status header that a download with Include Status "
                                  "writes (%2); give --no-status to take its events without counts")
                .arg(fileName, printable(e.text()));
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

archive::StatusRecord statusRecord(const CounterStatus& status, const QDateTime& readAt)
{
    archive::StatusRecord record;
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

int importFiles(const ImportOptions& options, QTextStream& out, QTextStream& err)
{
    QList<FieldFile> files;
    for (const QString& name : options.files) {
        FieldFile field;
        if (const QString problem = readFieldFile(name, options, &field); !problem.isEmpty()) {
            err << "kestrova-cli: " << problem << '\n';
            return UsageOrPortError;
        }
        files << field;
    }
    archive::Recorder archive;
    if (QString problem; !archive.open(options.archive, options.spool, archive::Recorder::Hold::Shared, &problem)) {
        err << "kestrova-cli: " << printable(problem) << '\n';
        return UsageOrPortError;
    }
    if (const QString away = archive.serverProblem(); !away.isEmpty())
        err << "kestrova-cli: " << printable(away) << '\n';
    int result = Ok;
    QStringList taken;
    for (FieldFile& field : files) {
        archive::VisitRecord& visit = field.visit;
        if (taken.contains(visit.fileSha256) || archive.holdsFile(options.site, visit.fileSha256)) {
            out << field.name << ": the archive holds this file already\n";
            continue;
        }
        QString problem;
        try {
            visit.file = archive.newEventFile(
                options.site, visit.started, [&](const QString& path) { return writeCopy(path, field.bytes); },
                &problem);
        } catch (const EventFileError& e) {
            problem = QString::fromUtf8(e.what());
        }
        if (visit.file.isEmpty() || !(problem = archive.settleEventFile(visit)).isEmpty()) {
            err << "kestrova-cli: " << printable(problem) << '\n';
            return UsageOrPortError;
        }
        const archive::Recorded recorded = archive.record(visit, true);
        for (const QString& said : {recorded.notInDatabase, recorded.notInJournal})
            if (!said.isEmpty())
                err << "kestrova-cli: " << printable(said) << '\n';
        if (!recorded.safe())
            return UsageOrPortError;
        taken << visit.fileSha256;
        out << field.name << ": " << visit.events << " events, a visit of " << printable(options.site) << " at "
            << archive::momentText(visit.started) << (recorded.inSpool ? ", waiting in the spool" : "") << '\n';
        if (recorded.inSpool)
            result = EmptyReply;
    }
    return result;
}

int sendSpool(const QString& location, const QString& spool, QTextStream& out, QTextStream& err)
{
    archive::Recorder archive;
    if (QString problem; !archive.open(location, spool, archive::Recorder::Hold::Shared, &problem)) {
        err << "kestrova-cli: " << printable(problem) << '\n';
        return UsageOrPortError;
    }
    const archive::SpoolSent sent = archive.sendSpooled();
    if (sent.sent == 0 && sent.waiting == 0)
        out << "No visit waits in the spool " << archive.folder() << ".\n";
    else
        out << "Sent " << sent.sent << " of " << sent.sent + sent.waiting << " visits waiting in the spool "
            << archive.folder() << " to the archive.\n";
    if (sent.waiting == 0)
        return Ok;
    err << "kestrova-cli: " << printable(sent.problem.isEmpty() ? archive.serverProblem() : sent.problem) << '\n';
    return EmptyReply;
}

int writeEvents(const EventsOptions& options, QTextStream& out, QTextStream& err)
{
    archive::Archive database;
    QString problem;
    if (!database.open(options.archive, archive::Archive::Mode::Read, &problem)) {
        err << "kestrova-cli: " << printable(problem) << '\n';
        return UsageOrPortError;
    }
    const QStringList sites = database.sites(&problem);
    if (problem.isEmpty() && !sites.contains(options.site)) {
        err << "kestrova-cli: the archive, " << printable(database.name()) << ", has no site "
            << printable(options.site) << '\n';
        return UsageOrPortError;
    }
    const QList<archive::VisitRecord> visits = database.visits(options.site, options.since, &problem);
    QSaveFile file(options.output);
    if (!options.output.isEmpty() && !file.open(QIODevice::WriteOnly))
        problem = QStringLiteral("cannot write %1: %2").arg(options.output, file.errorString());
    for (qsizetype i = 0; problem.isEmpty() && i < visits.size(); ++i) {
        const archive::VisitRecord& visit = visits[i];
        // The first visit asked for starts the series: what came before it is not written.
        if (visit.gapBefore && i > 0)
            err << "kestrova-cli: events may be missing before the visit of " << archive::momentText(visit.started)
                << ": its file shares no event with the ones before\n";
        for (const QByteArray& line : database.newEventLines(visit, &problem)) {
            if (file.isOpen())
                file.write(line + "\r\n");
            else
                out << printable(QString::fromLatin1(line), Backslashes::Doubled) << '\n';
        }
    }
    if (problem.isEmpty() && file.isOpen() && !file.commit())
        problem = QStringLiteral("cannot write %1: %2").arg(options.output, file.errorString());
    if (!problem.isEmpty()) {
        err << "kestrova-cli: " << printable(problem) << '\n';
        return UsageOrPortError;
    }
    return Ok;
}

} // namespace kfc::cli
