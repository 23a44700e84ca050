#include "archivecommands.h"

#include "cli.h"
#include "archive/fieldfile.h"
#include "link/untrusted.h"

#include <QSaveFile>

namespace kfc::cli {

bool openToRead(archive::Archive& database, const QString& location, QTextStream& err)
{
    QString problem;
    if (database.open(location, archive::Archive::Mode::Read, &problem))
        return true;
    err << "kestrova-cli: " << printable(problem) << '\n';
    return false;
}

bool openToRecord(archive::Recorder& recorder, const QString& location, const QString& spool, QTextStream& err)
{
    QString problem;
    if (recorder.open(location, spool, archive::Recorder::Hold::Shared, &problem))
        return true;
    err << "kestrova-cli: " << printable(problem) << '\n';
    return false;
}

int importFiles(const ImportOptions& options, QTextStream& out, QTextStream& err)
{
    QList<archive::FieldFile> files;
    for (const QString& name : options.files) {
        archive::FieldFile field;
        if (const QString problem = archive::readFieldFile(name, options.site, options.noStatus, &field);
            !problem.isEmpty()) {
            err << "kestrova-cli: " << printable(problem) << '\n';
            return UsageOrPortError;
        }
        files << field;
    }
    archive::Recorder archive;
    if (!openToRecord(archive, options.archive, options.spool, err))
        return UsageOrPortError;
    if (const QString away = archive.serverProblem(); !away.isEmpty())
        err << "kestrova-cli: " << printable(away) << '\n';
    int result = Ok;
    QStringList taken;
    for (archive::FieldFile& field : files) {
        const archive::VisitRecord& visit = field.visit;
        const archive::Imported imported = taken.contains(visit.fileSha256) ? archive::Imported{true, {}, {}}
                                                                             : archive::importFieldFile(archive, field);
        if (imported.heldAlready) {
            out << field.name << ": the archive holds this file already\n";
            continue;
        }
        for (const QString& said : {imported.recorded.notInDatabase, imported.recorded.notInJournal})
            if (!said.isEmpty())
                err << "kestrova-cli: " << printable(said) << '\n';
        if (!imported.problem.isEmpty()) {
            if (imported.recorded.whole())   // not said above: the file itself
                err << "kestrova-cli: " << printable(imported.problem) << '\n';
            return UsageOrPortError;
        }
        taken << visit.fileSha256;
        out << field.name << ": " << visit.events << " events, a visit of " << printable(options.site) << " at "
            << archive::momentText(visit.started) << (imported.recorded.inSpool ? ", waiting in the spool" : "") << '\n';
        if (imported.recorded.inSpool)
            result = EmptyReply;
    }
    return result;
}

int sendSpool(const QString& location, const QString& spool, QTextStream& out, QTextStream& err)
{
    archive::Recorder archive;
    if (!openToRecord(archive, location, spool, err))
        return UsageOrPortError;
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
    if (!openToRead(database, options.archive, err))
        return UsageOrPortError;
    QString problem;
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
