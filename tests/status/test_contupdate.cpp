// Continuous update against the simulated counter: "i1" and "i0" with their answers, the
// "C", "F" and "T" lines and what they do to the record, the display and the memo, lines
// that are malformed or name no channel, the menus while the mode runs, the stop path
// (whose replies the loop must leave alone), a line that dies, and a silent counter that
// must not keep the processor busy.

#include "support/statustest.h"

#include "status/livechart.h"

#include <QFile>

#include <ctime>

using namespace kfc;
using namespace kfc::test;
using kfc::app::messageBoxes;

namespace {

QStringList memoLines(const StatusSession& s)
{
    const QString text = s.control<QPlainTextEdit>("memLastEvent")->toPlainText();
    return text.isEmpty() ? QStringList() : text.split('\n');
}

// The mode is on and the counter has been asked for its lines: the loop is listening.
bool inUpdateMode(const StatusSession& s)
{
    return s.control<QPlainTextEdit>("memLastEvent")->isVisible()
           && s.messagePanel() == QLatin1String("Continuous Update Mode. Press Cancel to stop");
}

bool menuEnabled(const StatusSession& s, const char* name)
{
    return s.main->findChild<QMenu*>(name)->menuAction()->isEnabled();
}

struct Menus {
    bool file, connect, help, counterSetup, advancedSetup, clearCounts, display;
    friend bool operator==(const Menus&, const Menus&) = default;
};

Menus menus(const StatusSession& s)
{
    return {menuEnabled(s, "menuFile"),         menuEnabled(s, "menuConnect"),
            menuEnabled(s, "menuHelp"),         menuEnabled(s, "menuCounterSetup"),
            menuEnabled(s, "menuAdvancedSetup"), s.item("ClearCounts1")->isEnabled(),
            s.status->findChild<QMenu*>("menuDisplay")->menuAction()->isEnabled()};
}

bool logged(const StatusSession& s, const QString& text)
{
    for (const QString& line : s.main->link().log()) {
        if (line.contains(text))
            return true;
    }
    return false;
}

int countLogged(const StatusSession& s, const QString& text)
{
    int count = 0;
    for (const QString& line : s.main->link().log())
        count += line.contains(text) ? 1 : 0;
    return count;
}

void clickCancel(const StatusSession& s) { s.button("bbtnCancel")->click(); }

// Runs "Cont. &Update" with the script acting from inside it; returns when the mode ends.
void runUpdate(StatusSession& s, Script& script)
{
    script.start();
    s.button("bbtnContUpd")->click();
}

double cpuSeconds() { return double(std::clock()) / CLOCKS_PER_SEC; }

} // namespace

class TestContinuousUpdate : public QObject {
    Q_OBJECT
private slots:
    void linesFollowTheCounterUntilCancel();
    void malformedLinesAndOtherKinds();
    void fishLineOfNoChannelIsRejected();
    void missingStartAnswerIsReportedAndTheModeRuns();
    void wrongStopAnswerIsReportedAndTheModeEnds();
    void deadLineEndsTheMode();
    void fishJustBeforeTheModeReply_data();
    void fishJustBeforeTheModeReply();
    void closingWaitsForCancel_data();
    void closingWaitsForCancel();
    void silentCounterLeavesTheProcessorIdle();
    void chartAndSessionFollowTheRun();
};

