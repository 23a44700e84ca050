// Saving the status window's changes: the form's edited values are handed to the save
// plan, which compares them with the record of the last read, and its steps are run one
// by one, each announced in the main frame's message panel. No reply is waited for; the
// read that follows the save shows what the counter took.

#include "tfstatus.h"

#include "app/application.h"
#include "counter/counterstatus.h"
#include "counter/save.h"
#include "counter/saveplan.h"
#include "link/link.h"
#include "statusform.h"

namespace kfc::status {

void TfStatus::SaveChanges()
{
    RunSave(link(), record(), planSave(record(), m_form->editedSettings()));
}

// ---- settings that act at once ----------------------------------------------------------

void TfStatus::cbContOutputChange()
{
    app::showingErrors([this] { link().SendCommand(QStringLiteral("EC%1").arg(m_form->contOutputChoice())); });
}

void TfStatus::cbDumpChange()
{
    // Also run by "Max Size": the dump choice goes out again unchanged, and the new size
    // waits for the save.
    app::showingErrors([this] { link().SendCommand(QStringLiteral("ED%1").arg(m_form->dumpChoice())); });
}

} // namespace kfc::status
