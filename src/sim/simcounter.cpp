#include "simcounter.h"

#include <QRandomGenerator>

#include <algorithm>

namespace kfc::sim {

namespace {

constexpr char stx = 0x02;
constexpr char etx = 0x03;
constexpr char ack = 0x06;
constexpr char cr = 13;
// A PC command is at most 254 characters; anything much longer is line noise and must not
// grow the frame without bound.
constexpr qsizetype maxFrameBytes = 1024;
constexpr int eightOkDelayMs = 300;
const QString clearingPassword = QStringLiteral("8642");

// A field of the given width: the counter never lets a value spill over its column, since
// the PC checks every block by its exact length.
QString field(int value, int width)
{
    int limit = 1;
    for (int i = 0; i < width; ++i)
        limit *= 10;
    return QStringLiteral("%1").arg(std::clamp(value, 0, limit - 1), width, 10, QLatin1Char('0'));
}

QString count(int value) { return field(value % 100000, 5); }

int toInt(const QString& digits) { return digits.toInt(); }

void toggle(int& flag) { flag = flag ? 0 : 1; }

QDate dateFromYymmdd(const QString& text)
{
    const int yy = toInt(text.left(2));
    return QDate(yy < 50 ? 2000 + yy : 1900 + yy, toInt(text.mid(2, 2)), toInt(text.mid(4, 2)));
}

QTime timeFromHhnnss(const QString& text)
{
    return QTime(toInt(text.left(2)), toInt(text.mid(2, 2)), toInt(text.mid(4, 2)));
}

QString clockText(const QDateTime& clock)
{
    return clock.toString(QStringLiteral("dd/MM/yy hh:mm:ss"));
}

} // namespace

qint64 monotonicNs()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return clock.nsecsElapsed();
}

SimCounter::SimCounter(QObject* parent) : QObject(parent)
{
    addRules();
    connect(&m_fishTimer, &QTimer::timeout, this, &SimCounter::fishTick);
    m_clockTimer.setSingleShot(true);
    m_clockTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_clockTimer, &QTimer::timeout, this, &SimCounter::sendClockLine);
}

// ---- Frames -------------------------------------------------------------------------

void SimCounter::receive(const QByteArray& bytes)
{
    for (const char byte : bytes) {
        if (byte == stx) {
            m_inFrame = true;
            m_frame.clear();
        } else if (!m_inFrame) {
            continue;
        } else if (byte == etx) {
            m_inFrame = false;
            handleCommand(QString::fromLatin1(m_frame));
        } else if (m_frame.size() < maxFrameBytes) {
            m_frame.append(byte);
        } else {
            m_inFrame = false;   // overlong: drop it and wait for the next STX
        }
    }
}

void SimCounter::handleCommand(const QString& command)
{
    m_command = command;
    m_updatingAtCommand = state.continuousUpdate;
    m_commands.append(command);
    m_commandTimesNs.append(monotonicNs());
    emit commandReceived(command);

    if (SimFault drop; takeFault(&drop, true)) {
        emit lineDropped();
        return;
    }
    if (m_expectPassword) {
        m_expectPassword = false;
        logonAttempt(command);
        return;
    }
    if (command == QLatin1Char(ack)) {
        answerAck();
        return;
    }
    m_pending = Pending::None;   // any other command ends a transfer
    for (const Rule& rule : std::as_const(m_rules)) {
        const QRegularExpressionMatch match = rule.pattern.match(command);
        if (match.hasMatch()) {
            rule.handler(match.capturedTexts().mid(1));
            return;
        }
    }
    reply(QStringLiteral("?"));
}

void SimCounter::on(const char* pattern, Handler handler)
{
    const QString anchored = QRegularExpression::anchoredPattern(QLatin1String(pattern));
    m_rules.append({QRegularExpression(anchored), std::move(handler)});
}

// ---- Commands -------------------------------------------------------------------------
// First match wins, so the specific forms stand before the general ones ("9D" before "9").

void SimCounter::addRules()
{
    addStatusRules();
    addPasswordRules();
    addSettingRules();
    addChannelRules();
    addMaintenanceRules();
}

