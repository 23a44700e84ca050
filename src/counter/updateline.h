#pragma once
// What a continuous-update line does to the status record. The counter sends these lines
// unasked while continuous update runs: "C" (attenuations and conductivity), "F" (a fish),
// "T" (its clock). No I/O here: the status window reads the lines and shows the result.

#include <QString>

namespace kfc {

struct CounterStatus;

struct UpdateLineResult {
    enum class Kind {
        Conductivity, // "C": nine numbers taken
        Fish,         // "F": a count went up
        Clock,        // "T": the counter's clock
        Other,        // any other first character: nothing changes
        Rejected      // an "F" line whose channel is not 1 to 4: nothing changes
    };
    Kind kind = Kind::Other;
    // The fish's channel (1 to 4) and direction; 0 and false for the other kinds.
    int channel = 0;
    bool up = false;
    // The memo line (without its time stamp); empty when the line adds none.
    QString memo;
};

// Applies one line to the record. A malformed number, date or time throws ConversionError
// after the fields before it have been taken, as the counter's own program does.
UpdateLineResult ApplyUpdateLine(CounterStatus& status, const QString& line);

// True for a line that continuous update handles ("C", "F" or "T" first), as opposed to
// the reply a command waits for.
bool IsUpdateLine(const QString& line);

} // namespace kfc