void TestContinuousUpdate::linesFollowTheCounterUntilCancel()
{
    StatusSession s;
    s.counterState().channels[0].upCount = 5;
    s.counterState().channels[1].downCount = 7;
    QVERIFY(s.connect());
    s.clearCommands();
    const QDateTime readClock = counterStatus().dateTime;
    const Menus viewMenus = menus(s);

    struct Seen {
        bool memoVisible = false, contUpdHidden = false, cancelEnabled = false, changeEnabled = true,
             refreshEnabled = true;
        QString panel;
        Menus menus{};
        QStringList lines;
        QString upCount1, downCount2, sAtt1, wAtt4, cond;
        qint32 eventCount = -1;
    } seen;
    const QDateTime stampClock(QDate(2026, 12, 25), QTime(10, 11, 12), Qt::UTC);

    Script script;
    script
        .then([&] { return inUpdateMode(s); },
              [&] {
                  seen.memoVisible = true;
                  seen.contUpdHidden = s.button("bbtnContUpd")->isHidden();
                  seen.cancelEnabled = s.button("bbtnCancel")->isEnabled();
                  seen.changeEnabled = s.button("bbtnChange")->isEnabled();
                  seen.refreshEnabled = s.button("bbtnRefresh")->isEnabled();
                  seen.panel = s.messagePanel();
                  seen.menus = menus(s);
                  s.counterSays("F1U 12");
              })
        .then([&] { return memoLines(s).size() == 1; },
              [&] {
                  seen.upCount1 = s.text("eUpCnt1");
                  seen.eventCount = counterStatus().eventCount;
                  s.counterSays("F2D 13");
              })
        .then([&] { return memoLines(s).size() == 2; },
              [&] {
                  seen.downCount2 = s.text("eDnCnt2");
                  s.counterSays("C 1 2 3 4 5 6 7 88 321");
              })
        .then([&] { return memoLines(s).size() == 3; },
              [&] {
                  seen.sAtt1 = s.text("eSattCh1");
                  seen.wAtt4 = s.text("eWattCh4");
                  seen.cond = s.text("eCond");
                  s.counterSays("T25/12/26 10:11:12");
              })
        .then([&] { return counterStatus().dateTime == stampClock; }, [&] { s.counterSays("F3U 14"); })
        .then([&] { return memoLines(s).size() == 4; },
              [&] {
                  seen.lines = memoLines(s);
                  clickCancel(s);
              });
    runUpdate(s, script);
    QVERIFY2(script.completed(), qPrintable(QString("steps done: %1").arg(script.stepsDone())));

    QVERIFY(seen.memoVisible);
    QVERIFY(seen.contUpdHidden);
    QVERIFY(seen.cancelEnabled);
    QVERIFY(!seen.changeEnabled);
    QVERIFY(!seen.refreshEnabled);
    QCOMPARE(seen.panel, QString("Continuous Update Mode. Press Cancel to stop"));
    // Everything but Counter Setup, which stays open for the dummy fish.
    QCOMPARE(seen.menus, (Menus{false, false, false, true, false, false, false}));

    QCOMPARE(seen.upCount1, QString("6"));
    QCOMPARE(seen.eventCount, 12);
    QCOMPARE(seen.downCount2, QString("8"));
    QCOMPARE(seen.sAtt1, QString("1"));
    QCOMPARE(seen.wAtt4, QString("88"));
    QCOMPARE(seen.cond, QString("321"));
    // Stamped with the counter's clock as last reported: the read's, then the "T" line's.
    const QString readStamp = status::TfStatus::eventStamp(readClock);
    QVERIFY2(readStamp.contains(readClock.time().toString("HH:mm:ss")), qPrintable(readStamp));
    const QString lateStamp = status::TfStatus::eventStamp(stampClock);
    QVERIFY2(lateStamp.contains("10:11:12"), qPrintable(lateStamp));
    QCOMPARE(seen.lines, QStringList({readStamp + " Fish, Channel 1 Up", readStamp + " Fish, Channel 2 Down",
                                      readStamp + " Cond. and Atten. Change", lateStamp + " Fish, Channel 3 Up"}));

    // "&Cancel": "i0", then a full read, whose replies the waiting loop left alone.
    QCOMPARE(s.settledCommands(), QStringList({"i1", "i0"}) + statusRead());
    QCOMPARE(messageBoxes().recordedTexts(), QStringList());
    QVERIFY(s.control<QPlainTextEdit>("memLastEvent")->isHidden());
    QCOMPARE(memoLines(s), QStringList());
    QVERIFY(!s.button("bbtnContUpd")->isHidden());
    QVERIFY(s.button("bbtnContUpd")->isEnabled());
    QVERIFY(s.button("bbtnChange")->isEnabled());
    QVERIFY(!s.button("bbtnCancel")->isEnabled());
    QCOMPARE(menus(s), viewMenus);
    QCOMPARE(s.messagePanel(), QString());
    QVERIFY(!s.status->contUpdActive());
    // The window shows the fresh read: the counter itself counted none of those fish.
    QCOMPARE(s.text("eUpCnt1"), QString("5"));
    QCOMPARE(s.text("eSattCh1"), QString("12"));
}