void SimCounter::addStatusRules()
{
    // The transfer state is set before the reply goes out, since a hang-up fault in the
    // reply ends the session there and then.
    on("a", [this](const QStringList&) {
        m_pending = Pending::Channels;
        m_pendingBlock = 1;
        reply(statusReply());
    });
    on("f", [this](const QStringList&) {
        if (state.version >= 8.9 - 1e-9)
            m_pending = Pending::OtherStatus;
        reply(profileBlock());
    });
    on("g", [this](const QStringList&) { reply(field(state.conductivity, 3)); });
    on("E5T([1-4])", [this](const QStringList& a) {
        const int i = toInt(a[0]) - 1;
        reply(field(state.weirLength[i], 4) + field(state.weirDepth[i], 3));
    });
    on("E5S([1-4])(\\d{4})(\\d{3})", [this](const QStringList& a) {
        const int i = toInt(a[0]) - 1;
        state.weirLength[i] = toInt(a[1]);
        state.weirDepth[i] = toInt(a[2]);
    });
    on("i([01])", [this](const QStringList& a) { setContinuousUpdate(a[0] == QLatin1String("1")); });
    on("d(\\d{5,9})", [this](const QStringList& a) { startDownload(toInt(a[0])); });
    on("E3T", [this](const QStringList&) {
        reply(state.boardOk ? QStringLiteral("BOARDOK") : QStringLiteral("NOBOARD"));
    });
    on("E3S(\\d{3})?", [this](const QStringList& a) {
        if (!a.value(0).isEmpty())
            state.probeValue = toInt(a[0]);
    });
    on("[CD]", [](const QStringList&) {});   // probe in air / calibration aborted
}

void SimCounter::addPasswordRules()
{
    on("9D", [this](const QStringList&) {
        if (state.password.isEmpty())
            reply(QStringLiteral("NEW"));
        else
            reply(state.loggedOn ? QStringLiteral("1OR2") : QStringLiteral("OLD"));
    });
    on("9", [this](const QStringList&) {
        reply(QStringLiteral("PASSWORD"));
        m_expectPassword = true;
    });
    on("92", [this](const QStringList&) { state.loggedOn = false; });
    on("9(.+)", [this](const QStringList& a) { setPassword(a[0]); });
    on("e", [this](const QStringList&) { endSession(); });
}

void SimCounter::addSettingRules()
{
    on("3A(\\d{6})", [this](const QStringList& a) {
        if (!setClock(dateFromYymmdd(a[0]), counterClock().time()))
            reply(QStringLiteral("?"));
    });
    on("4A(\\d{6})", [this](const QStringList& a) {
        if (!setClock(counterClock().date(), timeFromHhnnss(a[0])))
            reply(QStringLiteral("?"));
    });
    on("7A", [this](const QStringList&) { toggle(state.printerEnabled); });
    on("8([AC]{1,3})", [this](const QStringList& a) {
        int* flags[] = {&state.eventsEnabled, &state.relayMode, &state.eventLogging};
        for (int i = 0; i < a[0].size(); ++i)
            if (a[0][i] == QLatin1Char('A'))
                toggle(*flags[i]);
        reply(QStringLiteral("OK"), eightOkDelayMs);
    });
    on("b([nc])", [this](const QStringList& a) { state.bufferType = a[0] == QLatin1String("c") ? 1 : 0; });
    on("E8([01])", [this](const QStringList& a) { state.maxFishSize = a[0] == QLatin1String("1") ? 127 : 100; });
    on("EE([01])", [this](const QStringList& a) { state.algorithm = toInt(a[0]); });
    on("E4(\\d{3})", [this](const QStringList& a) { state.lengthComp = toInt(a[0]); });
    on("E6N(\\d{24})", [this](const QStringList& a) {
        for (int i = 0; i < 8; ++i)
            state.condProfile[i] = toInt(a[0].mid(i * 3, 3));
    });
    on("E6([DF])", [this](const QStringList& a) {
        if (a[0] == QLatin1String("D"))
            state.condProfile = {100, 100, 95, 90, 85, 80, 75, 70};
        else
            state.condProfile.fill(100);
    });
    on("EC([01])", [this](const QStringList& a) { state.contOutput = toInt(a[0]); });
    on("ED([01])", [this](const QStringList& a) { state.dump = toInt(a[0]); });
    on("B([12])(\\d{5})", [this](const QStringList& a) {
        const int baud = toInt(a[1]);
        if (a[0] == QLatin1String("2")) {
            state.printerBaud = baud;
        } else {
            state.commsBaud = baud;
            emit commsBaudChanged(baud);
        }
    });
}

