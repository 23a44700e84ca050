// Every counter dialogue, and the modem's dial, against a simulated counter (or modem)
// whose replies are spoiled one at a time, each in every way a line can spoil them. Every
// cell of the matrix must end: with the right result, or with a failure the user is told
// of in words that hold no raw control bytes, or with the line reported lost; never with a
// wrong result passed off as success, and never with the line still held.

#include "counter/contupdate.h"
#include "counter/counterstatus.h"
#include "counter/calibration.h"
#include "counter/download.h"
#include "counter/password.h"
#include "counter/save.h"
#include "counter/statusformat.h"
#include "counter/updateline.h"
#include "link/comport.h"
#include "link/errors.h"
#include "link/hooks.h"
#include "link/link.h"
#include "link/modemdial.h"
#include "link/untrusted.h"
#include "sim/simcounter.h"
#include "sim/simmodem.h"
#include "support/editedsettings.h"
#include "support/fakeportdevice.h"

#include <QJsonObject>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

using namespace kfc;

namespace {

enum class Fault { Silence, Empty, OneShort, OneTooMany, ControlBytes, Letters, Flood, NoCr, LineDies };
constexpr Fault kFaults[] = {Fault::Silence,      Fault::Empty,   Fault::OneShort, Fault::OneTooMany, Fault::ControlBytes,
                             Fault::Letters,      Fault::Flood,   Fault::NoCr,     Fault::LineDies};
constexpr const char* kFaultNames[] = {"silence", "empty",   "one short", "one more", "ctl bytes",
                                       "letters", "2000 B", "no CR",     "line dies"};

// A reply's bytes as the line spoils them. The text is what comes before its closing CR
// (and LF); a modem's leading CR LF stays in front of it.
QByteArray spoiled(const QByteArray& reply, Fault fault)
{
    qsizetype end = reply.size();
    while (end > 0 && (reply[end - 1] == '\r' || reply[end - 1] == '\n'))
        --end;
    qsizetype start = 0;
    while (start < end && (reply[start] == '\r' || reply[start] == '\n'))
        ++start;
    const QByteArray head = reply.left(start), tail = end < reply.size() ? reply.mid(end) : QByteArray("\r");
    QByteArray text = reply.mid(start, end - start);
    switch (fault) {
    case Fault::Silence:
    case Fault::LineDies:
        return {};
    case Fault::Empty:
        return tail;
    case Fault::OneShort:
        text.chop(1);
        break;
    case Fault::OneTooMany:
        text += '7';
        break;
    case Fault::ControlBytes:
        text.replace(0, std::min<qsizetype>(5, text.size()), QByteArray("\x00\x7f\xff\x02\x03", 5).left(text.size()));
        break;
    case Fault::Letters:
        for (char& c : text)
            if (c >= '0' && c <= '9')
                c = char('A' + (c - '0'));
        break;
    case Fault::Flood:
        text = QByteArray(2000 - text.size(), '5') + text;
        break;
    case Fault::NoCr:
        return head + text;
    }
    return head + text + tail;
}

// The line between the program's port and a simulated counter or modem. It counts the
// replies that come back, and spoils the one a cell names.
class SpoilingLine : public test::FakePortDevice {
public:
    std::function<void(const QByteArray&)> toPeer;
    int replies = 0;
    std::optional<int> target;
    Fault fault = Fault::Silence;
    int frames = 0;              // commands the program sent
    int framesAtTarget = -1;     // ... when the spoiled reply came

    SpoilingLine() { onFrame = [this](const QByteArray&) { ++frames; }; }

