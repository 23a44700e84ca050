#include "history.h"

#include "tfcountshistory.h"

#include "app/tfmain.h"

namespace kfc::history {

void registerCountsHistory(app::TfMain& main)
{
    main.setCountsHistoryOpener([&main] { TfCountsHistory::open(main); });
}

} // namespace kfc::history