void TestContinuousUpdate::malformedLinesAndOtherKinds()
{
    StatusSession s;
    QVERIFY(s.connect());
    QString sAttAfterBadLine;
    QStringList memoAfterBadLine{"not seen"};
    QDateTime clockAfterBadTime;
    const QDateTime readClock = counterStatus().dateTime;

    Script script;
    script.then([&] { return inUpdateMode(s); }, [&] { s.counterSays("C 1 2 3"); })
        .then([&] { return counterStatus().channel(2).sAtt == 3; },
              [&] {
                  // The numbers it had were taken; the display was not redone, no memo line.
                  sAttAfterBadLine = s.text("eSattCh1");
                  memoAfterBadLine = memoLines(s);
                  s.counterSays("T31/02/26 10:00:00");
                  s.counterSays("X");
              })
        .then([&] { return s.text("eSattCh1") == "1"; },
              [&] {
                  clockAfterBadTime = counterStatus().dateTime;
                  clickCancel(s);
              });
    runUpdate(s, script);
    QVERIFY(script.completed());
    QCOMPARE(counterStatus().channel(1).sAtt, 12);   // read again after the stop
    QCOMPARE(sAttAfterBadLine, QString("12"));
    QCOMPARE(memoAfterBadLine, QStringList());
    QCOMPARE(clockAfterBadTime, readClock);
    QVERIFY(logged(s, "update line dropped: C 1 2 3"));
    QVERIFY(logged(s, "update line dropped: T31/02/26 10:00:00"));
    QCOMPARE(messageBoxes().recordedTexts(), QStringList());
}

void TestContinuousUpdate::fishLineOfNoChannelIsRejected()
{
    StatusSession s;
    QVERIFY(s.connect());
    const CounterStatus before = counterStatus();
    CounterStatus afterBadLines;
    QStringList memo{"not seen"};

    Script script;
    script
        .then([&] { return inUpdateMode(s); },
              [&] {
                  s.counterSays("F5U 3");
                  s.counterSays("F0D 4");
                  s.counterSays("F:U 5");
                  s.counterSays("F");
                  s.counterSays("X");
              })
        .then([&] { return countLogged(s, "update line rejected") == 4; },
              [&] {
                  afterBadLines = counterStatus();
                  memo = memoLines(s);
                  clickCancel(s);
              });
    runUpdate(s, script);
    QVERIFY(script.completed());
    for (const char* line : {"F5U 3", "F0D 4", "F:U 5"})
        QVERIFY2(logged(s, QString("update line rejected, not a channel 1 to 4: ") + line), line);
    QCOMPARE(afterBadLines, before);
    QCOMPARE(memo, QStringList());
}

void TestContinuousUpdate::missingStartAnswerIsReportedAndTheModeRuns()
{
    StatusSession s;
    QVERIFY(s.connect());
    s.counter().addFault({sim::SimFault::NoReply, "i1", 1, 0});
    s.clearCommands();
    bool entered = false;
    Script script;
    script.then([&] { return inUpdateMode(s); },
                [&] {
                    entered = s.status->contUpdActive();
                    clickCancel(s);
                });
    runUpdate(s, script);
    QVERIFY(script.completed());
    QVERIFY(entered);
    QCOMPARE(messageBoxes().recorded(),
             (QList<app::RecordedMessage>{
                 {MessageKind::Error, "Error: Invalid Response from counter", false, false}}));
    QCOMPARE(s.settledCommands(), QStringList({"i1", "i0"}) + statusRead());
}

void TestContinuousUpdate::wrongStopAnswerIsReportedAndTheModeEnds()
{
    StatusSession s;
    QVERIFY(s.connect());
    s.counter().addFault({sim::SimFault::WrongLength, "i0", 1, 0});
    s.clearCommands();
    Script script;
    script.then([&] { return inUpdateMode(s); }, [&] { clickCancel(s); });
    runUpdate(s, script);
    QVERIFY(script.completed());
    QCOMPARE(messageBoxes().recordedTexts(), QStringList({"Error: Invalid Response from counter"}));
    QVERIFY(!s.status->contUpdActive());
    QVERIFY(s.control<QPlainTextEdit>("memLastEvent")->isHidden());
    QCOMPARE(s.settledCommands(), QStringList({"i1", "i0"}) + statusRead());
}