    bool write(const QByteArray& data) override
    {
        if (!FakePortDevice::write(data))
            return false;
        if (toPeer)
            toPeer(data);
        return true;
    }
    void fromPeer(const QByteArray& reply, int delayMs)
    {
        if (target != replies++) {
            later(delayMs, [this, reply] { feed(reply); });
            return;
        }
        framesAtTarget = frames;
        if (fault == Fault::LineDies) {
            // Half the reply gets through; the device goes a moment later.
            later(delayMs, [this, reply] { feed(reply.left(reply.size() / 2)); });
            later(delayMs + 5, [this] { die(); });
            return;
        }
        const QByteArray bytes = spoiled(reply, fault);
        if (!bytes.isEmpty())
            later(delayMs, [this, bytes] { feed(bytes); });
    }

private:
    void later(int delayMs, std::function<void()> action)
    {
        QTimer::singleShot(delayMs, this, [this, action = std::move(action)] {
            if (isOpen())
                action();
        });
    }
};

// What a dialogue gave: whether it says it succeeded, and whether what it gave is right.
struct Outcome {
    bool succeeded = false;
    bool right = false;
};

// One cell's world: the simulated counter and modem, and the program's port and link on
// the spoiling line.
struct Bench {
    sim::SimCounter counter;
    sim::SimModem modem;
    SpoilingLine* line = nullptr;
    std::unique_ptr<ComPort> port;
    std::unique_ptr<Link> link;
    QStringList messages;   // what the user was shown, in order
    CounterStatus record;   // the last status read, for a save

