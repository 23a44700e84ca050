// Continuous-update lines on the status record. A line that is not an update line, or a
// fish on a channel the record lacks, changes nothing; a fish adds exactly one to one
// count; a malformed field raises ConversionError and nothing else.

#include "fuzzsupport.h"

#include "counter/counterstatus.h"
#include "counter/updateline.h"
#include "link/errors.h"

using namespace kfc;
using kfc::fuzz::require;

namespace {

qint64 fishCount(const CounterStatus& status)
{
    qint64 total = 0;
    for (int n = 1; n <= kChannelCount; ++n)
        total += qint64(status.channel(n).upCount) + status.channel(n).downCount;
    return total;
}

void applyChecked(CounterStatus& status, const QString& line)
{
    const CounterStatus before = status;
    UpdateLineResult result;
    try {
        result = ApplyUpdateLine(status, line);
    } catch (const ConversionError&) {
        require(IsUpdateLine(line), "a line that is not an update line raised an error");
        return;
    }
    using Kind = UpdateLineResult::Kind;
    if (!IsUpdateLine(line))
        require(result.kind == Kind::Other, "a line that is not an update line was taken");
    if (result.kind == Kind::Other || result.kind == Kind::Rejected)
        require(status == before, "a line that was not taken changed the record");
    if (result.kind == Kind::Fish)
        require(fishCount(status) == fishCount(before) + 1, "a fish did not add exactly one");
    else
        require(fishCount(status) == fishCount(before), "a line other than a fish changed a count");
    require(result.kind != Kind::Clock || status.dateTime.isValid(), "the clock line left no valid time");
}

} // namespace

// The input is a run of lines as the counter sends them, each ended by CR.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CounterStatus status;
    const QString text = fuzz::latin1(data, size);
    for (const QString& line : text.split(QLatin1Char('\r')))
        applyChecked(status, line);
    return 0;
}
