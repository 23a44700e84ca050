// The modem's result lines. The classification must agree with the line's start, and the
// dialler, fed the bytes through an in-memory port, must split them into lines at CR
// (dropping LF) and end in the state the first deciding line gives.

#include "fuzzsupport.h"
#include "memorydevice.h"

#include "link/comport.h"
#include "link/hooks.h"
#include "link/modemdial.h"

#include <QCoreApplication>

#include <memory>

using namespace kfc;
using kfc::fuzz::require;

namespace {

void checkClassification(const QByteArray& line)
{
    const ModemLine kind = classifyModemLine(line);
    const QString text = progressTextFor(kind, QStringLiteral("123"));
    require(text.isEmpty() == (kind == ModemLine::Other), "a progress text for a dropped line or none for a result");
    const char* prefix = nullptr;
    switch (kind) {
    case ModemLine::Echo: prefix = "ATDT"; break;
    case ModemLine::Connect: prefix = "CONNECT"; break;
    case ModemLine::Busy: prefix = "BUSY"; break;
    case ModemLine::NoCarrier: prefix = "NO CARRIER"; break;
    case ModemLine::NoDial: prefix = "NO DIAL"; break;
    case ModemLine::Error: prefix = "ERROR"; break;
    case ModemLine::Other: break;
    }
    require(!prefix || line.startsWith(prefix), "a line classified by a start it lacks");
}

// The state the dialler should reach: the first complete line that decides the call.
DialState expectedState(const QByteArray& sent, int* progressLines)
{
    QByteArray text = sent;
    text.replace('\n', QByteArray());
    const QList<QByteArray> parts = text.split('\r');
    // The last part has no CR after it: a partial line that waits for the rest.
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        const ModemLine kind = classifyModemLine(parts[i]);
        if (kind != ModemLine::Other)
            ++*progressLines;
        if (kind == ModemLine::Connect)
            return DialState::dsConnected;
        if (kind == ModemLine::Busy || kind == ModemLine::NoCarrier || kind == ModemLine::NoDial
            || kind == ModemLine::Error)
            return DialState::dsFailed;
    }
    return DialState::dsWaiting;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    // Polling yields to the event loop; here there is nothing to handle.
    hooks().pumpEvents = [] {};
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray sent = fuzz::bytes(data, size);
    for (const QByteArray& line : sent.split('\r'))
        checkClassification(line);

    auto owned = std::make_unique<fuzz::MemoryDevice>();
    fuzz::MemoryDevice* device = owned.get();
    ComPort port(std::move(owned));
    port.portNames().setOverride(port.settings.comNumber, QStringLiteral("/dev/null"));
    QString error;
    require(port.openQuietly(&error), "the in-memory port did not open");
    device->input = sent;

    ModemDialer dialer(port);
    int progressLines = 0;
    dialer.progress = [&](const QString& text) {
        require(!text.isEmpty(), "an empty progress line");
        ++progressLines;
    };
    // As the dial loop does: poll while the call is open and a line is waiting.
    dialer.PollModemReply();
    while (dialer.state() == DialState::dsWaiting && dialer.hasCompleteLine())
        dialer.PollModemReply();

    int expectedLines = 0;
    const DialState expected = expectedState(sent, &expectedLines);
    require(dialer.state() == expected, "the dialler ended in another state than its lines say");
    require(progressLines == expectedLines, "the dialler gave another number of progress lines");
    require(!dialer.replyBuffer().contains('\n'), "a line feed kept in the reply buffer");
    require(dialer.state() != DialState::dsFailed || !port.PortIsOpen(), "a failed call left the port open");
    return 0;
}
