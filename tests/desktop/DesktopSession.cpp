#include "tests/desktop/DesktopSession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

extern char** environ;

namespace aerivo::testing {

namespace {

int exitCodeOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

BackgroundProcess::BackgroundProcess(const std::filesystem::path& program,
                                     const std::vector<std::string>& arguments,
                                     const std::vector<std::string>& extraEnvironment,
                                     const std::filesystem::path& logFile, int passFd)
    : logFile_(logFile) {
    std::vector<std::string> argv{program.string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> envp;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        envp.emplace_back(*entry);
    }
    envp.insert(envp.end(), extraEnvironment.begin(), extraEnvironment.end());
    const auto pointers = [](std::vector<std::string>& strings) {
        std::vector<char*> out;
        for (std::string& text : strings) {
            out.push_back(text.data());
        }
        out.push_back(nullptr);
        return out;
    };
    auto argvPointers = pointers(argv);
    auto envPointers = pointers(envp);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logFile.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    if (passFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, passFd, 3);
    }
    if (posix_spawn(&pid_, argv[0].c_str(), &actions, nullptr, argvPointers.data(),
                    envPointers.data()) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
}

BackgroundProcess::~BackgroundProcess() {
    if (pid_ <= 0 || exitCode_) {
        return;
    }
    ::kill(pid_, SIGTERM);
    if (!waitForExit(std::chrono::seconds(5))) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

void BackgroundProcess::signal(int number) const {
    if (pid_ > 0 && !exitCode_) {
        ::kill(pid_, number);
    }
}

std::optional<int> BackgroundProcess::waitForExit(std::chrono::milliseconds bound) {
    if (pid_ <= 0 || exitCode_) {
        return exitCode_;
    }
    eventually(
        [this] {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exitCode_ = exitCodeOf(status);
            }
            return exitCode_.has_value();
        },
        bound);
    return exitCode_;
}

std::string BackgroundProcess::log() const {
    std::ifstream file(logFile_);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

bool eventually(const std::function<bool()>& done, std::chrono::milliseconds bound) {
    const auto end = std::chrono::steady_clock::now() + bound;
    for (;;) {
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool VirtualDesktop::isInstalled() {
    return ::access("/usr/bin/Xvfb", X_OK) == 0 && ::access("/usr/bin/dbus-daemon", X_OK) == 0;
}

VirtualDesktop::VirtualDesktop(const std::filesystem::path& folder, bool withTray)
    : folder_(folder), bus_(folder / "session-bus") {
    sessionBus_.emplace("/usr/bin/dbus-daemon",
                        std::vector<std::string>{"--session", "--nofork", "--nopidfile",
                                                 "--address=unix:path=" + bus_.string()},
                        std::vector<std::string>{}, folder_ / "dbus.log");
    if (!eventually([this] { return std::filesystem::exists(bus_); })) {
        return;
    }
    // Xvfb picks a free display and writes its number to fd 3.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return;
    }
    // Above fd 3, so that handing it over as fd 3 clears its close-on-exec flag.
    const int writeFd = ::fcntl(fds[1], F_DUPFD_CLOEXEC, 10);
    ::close(fds[1]);
    server_.emplace("/usr/bin/Xvfb",
                    std::vector<std::string>{"-displayfd", "3", "-screen", "0", "1280x800x24",
                                             "-nolisten", "tcp", "-noreset"},
                    std::vector<std::string>{}, folder_ / "xvfb.log", writeFd);
    ::close(writeFd);
    std::string number;
    pollfd readable{fds[0], POLLIN, 0};
    while (::poll(&readable, 1, 15000) == 1) {
        char buffer[16];
        const ssize_t count = ::read(fds[0], buffer, sizeof buffer);
        if (count <= 0) {
            break;
        }
        number.append(buffer, static_cast<std::size_t>(count));
        if (number.find('\n') != std::string::npos) {
            break;
        }
    }
    ::close(fds[0]);
    while (!number.empty() && !std::isdigit(static_cast<unsigned char>(number.back()))) {
        number.pop_back();
    }
    if (number.empty()) {
        return;
    }
    display_ = ":" + number;
    ready_ = !withTray || startTray();
}

bool VirtualDesktop::startTray() {
    tray_.emplace("/usr/bin/trayer",
                  std::vector<std::string>{"--edge", "top", "--align", "right", "--widthtype",
                                           "request", "--height", "24", "--SetDockType", "true",
                                           "--transparent", "false"},
                  std::vector<std::string>{displayVariable()}, folder_ / "trayer.log");
    return eventually([this] {
        for (const XWindow& window : windows()) {
            if (window.name == "panel") {
                return true;
            }
        }
        return false;
    });
}

std::vector<XWindow> VirtualDesktop::windows() const {
    const ProgramRun run = runProgram("/usr/bin/xwininfo", {"-root", "-tree"}, {displayVariable()});
    std::vector<XWindow> windows;
    static const std::regex line(
        R"re(^\s*(0x[0-9a-f]+) "([^"]*)":.*\s(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)\s*$)re");
    std::istringstream lines(run.output);
    for (std::string text; std::getline(lines, text);) {
        std::smatch match;
        if (std::regex_match(text, match, line)) {
            windows.push_back(XWindow{match[1], match[2], std::stoi(match[3]), std::stoi(match[4]),
                                      std::stoi(match[5]), std::stoi(match[6])});
        }
    }
    return windows;
}

void VirtualDesktop::click(int x, int y) const {
    runProgram("/usr/bin/xdotool",
               {"mousemove", std::to_string(x), std::to_string(y), "sleep", "0.2", "click", "1"},
               {displayVariable()});
}

bool VirtualDesktop::screenshot(const std::filesystem::path& file, int x, int y, int width,
                                int height) const {
    const std::string crop = std::to_string(width) + "x" + std::to_string(height) + "+" +
                             std::to_string(x) + "+" + std::to_string(y);
    return runProgram("/usr/bin/import",
                      {"-window", "root", "-crop", crop, "+repage", file.string()},
                      {displayVariable()})
               .exitCode == 0;
}

} // namespace aerivo::testing
