#include "tests/e2e/SimulatorProcess.h"

#include "shared/SimulatorWire.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace aerivo::testing {

namespace {

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& text : strings) {
        out.push_back(text.data());
    }
    out.push_back(nullptr);
    return out;
}

std::vector<std::string> environmentWith(const std::vector<std::string>& extra) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        environment.emplace_back(*entry);
    }
    environment.insert(environment.end(), extra.begin(), extra.end());
    return environment;
}

bool accepts(const std::filesystem::path& socket) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = socket.string();
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool connected =
        fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return connected;
}

int exitCodeOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

TemporarySystemRoot::TemporarySystemRoot() {
    std::string pattern = (std::filesystem::temp_directory_path() / "aerivo-e2e-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary system root");
    }
    path_ = pattern;
}

TemporarySystemRoot::~TemporarySystemRoot() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
}

ProgramRun runProgram(const std::filesystem::path& program,
                      const std::vector<std::string>& arguments,
                      const std::vector<std::string>& extraEnvironment) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    std::vector<std::string> argv{program.string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> envp = environmentWith(extraEnvironment);
    auto argvPointers = pointers(argv);
    auto envPointers = pointers(envp);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, argvPointers.data(),
                                    envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    ProgramRun run;
    if (spawned != 0) {
        close(pipeFds[0]);
        return run;
    }
    char buffer[4096];
    ssize_t count = 0;
    while ((count = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        run.output.append(buffer, static_cast<std::size_t>(count));
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = exitCodeOf(status);
    return run;
}

BackgroundProgram::BackgroundProgram(const std::filesystem::path& program,
                                     const std::vector<std::string>& arguments) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    std::vector<std::string> argv{program.string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    auto argvPointers = pointers(argv);
    if (posix_spawn(&pid_, argv[0].c_str(), &actions, nullptr, argvPointers.data(), environ) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    output_ = pipeFds[0];
}

BackgroundProgram::~BackgroundProgram() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        finish();
    }
    if (output_ >= 0) {
        close(output_);
    }
}

ProgramRun BackgroundProgram::finish() {
    ProgramRun run;
    if (pid_ <= 0) {
        return run;
    }
    char buffer[4096];
    ssize_t count = 0;
    while ((count = read(output_, buffer, sizeof buffer)) > 0) {
        run.output.append(buffer, static_cast<std::size_t>(count));
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    run.exitCode = exitCodeOf(status);
    return run;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

bool hasLine(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::optional<std::string> lineValue(const std::string& output, std::string_view key) {
    const std::string prefix = "\n" + std::string(key) + "=";
    const std::string text = "\n" + output;
    const auto found = text.find(prefix);
    if (found == std::string::npos) {
        return std::nullopt;
    }
    const auto start = found + prefix.size();
    return text.substr(start, text.find('\n', start) - start);
}

std::string fieldValue(const std::string& line, std::string_view key) {
    const std::string marker = " " + std::string(key) + "=";
    const auto start = line.find(marker);
    if (start == std::string::npos) {
        return {};
    }
    const auto from = start + marker.size();
    return line.substr(from, line.find(' ', from) - from);
}

bool isProcessRunning(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) {
        return false;
    }
    // "<pid> (<name>) <state> ...": the state follows the last parenthesis.
    const auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z' &&
           line[close + 2] != 'X';
}

std::filesystem::path SimulatorProcess::programPath() {
    return AERIVO_SIM_MAC_PATH;
}

SimulatorProcess::SimulatorProcess(const std::filesystem::path& root,
                                   std::vector<std::string> extraArguments,
                                   const std::optional<std::filesystem::path>& errorLog)
    : root_(root) {
    std::vector<std::string> argv{programPath().string(), "--root", root.string()};
    argv.insert(argv.end(), extraArguments.begin(), extraArguments.end());
    auto argvPointers = pointers(argv);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (errorLog) {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorLog->c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0600);
    }
    const int spawned =
        posix_spawn(&pid_, argv[0].c_str(), &actions, nullptr, argvPointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        pid_ = -1;
        return;
    }
    // Bounded wait for the socket; the only waiting these tests do.
    const auto socket = simulatorSocketPath(root);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code error;
        // A socket that accepts: a stale file left by an earlier run does not count.
        if (std::filesystem::is_socket(socket, error) && accepts(socket)) {
            serving_ = true;
            return;
        }
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

SimulatorProcess::~SimulatorProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
}

int SimulatorProcess::waitForExit() {
    if (pid_ <= 0) {
        return -1;
    }
    int status = 0;
    const pid_t ended = waitpid(pid_, &status, 0);
    pid_ = -1;
    return ended > 0 ? exitCodeOf(status) : -1;
}

std::optional<std::string> SimulatorProcess::status(std::string_view key) const {
    return lineValue(ctl({"status"}).output, key);
}

bool SimulatorProcess::waitForStatus(std::string_view key, std::string_view value) const {
    return waitUntil([&] { return status(key) == value; });
}

ProgramRun SimulatorProcess::ctl(const std::vector<std::string>& arguments) const {
    std::vector<std::string> all{"ctl", "--root", root_.string()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return runProgram(programPath(), all);
}

} // namespace aerivo::testing
