#include "ptycounter.h"

#include <QSocketNotifier>
#include <QtGlobal>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/inotify.h>
#endif

namespace kfc::sim {

namespace {

// How long a hang-up fault waits for the PC to take in the half reply before the line drops.
constexpr int hangUpGraceMs = 1000;
constexpr int hangUpPollMs = 5;

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    qWarning("kestrova-sim: %s", qPrintable(text));
    return false;
}

#ifdef Q_OS_UNIX
QString systemError(const char* call)
{
    return QStringLiteral("%1 failed: %2").arg(QLatin1String(call), QString::fromLocal8Bit(std::strerror(errno)));
}

bool addFlags(int fd, int getCmd, int setCmd, int flags)
{
    const int old = ::fcntl(fd, getCmd);
    return old >= 0 && ::fcntl(fd, setCmd, old | flags) == 0;
}
#endif

} // namespace

PtyCounter::PtyCounter(QObject* parent) : QObject(parent)
{
    m_lineTimer.setSingleShot(true);
    m_lineTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_lineTimer, &QTimer::timeout, this, &PtyCounter::writeDueBytes);
    m_hangUpTimer.setInterval(hangUpPollMs);
    connect(&m_hangUpTimer, &QTimer::timeout, this, &PtyCounter::hangUpWhenRead);
    connect(&m_counter, &SimCounter::send, this, &PtyCounter::queueReply);
    connect(&m_counter, &SimCounter::hangUpRequested, this, [this](const QByteArray& partial) {
        enqueue(partial);
        m_hangUpWhenSent = true;   // nothing more goes out on this line
        writeDueBytes();
    });
    // Not inside the read that delivered the command: the line goes when it has returned.
    connect(&m_counter, &SimCounter::lineDropped, this, &PtyCounter::hangUp, Qt::QueuedConnection);
    connect(&m_counter, &SimCounter::commsBaudChanged, this, [this](int baud) {
        if (m_lineSpeed > 0 && baud > 0)
            m_lineSpeed = baud;
    });
}

PtyCounter::~PtyCounter()
{
    closeFds();
}

bool PtyCounter::start(QString* error)
{
#ifdef Q_OS_UNIX
    if (m_masterFd >= 0)
        return fail(error, QStringLiteral("The simulated counter is already on %1").arg(m_devicePath));

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0)
        return fail(error, systemError("posix_openpt"));
    const char* name = nullptr;
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || !(name = ::ptsname(master))) {
        const QString text = systemError("grantpt/unlockpt/ptsname");
        ::close(master);
        return fail(error, text);
    }
    m_devicePath = QString::fromLocal8Bit(name);
    // Our own descriptor of the slave keeps the pair alive while the program has the port
    // closed; without it the master would see EIO between two connections.
    const bool ok = openSlave() && addFlags(master, F_GETFL, F_SETFL, O_NONBLOCK)
                    && addFlags(master, F_GETFD, F_SETFD, FD_CLOEXEC);
    if (!ok) {
        const QString text = systemError("opening the pseudo-terminal");
        if (m_slaveFd >= 0)
            ::close(m_slaveFd);
        m_slaveFd = -1;
        m_lineSettings.clear();
        ::close(master);
        return fail(error, text);
    }

    m_masterFd = master;
    watchCloses();
    m_outQueue.clear();
    m_hangUpWhenSent = false;
    m_readNotifier = new QSocketNotifier(master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyCounter::readMaster);
    m_writeNotifier = new QSocketNotifier(master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtyCounter::writeDueBytes);
    return true;
#else
    return fail(error, QStringLiteral("The simulated counter needs pseudo-terminals, which this system does not have"));
#endif
}

bool PtyCounter::openSlave()
{
#ifdef Q_OS_UNIX
    const int slave = ::open(m_devicePath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0)
        return false;
    if (m_lineSettings.isEmpty()) {
        termios tio{};
        if (::tcgetattr(slave, &tio) != 0) {
            ::close(slave);
            return false;
        }
        ::cfmakeraw(&tio);   // no echo, no CR/LF translation: bytes pass as they are
        m_lineSettings = QByteArray(reinterpret_cast<const char*>(&tio), sizeof tio);
    }
    if (!applyLineSettings(slave)) {
        ::close(slave);
        return false;
    }
    m_slaveFd = slave;
    return true;
#else
    return false;
#endif
}

