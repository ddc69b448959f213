#include "tests/support/RunningProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace aerivo::testing {

RunningProcess::RunningProcess(const std::filesystem::path& program,
                               std::vector<std::string> arguments,
                               const std::vector<std::string>& extraEnvironment) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return;
    }
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        environment.emplace_back(*entry);
    }
    environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
    arguments.insert(arguments.begin(), program.string());
    std::vector<char*> argv;
    std::vector<char*> envp;
    for (auto& text : arguments) {
        argv.push_back(text.data());
    }
    for (auto& text : environment) {
        envp.push_back(text.data());
    }
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // The loader's complaints about deliberately broken preload settings are not test output.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const int spawned =
        posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    output_ = pipeFds[0];
    if (spawned != 0) {
        pid_ = -1;
        return;
    }
    running_ = true;
}

RunningProcess::~RunningProcess() {
    stop();
    if (output_ >= 0) {
        close(output_);
    }
}

std::string RunningProcess::readLine() {
    for (;;) {
        const std::size_t end = buffered_.find('\n');
        if (end != std::string::npos) {
            std::string line = buffered_.substr(0, end);
            buffered_.erase(0, end + 1);
            return line;
        }
        char chunk[256];
        const ssize_t count = output_ >= 0 ? read(output_, chunk, sizeof chunk) : 0;
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return {};
        }
        buffered_.append(chunk, static_cast<std::size_t>(count));
    }
}

void RunningProcess::stop() {
    if (running_) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        running_ = false;
    }
}

} // namespace aerivo::testing
