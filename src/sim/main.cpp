// kestrova-sim: a simulated counter on a pseudo-terminal, or on the network with --listen.
// Prints the device (or tcp:// line) to open and serves it until it is told to stop
// (SIGTERM, SIGINT).

#include "sim/ptycounter.h"
#include "sim/tcpcounter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

using kfc::sim::PtyCounter;
using kfc::sim::SimCounter;
using kfc::sim::SimFault;
using kfc::sim::SimState;
using kfc::sim::TcpCounter;

namespace {

// Control bytes shown by name, so a log line never garbles the terminal.
QString printable(const QByteArray& bytes)
{
    QString text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0x06)
            text += QLatin1String("<ACK>");
        else if (byte == 13)
            text += QLatin1String("<CR>");
        else if (byte < 0x20 || byte >= 0x7f)
            text += QStringLiteral("<%1>").arg(byte, 2, 16, QLatin1Char('0'));
        else
            text += QLatin1Char(c);
    }
    return text;
}

// "ACK" stands for the one-byte ACK command and "*" for any command.
QString commandArgument(const QString& text)
{
    if (text == QLatin1String("ACK"))
        return QString(QChar(0x06));
    return text == QLatin1String("*") ? QString() : text;
}

[[noreturn]] void usageError(const QString& text)
{
    std::fprintf(stderr, "kestrova-sim: %s\n", qPrintable(text));
    std::exit(2);
}

int positiveOrZero(const QCommandLineParser& parser, const QString& option)
{
    bool ok = false;
    const int value = parser.value(option).toInt(&ok);
    if (!ok || value < 0)
        usageError(QStringLiteral("--%1 wants a whole number of 0 or more, not \"%2\"").arg(option, parser.value(option)));
    return value;
}

int wholeNumber(const QCommandLineParser& parser, const QString& option, int low, int high)
{
    bool ok = false;
    const int value = parser.value(option).toInt(&ok);
    if (!ok || value < low || value > high)
        usageError(QStringLiteral("--%1 wants a whole number from %2 to %3, not \"%4\"")
                       .arg(option)
                       .arg(low)
                       .arg(high)
                       .arg(parser.value(option)));
    return value;
}

// The buffer's size and the clock come before the past events, so that those are stamped
// by the counter's own clock and fit the buffer as set.
void configureBuffer(SimCounter& counter, const QCommandLineParser& parser)
{
    // The status record has five digits for the buffer's size.
    constexpr int kLargestBuffer = 99999;
    constexpr int kDriftLimitSecs = 10 * 366 * 86400;
    SimState& state = counter.state;
    state.clockOffsetSecs = wholeNumber(parser, QStringLiteral("clock-drift"), -kDriftLimitSecs, kDriftLimitSecs);
    if (parser.isSet(QStringLiteral("max-events")))
        state.maxEvents = wholeNumber(parser, QStringLiteral("max-events"), 1, kLargestBuffer);
    const int events = positiveOrZero(parser, QStringLiteral("events"));
    if (parser.isSet(QStringLiteral("max-events")) && events > state.maxEvents)
        usageError(QStringLiteral("--events %1 do not fit a buffer of --max-events %2").arg(events).arg(state.maxEvents));
    counter.logPastEvents(events);
}

void addFaults(SimCounter& counter, const QCommandLineParser& parser)
{
    const std::pair<const char*, SimFault::Kind> plain[] = {{"no-reply", SimFault::NoReply},
                                                             {"wrong-length", SimFault::WrongLength},
                                                             {"garbage", SimFault::Garbage},
                                                             {"hang-up-after", SimFault::HangUp}};
    for (const auto& [option, kind] : plain)
        for (const QString& command : parser.values(QLatin1String(option)))
            counter.addFault({kind, commandArgument(command), -1, 0});
    for (const QString& value : parser.values(QStringLiteral("slow"))) {
        const qsizetype colon = value.lastIndexOf(QLatin1Char(':'));
        bool ok = false;
        const int delayMs = colon < 0 ? -1 : value.mid(colon + 1).toInt(&ok);
        if (!ok || delayMs < 0)
            usageError(QStringLiteral("--slow wants CMD:MS, not \"%1\"").arg(value));
        counter.addFault({SimFault::SlowReply, commandArgument(value.left(colon)), -1, delayMs});
    }
}

void configure(SimCounter& counter, const QCommandLineParser& parser)
{
    bool ok = false;
    const double version = parser.value(QStringLiteral("version-number")).toDouble(&ok);
    if (!ok || version <= 0 || version >= 100)
        usageError(QStringLiteral("--version-number wants a number such as 8.8 or 8.9"));
    counter.state.version = version;
    counter.state.password = parser.value(QStringLiteral("password"));
    counter.setFishInterval(positiveOrZero(parser, QStringLiteral("fish-interval")));
    configureBuffer(counter, parser);
    addFaults(counter, parser);
}

