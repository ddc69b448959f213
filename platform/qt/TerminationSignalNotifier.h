#pragma once

#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace aerivo {

// Turns the termination signals (SIGTERM, SIGINT, SIGHUP by default) into calls on the Qt event
// loop's thread. The signal handler only writes the signal number into a pipe (write(2) is
// async-signal-safe); a QSocketNotifier on the pipe's read end calls `handler` from the event
// loop, where Qt may be used. One notifier at a time per process; the signals' previous
// dispositions come back when it is destroyed. Requires a QCoreApplication.
class TerminationSignalNotifier {
public:
    using Handler = std::function<void(int signalNumber)>;

    static std::vector<int> defaultSignals();

    // Throws std::system_error when the pipe or a handler cannot be set up, and
    // std::logic_error when another notifier is alive.
    explicit TerminationSignalNotifier(Handler handler,
                                       std::vector<int> signalNumbers = defaultSignals());
    ~TerminationSignalNotifier();

    TerminationSignalNotifier(const TerminationSignalNotifier&) = delete;
    TerminationSignalNotifier& operator=(const TerminationSignalNotifier&) = delete;

private:
    void drain();
    void release();

    Handler handler_;
    std::vector<int> signalNumbers_;
    int readFd_ = -1;
    int writeFd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace aerivo
