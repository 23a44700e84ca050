#pragma once
// The counter's calibration: the range of a conductivity profile gain, and the probe
// calibration dialogue (the "E3T" test, the automatic two-step calibration and the manual
// value). The windows collect the operator's choices; what goes on the line is decided here.

#include <QString>

namespace kfc {

class Link;

// A profile gain, in per cent, and a probe calibration value share this range.
constexpr int kGainMin = 20;
constexpr int kGainMax = 500;

// A gain brought into range: below the range gives the lowest gain, above it the highest.
int clampGain(int value);
// The gain that a profile cell's text holds, brought into range. Text that is not a
// decimal integer throws ConversionError.
int gainFromText(const QString& text);
// The profile's sliders stand upside down: the highest gain at the top.
constexpr int invertedGain(int value) { return kGainMin + kGainMax - value; }

namespace ProbeReply {
inline const QString BoardOk = QStringLiteral("BOARDOK");
}

// Asks the counter ("E3T") whether it can calibrate its probe by itself.
bool ProbeCanCalibrateItself(Link& link);

// The manual calibration command: "E3S" and the value in at least three digits.
QString manualProbeCommand(int value);

// The automatic calibration's two steps, driven by the operator's buttons: "&OK" starts
// it ("E3S") and, once the probe is in air, completes it ("C"); "&Cancel" while waiting
// aborts it ("D"). The PC neither waits nor polls between the steps.
class ProbeCalibration {
public:
    struct Step {
        QString command;   // empty: nothing to send
        QString message;   // what the operator reads
    };
    enum class Mode { Automatic, Manual };

    // "&OK" with the mode chosen at that moment; value is the manual value.
    Step ok(Mode mode, int value);
    // "&Cancel": the step of an abort while waiting; empty (close the window) otherwise.
    Step cancel();
    bool waiting() const { return m_waiting; }
    // Each activation of the window starts afresh.
    void reset() { m_waiting = false; }

private:
    bool m_waiting = false;
};

// Sends a step's command, if it has one; false when it could not be sent.
bool sendProbeStep(Link& link, const ProbeCalibration::Step& step);

} // namespace kfc
