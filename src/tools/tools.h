#pragma once
// Makes the tool windows known to the main frame, which opens them for the status window.

namespace kfc::app {
class TfMain;
}

namespace kfc::tools {

void registerTools(app::TfMain& main);

} // namespace kfc::tools
