#include "calibration.h"

#include "link/errors.h"
#include "link/link.h"

#include <algorithm>

namespace kfc {

int clampGain(int value) { return std::clamp(value, kGainMin, kGainMax); }

int gainFromText(const QString& text)
{
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok, 10);
    if (!ok)
        throw ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    // Clamped before narrowing, so that a huge number is the highest gain and not a wrap.
    return int(std::clamp<qlonglong>(value, kGainMin, kGainMax));
}

bool ProbeCanCalibrateItself(Link& link)
{
    auto hold = link.holdLine();
    return link.Exchange(QStringLiteral("E3T")) == ProbeReply::BoardOk;
}

QString manualProbeCommand(int value)
{
    return QStringLiteral("E3S%1").arg(value, 3, 10, QLatin1Char('0'));
}

ProbeCalibration::Step ProbeCalibration::ok(Mode mode, int value)
{
    // The manual value leaves an automatic calibration in progress where it was.
    if (mode == Mode::Manual)
        return {manualProbeCommand(value), QStringLiteral("Probe calibrated")};
    if (m_waiting) {
        m_waiting = false;
        return {QStringLiteral("C"), QStringLiteral("Board calibration completed.")};
    }
    m_waiting = true;
    return {QStringLiteral("E3S"), QStringLiteral("Place probe in air and press OK or Cancel to abort")};
}

ProbeCalibration::Step ProbeCalibration::cancel()
{
    if (!m_waiting)
        return {};
    m_waiting = false;
    return {QStringLiteral("D"), QStringLiteral("Board calibration Aborted.")};
}

bool sendProbeStep(Link& link, const ProbeCalibration::Step& step)
{
    return step.command.isEmpty() || link.SendCommand(step.command);
}

} // namespace kfc