void SimCounter::addChannelRules()
{
    on("5([1-4])A", [this](const QStringList& a) { toggle(state.channels[toInt(a[0]) - 1].enabled); });
    on("0([1-4])A(\\d{2})(\\d{2})", [this](const QStringList& a) {
        SimChannel& c = state.channels[toInt(a[0]) - 1];
        c.upThreshold = toInt(a[1]);
        c.downThreshold = toInt(a[2]);
    });
    on("6([1-3])([1-4])A(\\d{2})(\\d{2}|D)(\\d{3})", [this](const QStringList& a) {
        setRelays(toInt(a[0]), toInt(a[1]), toInt(a[2]), a[3] == QLatin1String("D") ? 0 : toInt(a[3]),
                  toInt(a[4]));
    });
    on("E7([1-4])A", [this](const QStringList& a) {
        toggle(state.channels[toInt(a[0]) - 1].graphEnabled);
        if (state.graphSecondLineDelayMs <= 0) {
            reply(QStringLiteral("GRAPH\rOK"));
            return;
        }
        reply(QStringLiteral("GRAPH"));
        reply(QStringLiteral("OK"), state.graphSecondLineDelayMs);
    });
    on("2([1-4])d([12])", [this](const QStringList& a) { passFish(toInt(a[0]), a[1] == QLatin1String("1")); });
}

void SimCounter::addMaintenanceRules()
{
    on("1C", [this](const QStringList&) {
        for (SimChannel& c : state.channels)
            c.upCount = c.downCount = 0;
    });
    on("c", [this](const QStringList&) { state.events.clear(); });
    on("E1", [](const QStringList&) {});   // recalibration: nothing to simulate
    on("EA([01])", [this](const QStringList& a) { state.displayMode = toInt(a[0]); });
}

void SimCounter::answerAck()
{
    switch (m_pending) {
    case Pending::None:
        return;
    case Pending::Channels: {
        const int channel = m_pendingBlock++;
        if (m_pendingBlock > 4)
            m_pending = Pending::None;
        reply(channelBlock(channel));
        return;
    }
    case Pending::OtherStatus:
        m_pending = Pending::None;
        reply(otherStatusBlock());
        return;
    case Pending::Events:
        if (m_pendingBlock < m_transfer.size()) {
            const QString line = m_transfer.at(m_pendingBlock++);
            reply(line);
        } else {
            m_pending = Pending::None;
            m_transfer.clear();
        }
        return;
    }
}

void SimCounter::logonAttempt(const QString& attempt)
{
    if (state.password.isEmpty() || attempt == state.password) {
        state.loggedOn = !state.password.isEmpty();
        reply(QStringLiteral("OK"));
    } else {
        reply(QStringLiteral("DENIED"));
    }
}

// "9"+p sets a password only when none is set; "91"+p changes it only when logged on.
// Anything else is refused without an answer, as the PC reads none.
void SimCounter::setPassword(const QString& argument)
{
    QString newPassword;
    if (state.password.isEmpty())
        newPassword = argument;
    else if (state.loggedOn && argument.size() > 1 && argument.startsWith(QLatin1Char('1')))
        newPassword = argument.mid(1);
    else
        return;
    const bool clearing = newPassword == clearingPassword;
    state.password = clearing ? QString() : newPassword;
    state.loggedOn = !clearing;
}

void SimCounter::endSession()
{
    state.loggedOn = false;
    m_expectPassword = false;
    m_pending = Pending::None;
    m_transfer.clear();
    state.continuousUpdate = false;
    m_clockTimer.stop();
}

void SimCounter::setContinuousUpdate(bool on)
{
    state.continuousUpdate = on;
    reply(on ? QStringLiteral("UPDON") : QStringLiteral("UPDOFF"));
    m_lastClockMinute = counterClock().toSecsSinceEpoch() / 60;
    scheduleClockLine();
}

void SimCounter::startDownload(int count)
{
    const int n = count > 0 ? std::min<int>(count, state.events.size()) : state.events.size();
    m_transfer = state.events.mid(state.events.size() - n);
    if (m_transfer.isEmpty())
        return;   // nothing logged: silence ends the transfer at once
    m_pending = Pending::Events;
    m_pendingBlock = 1;
    reply(m_transfer.first());
}

bool SimCounter::setClock(const QDate& date, const QTime& time)
{
    const QDateTime wanted(date, time);
    if (!wanted.isValid())
        return false;
    state.clockOffsetSecs = QDateTime::currentDateTime().secsTo(wanted);
    m_lastClockMinute = wanted.toSecsSinceEpoch() / 60;
    scheduleClockLine();
    return true;
}

