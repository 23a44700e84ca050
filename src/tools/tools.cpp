#include "tools.h"

#include "app/tfmain.h"

namespace kfc::tools {

void registerTools(app::TfMain& main)
{
    (void)main;
}

} // namespace kfc::tools
