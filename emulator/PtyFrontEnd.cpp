#include "PtyFrontEnd.hpp"

#include "FrontPanel.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <string_view>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace qrv {

namespace {

volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t vanishRequested = 0;
volatile std::sig_atomic_t returnRequested = 0;
volatile std::sig_atomic_t powerCycleRequested = 0;
volatile std::sig_atomic_t swapRequested = 0;
volatile std::sig_atomic_t nextEffectRequested = 0;

extern "C" void requestStop(int)
{
    stopRequested = 1;
}

// SIGUSR1 unplugs the unit (the terminal and its link go), SIGUSR2 plugs it in again.
extern "C" void requestPlug(int sig)
{
    if (sig == SIGUSR1)
        vanishRequested = 1;
    else
        returnRequested = 1;
}

// SIGRTMIN restarts the unit behind the port, SIGRTMIN+1 swaps it; the terminal stays.
// SIGRTMIN+2 presses the front panel's Next: the unit selects the following effect.
extern "C" void requestUnitChange(int sig)
{
    if (sig == SIGRTMIN)
        powerCycleRequested = 1;
    else if (sig == SIGRTMIN + 1)
        swapRequested = 1;
    else
        nextEffectRequested = 1;
}

// Replies waiting for a reader are capped here; beyond it the emulator stops reading, so
// a client that writes without reading blocks instead of growing our queues.
constexpr std::size_t kBacklogLimit = 4096;
// After the terminal reports an error on input, look again this much later.
constexpr double kInputRetry = 0.05;
// Before hanging up, give the client the last reply: bytes written to the master reach the
// slave's input queue a moment later, so an empty queue counts only once it was seen full
// or after a short grace.
constexpr double kHangupGrace = 0.05;
constexpr double kHangupLinger = 1.0;
constexpr double kHangupCheck = 0.002;

double now()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

timespec toTimespec(double seconds)
{
    seconds = std::max(seconds, 0.0);
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>((seconds - static_cast<double>(ts.tv_sec)) * 1e9);
    return ts;
}

void fail(const char* what)
{
    std::fprintf(stderr, "qrv5173-emu: %s: %s\n", what, std::strerror(errno));
}

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(); }
    int get() const { return fd_; }
    void adopt(int fd)
    {
        reset();
        fd_ = fd;
    }
    void reset()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// The symbolic link to the slave; removed on exit unless someone pointed it elsewhere.
class SlaveLink {
public:
    SlaveLink(std::string link, std::string target) : link_(std::move(link)), target_(std::move(target)) {}
    SlaveLink(const SlaveLink&) = delete;
    SlaveLink& operator=(const SlaveLink&) = delete;
    ~SlaveLink()
    {
        if (placed_ && pointsToTarget())
            ::unlink(link_.c_str());
    }