bool PtyCounter::applyLineSettings(int fd) const
{
#ifdef Q_OS_UNIX
    termios tio{};
    if (m_lineSettings.size() != sizeof tio)
        return false;
    std::memcpy(&tio, m_lineSettings.constData(), sizeof tio);
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
#else
    Q_UNUSED(fd);
    return false;
#endif
}

// A program opening the line gives it its own settings (7 data bits, even parity, no
// modem control), and closing its port puts the earlier ones back. One killed outright
// leaves its settings in place, parity and data bits already turned back to none and 8 by
// the pseudo-terminal, which has neither. The next program's identical request then
// changes nothing that the pseudo-terminal keeps, and the C library, which reads every
// change back, refuses it as "Invalid argument". So after every close of the device the
// line's own settings are put back, as a real port's are by its driver.
void PtyCounter::watchCloses()
{
#ifdef Q_OS_LINUX
    m_closeWatchFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_closeWatchFd < 0
        || ::inotify_add_watch(m_closeWatchFd, m_devicePath.toLocal8Bit().constData(), IN_CLOSE) < 0) {
        qWarning("kestrova-sim: %s: a program killed on the line will leave its settings behind",
                 qPrintable(systemError("inotify")));
        return;
    }
    m_closeNotifier = new QSocketNotifier(m_closeWatchFd, QSocketNotifier::Read, this);
    connect(m_closeNotifier, &QSocketNotifier::activated, this, &PtyCounter::onDeviceClosed);
#endif
}

void PtyCounter::onDeviceClosed()
{
#ifdef Q_OS_LINUX
    char events[4096];
    while (::read(m_closeWatchFd, events, sizeof events) > 0) {
    }
    if (m_slaveFd >= 0 && !applyLineSettings(m_slaveFd))
        qWarning("kestrova-sim: %s", qPrintable(systemError("restoring the line's settings")));
#endif
}

void PtyCounter::setModem(SimModem* modem)
{
    m_modem = modem;
    connect(modem, &SimModem::send, this, &PtyCounter::queueReply);
    // While a call is up only the PC holds the slave, so its closing the port reaches us
    // as the end of the master's input: that is how the modem learns the call is over.
    connect(modem, &SimModem::wentOnline, this, [this] {
#ifdef Q_OS_UNIX
        if (m_slaveFd >= 0)
            ::close(m_slaveFd);
#endif
        m_slaveFd = -1;
    });
}

// The PC closed its port during a call: the modem drops the call and waits for the next.
void PtyCounter::endCall()
{
    ++m_session;
    m_outQueue.clear();
    m_lineTimer.stop();
    m_modem->hangUp();
    m_counter.endSession();
    if (!openSlave()) {
        qWarning("kestrova-sim: cannot reopen %s after the call", qPrintable(m_devicePath));
        return;
    }
    if (m_readNotifier)
        m_readNotifier->setEnabled(true);
}

void PtyCounter::hangUp()
{
    if (m_masterFd < 0)
        return;
    closeFds();
    m_counter.endSession();
    if (m_modem)
        m_modem->hangUp();
    emit hungUp();
}

void PtyCounter::clearReceived()
{
    m_byteTimesNs.clear();
    m_received.clear();
}

// The notifiers may be the very senders whose slot brought us here (a hang-up fault while
// a command is read), so they are disabled now and deleted later.
void PtyCounter::closeFds()
{
    ++m_session;
    m_lineTimer.stop();
    m_hangUpTimer.stop();
    m_outQueue.clear();
    m_hangUpWhenSent = false;
    for (QSocketNotifier* notifier : {m_readNotifier, m_writeNotifier, m_closeNotifier}) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    m_readNotifier = m_writeNotifier = m_closeNotifier = nullptr;
#ifdef Q_OS_UNIX
    for (const int fd : {m_masterFd, m_slaveFd, m_closeWatchFd}) {
        if (fd >= 0)
            ::close(fd);
    }
#endif
    m_masterFd = m_slaveFd = m_closeWatchFd = -1;
    m_lineSettings.clear();
}

