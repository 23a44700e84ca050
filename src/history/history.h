#pragma once
// Makes Counts History known to the main frame, which opens it from its File menu.

namespace kfc::app {
class TfMain;
}

namespace kfc::history {

void registerCountsHistory(app::TfMain& main);

} // namespace kfc::history
