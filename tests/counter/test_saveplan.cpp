// The save plan as a table: a counter state and one change of the operator's, and the
// exact commands that go out (with what follows each that is not a plain send).

#include "counter/saveplan.h"
#include "support/editedsettings.h"

#include <QTest>

#include <functional>

using namespace kfc;
using kfc::test::shownFor;

namespace {

using Change = std::function<void(CounterStatus&, EditedSettings&)>;

CounterStatus readCounter()
{
    CounterStatus s;
    s.dateTime = QDateTime(QDate(2026, 12, 7), QTime(11, 30, 45), Qt::UTC);
    s.version = 8.9;
    s.eventsEnabled = s.eventLogging = s.bufferType = 1;
    s.maxFishSize = 100;
    s.lengthComp = 100;
    s.condProfile = {100, 100, 95, 90, 85, 80, 75, 70};
    for (int n = 1; n <= kChannelCount; ++n)
        s.channel(n) = {1, 20, 20, 0, 0, 1, 0, 2, 0, 3, 0, 10, 10, 10, 0, 12, 34};
    return s;
}

// The plan's sends, each followed by what is done after it when that is more than sending.
QStringList described(const std::vector<SaveStep>& plan)
{
    QStringList out;
    for (const SaveStep& step : plan) {
        if (step.kind == SaveStep::Kind::Fail)
            out << "fail: " + step.progress;
        if (step.kind != SaveStep::Kind::Send)
            continue;
        out << step.command;
        if (step.after == SaveStep::After::SettleAndClear)
            out.last() += " +settle";
        if (step.after == SaveStep::After::DropTwoReplies)
            out.last() += " +2 lines";
    }
    return out;
}

EditedChannel& ch(EditedSettings& e, int n) { return e.channels[size_t(n - 1)]; }

} // namespace

Q_DECLARE_METATYPE(Change)

class TestSavePlan : public QObject {
    Q_OBJECT
private slots:
    void commands_data();
    void commands();
};

void TestSavePlan::commands_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QStringList>("sent");
    auto row = [](const char* name, Change change, QStringList sent) { QTest::newRow(name) << change << sent; };
    row("nothing", [](CounterStatus&, EditedSettings&) {}, {});
    row("8.8: unreported settings shown as 127 and 20", [](CounterStatus& s, EditedSettings&) {
        s.version = 8.8; s.maxFishSize = s.lengthComp = 0; }, {});
    row("8.8: length compensation changed", [](CounterStatus& s, EditedSettings& e) {
        s.version = 8.8; e.lengthComp = 250; }, {});
    row("fish size of 120 shows 127", [](CounterStatus& s, EditedSettings&) { s.maxFishSize = 120; }, {"E81"});
    row("date, day below 10", [](CounterStatus&, EditedSettings& e) { e.date = QDate(2026, 1, 5); }, {"3A260105"});
    row("date, same day", [](CounterStatus&, EditedSettings& e) { e.date = QDate(2026, 12, 7); }, {});
    row("time, hour below 10", [](CounterStatus&, EditedSettings& e) { e.time = QTime(8, 3, 5); }, {"4A080305"});
    row("printer", [](CounterStatus&, EditedSettings& e) { e.printer = 1; }, {"7A"});
    row("events on, relay and logging", [](CounterStatus& s, EditedSettings& e) {
        s.eventsEnabled = 0; e.events = 1; e.relay = 1; e.logging = 0; }, {"8AAA +settle"});
    row("events off", [](CounterStatus& s, EditedSettings& e) { s.eventsEnabled = e.events = 0; }, {"8C +settle"});
    row("buffer circular", [](CounterStatus& s, EditedSettings& e) { s.bufferType = 0; e.buffer = 1; }, {"bc"});
    row("buffer linear", [](CounterStatus&, EditedSettings& e) { e.buffer = 0; }, {"bn"});
    row("fish size 100", [](CounterStatus& s, EditedSettings& e) { s.maxFishSize = 127; e.maxSize = 0; }, {"E80"});
    row("algorithm slow", [](CounterStatus& s, EditedSettings& e) { s.algorithm = 1; e.algorithm = 0; }, {"EE0"});
    row("length compensation below 100", [](CounterStatus&, EditedSettings& e) { e.lengthComp = 20; }, {"E4020"});
    row("default profile", [](CounterStatus&, EditedSettings& e) { e.profileType = "D"; }, {"E6D"});
    row("default after manual", [](CounterStatus& s, EditedSettings& e) {
        s.condProfileType = "N"; e.profileType = "D"; }, {"E6D"});
    row("manual, one gain", [](CounterStatus&, EditedSettings& e) { e.profileType = "N"; e.gains[7] = "5"; },
        {"E6N100100095090085080075005"});
    row("manual, bad gain stops", [](CounterStatus&, EditedSettings& e) {
        e.printer = 1; e.profileType = "N"; e.gains[2] = "x"; ch(e, 1).upThreshold = 5; },
        {"7A", "fail: 'x' is not a valid integer value"});
    row("channel off: only its switch", [](CounterStatus&, EditedSettings& e) {
        ch(e, 2).enabled = false; ch(e, 2).upThreshold = 5; }, {"52A"});
    row("channel on with its settings", [](CounterStatus& s, EditedSettings& e) {
        s.channel(3).enabled = 0; ch(e, 3).enabled = true; ch(e, 3).downThreshold = 7; }, {"53A", "03A2007"});
    row("relays of 10 and more, time of 100 and more", [](CounterStatus&, EditedSettings& e) {
        ch(e, 1).upRelay1 = 10; ch(e, 1).upRelay2 = 12; ch(e, 1).relayTime = 150; },
        {"611A1012150", "621A02D150"});
    row("event relay 2 to none", [](CounterStatus& s, EditedSettings& e) {
        s.channel(4).eventRelay2 = 5; ch(e, 4).eventRelay2 = 0; }, {"634A03D010"});
    row("graph", [](CounterStatus&, EditedSettings& e) { ch(e, 2).graph = true; }, {"E72A +2 lines"});
}

void TestSavePlan::commands()
{
    QFETCH(Change, change);
    // The change sets the counter's state, which the window shows, then the operator's edit.
    CounterStatus status = readCounter();
    EditedSettings ignored;
    change(status, ignored);
    EditedSettings edited = shownFor(status);
    change(status, edited);
    const std::vector<SaveStep> plan = planSave(status, edited);
    QTEST(described(plan), "sent");
    // Every plan that runs to its end is framed by the same two progress texts.
    QCOMPARE(plan.front().progress, QString("Saving Counter Changes. Please Wait..."));
    QVERIFY(plan.back().kind == SaveStep::Kind::Fail || plan.back().progress.isEmpty());
}

QTEST_GUILESS_MAIN(TestSavePlan)
#include "test_saveplan.moc"