    explicit Bench(bool toModem)
    {
        auto owned = std::make_unique<SpoilingLine>();
        line = owned.get();
        port = std::make_unique<ComPort>(std::move(owned));
        port->portNames().setOverride(port->settings.comNumber, QStringLiteral("/dev/null"));
        port->openQuietly(nullptr);
        link = std::make_unique<Link>(*port);
        Timing& t = link->timing;
        t = Timing::shrunk();
        t.settleMs = t.byteGapMs = t.loggedOnSettleMs = 0;
        t.replyTimeoutMs = 150;
        t.eventFlagsSettleMs = 400;   // the counter answers the flags after 300 ms
        t.modemDialTimeoutMs = 400;
        modem.setRingMs(20);
        if (toModem) {
            line->toPeer = [this](const QByteArray& bytes) { modem.receive(bytes); };
            QObject::connect(&modem, &sim::SimModem::send, line, &SpoilingLine::fromPeer);
        } else {
            line->toPeer = [this](const QByteArray& bytes) { counter.receive(bytes); };
            QObject::connect(&counter, &sim::SimCounter::send, line, &SpoilingLine::fromPeer);
        }
        hooks().showMessage = [this](MessageKind, const QString& text) { messages << text; };
        hooks().showProgress = [](const QString&) {};
    }
    ~Bench() { hooks() = m_hooks; }

private:
    const LinkHooks m_hooks = hooks();
};

// One dialogue of the program. prepare sets the counter up (its replies are not counted);
// run is the dialogue itself. A dialogue that may fail without a word (the probe test: no
// reply means no automatic calibration) says so.
struct Dialogue {
    const char* name;
    std::function<void(Bench&)> prepare;
    std::function<Outcome(Bench&)> run;
    bool mayFailQuietly = false;
    bool toModem = false;   // the modem's dial: a failed call closes the port
};

// The record without the counter's clock, which moves on, and without the version text:
// that is the free text at the end of the status line, shown as the counter sent it.
QJsonObject withoutClock(const CounterStatus& status)
{
    QJsonObject json = counterStatusToJson(status);
    json.remove(QStringLiteral("dateTime"));
    json.remove(QStringLiteral("versionText"));
    return json;
}

// The record the simulated counter's status read gives over an unspoiled line, with the
// conductivity given.
QJsonObject referenceRecord(qint32 conductivity)
{
    static const QJsonObject read = [] {
        Bench bench(false);
        CounterStatus status;
        ReadCounterStatus(*bench.link, status);
        return withoutClock(status);
    }();
    QJsonObject json = read;
    json[QStringLiteral("conductivity")] = conductivity;
    return json;
}

constexpr qint32 kOldConductivity = 777;

Outcome statusRead(Bench& b)
{
    CounterStatus status;
    status.conductivity = kOldConductivity;
    const bool ok = ReadCounterStatus(*b.link, status);
    // The conductivity alone may fail, with its own error box; it then keeps its old value.
    const qint32 expected = b.messages.isEmpty() ? b.counter.state.conductivity : kOldConductivity;
    return {ok, ok && withoutClock(status) == referenceRecord(expected)};
}

Outcome weirRead(Bench& b)
{
    WeirDimensions weir;
    const bool ok = ReadWeirDimensions(*b.link, weir);
    bool right = true;
    for (int n = 1; n <= kChannelCount; ++n)
        right = right && weir.channel(n).length == b.counter.state.weirLength[size_t(n - 1)]
                && weir.channel(n).depth == b.counter.state.weirDepth[size_t(n - 1)];
    return {ok, ok && right};
}

// A save of three changes: a threshold, the event flags (answered late) and a graph (two
// reply lines).
Outcome save(Bench& b)
{
    CounterStatus& status = b.record;
    EditedSettings edited = test::shownFor(status);
    edited.channels[0].upThreshold = 33;
    edited.events = 1 - status.eventsEnabled;
    edited.channels[1].graph = true;
    RunSave(*b.link, status, planSave(status, edited));
    const sim::SimState& s = b.counter.state;
    return {true, s.channels[0].upThreshold == 33 && s.eventsEnabled == edited.events && s.channels[1].graphEnabled == 1};
}

Outcome download(Bench& b)
{
    const QStringList events = b.counter.state.events;
    QStringList got;
    const int count = RunDownload(*b.link, QString::number(events.size()), [&](const QString& line) { got << line; });
    // The event lines are the counter's own: a spoiled one is copied as it came, but no
    // other line may suffer from it, and each line is counted once.
    const int spoilt = b.line->target.value_or(-1);
    bool right = count == got.size() && count == events.size();
    for (int i = 0; right && i < count; ++i)
        right = i == spoilt || got[i] == events[i];
    if (count < events.size())
        b.messages << MissingEventsText(count, int(events.size()));
    return {count == events.size(), right};
}

Outcome dial(Bench& b)
{
    ModemDialer dialer(*b.port);
    QString said;
    dialer.progress = [&](const QString& text) { said = text; };
    const bool connected = dialer.dial(QStringLiteral("5551"), b.link->timing.modemDialTimeoutMs);
    if (!connected)
        b.messages << said;
    return {connected, connected && b.modem.online()};
}

const auto noPreparation = [](Bench&) {};
const auto ignoreUpdateLines = [](const QString& line) { return IsUpdateLine(line); };

QList<Dialogue> dialogues()
{
    return {
        {"status read", noPreparation, statusRead},
        {"conductivity",
         noPreparation,
         [](Bench& b) {
             const QString text = ReadConductivity(*b.link);
             return Outcome{!text.isEmpty(), text == QString::number(b.counter.state.conductivity)};
         }},
        {"weir read", noPreparation, weirRead},
        {"logon",
         [](Bench& b) { b.counter.state.password = "4321"; },
         [](Bench& b) {
             const bool ok = CounterLogon(*b.link, "4321");
             return Outcome{ok, b.counter.state.loggedOn};
         }},
        {"set password",
         noPreparation,
         [](Bench& b) {
             const bool ok = SetCounterPassword(*b.link, "5678");
             return Outcome{ok, b.counter.state.password == "5678"};
         }},
        {"change password",
         [](Bench& b) { b.counter.state.password = "4321", b.counter.state.loggedOn = true; },
         [](Bench& b) {
             const bool ok = SetCounterPassword(*b.link, "5678");
             return Outcome{ok, b.counter.state.password == "5678"};
         }},
        {"log off",
         [](Bench& b) { b.counter.state.password = "4321", b.counter.state.loggedOn = true; },
         [](Bench& b) {
             const bool ok = CounterLogoff(*b.link);
             return Outcome{ok, !b.counter.state.loggedOn};
         }},
        {"save", [](Bench& b) { ReadCounterStatus(*b.link, b.record); }, save},
        {"update on",
         noPreparation,
         [](Bench& b) {
             const bool ok = SwitchContinuousUpdate(*b.link, true, ignoreUpdateLines);
             return Outcome{ok, b.counter.state.continuousUpdate};
         }},
        {"update off",
         [](Bench& b) { b.counter.state.continuousUpdate = true; },
         [](Bench& b) {
             const bool ok = SwitchContinuousUpdate(*b.link, false, ignoreUpdateLines);
             return Outcome{ok, !b.counter.state.continuousUpdate};
         }},
        {"download", [](Bench& b) { b.counter.logPastEvents(3); }, download},
        {"probe test",
         noPreparation,
         [](Bench& b) {
             const bool ok = ProbeCanCalibrateItself(*b.link);
             return Outcome{ok, b.counter.state.boardOk};
         },
         true},
        {"modem dial", noPreparation, dial, false, true},
    };
}

// Runs one cell (no fault when target is empty). Gives its mark: '.' right result, 'm' a
// failure told in words, 'q' a quiet failure the dialogue may have, 'x' the line lost and
// reported; anything else is the reason the cell fails.
QString runCell(const Dialogue& d, std::optional<int> target, Fault fault, int* replies = nullptr)
{
    Bench b(d.toModem);
    d.prepare(b);
    b.line->replies = 0;
    b.line->target = target;
    b.line->fault = fault;
    Outcome outcome;
    QString thrown;
    bool lost = false;
    try {
        outcome = d.run(b);
    } catch (const LineLostError&) {
        lost = true;
    } catch (const LinkError& e) {
        // What the general error handler would show.
        thrown = e.text();
    }
    if (replies)
        *replies = b.line->replies;
    if (b.link->busy())
        return QStringLiteral("the line is still held");
    const QString told = thrown.isEmpty() ? b.messages.join(QLatin1Char('|')) : thrown;
    // printable() changes a text only where it holds control bytes.
    if (printable(told) != told)
        return QStringLiteral("raw control bytes in \"%1\"").arg(printable(told));
    if (lost || (!b.port->PortIsOpen() && (outcome.succeeded || !d.toModem))) {
        if (fault != Fault::LineDies)
            return QStringLiteral("the line was taken for lost");
        return outcome.succeeded && !outcome.right ? QStringLiteral("success on a dead line") : QStringLiteral("x");
    }
    if (outcome.succeeded)
        return outcome.right ? QStringLiteral(".") : QStringLiteral("wrong result passed off as success");
    // A dialogue that a reply has failed stops there: the counter is not sent another command.
    if (target && b.line->frames != b.line->framesAtTarget)
        return QStringLiteral("%1 command(s) sent after the failing reply").arg(b.line->frames - b.line->framesAtTarget);
    if (!told.isEmpty())
        return QStringLiteral("m");
    return d.mayFailQuietly ? QStringLiteral("q") : QStringLiteral("failed without a word to the user");
}

} // namespace