void SimCounter::setRelays(int group, int channel, int relay1, int relay2, int time)
{
    SimChannel& c = state.channels[channel - 1];
    if (group == 1) {
        c.upRelay1 = relay1;
        c.upRelay2 = relay2;
        c.relayTime = time;
    } else if (group == 2) {
        c.downRelay1 = relay1;
        c.downRelay2 = relay2;
        c.relayTime = time;   // up and down share the one relay time
    } else {
        c.eventRelay1 = relay1;
        c.eventRelay2 = relay2;
        c.eventRelayTime = time;
    }
}

// ---- Replies --------------------------------------------------------------------------

QDateTime SimCounter::counterClock() const
{
    return QDateTime::currentDateTime().addSecs(state.clockOffsetSecs);
}

QString SimCounter::statusReply() const
{
    const QString flags = QStringList{QString::number(state.printerEnabled), QString::number(state.eventsEnabled),
                                      QString::number(state.relayMode), QString::number(state.eventLogging),
                                      QString::number(state.bufferType)}
                              .join(QLatin1Char(' '));
    return QStringLiteral("%1 %2 %3 KFC V%4 %5")
        .arg(clockText(counterClock()), flags, count(state.events.size()),
             QString::number(state.version, 'f', 2), state.versionText);
}

QString SimCounter::channelBlock(int channel) const
{
    const SimChannel& c = state.channels[std::clamp(channel, 1, 4) - 1];
    return QStringList{field(channel, 1),        field(c.enabled, 1),       field(c.upThreshold, 2),
                       field(c.downThreshold, 2), count(c.upCount),          count(c.downCount),
                       field(c.upRelay1, 2),      field(c.upRelay2, 2),      field(c.downRelay1, 2),
                       field(c.downRelay2, 2),    field(c.relayTime, 3),     field(c.eventRelay1, 2),
                       field(c.eventRelay2, 2),   field(c.eventRelayTime, 3), field(c.graphEnabled, 1),
                       field(c.sAtt, 2),          field(c.wAtt, 2)}
        .join(QLatin1Char(' '));
}

QString SimCounter::profileBlock() const
{
    QStringList values;
    for (const int value : state.condProfile)
        values.append(field(value, 3));
    return values.join(QLatin1Char(' '));
}

QString SimCounter::otherStatusBlock() const
{
    return QStringList{field(state.algorithm, 1),   field(state.contOutput, 1), field(state.dump, 1),
                       field(state.maxFishSize, 3), field(state.lengthComp, 3), field(state.maxEvents, 5)}
        .join(QLatin1Char(' '));
}

void SimCounter::reply(const QString& text, int delayMs)
{
    if ((m_updatingAtCommand || state.continuousUpdate) && !state.updateLineBeforeReply.isEmpty())
        emit send(state.updateLineBeforeReply.toLatin1() + cr, delayMs);
    QByteArray bytes = text.toLatin1() + cr;
    SimFault fault;
    if (!takeFault(&fault)) {
        emit send(bytes, delayMs);
        return;
    }
    switch (fault.kind) {
    case SimFault::NoReply:
        return;
    case SimFault::WrongLength:
        bytes.insert(bytes.indexOf(cr), 'X');
        break;
    case SimFault::Garbage:
        bytes.prepend("#\xff~");
        break;
    case SimFault::SlowReply:
        delayMs += fault.delayMs;
        break;
    case SimFault::HangUp:
        emit hangUpRequested(bytes.left(bytes.size() / 2));
        return;
    case SimFault::Replace:
        bytes = fault.bytes + cr;
        break;
    case SimFault::DropLine:
        break;
    }
    emit send(bytes, delayMs);
}

void SimCounter::sendUnsolicited(const QString& line)
{
    emit send(line.toLatin1() + cr, 0);
}

// The faults of a reply, or with dropLine those that drop the line as a command arrives.
bool SimCounter::takeFault(SimFault* fault, bool dropLine)
{
    for (qsizetype i = 0; i < m_faults.size(); ++i) {
        SimFault& f = m_faults[i];
        if (f.count == 0 || (!f.command.isEmpty() && f.command != m_command) || (f.kind == SimFault::DropLine) != dropLine)
            continue;
        *fault = f;
        if (f.count > 0 && --f.count == 0)
            m_faults.removeAt(i);
        return true;
    }
    return false;
}

// ---- Fish, conductivity, clock ----------------------------------------------------------

