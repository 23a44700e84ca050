#include "tools.h"

#include "tfdump.h"

#include "app/tfmain.h"
#include "tfboardcalibrate.h"
#include "tfcalibrate.h"
#include "tfcurrcond.h"
#include "tffishtest.h"

#include <QMdiArea>

namespace kfc::tools {

void registerTools(app::TfMain& main)
{
    main.setToolOpener(app::Tool::Download, [&main](app::StatusAccess& status) {
        auto* dump = new TfDump(main, status);
        dump->showMaximized();
        main.mdiArea()->setActiveSubWindow(dump);
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