void logTraffic(SimCounter& counter)
{
    QObject::connect(&counter, &SimCounter::commandReceived, [](const QString& command) {
        std::fprintf(stderr, "kestrova-sim: <- %s\n", qPrintable(printable(command.toLatin1())));
    });
    QObject::connect(&counter, &SimCounter::send, [](const QByteArray& bytes, int delayMs) {
        const QString delay = delayMs > 0 ? QStringLiteral(" (after %1 ms)").arg(delayMs) : QString();
        std::fprintf(stderr, "kestrova-sim: -> %s%s\n", qPrintable(printable(bytes)), qPrintable(delay));
    });
    QObject::connect(&counter, &SimCounter::hangUpRequested, [](const QByteArray& partial) {
        std::fprintf(stderr, "kestrova-sim: -> %s and hang-up\n", qPrintable(printable(partial)));
    });
}

// After a hang-up the counter comes back on a fresh pseudo-terminal, announced like the first.
bool startAndAnnounce(PtyCounter& pty)
{
    QString error;
    if (!pty.start(&error)) {
        std::fprintf(stderr, "kestrova-sim: cannot start: %s\n", qPrintable(error));
        return false;
    }
    std::printf("kestrova-sim: %s on %s\n", pty.modem() ? "modem" : "counter", qPrintable(pty.devicePath()));
    std::fflush(stdout);
    return true;
}

#ifdef Q_OS_UNIX
int g_signalFds[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(g_signalFds[0], &byte, 1);
}

// The handler only writes a byte; the event loop reads it and quits, so the counter closes
// its pseudo-terminal in the normal way.
void quitOnSignals(QCoreApplication& app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalFds) != 0) {
        std::perror("kestrova-sim: socketpair");
        return;
    }
    auto* notifier = new QSocketNotifier(g_signalFds[1], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier] {
        notifier->setEnabled(false);
        QCoreApplication::quit();
    });
    struct sigaction action{};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}
#endif

struct ListenAddress {
    QHostAddress host;
    quint16 port = 0;
};

// HOST:PORT, the host an address ([::1] for IPv6) or localhost.
ListenAddress listenAddress(const QString& text)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    bool ok = colon > 0;
    const uint port = ok ? text.mid(colon + 1).toUInt(&ok) : 0;
    ListenAddress address;
    address.port = quint16(port);
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        address.host = QHostAddress(QHostAddress::LocalHost);
    else
        address.host = QHostAddress(host);
    if (!ok || port > 65535 || address.host.isNull())
        usageError(QStringLiteral("--listen wants HOST:PORT with an address or localhost, for example "
                                  "127.0.0.1:4001, not \"%1\"").arg(text));
    return address;
}

int serveOnPseudoTerminal(QCoreApplication& app, const QCommandLineParser& parser)
{
    PtyCounter pty;
    kfc::sim::SimModem modem;
    if (parser.isSet(QStringLiteral("modem")))
        pty.setModem(&modem);
    configure(pty.counter(), parser);
    pty.setLineSpeed(positiveOrZero(parser, QStringLiteral("line-speed")));
    if (!parser.isSet(QStringLiteral("quiet"))) {
        logTraffic(pty.counter());
        QObject::connect(&modem, &kfc::sim::SimModem::send, [](const QByteArray& bytes, int) {
            std::fprintf(stderr, "kestrova-sim: modem -> %s\n", qPrintable(printable(bytes)));
        });
    }
    QObject::connect(&pty, &PtyCounter::hungUp, &app, [&pty] {
        std::fprintf(stderr, "kestrova-sim: line dropped on %s\n", qPrintable(pty.devicePath()));
        if (!startAndAnnounce(pty))
            QCoreApplication::exit(1);
    }, Qt::QueuedConnection);
#ifdef Q_OS_UNIX
    quitOnSignals(app);
#endif
    if (!startAndAnnounce(pty))
        return 1;
    return app.exec();
}