void TestContinuousUpdate::deadLineEndsTheMode()
{
    StatusSession s;
    QVERIFY(s.connect());
    s.clearCommands();
    Script script;
    script.then([&] { return inUpdateMode(s); }, [&] { s.line.pty.hangUp(); });
    // Should the loop not notice, "&Cancel" ends it and the test fails below.
    bool rescued = false;
    QTimer rescue;
    rescue.setSingleShot(true);
    QObject::connect(&rescue, &QTimer::timeout, [&] {
        rescued = s.status->contUpdActive();
        if (rescued)
            clickCancel(s);
    });
    rescue.start(10000);
    runUpdate(s, script);
    rescue.stop();
    QVERIFY(!rescued);
    QVERIFY(!s.status->contUpdActive());
    QVERIFY(!s.main->comPort().PortIsOpen());
    QVERIFY(s.control<QPlainTextEdit>("memLastEvent")->isHidden());
    QVERIFY(menuEnabled(s, "menuFile"));
    QVERIFY(menuEnabled(s, "menuConnect"));
    // Nothing could be said to the counter any more.
    QCOMPARE(s.commands(), QStringList({"i1"}));
    QTRY_COMPARE(messageBoxes().recorded().size(), 1);
    QVERIFY(messageBoxes().recordedTexts().first().contains("was lost"));
    QVERIFY(logged(s, "continuous update ended: the line is closed"));
}

void TestContinuousUpdate::fishJustBeforeTheModeReply_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("before UPDON") << "i1";
    QTest::newRow("before UPDOFF") << "i0";
}

void TestContinuousUpdate::fishJustBeforeTheModeReply()
{
    QFETCH(QString, command);
    StatusSession s;
    QVERIFY(s.connect());
    QObject::connect(&s.counter(), &sim::SimCounter::commandReceived, s.main, [&](const QString& received) {
        if (received == command)
            s.counterSays("F1U12");
    });
    QStringList memo;
    Script script;
    script.then([&] { return inUpdateMode(s); }, [&] {
        memo = memoLines(s);
        clickCancel(s);
    });
    runUpdate(s, script);
    QVERIFY(script.completed());
    // A routine start or stop, with the fish taken as a fish.
    QCOMPARE(messageBoxes().recorded(), QList<app::RecordedMessage>());
    QVERIFY(logged(s, "Rx  (unasked) F1U12"));
    QVERIFY(logged(s, command == "i1" ? "Rx  UPDON" : "Rx  UPDOFF"));
    if (command == "i1") {
        QCOMPARE(memo.size(), 1);
        QVERIFY(memo.first().endsWith("Fish, Channel 1 Up"));
    }
    QVERIFY(!s.status->contUpdActive());
}

// The program's Exit and the status window's own close box: neither closes anything nor
// says a word to the streaming counter while the mode runs.
void TestContinuousUpdate::closingWaitsForCancel_data()
{
    QTest::addColumn<bool>("program");
    QTest::newRow("program") << true;
    QTest::newRow("status window") << false;
}

void TestContinuousUpdate::closingWaitsForCancel()
{
    QFETCH(bool, program);
    StatusSession s;
    QVERIFY(s.connect());
    s.clearCommands();
    bool stillOpen = false;
    Script script;
    script.then([&] { return inUpdateMode(s); }, [&] {
        if (program)
            s.main->close();
        else
            s.status->close();
        // A hang-up queued by the close box would run here.
        QCoreApplication::processEvents();
        stillOpen = s.main->isVisible() && s.status->isVisible() && s.main->comPort().PortIsOpen()
                    && s.status->contUpdActive() && s.button("bbtnCancel")->isEnabled();
        clickCancel(s);
    });
    runUpdate(s, script);
    QVERIFY(stillOpen);
    QCOMPARE(messageBoxes().recordedTexts(),
             QStringList({"Continuous update is running. Press Cancel in the Status window to stop it "
                          "before closing the program."}));
    // No log-off went out into the stream.
    QCOMPARE(s.commands(), QStringList({"i1", "i0"}) + statusRead());
}

