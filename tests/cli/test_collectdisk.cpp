// Collection, and the published pages, onto a disk that refuses to write: a small file
// system of the test's own, read-only or filled, in a mount namespace of its own (see
// CMakeLists.txt: the test runs under unshare). Linux only.

#include "archive/archive.h"
#include "cli/cli.h"
#include "sim/ptycounter.h"
#include "support/archivetest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>

using namespace kfc;

namespace {

int runCli(const QStringList& args, QString* out, QString* err)
{
    QTextStream outStream(out), errStream(err);
    const int code = cli::run(QStringList{QStringLiteral("kestrova-cli")} + args, outStream, errStream);
    outStream.flush();
    errStream.flush();
    return code;
}

// A small file system on a folder of its own, unmounted at the end.
struct SmallDisk {
    QTemporaryDir mountPoint;
    QString error;

    SmallDisk()
    {
        if (::mount("tmpfs", QFile::encodeName(mountPoint.path()).constData(), "tmpfs", 0, "size=512k") != 0)
            error = QStringLiteral("cannot mount a small file system on %1: %2 (the test must run in namespaces of "
                                   "its own: unshare --user --map-root-user --mount)")
                        .arg(mountPoint.path(), QString::fromLocal8Bit(std::strerror(errno)));
    }
    ~SmallDisk()
    {
        if (error.isEmpty())
            ::umount(QFile::encodeName(mountPoint.path()).constData());
    }
};

// Takes every byte the file system has left.
void fill(const QString& folder)
{
    QFile filler(folder + "/filler");
    QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    for (const int size : {65536, 4096, 1})
        while (filler.write(QByteArray(size, 'f')) == size) {
        }
}

} // namespace