void SimCounter::setFishInterval(int intervalMs)
{
    if (intervalMs <= 0)
        m_fishTimer.stop();
    else
        m_fishTimer.start(intervalMs);
}

void SimCounter::fishTick()
{
    QList<int> enabled;
    for (int i = 0; i < 4; ++i)
        if (state.channels[i].enabled)
            enabled.append(i + 1);
    QRandomGenerator* random = QRandomGenerator::global();
    if (!enabled.isEmpty())
        passFish(enabled.at(random->bounded(int(enabled.size()))), random->bounded(2) == 0);
    if (random->bounded(5) == 0) {
        SimChannel& c = state.channels[random->bounded(4)];
        c.sAtt = std::clamp(c.sAtt + random->bounded(-2, 3), 0, 99);
        c.wAtt = std::clamp(c.wAtt + random->bounded(-2, 3), 0, 99);
        changeConductivity(state.conductivity + random->bounded(-10, 11));
    }
}

void SimCounter::passFish(int channel, bool up)
{
    if (channel < 1 || channel > 4)
        return;
    SimChannel& c = state.channels[channel - 1];
    int& fishCount = up ? c.upCount : c.downCount;
    fishCount = (fishCount + 1) % 100000;
    logEvent(channel, up);
    if (state.continuousUpdate)
        sendUnsolicited(QStringLiteral("F%1%2 %3").arg(channel).arg(up ? 'U' : 'D').arg(state.events.size()));
}

void SimCounter::logEvent(int channel, bool up)
{
    logEventAt(counterClock(), channel, up);
}

void SimCounter::logEventAt(const QDateTime& when, int channel, bool up)
{
    if (!state.eventLogging || state.maxEvents <= 0)
        return;
    if (state.events.size() >= state.maxEvents) {
        if (state.bufferType == 0)
            return;   // linear buffer full: logging stops
        state.events.remove(0, state.events.size() - state.maxEvents + 1);
    }
    m_eventNumber = m_eventNumber % 99999 + 1;
    state.events.append(QStringLiteral("%1 CH%2 %3 EV%4")
                            .arg(clockText(when))
                            .arg(channel)
                            .arg(up ? QStringLiteral("UP  ") : QStringLiteral("DOWN"), count(m_eventNumber)));
}

void SimCounter::logPastEvents(int n)
{
    // Fish come in runs: a few minutes apart in a run, hours between runs; most go up, and
    // the channels nearest the bank see the most.
    QRandomGenerator random(20261207);
    state.maxEvents = std::max(state.maxEvents, int(state.events.size()) + n);
    QDateTime when = counterClock().addSecs(-qint64(n) * 1100);
    for (int i = 0; i < n; ++i) {
        when = when.addSecs(random.bounded(10) < 8 ? random.bounded(20, 400) : random.bounded(1800, 7200));
        const int channel = std::min(4, 1 + int(random.bounded(10) / 3));
        const bool up = random.bounded(100) < 80;
        SimChannel& c = state.channels[channel - 1];
        int& fishCount = up ? c.upCount : c.downCount;
        fishCount = (fishCount + 1) % 100000;
        logEventAt(std::min(when, counterClock()), channel, up);
    }
}

void SimCounter::changeConductivity(int conductivity)
{
    state.conductivity = std::clamp(conductivity, 0, 999);
    if (!state.continuousUpdate)
        return;
    QStringList values;
    for (const SimChannel& c : state.channels)
        values << QString::number(c.sAtt) << QString::number(c.wAtt);
    values << QString::number(state.conductivity);
    sendUnsolicited(QStringLiteral("C ") + values.join(QLatin1Char(' ')));
}

// The "T" line goes out when the counter's minute turns over, so the timer aims at the
// next minute boundary of the counter's clock and only runs during continuous update.
void SimCounter::scheduleClockLine()
{
    if (!state.continuousUpdate) {
        m_clockTimer.stop();
        return;
    }
    const int msIntoMinute = counterClock().time().msecsSinceStartOfDay() % 60000;
    m_clockTimer.start(60000 - msIntoMinute);
}

void SimCounter::sendClockLine()
{
    const QDateTime clock = counterClock();
    const qint64 minute = clock.toSecsSinceEpoch() / 60;
    if (state.continuousUpdate && minute != m_lastClockMinute) {
        m_lastClockMinute = minute;
        sendUnsolicited(QStringLiteral("T") + clockText(clock));
    }
    scheduleClockLine();
}

} // namespace kfc::sim
