#include "contupdate.h"

#include "link/hooks.h"
#include "link/link.h"

namespace kfc {

bool SwitchContinuousUpdate(Link& link, bool on, const std::function<bool(const QString&)>& takeUnasked)
{
    // The stop path runs inside the listener's wait: it is the one dialogue besides the
    // dummy fish that the listener gives way to.
    auto hold = link.holdLine(Link::HoldKind::Interrupt);
    const QString reply = link.Exchange(on ? QStringLiteral("i1") : QStringLiteral("i0"), takeUnasked);
    if (reply == (on ? QLatin1String("UPDON") : QLatin1String("UPDOFF")))
        return true;
    showMessage(MessageKind::Error, QStringLiteral("Error: Invalid Response from counter"));
    return false;
}

} // namespace kfc
