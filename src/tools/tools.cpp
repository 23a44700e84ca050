#include "tools.h"

#include "tfdump.h"

#include "app/tfmain.h"

#include <QMdiArea>

namespace kfc::tools {

void registerTools(app::TfMain& main)
{
    main.setToolOpener(app::Tool::Download, [&main](app::StatusAccess& status) {
        auto* dump = new TfDump(main, status);
        dump->showMaximized();
        main.mdiArea()->setActiveSubWindow(dump);
    });
}

} // namespace kfc::tools