void PtyCounter::readMaster()
{
#ifdef Q_OS_UNIX
    char buffer[512];
    while (m_masterFd >= 0) {
        const ssize_t n = ::read(m_masterFd, buffer, sizeof buffer);
        if (n > 0) {
            const QByteArray bytes(buffer, n);
            const qint64 now = monotonicNs();
            m_received.append(bytes);
            m_byteTimesNs.insert(m_byteTimesNs.size(), n, now);
            if (m_modem && !m_modem->online())
                m_modem->receive(bytes);
            else
                m_counter.receive(bytes);   // may hang the line up
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (m_modem && m_modem->online() && m_slaveFd < 0) {
            if (m_readNotifier)
                m_readNotifier->setEnabled(false);
            endCall();
            return;
        }
        // EOF or EIO: the line is dead. Stop listening, or the notifier fires for ever.
        qWarning("kestrova-sim: the line on %s went down (%s)", qPrintable(m_devicePath),
                 n == 0 ? "end of file" : std::strerror(errno));
        if (m_readNotifier)
            m_readNotifier->setEnabled(false);
        return;
    }
#endif
}

void PtyCounter::queueReply(const QByteArray& bytes, int delayMs)
{
    if (delayMs <= 0) {
        enqueue(bytes);
        return;
    }
    QTimer::singleShot(delayMs, Qt::PreciseTimer, this, [this, bytes, session = m_session] {
        if (session == m_session)
            enqueue(bytes);
    });
}

void PtyCounter::enqueue(const QByteArray& bytes)
{
    if (m_masterFd < 0 || m_hangUpWhenSent)
        return;   // no line, or one about to drop: the bytes are lost as on a real line
    if (m_outQueue.isEmpty() && m_lineSpeed > 0)
        m_frontDueNs = std::max(monotonicNs(), m_lastDueNs) + 10'000'000'000LL / m_lineSpeed;
    m_outQueue.append(bytes);
    writeDueBytes();
}

// Without line-speed emulation every queued byte is due at once; with it, byte k of the
// queue is through the line at m_frontDueNs + k * byteNs, and a single-shot timer wakes us
// for the next one, so an idle line costs nothing.
void PtyCounter::writeDueBytes()
{
    if (m_masterFd < 0)
        return;
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(false);
    qsizetype due = m_outQueue.size();
    qint64 byteNs = 0;
    const qint64 now = monotonicNs();
    if (m_lineSpeed > 0) {
        byteNs = 10'000'000'000LL / m_lineSpeed;
        due = now < m_frontDueNs ? 0 : std::min<qsizetype>(m_outQueue.size(), 1 + (now - m_frontDueNs) / byteNs);
    }
    const qsizetype written = due > 0 ? writeToMaster(m_outQueue.constData(), due) : 0;
    if (m_masterFd < 0)
        return;
    m_outQueue.remove(0, written);
    if (byteNs > 0 && written > 0) {
        m_lastDueNs = m_frontDueNs + (written - 1) * byteNs;
        m_frontDueNs += written * byteNs;
    }
    if (m_outQueue.isEmpty()) {
        if (m_hangUpWhenSent && !m_hangUpTimer.isActive()) {
            m_partialSeen = false;
            m_hangUpDeadline.setRemainingTime(hangUpGraceMs);
            m_hangUpTimer.start();
            hangUpWhenRead();
        }
    } else if (written < due) {
        m_writeNotifier->setEnabled(true);   // the PC is not reading: wait for room
    } else {
        m_lineTimer.start(int((m_frontDueNs - now + 999'999) / 1'000'000));
    }
}

// Closing the master throws away whatever the PC has not read yet, so a hang-up fault
// first lets the half reply reach the PC: it watches the PC's input queue fill and empty
// again (polling briefly, only during the fault), and gives up waiting after a grace time.
void PtyCounter::hangUpWhenRead()
{
    const int unread = bytesUnread();
    m_partialSeen = m_partialSeen || unread > 0;
    if ((m_partialSeen && unread == 0) || m_hangUpDeadline.hasExpired())
        hangUp();
}

int PtyCounter::bytesUnread() const
{
    int count = 0;
#ifdef Q_OS_UNIX
    if (m_slaveFd < 0 || ::ioctl(m_slaveFd, FIONREAD, &count) != 0)
        return 0;
#endif
    return count;
}

qsizetype PtyCounter::writeToMaster(const char* data, qsizetype size)
{
#ifdef Q_OS_UNIX
    for (;;) {
        const ssize_t n = ::write(m_masterFd, data, size_t(size));
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        qWarning("kestrova-sim: writing to %s failed (%s); the line is dropped", qPrintable(m_devicePath),
                 std::strerror(errno));
        hangUp();
        return 0;
    }
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
    return 0;
#endif
}

} // namespace kfc::sim