    bool place()
    {
        struct stat info {};
        if (::lstat(link_.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) {
            std::fprintf(stderr, "qrv5173-emu: %s exists and is not a symbolic link\n", link_.c_str());
            return false;
        }
        const std::string fresh = link_ + ".new";
        ::unlink(fresh.c_str());
        if (::symlink(target_.c_str(), fresh.c_str()) != 0 || ::rename(fresh.c_str(), link_.c_str()) != 0) {
            fail(link_.c_str());
            ::unlink(fresh.c_str());
            return false;
        }
        placed_ = true;
        return true;
    }

private:
    bool pointsToTarget() const
    {
        char buffer[4096];
        const ssize_t n = ::readlink(link_.c_str(), buffer, sizeof buffer);
        return n >= 0 && std::string(buffer, static_cast<std::size_t>(n)) == target_;
    }

    std::string link_;
    std::string target_;
    bool placed_ = false;
};

bool makeRaw(int fd)
{
    termios mode{};
    if (tcgetattr(fd, &mode) != 0)
        return false;
    cfmakeraw(&mode);
    cfsetispeed(&mode, B4800);
    cfsetospeed(&mode, B4800);
    return tcsetattr(fd, TCSANOW, &mode) == 0;
}

void installSignalHandlers(sigset_t& waitMask)
{
    const int kHandled[] = {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2, SIGRTMIN, SIGRTMIN + 1, SIGRTMIN + 2};
    sigset_t handled;
    sigemptyset(&handled);
    for (const int sig : kHandled)
        sigaddset(&handled, sig);
    // Blocked except inside ppoll, so a signal cannot slip in between the check and the wait.
    sigprocmask(SIG_BLOCK, &handled, &waitMask);
    for (const int sig : kHandled)
        sigdelset(&waitMask, sig);
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    for (const int sig : kHandled) {
        action.sa_handler = sig == SIGUSR1 || sig == SIGUSR2 ? requestPlug
            : sig >= SIGRTMIN && sig <= SIGRTMIN + 2        ? requestUnitChange
                                                            : requestStop;
        sigaction(sig, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
}

// The unit's side of the line: a fresh pseudo-terminal, the emulator's own hold on its slave,
// and the optional link to it.
struct Terminal {
    Descriptor master;
    Descriptor slave;
    std::optional<SlaveLink> link;
};

// Opens the terminal, places the link and prints the terminal's path; nothing on failure.
std::unique_ptr<Terminal> plugIn(const std::string& linkPath)
{
    auto terminal = std::make_unique<Terminal>();
    terminal->master.adopt(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    const int master = terminal->master.get();
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        fail("pseudo-terminal");
        return nullptr;
    }
    char name[256];
    if (ptsname_r(master, name, sizeof name) != 0) {
        fail("pseudo-terminal name");
        return nullptr;
    }
    const std::string slavePath = name;
    // Holding the slave open keeps the master from reporting a hang-up between clients.
    terminal->slave.adopt(::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (terminal->slave.get() < 0 || !makeRaw(terminal->slave.get())) {
        fail(slavePath.c_str());
        return nullptr;
    }
    const int flags = fcntl(master, F_GETFL);
    fcntl(master, F_SETFL, flags | O_NONBLOCK);
    if (!linkPath.empty()) {
        terminal->link.emplace(linkPath, slavePath);
        if (!terminal->link->place())
            return nullptr;
    }
    std::printf("%s\n", slavePath.c_str());
    std::fflush(stdout);
    return terminal;
}

// The front panel's pipe, opened for reading and writing so that it never reads as ended
// when a writer closes it.
class PanelPipe {
public:
    bool open(const std::string& path)
    {
        if (path.empty())
            return true;
        if (::mkfifo(path.c_str(), 0600) != 0 && errno != EEXIST) {
            fail(path.c_str());
            return false;
        }
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0 || !S_ISFIFO(info.st_mode)) {
            std::fprintf(stderr, "qrv5173-emu: %s is not a named pipe\n", path.c_str());
            return false;
        }
        fd_.adopt(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
        if (fd_.get() < 0) {
            fail(path.c_str());
            return false;
        }
        return true;
    }
    int fd() const { return fd_.get(); }
    // Plays every whole line that has arrived; a wrong line is said on standard error.
    void play(DeviceModel& unit)
    {
        char buffer[512];
        ssize_t n = 0;
        while ((n = ::read(fd_.get(), buffer, sizeof buffer)) > 0)
            pending_.append(buffer, static_cast<std::size_t>(n));
        std::size_t end = 0;
        while ((end = pending_.find('\n')) != std::string::npos) {
            const std::string error = playPanelLine(unit, std::string_view(pending_).substr(0, end));
            if (!error.empty())
                std::fprintf(stderr, "qrv5173-emu: panel: %s\n", error.c_str());
            pending_.erase(0, end + 1);
        }
    }

private:
    Descriptor fd_;
    std::string pending_;
};

// Writes what the terminal takes now; the rest waits for POLLOUT.
void flush(int master, std::vector<uint8_t>& pending)
{
    while (!pending.empty()) {
        const ssize_t n = ::write(master, pending.data(), pending.size());
        if (n > 0) {
            pending.erase(pending.begin(), pending.begin() + n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        // No reader can ever get these bytes; keeping them would only spin.
        pending.clear();
    }
}

} // namespace

int runOnPty(EmulatorSession& session, const std::string& linkPath, const std::string& panelPath)
{
    PanelPipe panel;
    if (!panel.open(panelPath))
        return 2;
    sigset_t waitMask;
    installSignalHandlers(waitMask);
    // Reply bytes leave on timed wake-ups; the default slack of 50 µs would make each late.
    prctl(PR_SET_TIMERSLACK, 1UL);

    auto terminal = plugIn(linkPath);
    if (!terminal)
        return 1;
    std::vector<uint8_t> pending;
    double inputRetryAt = 0;
    std::optional<double> hangupStart;
    bool replySeenUnread = false;
    uint8_t buffer[4096];

    while (!stopRequested) {
        if (vanishRequested && terminal) {
            // Unplugged: the client's port fails, replies on the way are lost with the line.
            terminal.reset();
            pending.clear();
            hangupStart.reset();
        }
        vanishRequested = 0;
        if (returnRequested && !terminal && !(terminal = plugIn(linkPath)))
            return 1;
        returnRequested = 0;
        if (powerCycleRequested)
            session.powerCycle();
        powerCycleRequested = 0;
        if (swapRequested)
            session.swapUnit();
        swapRequested = 0;
        if (nextEffectRequested)
            selectNextOnPanel(session.unit());
        nextEffectRequested = 0;
        if (!terminal) {
            // What was on its way when the line went never arrives.
            session.advance(now());
            const auto due = session.nextDue();
            timespec timeout{};
            if (due)
                timeout = toTimespec(*due - now());
            pollfd panelWatch{panel.fd(), POLLIN, 0};
            if (ppoll(&panelWatch, 1, due ? &timeout : nullptr, &waitMask) > 0 && (panelWatch.revents & POLLIN))
                panel.play(session.unit());
            continue;
        }
        const int masterFd = terminal->master.get();
        const double t = now();
        const auto out = session.advance(t);
        pending.insert(pending.end(), out.begin(), out.end());
        flush(masterFd, pending);

        std::optional<double> wakeAt = session.nextDue();
        const auto wakeBy = [&](double when) { wakeAt = wakeAt ? std::min(*wakeAt, when) : when; };

        if (session.hungUp() && pending.empty()) {
            if (!hangupStart)
                hangupStart = t;
            int unread = 0;
            if (ioctl(terminal->slave.get(), FIONREAD, &unread) != 0)
                break;
            replySeenUnread = replySeenUnread || unread > 0;
            const bool taken = unread <= 0 && (replySeenUnread || t >= *hangupStart + kHangupGrace);
            if (taken || t >= *hangupStart + kHangupLinger)
                break;
            wakeBy(t + kHangupCheck);
        }

        const bool inputPaused = t < inputRetryAt;
        if (inputPaused)
            wakeBy(inputRetryAt);
        const bool wantInput = !inputPaused && !session.hungUp() && session.backlog() + pending.size() < kBacklogLimit;
        pollfd watches[2] = {{masterFd, 0, 0}, {panel.fd(), POLLIN, 0}};
        pollfd& watch = watches[0];
        if (wantInput)
            watch.events |= POLLIN;
        if (!pending.empty())
            watch.events |= POLLOUT;
        // A hang-up condition is reported whatever is asked for; leave the terminal out then.
        if (watch.events == 0)
            watch.fd = -1;

        timespec timeout{};
        if (wakeAt)
            timeout = toTimespec(*wakeAt - now());
        const int ready = ppoll(watches, 2, wakeAt ? &timeout : nullptr, &waitMask);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            fail("poll");
            return 1;
        }
        if (watches[1].revents & POLLIN)
            panel.play(session.unit());
        if (!(watch.revents & (POLLIN | POLLHUP | POLLERR)) || !wantInput)
            continue;
        const ssize_t n = ::read(masterFd, buffer, sizeof buffer);
        if (n > 0)
            session.received(std::span(buffer, static_cast<std::size_t>(n)), now());
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            inputRetryAt = now() + kInputRetry;
    }
    return 0;
}

} // namespace qrv