class TestFaultMatrix : public QObject {
    Q_OBJECT

private slots:
    void everyDialogueSurvivesEveryFault();
};

// The matrix is printed a row at a time, so that a cell that hangs is found by the rows
// before it.
void TestFaultMatrix::everyDialogueSurvivesEveryFault()
{
    QStringList failures;
    QString header = QString().leftJustified(24);
    for (const char* name : kFaultNames)
        header += QString::fromLatin1(name).rightJustified(10);
    qInfo().noquote() << header;
    int cells = 0, rows = 0;
    const QList<Dialogue> all = dialogues();
    for (const Dialogue& d : all) {
        int replies = 0;
        const QString clean = runCell(d, std::nullopt, Fault::Silence, &replies);
        if (clean != QLatin1String("."))
            failures << QStringLiteral("%1, unspoiled: %2").arg(QLatin1String(d.name), clean);
        for (int k = 0; k < replies; ++k, ++rows) {
            const QString where = QStringLiteral("%1 reply %2").arg(QLatin1String(d.name)).arg(k + 1);
            QString row = where.leftJustified(24);
            for (size_t f = 0; f < std::size(kFaults); ++f, ++cells) {
                const QString mark = runCell(d, k, kFaults[f]);
                if (mark.size() > 1)
                    failures << QStringLiteral("%1, %2: %3").arg(where, QLatin1String(kFaultNames[f]), mark);
                row += (mark.size() > 1 ? QStringLiteral("FAIL") : mark).rightJustified(10);
            }
            qInfo().noquote() << row;
        }
    }
    qInfo().noquote() << QStringLiteral("Fault matrix: %1 dialogues x %2 faults, %3 cells over %4 replies "
                                        "(. right, m told, q quiet failure allowed, x line lost)")
                             .arg(all.size()).arg(std::size(kFaults)).arg(cells).arg(rows);
    for (const QString& failure : failures)
        qInfo().noquote() << failure;
    QVERIFY2(failures.isEmpty(), qPrintable(QStringLiteral("%1 cells failed").arg(failures.size())));
}

QTEST_GUILESS_MAIN(TestFaultMatrix)
#include "test_faultmatrix.moc"
