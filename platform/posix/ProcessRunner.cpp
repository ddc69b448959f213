#include "platform/posix/ProcessRunner.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace aerivo {

namespace {

class Pipe {
public:
    Pipe() {
        if (::pipe2(fds_.data(), O_CLOEXEC) != 0) {
            fds_ = {-1, -1};
        }
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    bool isOpen() const { return fds_[0] >= 0 && fds_[1] >= 0; }
    int readEnd() const { return fds_[0]; }
    int writeEnd() const { return fds_[1]; }
    void closeRead() { closeFd(fds_[0]); }
    void closeWrite() { closeFd(fds_[1]); }

private:
    static void closeFd(int& fd) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
    std::array<int, 2> fds_{-1, -1};
};

std::string errnoText(int error) {
    return std::strerror(error);
}

// Reads both pipes until each reports end of file.
void drain(Pipe& out, Pipe& err, std::string& outText, std::string& errText) {
    std::array<char, 65536> buffer{};
    bool outOpen = true;
    bool errOpen = true;
    while (outOpen || errOpen) {
        std::array<pollfd, 2> fds{};
        nfds_t count = 0;
        if (outOpen) {
            fds[count++] = {out.readEnd(), POLLIN, 0};
        }
        if (errOpen) {
            fds[count++] = {err.readEnd(), POLLIN, 0};
        }
        if (::poll(fds.data(), count, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        for (nfds_t i = 0; i < count; ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            const bool isOut = fds[i].fd == out.readEnd();
            const ssize_t got = ::read(fds[i].fd, buffer.data(), buffer.size());
            if (got > 0) {
                (isOut ? outText : errText).append(buffer.data(), static_cast<std::size_t>(got));
            } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
                (isOut ? outOpen : errOpen) = false;
            }
        }
    }
}

} // namespace

ProcessRunResult PosixProcessRunner::run(const std::string& executablePath,
                                         const std::vector<std::string>& arguments) {
    Pipe out;
    Pipe err;
    if (!out.isOpen() || !err.isOpen()) {
        return ProcessLaunchError{"Could not create pipes: " + errnoText(errno)};
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out.writeEnd(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.writeEnd(), STDERR_FILENO);

    std::vector<std::string> argvStorage;
    argvStorage.reserve(arguments.size() + 1);
    argvStorage.push_back(executablePath);
    argvStorage.insert(argvStorage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : argvStorage) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int spawnError =
        ::posix_spawn(&pid, executablePath.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawnError != 0) {
        return ProcessLaunchError{"The file \"" + executablePath +
                                  "\" could not be run: " + errnoText(spawnError)};
    }

    // Only the child keeps the write ends, so end of file arrives when it exits.
    out.closeWrite();
    err.closeWrite();
    ProcessOutput output;
    drain(out, err, output.standardOutput, output.standardError);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return ProcessLaunchError{"Could not wait for \"" + executablePath +
                                      "\": " + errnoText(errno)};
        }
    }
    if (WIFEXITED(status)) {
        output.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        output.exitStatus = 128 + WTERMSIG(status);
    } else {
        output.exitStatus = 1;
    }
    return output;
}

} // namespace aerivo
