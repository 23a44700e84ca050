#include "saveplan.h"

#include <QStringList>

namespace kfc {

namespace {

SaveStep makeStep(SaveStep::Kind kind, const QString& progress, const QString& command = {},
                  SaveStep::After after = SaveStep::After::Nothing)
{
    SaveStep step;
    step.kind = kind;
    step.progress = progress;
    step.command = command;
    step.after = after;
    return step;
}

class Planner {
public:
    Planner(const CounterStatus& status, const EditedSettings& edited) : m_status(status), m_edited(edited) {}

    std::vector<SaveStep> run()
    {
        progress(QStringLiteral("Saving Counter Changes. Please Wait..."));
        planDateAndTime();
        if (m_edited.printer != m_status.printerEnabled)
            send(QStringLiteral("Saving Printer Enabled Status. Please Wait..."), QStringLiteral("7A"));
        planEventFlags();
        if (m_edited.buffer != m_status.bufferType)
            send(QStringLiteral("Saving Buffer State. Please Wait..."),
                 m_edited.buffer == 0 ? QStringLiteral("bn") : QStringLiteral("bc"));
        // An older counter does not report these; the window then shows values it never
        // had, and sending them would change settings nobody touched.
        if (reportsOtherStatus(m_status))
            planOtherStatus();
        if (!planProfile())
            return m_steps;
        for (int n = 1; n <= kChannelCount; ++n)
            planChannel(n);
        progress(QString());
        return m_steps;
    }

private:
    void progress(const QString& text) { m_steps.push_back(makeStep(SaveStep::Kind::Progress, text)); }

    SaveStep& send(const QString& text, const QString& command, SaveStep::After after = SaveStep::After::Nothing)
    {
        m_steps.push_back(makeStep(SaveStep::Kind::Send, text, command, after));
        return m_steps.back();
    }

    void planDateAndTime()
    {
        const QDateTime& clock = m_status.dateTime;
        if (m_edited.date && *m_edited.date != clock.date())
            send(QStringLiteral("Saving Date. Please Wait..."),
                 QStringLiteral("3A") + m_edited.date->toString(QStringLiteral("yyMMdd")));
        if (m_edited.time && *m_edited.time != clock.time())
            send(QStringLiteral("Saving Time. Please Wait..."),
                 QStringLiteral("4A") + m_edited.time->toString(QStringLiteral("HHmmss")));
    }

    // One letter per setting: "A" changed, "C" unchanged. Relay and logging only count
    // while events are enabled.
    void planEventFlags()
    {
        auto letter = [](int shown, int recorded) { return shown != recorded ? QLatin1Char('A') : QLatin1Char('C'); };
        QString flags(letter(m_edited.events, m_status.eventsEnabled));
        if (m_edited.events == 1) {
            flags += letter(m_edited.relay, m_status.relayMode);
            flags += letter(m_edited.logging, m_status.eventLogging);
        }
        if (flags != QLatin1String("CCC"))
            send(QStringLiteral("Saving Event/Relay/Logging Status. Please Wait..."), QStringLiteral("8") + flags,
                 SaveStep::After::SettleAndClear);
    }

    void planOtherStatus()
    {
        if (maxSizeOfItem(m_edited.maxSize) != m_status.maxFishSize)
            send(QStringLiteral("Saving Fish Size. Please Wait..."), QStringLiteral("E8%1").arg(m_edited.maxSize));
        if (m_edited.algorithm != m_status.algorithm)
            send(QStringLiteral("Saving Algorithm. Please Wait..."), QStringLiteral("EE%1").arg(m_edited.algorithm));
        if (m_edited.lengthComp != m_status.lengthComp)
            send(QStringLiteral("Saving Length Compensation. Please Wait..."),
                 QString::asprintf("E4%3.3d", m_edited.lengthComp));
    }

    // False when a gain cannot be sent: the save stops there.
    bool planProfile()
    {
        const QString& type = m_edited.profileType;
        if (type == QLatin1String("N"))
            return planManualProfile();
        if (type == m_status.condProfileType)
            return true;
        const QString letter = type.left(1);
        send(QStringLiteral("Saving Cond Profile Type. Please Wait..."), QStringLiteral("E6") + letter)
            .storeProfileType = letter;
        return true;
    }

