#include "sim/daemon/SimJobProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace aerivo {

namespace {

constexpr std::string_view listenPidPrefix = "LISTEN_PID=";

// The environment a job starts with: the simulator's own, with the system root made explicit
// and no socket-activation variables but the ones set for this start.
std::vector<std::string> jobEnvironment(const std::filesystem::path& root,
                                        const std::string& label) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        if (text.starts_with("LISTEN_") || text.starts_with("AERIVO_SYSTEM_ROOT=")) {
            continue;
        }
        environment.emplace_back(text);
    }
    environment.push_back("AERIVO_SYSTEM_ROOT=" + root.string());
    environment.push_back("LISTEN_FDS=1");
    environment.push_back("LISTEN_FDNAMES=" + label);
    // The digits are written in the child, which alone knows its pid before exec.
    environment.push_back(std::string(listenPidPrefix) + std::string(20, '\0'));
    return environment;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    out.reserve(strings.size() + 1);
    for (std::string& text : strings) {
        out.push_back(text.data());
    }
    out.push_back(nullptr);
    return out;
}

void writeAll(int fd, const char* text, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, text, size);
        if (written <= 0) {
            return;
        }
        text += written;
        size -= static_cast<std::size_t>(written);
    }
}

// Between fork and exec: only async-signal-safe calls.
[[noreturn]] void execJob(pid_t parent, int listeningFd, const char* program, char** argv,
                          char** envp, char* listenPid, const std::string& failure) {
    // The job dies with the simulator, as launchd's jobs die with launchd; a parent that died
    // before the request took effect is noticed right after it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) {
        ::_exit(1);
    }
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    for (const int signal : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(signal, &defaultAction, nullptr);
    }
    if (listeningFd == 3) {
        ::fcntl(3, F_SETFD, ::fcntl(3, F_GETFD) & ~FD_CLOEXEC);
    } else if (::dup2(listeningFd, 3) != 3) {
        ::_exit(126);
    }
    ::close_range(4, ~0U, 0);
    // The job gets a blocking socket, as socket activation hands one over; the flag lives in
    // the open file shared with the simulator, which waits on it only while no job runs.
    ::fcntl(3, F_SETFL, ::fcntl(3, F_GETFL) & ~O_NONBLOCK);
    // LISTEN_PID=<decimal pid>
    char digits[20];
    int count = 0;
    for (auto pid = static_cast<unsigned long>(::getpid()); pid > 0 && count < 20; pid /= 10) {
        digits[count++] = static_cast<char>('0' + pid % 10);
    }
    for (int i = 0; i < count; ++i) {
        listenPid[i] = digits[count - 1 - i];
    }
    listenPid[count] = '\0';
    if (::chdir("/") != 0) {
        ::_exit(126);
    }
    ::execve(program, argv, envp);
    writeAll(STDERR_FILENO, failure.data(), failure.size());
    ::_exit(127);
}

} // namespace

pid_t startSocketActivatedJob(const LaunchDaemonDefinition& definition,
                              const std::filesystem::path& root, int listeningFd) {
    std::vector<std::string> arguments = definition.argumentVector();
    std::vector<std::string> environment = jobEnvironment(root, definition.label);
    auto argv = pointers(arguments);
    auto envp = pointers(environment);
    char* listenPid = environment.back().data() + listenPidPrefix.size();
    const std::string program = definition.program.string();
    const std::string failure =
        "aerivo-sim-mac: cannot execute " + program + " for job " + definition.label + "\n";
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid == 0) {
        execJob(parent, listeningFd, program.c_str(), argv.data(), envp.data(), listenPid, failure);
    }
    return pid;
}

} // namespace aerivo