class TestCollectDisk : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("KESTROVA_TIMING", "shrunk"); }

    void disk_data()
    {
        QTest::addColumn<QString>("disk");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("said");   // on standard error, then output, in this order; DIR is the archive
        QTest::newRow("read-only archive folder") << "read-only" << 2
            << QStringList{"kestrova-cli: cannot write in the archive folder DIR: Read-only file system\n"};
        QTest::newRow("full before the run") << "full" << 2
            << QStringList{"kestrova-cli: cannot write in the archive folder DIR: No space left on device\n"};
        // The database first, then the journal; neither has room for the visit.
        QTest::newRow("full during the download") << "fills" << 1
            << QStringList{"database or disk is full",
                           "kestrova-cli: cannot write the journal DIR/journal.jsonl: No space left on device\n",
                           "Weir A: incomplete, ", "Cannot write the event file: No space left on device (DIR/Weir A/"};
        QTest::newRow("journal on a full device") << "journal" << 1
            << QStringList{"kestrova-cli: cannot write the journal DIR/journal.jsonl: No space left on device\n"};
    }
    void disk()
    {
        QFETCH(QString, disk);
        SmallDisk small;
        QVERIFY2(small.error.isEmpty(), qPrintable(small.error));
        const QTemporaryDir& mountPoint = small.mountPoint;
        const QString archive = mountPoint.filePath("archive");
        QVERIFY(QDir().mkpath(archive));
        if (disk == "read-only")
            QVERIFY(::mount(nullptr, QFile::encodeName(mountPoint.path()).constData(), nullptr, MS_REMOUNT | MS_RDONLY,
                            nullptr) == 0);
        if (disk == "full")
            fill(mountPoint.path());
        if (disk == "journal")
            QVERIFY(QFile::link("/dev/full", archive + "/journal.jsonl"));

        sim::PtyCounter pty;
        QVERIFY(pty.start());
        pty.counter().state.events.clear();
        pty.counter().logPastEvents(disk == "fills" ? 300 : 3);
        int acks = -1;
        connect(&pty.counter(), &sim::SimCounter::commandReceived, this, [&](const QString& command) {
            acks = command == "d00000" ? 0 : acks + (acks >= 0 && command == QChar(6));
            if (disk == "fills" && acks == 2 && command == QChar(6))
                fill(mountPoint.path());
        });
        QTemporaryDir folder;
        QFile sites(folder.filePath("sites.ini"));
        QVERIFY(sites.open(QIODevice::WriteOnly));
        sites.write("[Weir A]\nport=" + pty.devicePath().toLatin1() + "\n");
        sites.close();
        QString out, err;
        QTEST(runCli({"collect", "--sites", sites.fileName(), "--archive", archive, "--retries", "0"}, &out, &err), "code");
        QFETCH(QStringList, said);
        qsizetype at = 0;
        for (const QString& text : said) {
            at = (err + out).indexOf(QString(text).replace("DIR", archive), at);
            QVERIFY2(at >= 0, qPrintable(text + " not in:\n" + err + out));
        }
        if (disk == "read-only" || disk == "full") {
            QVERIFY(pty.counter().commands().isEmpty());
            QVERIFY(!QFile::exists(archive + "/archive.sqlite") || disk == "full");
            return;
        }
        QCOMPARE(pty.counter().commands().last(), QStringLiteral("e"));
        archive::Archive database;
        QString error;
        if (disk == "journal") {
            QVERIFY2(database.open(archive, archive::Archive::Mode::Read, &error), qPrintable(error));
            QCOMPARE(database.visits("Weir A").value(0).outcome, QStringLiteral("collected"));
            return;
        }
        // Every whole line is kept, and nothing of the one that did not fit.
        const QStringList files = QDir(archive + "/Weir A").entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        QFile file(archive + "/Weir A/" + files.first());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QVERIFY(lines.last().isEmpty() && lines.size() > 7 + 2);
        for (qsizetype i = 7; i + 1 < lines.size(); ++i)
            QCOMPARE(lines[i], pty.counter().state.events[i - 7].toLatin1() + '\r');
    }

    // The pages written once, then again onto a disk that refuses: the pages before stay
    // whole, and nothing half written is left beside them.
    void pages_data()
    {
        QTest::addColumn<QString>("disk");
        QTest::addColumn<QString>("said");   // the end of the error; MOUNT is the small disk
        QTest::newRow("full") << "full" << ": No space left on device\n";
        QTest::newRow("read-only") << "read-only" << "kestrova-cli: cannot write in MOUNT: Read-only file system\n";
    }
    void pages()
    {
        QFETCH(QString, disk);
        QFETCH(QString, said);
        SmallDisk small;
        QVERIFY2(small.error.isEmpty(), qPrintable(small.error));
        const QTemporaryDir& mountPoint = small.mountPoint;
        // Pages larger than the few pages a full file system still lets through.
        QList<archive::VisitRecord> nights;
        for (int night = 0; night < 150; ++night) {
            nights << test::visitOn("Weir A", 1, "collected", {night, 0, 0, 0});
            nights.last().started = nights.last().started.addDays(night - 149);
        }
        QTemporaryDir archive;
        QCOMPARE(test::writeArchive(archive.path(), nights), QString());
        const QString pages = mountPoint.filePath("pages");
        const QStringList args{"report", "--archive", archive.path(), "--html", pages, "--since", "2026-01-01"};
        QString out, err;
        QCOMPARE(runCli(args, &out, &err), 0);
        auto files = [&pages] {
            QStringList contents;
            for (const QFileInfo& file : QDir(pages).entryInfoList(QDir::Files | QDir::Hidden)) {
                QFile read(file.filePath());
                contents << file.fileName() + (read.open(QIODevice::ReadOnly) ? read.readAll() : "(unread)");
            }
            return contents;
        };
        const QStringList before = files();
        if (disk == "full")
            fill(mountPoint.path());
        else
            QVERIFY(::mount(nullptr, QFile::encodeName(mountPoint.path()).constData(), nullptr, MS_REMOUNT | MS_RDONLY,
                            nullptr) == 0);
        // Another title: a page written over in place would differ.
        QCOMPARE(runCli(args + QStringList{"--title", "Other"}, &out, &err), 2);
        QVERIFY2(err.startsWith("kestrova-cli: cannot write ") && err.endsWith(said.replace("MOUNT", mountPoint.path())),
                 qPrintable(err));
        QCOMPARE(files(), before);
        QDir(mountPoint.path()).remove("filler");
        QCOMPARE(QDir(mountPoint.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"pages"});
    }
};

QTEST_GUILESS_MAIN(TestCollectDisk)
#include "test_collectdisk.moc"
