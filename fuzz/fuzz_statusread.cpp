// The whole status read against a counter whose replies are the fuzz input. Whatever it
// sends, the read ends; a read that fails has told the user why (a message or an error
// raised for the caller to show).

#include "fuzzsupport.h"
#include "memorydevice.h"

#include "counter/counterstatus.h"
#include "link/comport.h"
#include "link/errors.h"
#include "link/hooks.h"
#include "link/link.h"

#include <QCoreApplication>

#include <memory>

using namespace kfc;
using kfc::fuzz::require;

namespace {

int messages = 0;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    hooks().showMessage = [](MessageKind, const QString&) { ++messages; };
    hooks().showProgress = [](const QString&) {};
    hooks().pumpEvents = [] {};
    return 0;
}

// The replies to the read's commands in turn, separated by LF.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto owned = std::make_unique<fuzz::MemoryDevice>();
    owned->replies = fuzz::bytes(data, size).split('\n');
    ComPort port(std::move(owned));
    port.portNames().setOverride(port.settings.comNumber, QStringLiteral("/dev/null"));
    require(port.openQuietly(nullptr), "the in-memory port did not open");
    Link link(port);
    // No pacing; a reply that never ends gives up at once.
    link.timing = {0, 0, 2};

    messages = 0;
    CounterStatus status;
    try {
        if (!ReadCounterStatus(link, status))
            require(messages > 0, "a status read failed without a word to the user");
    } catch (const LinkError& e) {
        require(!e.text().isEmpty(), "a link error without a text");
    }
    require(!link.busy(), "the line is still held after the read");
    return 0;
}
