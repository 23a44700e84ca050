#include "stopsignals.h"

#include <QSocketNotifier>

#include <atomic>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace kfc::cli {

namespace {

#ifdef Q_OS_UNIX
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Everything the handler touches: lock-free atomics, which a handler may use and every
// line's thread may read, and a socket.
static_assert(std::atomic<int>::is_always_lock_free);
std::atomic<int> g_signal = 0;
std::atomic<int> g_count = 0;
std::atomic<int> g_exitAtOnce = 0;
int g_sockets[2] = {-1, -1};
struct sigaction g_previous[std::size(kSignals)];

void onSignal(int signal)
{
    int none = 0;
    g_signal.compare_exchange_strong(none, signal);   // the first one's name, before it counts
    g_count.fetch_add(1);
    if (g_exitAtOnce && g_count > 1) {
        static const char said[] = "kestrova-cli: stopped at once by a second signal\n";
        [[maybe_unused]] const auto n = ::write(STDERR_FILENO, said, sizeof said - 1);
        ::_exit(1);
    }
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(g_sockets[0], &byte, 1);
}
#endif

} // namespace

StopSignals::StopSignals()
{
#ifdef Q_OS_UNIX
    g_signal = 0;
    g_count = 0;
    g_exitAtOnce = 0;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_sockets) != 0) {
        qWarning("kestrova-cli: signals cannot be caught (socketpair failed); a signal ends the run at once");
        return;
    }
    m_notifier = new QSocketNotifier(g_sockets[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        [[maybe_unused]] const auto n = ::read(g_sockets[1], bytes, sizeof bytes);
        emit stopRequested();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &action, &g_previous[i]);
#endif
}

StopSignals::~StopSignals()
{
#ifdef Q_OS_UNIX
    if (!m_notifier)
        return;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    delete m_notifier;
    for (int& socket : g_sockets) {
        ::close(socket);
        socket = -1;
    }
#endif
}

bool StopSignals::requested()
{
#ifdef Q_OS_UNIX
    return g_count > 0;
#else
    return false;
#endif
}

QString StopSignals::signalName()
{
#ifdef Q_OS_UNIX
    switch (g_signal) {
    case SIGTERM: return QStringLiteral("SIGTERM");
    case SIGINT: return QStringLiteral("SIGINT");
    case SIGHUP: return QStringLiteral("SIGHUP");
    }
#endif
    return {};
}

void StopSignals::exitAtOnceOnAnother(bool on)
{
#ifdef Q_OS_UNIX
    g_exitAtOnce = on ? 1 : 0;
#else
    Q_UNUSED(on);
#endif
}

} // namespace kfc::cli
