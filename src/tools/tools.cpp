#include "tools.h"

#include "app/tfmain.h"
#include "counter/counterstatus.h"
#include "tfbaudset.h"
#include "tfboardcalibrate.h"
#include "tfcalibrate.h"
#include "tfcurrcond.h"
#include "tfdump.h"
#include "tffishtest.h"
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
    main.setToolOpener(app::Tool::Profile, [](app::StatusAccess& s) { TfCalibrate::open(s); });
    main.setToolOpener(app::Tool::ProbeCalibrate,
                       [&main](app::StatusAccess& s) { TfBoardCalibrate::open(main.link(), s); });
    main.setToolOpener(app::Tool::CurrentConductivity,
                       [&main](app::StatusAccess& s) { TfCurrCond::open(main.link(), s); });
    main.setToolOpener(app::Tool::DummyFish,
                       [&main](app::StatusAccess& s) { TfFishTest::open(main.link(), s); });
}

} // namespace kfc::tools
