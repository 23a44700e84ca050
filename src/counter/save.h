#pragma once
// Running a save: the steps that planSave made go out in order, each announced in the
// message panel. No reply is waited for beyond the two the graph command gives; the read
// that follows a save shows what the counter took.

#include "saveplan.h"

#include <vector>

namespace kfc {

class Link;

// Sends the steps of a plan as one dialogue. The profile a step stores goes into the record
// as the step goes out. A Fail step stops the save there with ConversionError carrying its
// text; a dead line stops it with LineLostError.
void RunSave(Link& link, CounterStatus& status, const std::vector<SaveStep>& plan);

} // namespace kfc