    bool planManualProfile()
    {
        // Every cell is checked before any is taken, so a bad cell leaves the record whole.
        std::array<qint32, kProfilePointCount> gains{};
        for (int i = 1; i <= kProfilePointCount; ++i) {
            const std::optional<qint32> gain = gainOfCell(i);
            if (!gain)
                return false;
            gains[size_t(i - 1)] = *gain;
        }
        if (gains == m_status.condProfile)
            return true;
        QString command = QStringLiteral("E6N");
        for (qint32 gain : gains)
            command += QString::asprintf("%3.3d", int(gain));
        SaveStep& step = send(QStringLiteral("Saving Conductivity Profile. Please Wait..."), command);
        step.storeGains = gains;
        // The counter now holds a manual profile: a later choice of another type must go out.
        step.storeProfileType = QStringLiteral("N");
        return true;
    }

    // A gain goes on the line as three digits, so anything else would shift every value
    // after it.
    std::optional<qint32> gainOfCell(int i)
    {
        const QString text = m_edited.gains[size_t(i - 1)].trimmed();
        bool ok = false;
        const int value = text.toInt(&ok);
        QString error;
        if (!ok)
            error = QStringLiteral("'%1' is not a valid integer value").arg(text);
        else if (value < 0 || value > 999)
            error = QStringLiteral("The gain %1 at %2 cannot be sent: a gain is 0 to 999.")
                        .arg(value)
                        .arg(conductivityPoint(i));
        if (error.isEmpty())
            return value;
        m_steps.push_back(makeStep(SaveStep::Kind::Fail, error));
        return std::nullopt;
    }

    void planChannel(int n)
    {
        const ChannelStatus& c = m_status.channel(n);
        const EditedChannel& e = m_edited.channels[size_t(n - 1)];
        progress(QStringLiteral("Saving changes for Channel %1").arg(n));
        if ((c.enabled == 1) != e.enabled)
            send(QStringLiteral("Saving Enabled Status for Channel %1").arg(n), QStringLiteral("5%1A").arg(n));
        // Nothing else of a channel that is switched off.
        if (!e.enabled)
            return;
        if (e.upThreshold != c.upThreshold || e.downThreshold != c.downThreshold)
            send(QStringLiteral("Saving Thresholds for Channel %1").arg(n),
                 QString::asprintf("0%dA%2.2d%2.2d", n, e.upThreshold, e.downThreshold));
        planRelays(1, n, "Up", {e.upRelay1, e.upRelay2, e.relayTime}, {c.upRelay1, c.upRelay2, c.upRelayTime});
        planRelays(2, n, "Down", {e.downRelay1, e.downRelay2, e.relayTime},
                   {c.downRelay1, c.downRelay2, c.downRelayTime});
        planRelays(3, n, "Event", {e.eventRelay1, e.eventRelay2, e.eventRelayTime},
                   {c.eventRelay1, c.eventRelay2, c.eventRelayTime});
        if ((c.graphEnabled == 1) != e.graph)
            send(QStringLiteral("Saving Graph Status for Channel %1").arg(n), QStringLiteral("E7%1A").arg(n),
                 SaveStep::After::DropTwoReplies);
    }

    // Relay 1, relay 2 and time of group 1 (up), 2 (down) or 3 (event).
    void planRelays(int group, int n, const char* what, std::array<int, 3> shown, std::array<qint32, 3> recorded)
    {
        if (shown[0] == recorded[0] && shown[1] == recorded[1] && shown[2] == recorded[2])
            return;
        // Without a second relay the counter takes "D" in its place.
        const QString command = shown[1] == 0
                                    ? QString::asprintf("6%d%dA%2.2dD%3.3d", group, n, shown[0], shown[2])
                                    : QString::asprintf("6%d%dA%2.2d%2.2d%3.3d", group, n, shown[0], shown[1], shown[2]);
        send(QStringLiteral("Saving %1 Relay Settings for Channel %2").arg(QLatin1String(what)).arg(n), command);
    }

    const CounterStatus& m_status;
    const EditedSettings& m_edited;
    std::vector<SaveStep> m_steps;
};

} // namespace

std::vector<SaveStep> planSave(const CounterStatus& status, const EditedSettings& edited)
{
    return Planner(status, edited).run();
}

QStringList planCommands(const std::vector<SaveStep>& plan)
{
    QStringList commands;
    for (const SaveStep& step : plan) {
        if (step.kind == SaveStep::Kind::Send)
            commands << step.command;
    }
    return commands;
}

} // namespace kfc
