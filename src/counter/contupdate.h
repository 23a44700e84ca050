#pragma once
// Switching the counter's continuous update on and off.

#include <QString>

#include <functional>

namespace kfc {

class Link;

// Sends "i1" (on) or "i0" (off) and checks the counter's answer, "UPDON" or "UPDOFF". A fish
// may pass just as the mode changes: its line comes before the answer and goes to
// takeUnasked, which says whether it took it. A wrong or missing answer is reported
// ("Error: Invalid Response from counter") and gives false; the caller enters or leaves the
// mode whatever the counter said.
bool SwitchContinuousUpdate(Link& link, bool on, const std::function<bool(const QString&)>& takeUnasked);

} // namespace kfc
