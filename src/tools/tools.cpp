#include "tools.h"

#include "app/tfmain.h"
#include "counter/counterstatus.h"
#include "tfbaudset.h"
#include "tfdump.h"
#include "tfsendcommand.h"
#include "tfweirdim.h"

#include <QMdiArea>

namespace kfc::tools {

namespace {

// A tool dialog is made when chosen, run modally over the status window, and freed when
// it closes.
template <typename Dialog, typename... Args>
void runDialog(app::StatusAccess& status, Args&&... args)
{
    Dialog dialog(std::forward<Args>(args)..., status.dialogParent());
    status.runOwnDialog([&dialog] { return dialog.exec(); });
}

} // namespace

void registerTools(app::TfMain& main)
{
    main.setToolOpener(app::Tool::Download, [&main](app::StatusAccess& status) {
        auto* dump = new TfDump(main, status);
        dump->showMaximized();
        main.mdiArea()->setActiveSubWindow(dump);
    });
    main.setToolOpener(app::Tool::WeirDimensions, [&main](app::StatusAccess& status) {
        runDialog<TfWeirDim>(status, main.link(), weirDimensions());
    });
    main.setToolOpener(app::Tool::BaudRate, [&main](app::StatusAccess& status) {
        runDialog<TfBaudSet>(status, main);
    });
    main.setToolOpener(app::Tool::SendCommand, [&main](app::StatusAccess& status) {
        runDialog<TfSendCommand>(status, main.link());
    });
}

} // namespace kfc::tools
