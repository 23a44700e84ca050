// The download window end to end against the simulated counter: the request the controls
// build, the outputs (screen, event file, PDF printer) and what a bad start or a dead line
// leaves behind.

#include "link/errors.h"
#include "support/statustest.h"

#include "archive/archive.h"
#include "counter/download.h"
#include "link/untrusted.h"
#include "tools/lineprinter.h"
#include "tools/tfdump.h"

#include <QProcess>
#include <QProgressBar>
#include <QScrollBar>

#include <optional>

using namespace kfc;
using namespace kfc::test;

namespace {

// The text of each page of a PDF, one list of lines per page, spacing simplified.
QList<QStringList> pdfPages(const QString& fileName)
{
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), fileName, QStringLiteral("-")});
    if (!pdftotext.waitForFinished(30000) || pdftotext.exitCode() != 0)
        return {};
    QList<QStringList> pages;
    for (const QString& page : QString::fromUtf8(pdftotext.readAllStandardOutput()).split(QLatin1Char('\f'))) {
        QStringList lines;
        for (const QString& text : page.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            lines << text.simplified();
        if (!lines.isEmpty())
            pages << lines;
    }
    return pages;
}

QStringList simplified(QStringList lines)
{
    for (QString& line : lines)
        line = line.simplified();
    return lines;
}

// A job that the printer refuses at its end, as a driver can; Qt's PDF output never does.
class JobFailingAtItsEnd : public tools::LinePrinter {
public:
    using LinePrinter::LinePrinter;
    bool end() override
    {
        LinePrinter::end();
        return false;
    }
};

bool mainMenusEnabled(const app::TfMain& main)
{
    for (const char* name : {"menuFile", "menuConnect", "menuHelp"})
        if (!main.findChild<QMenu*>(name)->menuAction()->isEnabled())
            return false;
    return true;
}

} // namespace

class TestDumpWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<StatusSession> s;
    QTemporaryDir folder;

    // Connects to a counter holding this many events and opens a download window.
    tools::TfDump* open(int events)
    {
        s->counterState().events.clear();
        s->counter().logPastEvents(events);
        if (!s->connect())
            return nullptr;
        // As the operator opens it: the menu, then "&Download".
        QAction* item = s->item(QStringLiteral("menuDownload"));
        for (QObject* menu : item->associatedObjects())
            if (auto* shown = qobject_cast<QMenu*>(menu))
                emit shown->aboutToShow();
        item->trigger();
        s->clearCommands();
        return qobject_cast<tools::TfDump*>(s->main->mdiArea()->activeSubWindow());
    }
    template <typename T>
    T* control(tools::TfDump* dump, const char* name) { return child<T>(dump, QLatin1String(name)); }
    void start(tools::TfDump* dump) { control<QPushButton>(dump, "bbtnStart")->click(); }
    void chooseFile(tools::TfDump* dump, const QString& file)
    {
        control<QCheckBox>(dump, "cboxFile")->click();
        app::messageBoxes().queueSaveFileName(file);
        control<QPushButton>(dump, "btnFile")->click();
    }
    QStringList screen(tools::TfDump* dump)
    {
        return control<QPlainTextEdit>(dump, "memDisplay")->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QStringList acks(int n) { return QStringList(n, kAck); }

private slots:
    void init() { s = std::make_unique<StatusSession>(); }
    void cleanup() { s.reset(); }

    void request_data()
    {
        QTest::addColumn<bool>("allValues");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("request");
        QTest::newRow("all values, whatever the count") << true << "250" << "d00000";
        QTest::newRow("250") << false << "250" << "d00250";
        QTest::newRow("12345") << false << "12345" << "d12345";
        QTest::newRow("123456 stops at five digits") << false << "123456" << "d12345";
        QTest::newRow("not a number asks for all") << false << "abc" << "d00000";
    }
    void request()
    {
        QFETCH(bool, allValues);
        QFETCH(QString, typed);
        tools::TfDump* dump = open(3);
        QVERIFY(dump);
        auto* all = control<QCheckBox>(dump, "cboxAllValues");
        auto* values = control<QSpinBox>(dump, "seValues");
        QVERIFY(all->isChecked() && !values->isEnabled());
        all->click();
        QVERIFY(values->isEnabled());
        values->selectAll();
        QTest::keyClicks(values, typed);
        if (allValues)
            all->click();
        start(dump);
        QFETCH(QString, request);
        QCOMPARE(s->settledCommands(), QStringList{request} + acks(3));
        QCOMPARE(screen(dump), s->counterState().events);
        QCOMPARE(s->messagePanel(), QStringLiteral("Download complete: 3 events"));
        QVERIFY(values->isEnabled() != all->isChecked());
        QVERIFY(!control<QPushButton>(dump, "btnFile")->isEnabled());
    }

    // Status header, screen, event file and printer together, over more than one page.
    void everyOutput()
    {
        tools::TfDump* dump = open(150);
        QVERIFY(dump);
        // Shown and printed as it came but for its control bytes; filed byte for byte.
        s->counterState().events[4] += QStringLiteral(" C:\\x41\x1b[2J\x7f");
        const QString file = folder.filePath(QStringLiteral("events.LG2"));
        const QString pdf = folder.filePath(QStringLiteral("events.pdf"));
        dump->setPdfOutput(pdf);
        chooseFile(dump, file);
        QCOMPARE(control<QLabel>(dump, "labFileName")->text(), file);
        control<QCheckBox>(dump, "cboxPrinter")->click();
        control<QCheckBox>(dump, "cboxStatus")->click();
        ProgressRecorder progress;
        start(dump);

        const QStringList lines = StatusHeaderLines(counterStatus()) + s->counterState().events;
        QCOMPARE(lines.size(), 157);
        QVERIFY(lines.first().startsWith(QStringLiteral("Date:   ")));
        QCOMPARE(s->commands(), statusRead() + QStringList{QStringLiteral("d00000")} + acks(150));
        QStringList shown = lines;
        shown[11] = printable(lines[11]);
        QVERIFY(shown[11].endsWith(QStringLiteral(" C:\\x41\\x1B[2J\\x7F")));
        QCOMPARE(screen(dump), shown);
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toLatin1());
        const QList<QStringList> pages = pdfPages(pdf);
        QVERIFY2(pages.size() >= 2, "150 events fill more than one page");
        QStringList printed;
        for (const QStringList& page : pages)
            printed += page;
        QCOMPARE(printed, simplified(shown));
        QCOMPARE(progress.texts.first(), QStringLiteral("Obtaining Status. Please Wait"));
        QVERIFY(progress.texts.contains(QStringLiteral("Downloading Event 150")));
        QCOMPARE(progress.texts.last(), QStringLiteral("Download complete: 150 events to events.LG2 and events.pdf"));
        QVERIFY(app::messageBoxes().recorded().isEmpty());

        // The file, with its status header, taken into the archive as a visit of the site
        // named; the next time the site is offered for this port, and the file is held once.
        auto* add = control<QPushButton>(dump, "btnAddToArchive");
        QVERIFY(add->isVisible() && add->isEnabled());
        const QString archive = folder.filePath(QStringLiteral("archive"));
        s->fixture.store()->setValue(QStringLiteral("CountsHistoryArchive"), archive);
        app::messageBoxes().queueText(QStringLiteral("Weir A"));
        add->click();
        app::messageBoxes().queueText(QStringLiteral("Weir A"));
        add->click();
        const QString key = QStringLiteral("ArchiveSites/port/COM%1").arg(s->main->comPort().settings.comNumber);
        QCOMPARE(s->fixture.store()->value(key).toString(), QStringLiteral("Weir A"));
        const QString database = QDir::toNativeSeparators(archive::databasePath(archive));
        QCOMPARE(app::messageBoxes().textPrompts(),
                 QStringList({QStringLiteral("The site of this download, in the archive %1:\n").arg(archive),
                              QStringLiteral("The site of this download, in the archive %1:\nWeir A").arg(archive)}));
        QCOMPARE(app::messageBoxes().recordedTexts(),
                 QStringList({QStringLiteral("events.LG2 was added to the archive %1 as a visit of Weir A with 150 events.")
                                  .arg(database),
                              QStringLiteral("The archive holds events.LG2 already, as a visit of Weir A.")}));
        archive::Archive read;
        QString why;
        QVERIFY2(read.open(archive, archive::Archive::Mode::Read, &why), qPrintable(why));
        const QList<archive::VisitRecord> visits = read.visits(QStringLiteral("Weir A"));
        QCOMPARE(visits.size(), 1);
        QCOMPARE(visits.first().newEvents, 150);
        QCOMPARE(visits.first().statusReads.value(0).counterClock, counterStatus().dateTime);
    }

    void refusedStart_data()
    {
        QTest::addColumn<QString>("uncheck");
        QTest::addColumn<QString>("check");
        QTest::addColumn<QString>("error");
        QTest::newRow("no output") << "cboxScreen" << "" << "Error: You must select at least one output";
        QTest::newRow("file with no name") << "" << "cboxFile" << "Error: You must select a file name for the File output";
    }
    void refusedStart()
    {
        QFETCH(QString, uncheck);
        QFETCH(QString, check);
        tools::TfDump* dump = open(3);
        QVERIFY(dump);
        for (const QString& name : {uncheck, check})
            if (!name.isEmpty())
                child<QCheckBox>(dump, name)->click();
        start(dump);
        QCOMPARE(s->settledCommands(), QStringList{});
        QTEST(app::messageBoxes().recordedTexts().value(0), "error");
        QCOMPARE(s->messagePanel(), QStringLiteral("Download complete"));
        QVERIFY(control<QPushButton>(dump, "bbtnStart")->isEnabled());
    }

    // The operator turns to the status window during a run (Ctrl+Tab, a click): it asks the
    // counter nothing and shows no box while the download has the line, and reads once the
    // line is free if it is still in front. Back in front, the screen follows the lines.
    void windowSwitchDuringRun_data()
    {
        QTest::addColumn<bool>("back");
        QTest::newRow("to the status window and back") << true;
        QTest::newRow("left on the status window") << false;
    }
    void windowSwitchDuringRun()
    {
        QFETCH(bool, back);
        tools::TfDump* dump = open(60);
        QVERIFY(dump);
        int acksSeen = 0;
        QObject watch;
        connect(&s->counter(), &sim::SimCounter::commandReceived, &watch, [&](const QString& command) {
            if (command != kAck)
                return;
            ++acksSeen;
            if (acksSeen == 3)
                s->main->mdiArea()->setActiveSubWindow(s->status);
            if (acksSeen == 30 && back)
                s->main->mdiArea()->setActiveSubWindow(dump);
        });
        start(dump);

        QCOMPARE(s->settledCommands(),
                 QStringList{QStringLiteral("d00000")} + acks(60) + (back ? QStringList() : statusRead()));
        QCOMPARE(app::messageBoxes().recordedTexts(), QStringList());
        QCOMPARE(screen(dump), s->counterState().events);
        QCOMPARE(s->frontWindow(), back ? QStringLiteral("fDump") : QStringLiteral("fStatus"));
        if (back) {
            QScrollBar* lines = control<QPlainTextEdit>(dump, "memDisplay")->verticalScrollBar();
            QVERIFY(lines->maximum() > 0);
            QCOMPARE(lines->value(), lines->maximum());
        }
    }

    // "Select" stays usable during a run, for the next run: the label keeps naming the file
    // being written until the run is over, and the panel then says what was done.
    void selectDuringRun()
    {
        tools::TfDump* dump = open(10);
        QVERIFY(dump);
        const QString first = folder.filePath(QStringLiteral("events1.LG2"));
        const QString next = folder.filePath(QStringLiteral("events2.LG2"));
        chooseFile(dump, first);
        auto* label = control<QLabel>(dump, "labFileName");
        QString labelDuringRun;
        int acksSeen = 0;
        QObject watch;
        connect(&s->counter(), &sim::SimCounter::commandReceived, &watch, [&](const QString& command) {
            if (command == kAck && ++acksSeen == 3) {
                app::messageBoxes().queueSaveFileName(next);
                control<QPushButton>(dump, "btnFile")->click();
                labelDuringRun = label->text();
            }
        });
        start(dump);

        QCOMPARE(labelDuringRun, first);
        QCOMPARE(label->text(), next);
        QFile written(first);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), (s->counterState().events.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toLatin1());
        QVERIFY(!QFile::exists(next));
        QCOMPARE(s->messagePanel(), QStringLiteral("Download complete: 10 events to events1.LG2"));
    }

    // No printer is installed here (the test's CUPS server is not there): "Printer" prints
    // to a PDF file, the print dialog chooses it, and the window says where it went.
    void printerOutputWithNoPrinter()
    {
        tools::TfDump* dump = open(60);
        QVERIFY(dump);
        auto* printer = control<QCheckBox>(dump, "cboxPrinter");
        QVERIFY(printer->isEnabled());
        printer->click();
        auto* label = control<QLabel>(dump, "labPrinter");
        QCOMPARE(QFileInfo(label->text()).suffix(), QStringLiteral("pdf"));
        const QString pdf = folder.filePath(QStringLiteral("printout.pdf"));
        app::messageBoxes().queuePrintToFile(pdf);
        control<QPushButton>(dump, "btnPrinter")->click();
        QCOMPARE(label->text(), QDir::toNativeSeparators(pdf));
        control<QCheckBox>(dump, "cboxScreen")->click();
        start(dump);

        QStringList printed;
        for (const QStringList& page : pdfPages(pdf))
            printed += page;
        QCOMPARE(printed, simplified(s->counterState().events));
        QCOMPARE(s->messagePanel(), QStringLiteral("Download complete: 60 events to printout.pdf"));
        QCOMPARE(app::messageBoxes().recordedTexts(), QStringList());
    }

    // The line dies after four events: the file keeps them, and the window stays in front
    // with every line and how many of the counter's events arrived.
    void deadLineKeepsTheEventsReceived()
    {
        tools::TfDump* dump = open(10);
        QVERIFY(dump);
        const QString file = folder.filePath(QStringLiteral("dead.LG2"));
        chooseFile(dump, file);
        int acksSeen = 0;
        // Gone with this function: the session's own hang-up comes after it has returned.
        QObject watch;
        connect(&s->counter(), &sim::SimCounter::commandReceived, &watch, [&](const QString& command) {
            if (command == kAck && ++acksSeen == 4)
                s->line.pty.hangUp();
        });
        start(dump);

        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), (s->counterState().events.mid(0, 4).join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toLatin1());
        // Told once, by the main frame; no "Download complete" over a partial download.
        QTRY_COMPARE(app::messageBoxes().recordedTexts().size(), 1);
        QVERIFY(app::messageBoxes().recordedTexts().first().contains(QStringLiteral("was lost")));
        QCOMPARE(child<QLabel>(s->main, QStringLiteral("panMessage"))->text(), QString());
        QTRY_COMPARE(s->frontWindow(), QStringLiteral("fDump"));
        QCOMPARE(screen(dump), s->counterState().events.mid(0, 4));
        QCOMPARE(control<QProgressBar>(dump, "pbDownload")->format(), QStringLiteral("4 of 10 events received"));
        QVERIFY(control<QProgressBar>(dump, "pbDownload")->isVisible());
        QVERIFY(!control<QPushButton>(dump, "bbtnStart")->isEnabled());
    }

    // A Start pressed during the run, and a print job that the printer refuses at its end:
    // each is told in an error box, and only a run that got to its end says so.
    void failedStartOrEnd_data()
    {
        QTest::addColumn<bool>("secondStart");
        QTest::addColumn<QString>("error");
        QTest::newRow("second Start during the run")
            << true << "The counter is busy with another command. Try again when it has finished.";
        QTest::newRow("print job fails at its end") << false << "Cannot finish printing on %1: the print job failed";
    }
    void failedStartOrEnd()
    {
        QFETCH(bool, secondStart);
        tools::TfDump* dump = open(3);
        QVERIFY(dump);
        const QString pdf = folder.filePath(QStringLiteral("refused.pdf"));
        dump->setPdfOutput(pdf);
        control<QCheckBox>(dump, "cboxPrinter")->click();
        if (!secondStart)
            dump->setPrintJobFactory([](QPrinter& printer) { return std::make_unique<JobFailingAtItsEnd>(printer); });
        int refused = 0;
        bool exitOnAfterRefusal = false;
        QObject watch;
        connect(&s->counter(), &sim::SimCounter::commandReceived, &watch, [&](const QString& command) {
            if (secondStart && command == kAck && refused++ == 0) {
                dump->bbtnStartClick();
                exitOnAfterRefusal = control<QPushButton>(dump, "bbtnExit")->isEnabled();
            }
        });
        ProgressRecorder progress;
        start(dump);

        QCOMPARE(s->settledCommands(), QStringList{QStringLiteral("d00000")} + acks(3));
        QCOMPARE(screen(dump), s->counterState().events);
        QFETCH(QString, error);
        QCOMPARE(app::messageBoxes().recordedTexts(), QStringList{QString(error).replace(QStringLiteral("%1"), pdf)});
        QCOMPARE(refused > 0, secondStart);
        QVERIFY(!exitOnAfterRefusal);
        const QString complete = QStringLiteral("Download complete: 3 events to refused.pdf");
        QCOMPARE(progress.texts.count(complete), secondStart ? 1 : 0);
        QCOMPARE(progress.texts.last(), secondStart ? complete : QStringLiteral("Downloading Event 3"));
        QVERIFY(control<QPushButton>(dump, "bbtnStart")->isEnabled());
    }

    // The operator leaves the download window open, starts continuous update in the status
    // window, comes back and presses Start: the run is refused and nothing of it happens.
    void startDuringContinuousUpdate()
    {
        tools::TfDump* dump = open(5);
        QVERIFY(dump);
        const QString file = folder.filePath(QStringLiteral("weir.LG2"));
        chooseFile(dump, file);
        auto* startButton = control<QPushButton>(dump, "bbtnStart");
        ProgressRecorder progress;
        bool startOff = false, menusOff = false;
        Script script;
        script.then([&] { return s->messagePanel() == QStringLiteral("Continuous Update Mode. Press Cancel to stop"); },
                    [&] {
                        s->main->mdiArea()->setActiveSubWindow(dump);
                        startOff = !startButton->isEnabled();
                        dump->bbtnStartClick();   // a click that comes anyway
                        menusOff = !mainMenusEnabled(*s->main);
                        s->button(QStringLiteral("bbtnCancel"))->click();
                    });
        script.start();
        s->button(QStringLiteral("bbtnContUpd"))->click();

        QVERIFY(script.completed() && startOff && menusOff);
        QCOMPARE(app::messageBoxes().recordedTexts(), QStringList{Link::kListeningRefusal});
        QCOMPARE(app::messageBoxes().unansweredQuestions(), 0);
        QCOMPARE(s->settledCommands(), QStringList({"i1", "i0"}) + statusRead());
        QVERIFY(!progress.texts.contains(QStringLiteral("Download complete")));
        QVERIFY(!QFile::exists(file));
        QVERIFY(!s->status->contUpdActive() && s->button(QStringLiteral("bbtnContUpd"))->isEnabled());
        QVERIFY(mainMenusEnabled(*s->main) && startButton->isEnabled());
    }

    // Alt+letter presses the window's own control, not a menu of the main frame, and a
    // button before a check box that marks the same letter.
    void mnemonics_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("lineOwned");   // as by the terminal: Start is off
        QTest::addColumn<QString>("pressed");
        QTest::newRow("Alt+S: Start, not Screen") << "S" << false << "bbtnStart";
        QTest::newRow("Alt+S, Start off: nothing, not Screen") << "S" << true << "";
        QTest::newRow("Alt+F: File, not the File menu") << "F" << false << "cboxFile";
        QTest::newRow("Alt+E: Exit") << "E" << false << "bbtnExit";
        QTest::newRow("Alt+I: Include Status") << "I" << false << "cboxStatus";
    }
    void mnemonics()
    {
        QFETCH(QString, key);
        QFETCH(bool, lineOwned);
        QFETCH(QString, pressed);
        tools::TfDump* dump = open(3);
        QVERIFY(dump && QTest::qWaitForWindowActive(s->main));
        std::optional<Link::LineHold> owner;
        if (lineOwned)
            owner.emplace(s->main->link().holdLine(Link::HoldKind::Owner));
        QStringList clicked;
        for (auto* button : dump->findChildren<QAbstractButton*>())
            connect(button, &QAbstractButton::clicked, this, [&clicked, name = button->objectName()] { clicked << name; });
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus && dump->isAncestorOf(focus));
        QTest::keyClick(focus, Qt::Key(Qt::Key_A + key.at(0).unicode() - 'A'), Qt::AltModifier);
        if (pressed.isEmpty())
            QTest::qWait(300);   // a mnemonic's click comes a moment after the key
        QTRY_COMPARE(clicked, pressed.isEmpty() ? QStringList() : QStringList{pressed});
        QVERIFY(!QApplication::activePopupWidget());
    }
};

KFC_APP_TEST_MAIN(TestDumpWindow)
#include "test_download.moc"