// A modem answers calls on a telephone line, and the bytes over the network go at the
// network's pace: neither goes with --listen.
int serveOnNetwork(QCoreApplication& app, const QCommandLineParser& parser)
{
    if (parser.isSet(QStringLiteral("modem")))
        usageError(QStringLiteral("--modem and --listen do not go together: a modem answers calls on a telephone line"));
    if (positiveOrZero(parser, QStringLiteral("line-speed")) != 0)
        usageError(QStringLiteral("--line-speed applies to a pseudo-terminal only"));
    const ListenAddress address = listenAddress(parser.value(QStringLiteral("listen")));
    TcpCounter tcp;
    configure(tcp.counter(), parser);
    if (!parser.isSet(QStringLiteral("quiet"))) {
        logTraffic(tcp.counter());
        QObject::connect(&tcp, &TcpCounter::connectionOpened, [](const QString& peer) {
            std::fprintf(stderr, "kestrova-sim: connection from %s\n", qPrintable(peer));
        });
        QObject::connect(&tcp, &TcpCounter::connectionRefused, [](const QString& peer) {
            std::fprintf(stderr, "kestrova-sim: connection from %s closed: another is being served\n", qPrintable(peer));
        });
    }
    QObject::connect(&tcp, &TcpCounter::connectionClosed, [&tcp] {
        std::fprintf(stderr, "kestrova-sim: line closed; listening on %s\n", qPrintable(tcp.address()));
    });
#ifdef Q_OS_UNIX
    quitOnSignals(app);
#endif
    QString error;
    if (!tcp.listen(address.host, address.port, &error)) {
        std::fprintf(stderr, "kestrova-sim: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("kestrova-sim: counter on %s\n", qPrintable(tcp.address()));
    std::fflush(stdout);
    return app.exec();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrova-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KFC_VERSION_TEXT));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A simulated Kestrova fish counter on a pseudo-terminal, or on the network with --listen.\n"
        "CMD names a command text; ACK stands for the acknowledgement, * for any command."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("version-number"), QStringLiteral("Firmware version reported, 8.8 or 8.9 (default 8.9)."),
         QStringLiteral("VERSION"), QStringLiteral("8.9")},
        {QStringLiteral("password"), QStringLiteral("Counter password (default: none)."), QStringLiteral("TEXT")},
        {QStringLiteral("fish-interval"), QStringLiteral("A fish every MS milliseconds, 0 for none (default 3000). Fish that pass while the buffer is "
                                                        "full push the oldest events out."),
         QStringLiteral("MS"), QStringLiteral("3000")},
        {QStringLiteral("events"), QStringLiteral("Start with N logged events in the buffer (default 0)."),
         QStringLiteral("N"), QStringLiteral("0")},
        {QStringLiteral("max-events"), QStringLiteral("The buffer holds N events (default 4000, or --events when more); "
                                                      "the oldest go when it is full."),
         QStringLiteral("N")},
        {QStringLiteral("clock-drift"), QStringLiteral("The counter's clock runs SECONDS ahead of the PC's, negative: "
                                                       "behind (default 0)."),
         QStringLiteral("SECONDS"), QStringLiteral("0")},
        {QStringLiteral("line-speed"), QStringLiteral("Emulate the line speed to the PC, 0 for off (default 0)."),
         QStringLiteral("BAUD"), QStringLiteral("0")},
        {QStringLiteral("no-reply"), QStringLiteral("Never answer CMD (default: answer every command)."), QStringLiteral("CMD")},
        {QStringLiteral("wrong-length"), QStringLiteral("Answer CMD with one character too many (default: none)."), QStringLiteral("CMD")},
        {QStringLiteral("garbage"), QStringLiteral("Put garbage bytes before the answer to CMD (default: none)."), QStringLiteral("CMD")},
        {QStringLiteral("slow"), QStringLiteral("Answer CMD only after MS milliseconds (default: at once)."), QStringLiteral("CMD:MS")},
        {QStringLiteral("hang-up-after"), QStringLiteral("Send half the answer to CMD, then drop the line (default: none)."),
         QStringLiteral("CMD")},
        {QStringLiteral("modem"), QStringLiteral("Put a Hayes modem in front of the counter: the number's last digit decides "
                                          "the outcome (2 BUSY, 3 NO CARRIER, 4 NO DIALTONE, 5 silence, "
                                          "6 BUSY on the first call and CONNECT on the next, others CONNECT), "
                                          "and a character a modem refuses (a '+') gets ERROR (see kestrova-sim(1)); default: "
                                          "no modem, the counter itself on the line.")},
        {QStringLiteral("listen"), QStringLiteral("Serve the counter over TCP on HOST:PORT (an address, or localhost; "
                                                  "port 0: any free one) instead of a pseudo-terminal, one "
                                                  "connection at a time, as a serial device server does (default: "
                                                  "a pseudo-terminal)."),
         QStringLiteral("HOST:PORT")},
        {QStringLiteral("quiet"), QStringLiteral("Do not log commands and replies on stderr (default: log them).")},
    });
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        usageError(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));

    if (parser.isSet(QStringLiteral("listen")))
        return serveOnNetwork(app, parser);
    return serveOnPseudoTerminal(app, parser);
}