void TestContinuousUpdate::silentCounterLeavesTheProcessorIdle()
{
    StatusSession s;
    QVERIFY(s.connect());
    double cpu = -1;
    double wall = 0;
    QElapsedTimer clock;
    double cpuAtStart = 0;
    Script script;
    script
        .then([&] { return inUpdateMode(s); },
              [&] {
                  cpuAtStart = cpuSeconds();
                  clock.start();
              })
        .then([&] { return clock.isValid() && clock.elapsed() >= 2000; },
              [&] {
                  cpu = cpuSeconds() - cpuAtStart;
                  wall = clock.elapsed() / 1000.0;
                  clickCancel(s);
              });
    runUpdate(s, script);
    QVERIFY(script.completed());
    // A loop that spins would take most of a core; this one sleeps in its wait.
    QVERIFY2(cpu >= 0 && cpu < 0.25 * wall, qPrintable(QString("cpu %1 s in %2 s").arg(cpu).arg(wall)));
}

// The chart is there while the mode runs and gone after it; the run's lines are saved
// (a malformed one, one of no channel and one of another kind add nothing) until the next
// read, and a file that cannot be written is reported.
void TestContinuousUpdate::chartAndSessionFollowTheRun()
{
    StatusSession s;
    // The counter's own "T" line comes as its minute turns: not during this run.
    const QDateTime counterNow = QDateTime::currentDateTime().addSecs(kCounterClockOffsetSecs);
    s.counterState().clockOffsetSecs = kCounterClockOffsetSecs - (counterNow.time().second() - 5);
    QVERIFY(s.connect());
    auto* chart = s.status->findChild<status::LiveChart*>("liveChart");
    QVERIFY(chart);
    QAction* save = s.item("menuSaveSession");
    const bool saveBeforeRun = save->isEnabled();
    bool chartShown = false, saveDuringRun = false;

    Script script;
    script
        .then([&] { return inUpdateMode(s); },
              [&] {
                  chartShown = chart->isVisible();
                  saveDuringRun = save->isEnabled();
                  for (const char* line : {"T25/12/26 10:11:12", "F1U 12", "F2D 13", "C 1 2 3 4 5 6 7 88 321",
                                           "C 1 2 3", "F5U 3", "X", "T25/12/26 10:12:00", "F3U 14"})
                      s.counterSays(line);
              })
        .then([&] { return memoLines(s).size() == 4; }, [&] { clickCancel(s); });
    runUpdate(s, script);
    QVERIFY(script.completed());
    QVERIFY(!saveBeforeRun);
    QVERIFY(chartShown);
    QVERIFY(saveDuringRun);
    QVERIFY(chart->isHidden());

    // After the stop and its read, the run is still there to be saved.
    QVERIFY(save->isEnabled());
    QTemporaryDir folder;
    const QString path = folder.filePath("session.csv");
    messageBoxes().queueSaveFileName(path);
    save->trigger();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(),
             QByteArray("time,kind,channel,direction,events,sAtt1,wAtt1,sAtt2,wAtt2,sAtt3,wAtt3,sAtt4,wAtt4,"
                        "conductivity\r\n"
                        "2026-12-25 10:11:12,time,,,,,,,,,,,,\r\n"
                        "2026-12-25 10:11:12,fish,1,up,12,,,,,,,,,\r\n"
                        "2026-12-25 10:11:12,fish,2,down,13,,,,,,,,,\r\n"
                        "2026-12-25 10:11:12,conductivity,,,,1,2,3,4,5,6,7,88,321\r\n"
                        "2026-12-25 10:12:00,time,,,,,,,,,,,,\r\n"
                        "2026-12-25 10:12:00,fish,3,up,14,,,,,,,,,\r\n"));
    QCOMPARE(messageBoxes().recordedTexts(), QStringList());

    const QString unwritable = folder.filePath("no such folder/session.csv");
    messageBoxes().queueSaveFileName(unwritable);
    save->trigger();
    QCOMPARE(messageBoxes().recorded().size(), 1);
    QVERIFY2(messageBoxes().recordedTexts().first().startsWith("Cannot save the session to "
                                                               + QDir::toNativeSeparators(unwritable) + ": "),
             qPrintable(messageBoxes().recordedTexts().first()));

    // The next read ends it.
    s.button("bbtnRefresh")->click();
    QVERIFY(!save->isEnabled());
}

KFC_APP_TEST_MAIN(TestContinuousUpdate)
#include "test_contupdate.moc"
