#include "platform/qt/TerminationSignalNotifier.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace aerivo {

namespace {

// The write end of the live notifier's pipe, read by the signal handler; -1 when none.
std::atomic<int> signalPipeWriteFd{-1};
// The dispositions in force before the notifier installed its own, indexed by signal number.
struct sigaction previousActions[NSIG];

extern "C" void forwardSignalToPipe(int signalNumber) {
    const int savedErrno = errno;
    const int fd = signalPipeWriteFd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        // A full pipe already holds unread signals: dropping this one loses nothing that
        // matters, since any one of them ends the application.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

std::vector<int> TerminationSignalNotifier::defaultSignals() {
    return {SIGTERM, SIGINT, SIGHUP};
}

TerminationSignalNotifier::TerminationSignalNotifier(Handler handler,
                                                     std::vector<int> signalNumbers)
    : handler_(std::move(handler)), signalNumbers_(std::move(signalNumbers)) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::system_error(errno, std::generic_category(), "signal pipe");
    }
    int expected = -1;
    if (!signalPipeWriteFd.compare_exchange_strong(expected, fds[1])) {
        ::close(fds[0]);
        ::close(fds[1]);
        throw std::logic_error("another termination signal notifier is active");
    }
    readFd_ = fds[0];
    writeFd_ = fds[1];
    notifier_ = std::make_unique<QSocketNotifier>(readFd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { drain(); });

    struct sigaction action {};
    action.sa_handler = forwardSignalToPipe;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < signalNumbers_.size(); ++i) {
        const int number = signalNumbers_[i];
        if (number <= 0 || number >= NSIG ||
            ::sigaction(number, &action, &previousActions[number]) != 0) {
            const int error = errno;
            signalNumbers_.resize(i); // restore only what was installed
            release();
            throw std::system_error(error, std::generic_category(), "sigaction");
        }
    }
}

TerminationSignalNotifier::~TerminationSignalNotifier() {
    release();
}

void TerminationSignalNotifier::release() {
    for (const int number : signalNumbers_) {
        ::sigaction(number, &previousActions[number], nullptr);
    }
    signalNumbers_.clear();
    notifier_.reset();
    signalPipeWriteFd.store(-1);
    if (writeFd_ >= 0) {
        ::close(writeFd_);
        writeFd_ = -1;
    }
    if (readFd_ >= 0) {
        ::close(readFd_);
        readFd_ = -1;
    }
}

void TerminationSignalNotifier::drain() {
    unsigned char buffer[64];
    for (;;) {
        const ssize_t count = ::read(readFd_, buffer, sizeof buffer);
        if (count <= 0) {
            return;
        }
        for (ssize_t i = 0; i < count; ++i) {
            if (handler_) {
                handler_(buffer[i]);
            }
        }
    }
}

} // namespace aerivo
