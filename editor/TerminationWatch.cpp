#include "editor/TerminationWatch.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace tarlo {

#if defined(Q_OS_UNIX)

namespace {

constexpr std::array kSignals{SIGTERM, SIGHUP, SIGINT};

// [0] written by the handler, [1] read by the notifier; -1 when no watch.
int pipeFds[2] = {-1, -1};
// pipeFds[0] as the handler may read it.
volatile std::sig_atomic_t handlerFd = -1;
// The handlers that were in place before the watch, per entry of kSignals.
struct sigaction previous[kSignals.size()];
bool installed[kSignals.size()] = {};

extern "C" void onSignal(int sig)
{
    const int saved = errno;
    const char byte = char(sig);
    // Non-blocking: with the pipe full, earlier bytes already say it.
    [[maybe_unused]] const ssize_t n = ::write(handlerFd, &byte, 1);
    errno = saved;
}

} // namespace

TerminationWatch::TerminationWatch(QObject* parent) : QObject(parent)
{
    if (pipeFds[0] >= 0)
        return; // one watch at a time
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pipeFds) != 0) {
        pipeFds[0] = pipeFds[1] = -1;
        return;
    }
    for (int fd : pipeFds)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    handlerFd = pipeFds[0];
    notifier_ = std::make_unique<QSocketNotifier>(pipeFds[1], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { readSignals(); });

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        struct sigaction now = {};
        if (::sigaction(kSignals[i], nullptr, &now) != 0 || now.sa_handler == SIG_IGN)
            continue;
        installed[i] = ::sigaction(kSignals[i], &action, &previous[i]) == 0;
    }
}

TerminationWatch::~TerminationWatch()
{
    if (!notifier_)
        return;
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        if (installed[i])
            ::sigaction(kSignals[i], &previous[i], nullptr);
        installed[i] = false;
    }
    notifier_.reset();
    handlerFd = -1;
    for (int& fd : pipeFds) {
        ::close(fd);
        fd = -1;
    }
}

void TerminationWatch::readSignals()
{
    char bytes[16];
    const ssize_t n = ::read(pipeFds[1], bytes, sizeof bytes);
    // Once is enough: the first signal ends the program.
    if (n > 0)
        emit requested(int(bytes[0]));
}

void TerminationWatch::endBy(int sig)
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(sig, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(sig);
    std::_Exit(128 + sig); // a signal that does not end the program by default
}

#else

TerminationWatch::TerminationWatch(QObject* parent) : QObject(parent) {}
TerminationWatch::~TerminationWatch() = default;
void TerminationWatch::readSignals() {}
void TerminationWatch::endBy(int sig)
{
    std::_Exit(128 + sig);
}

#endif

} // namespace tarlo
