#include "tools.h"

#include "app/tfmain.h"
#include "tfboardcalibrate.h"
#include "tfcalibrate.h"
#include "tfcurrcond.h"
#include "tffishtest.h"

namespace kfc::tools {

void registerTools(app::TfMain& main)
{
    (void)main;
    main.setToolOpener(app::Tool::Profile, [](app::StatusAccess& s) { TfCalibrate::open(s); });
    main.setToolOpener(app::Tool::ProbeCalibrate,
                       [&main](app::StatusAccess& s) { TfBoardCalibrate::open(main.link(), s); });
    main.setToolOpener(app::Tool::CurrentConductivity,
                       [&main](app::StatusAccess& s) { TfCurrCond::open(main.link(), s); });
    main.setToolOpener(app::Tool::DummyFish,
                       [&main](app::StatusAccess& s) { TfFishTest::open(main.link(), s); });
}

} // namespace kfc::tools
