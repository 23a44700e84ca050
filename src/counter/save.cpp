#include "save.h"

#include "link/errors.h"
#include "link/hooks.h"
#include "link/link.h"
#include "link/wait.h"

namespace kfc {

namespace {

void runStep(Link& link, CounterStatus& status, const SaveStep& step)
{
    if (step.kind == SaveStep::Kind::Fail)
        throw ConversionError(step.progress);
    showProgress(step.progress);
    if (step.kind != SaveStep::Kind::Send)
        return;
    if (step.storeGains)
        status.condProfile = *step.storeGains;
    if (step.storeProfileType)
        status.condProfileType = *step.storeProfileType;
    link.SendCommand(step.command);
    switch (step.after) {
    case SaveStep::After::Nothing:
        break;
    case SaveStep::After::SettleAndClear:
        // The counter answers this one; what it says is dropped with the line clearing.
        DelayWithEvents(unsigned(link.timing.eventFlagsSettleMs));
        link.ClearLine();
        break;
    case SaveStep::After::DropTwoReplies:
        // The counter answers with two lines, which are read and dropped.
        link.ReadReply(CR);
        link.ReadReply(CR);
        break;
    }
}

} // namespace

void RunSave(Link& link, CounterStatus& status, const std::vector<SaveStep>& plan)
{
    // One dialogue: a command started from a click during its waits would be interleaved.
    auto hold = link.holdLine();
    for (const SaveStep& step : plan)
        runStep(link, status, step);
}

} // namespace kfc
