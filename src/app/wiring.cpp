#include "wiring.h"

#include "tfmain.h"

#include "connect/connect.h"
#include "history/history.h"
#include "link/portdevice.h"
#include "status/tfstatus.h"
#include "tools/tools.h"

namespace kfc::app {

std::unique_ptr<ProgramWindows> makeProgramWindows(std::unique_ptr<PortDevice> device)
{
    auto windows = std::make_unique<ProgramWindows>(
        [](TfMain& main) -> StatusWindowApi* { return new status::TfStatus(main); },
        &connect::makePasswordWindow, std::move(device));
    tools::registerTools(windows->main());
    connect::registerConnectWindows(windows->main());
    history::registerCountsHistory(windows->main());
    return windows;
}

} // namespace kfc::app
