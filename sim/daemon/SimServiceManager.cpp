#include "sim/daemon/SimServiceManager.h"

#include "sim/daemon/SimJobProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

namespace aerivo {

namespace {

using stream = asio::local::stream_protocol;

std::string exitText(int status) {
    if (WIFEXITED(status)) {
        return "exit " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) {
        return "signal " + std::to_string(WTERMSIG(status));
    }
    return "status " + std::to_string(status);
}

// Device, inode, size and modification time: a replaced file differs in at least one.
std::string fileIdentity(const std::filesystem::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        return {};
    }
    return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + ":" +
           std::to_string(info.st_size) + ":" + std::to_string(info.st_mtim.tv_sec) + "." +
           std::to_string(info.st_mtim.tv_nsec);
}

bool hasWaitingConnection(int listeningFd) {
    pollfd entry{listeningFd, POLLIN, 0};
    return ::poll(&entry, 1, 0) > 0 && (entry.revents & POLLIN) != 0;
}

} // namespace

struct SimServiceManager::Job {
    explicit Job(asio::io_context& io, std::string name) : name(std::move(name)), throttle(io) {}

    std::string name; // the file name without ".plist"
    std::string content;
    // The program file the definition was loaded with: a new file there (an installation
    // over the old one) restarts the job as a new definition does.
    std::string programIdentity;
    std::optional<LaunchDaemonDefinition> definition;
    std::string error; // why the job is not loaded
    std::filesystem::path socket;
    std::unique_ptr<stream::acceptor> acceptor;
    asio::steady_timer throttle;
    bool watching = false;
    bool throttled = false;
    pid_t pid = 0;
    unsigned starts = 0;
    unsigned failedStarts = 0;
    unsigned droppedConnections = 0;
    std::string lastExit = "none";
    std::chrono::steady_clock::time_point lastStart{};
    bool exitedWithWaitingConnection = false;
};

SimServiceManager::SimServiceManager(asio::io_context& io, std::filesystem::path root)
    : io_(io), root_(std::filesystem::absolute(root)), folder_(root_ / "Library" / "LaunchDaemons"),
      childSignals_(io), folderEvents_(io), folderRetry_(io), escalation_(io) {}

SimServiceManager::~SimServiceManager() {
    stop();
}

std::filesystem::path SimServiceManager::socketPath(const std::filesystem::path& root,
                                                    std::string_view label) {
    return root / "var" / "run" / (std::string(label) + ".sock");
}

void SimServiceManager::start() {
    stopped_ = false;
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
    childSignals_.add(SIGCHLD);
    childSignals_.async_wait([this](std::error_code waitError, int) {
        if (!waitError) {
            reap();
        }
    });
    watchFolder();
    rescan();
}

void SimServiceManager::stop() {
    if (stopped_) {
        return;
    }
    stopped_ = true;
    std::error_code error;
    childSignals_.cancel(error);
    folderEvents_.close(error);
    folderRetry_.cancel();
    escalation_.cancel();
    for (auto& [name, job] : jobs_) {
        unbind(*job);
        job->throttle.cancel();
        if (job->pid > 0) {
            ::kill(job->pid, SIGTERM);
        }
    }
    for (const auto& [pid, deadline] : stopping_) {
        ::kill(pid, SIGTERM);
    }
    // Bounded wait for every child, then the ones that did not listen get SIGKILL.
    const auto deadline = std::chrono::steady_clock::now() + stopGrace;
    while (!children_.empty()) {
        for (auto it = children_.begin(); it != children_.end();) {
            int status = 0;
            const pid_t ended = ::waitpid(it->first, &status, WNOHANG);
            it = ended == it->first || ended < 0 ? children_.erase(it) : std::next(it);
        }
        if (children_.empty()) {
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            for (const auto& [pid, job] : children_) {
                ::kill(pid, SIGKILL);
                int status = 0;
                ::waitpid(pid, &status, 0);
            }
            children_.clear();
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    stopping_.clear();
    jobs_.clear();
}

void SimServiceManager::rescan() {
    if (stopped_) {
        return;
    }
    std::map<std::string, std::string> found;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder_, error), end; !error && it != end;
         it.increment(error)) {
        const std::string file = it->path().filename().string();
        const std::string_view extension = LaunchDaemonDefinition::fileExtension;
        if (file.starts_with(".") || !file.ends_with(extension) ||
            file.size() == extension.size()) {
            continue;
        }
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) {
            continue;
        }
        std::ifstream stream(it->path(), std::ios::binary);
        std::string text;
        if (stream) {
            // One byte past the limit is enough to know the file is too large.
            text.resize(LaunchDaemonDefinition::maximumFileSize + 1);
            stream.read(text.data(), static_cast<std::streamsize>(text.size()));
            text.resize(static_cast<std::size_t>(stream.gcount()));
        }
        found.emplace(file.substr(0, file.size() - extension.size()), std::move(text));
    }
    for (auto it = jobs_.begin(); it != jobs_.end();) {
        if (found.contains(it->first)) {
            ++it;
            continue;
        }
        unbind(*it->second);
        it->second->throttle.cancel();
        if (it->second->pid > 0) {
            terminate(it->second->pid);
        }
        it = jobs_.erase(it);
    }
    for (auto& [name, content] : found) {
        auto& job = jobs_[name];
        if (!job) {
            job = std::make_shared<Job>(io_, name);
            apply(job, std::move(content));
        } else if (job->content != content ||
                   (job->definition &&
                    fileIdentity(job->definition->program) != job->programIdentity)) {
            apply(job, std::move(content));
        } else if (job->definition && !job->acceptor) {
            bind(job); // its socket was taken before; it may be free now
        }
    }
}

void SimServiceManager::apply(const JobPointer& job, std::string content) {
    auto parsed = LaunchDaemonDefinition::fromJSON(content, job->name);
    job->content = std::move(content);
    // A running job never keeps running an old definition.
    if (job->pid > 0) {
        terminate(job->pid);
    }
    if (auto* error = std::get_if<std::string>(&parsed)) {
        job->definition.reset();
        job->error = *error;
        unbind(*job);
        return;
    }
    job->definition = std::get<LaunchDaemonDefinition>(std::move(parsed));
    job->error.clear();
    job->failedStarts = 0;
    job->programIdentity = fileIdentity(job->definition->program);
    if (!job->acceptor) {
        bind(job);
    }
}

void SimServiceManager::bind(const JobPointer& job) {
    const std::filesystem::path path = socketPath(root_, job->definition->label);
    const std::string text = path.string();
    auto fail = [&](std::string reason) {
        job->error = std::move(reason);
        job->acceptor.reset();
    };
    // The staged name below is five bytes longer.
    if (text.size() + 5 >= sizeof(sockaddr_un{}.sun_path)) {
        return fail("socket path is too long for a Unix socket: " + text);
    }
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (std::filesystem::is_socket(path, error)) {
        stream::socket probe(io_);
        probe.connect(stream::endpoint(text), error);
        if (!error) {
            return fail("another process serves " + text);
        }
        std::filesystem::remove(path, error);
    } else if (std::filesystem::exists(path, error)) {
        return fail(text + " exists and is not a socket");
    }
    // Listening before the name appears, so a client never finds a socket that refuses it.
    const std::string staged =
        (path.parent_path() / ("." + path.filename().string() + ".new")).string();
    std::filesystem::remove(staged, error);
    auto acceptor = std::make_unique<stream::acceptor>(io_);
    acceptor->open(stream(), error);
    if (!error) {
        acceptor->bind(stream::endpoint(staged), error);
    }
    if (!error) {
        acceptor->listen(asio::socket_base::max_listen_connections, error);
    }
    if (!error && ::chmod(staged.c_str(), 0660) != 0) {
        error = std::error_code(errno, std::generic_category());
    }
    if (!error) {
        std::filesystem::rename(staged, path, error);
    }
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(staged, ignored);
        return fail("cannot listen on " + text + ": " + error.message());
    }
    job->socket = path;
    job->acceptor = std::move(acceptor);
    job->error.clear();
    watch(job);
}

void SimServiceManager::unbind(Job& job) {
    if (!job.acceptor) {
        return;
    }
    std::error_code error;
    job.acceptor->close(error);
    job.acceptor.reset();
    job.watching = false;
    std::filesystem::remove(job.socket, error);
}

void SimServiceManager::watch(const JobPointer& job) {
    if (stopped_ || job->watching || job->throttled || job->pid > 0 || !job->acceptor) {
        return;
    }
    job->watching = true;
    job->acceptor->async_wait(stream::acceptor::wait_read,
                              [this, weak = std::weak_ptr<Job>(job)](std::error_code error) {
                                  const JobPointer job = weak.lock();
                                  if (!job || error || stopped_) {
                                      return;
                                  }
                                  job->watching = false;
                                  launch(job);
                              });
}

void SimServiceManager::launch(const JobPointer& job) {
    if (stopped_ || job->pid > 0 || !job->acceptor || !job->definition) {
        return;
    }
    if (job->exitedWithWaitingConnection) {
        const auto earliest = job->lastStart + throttleInterval;
        if (std::chrono::steady_clock::now() < earliest) {
            job->throttled = true;
            job->throttle.expires_at(earliest);
            job->throttle.async_wait([this, weak = std::weak_ptr<Job>(job)](std::error_code e) {
                const JobPointer job = weak.lock();
                if (!job || e) {
                    return;
                }
                job->throttled = false;
                job->exitedWithWaitingConnection = false;
                watch(job);
            });
            return;
        }
    }
    spawn(job);
}

void SimServiceManager::spawn(const JobPointer& job) {
    const pid_t pid =
        startSocketActivatedJob(*job->definition, root_, job->acceptor->native_handle());
    job->lastStart = std::chrono::steady_clock::now();
    if (pid < 0) {
        job->lastExit = std::string("fork failed: ") + std::strerror(errno);
        job->exitedWithWaitingConnection = true;
        launch(job); // throttled retry
        return;
    }
    job->pid = pid;
    ++job->starts;
    job->exitedWithWaitingConnection = false;
    children_[pid] = job;
}

void SimServiceManager::terminate(pid_t pid) {
    if (stopping_.contains(pid)) {
        return;
    }
    ::kill(pid, SIGTERM);
    stopping_[pid] = std::chrono::steady_clock::now() + stopGrace;
    scheduleEscalation();
}

void SimServiceManager::scheduleEscalation() {
    if (escalating_ || stopping_.empty()) {
        return;
    }
    escalating_ = true;
    escalation_.expires_after(std::chrono::milliseconds(100));
    escalation_.async_wait([this](std::error_code error) {
        escalating_ = false;
        if (error || stopped_) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        for (const auto& [pid, deadline] : stopping_) {
            if (deadline <= now) {
                ::kill(pid, SIGKILL);
            }
        }
        scheduleEscalation();
    });
}

void SimServiceManager::reap() {
    for (auto it = children_.begin(); it != children_.end();) {
        int status = 0;
        const pid_t pid = it->first;
        const pid_t ended = ::waitpid(pid, &status, WNOHANG);
        if (ended == pid || ended < 0) {
            it = children_.erase(it);
            const bool stopped = stopping_.erase(pid) > 0;
            exited(pid, ended == pid ? status : 0, stopped);
        } else {
            ++it;
        }
    }
    if (!stopped_) {
        childSignals_.async_wait([this](std::error_code error, int) {
            if (!error) {
                reap();
            }
        });
    }
}

void SimServiceManager::exited(pid_t pid, int status, bool stopped) {
    for (auto& [name, job] : jobs_) {
        if (job->pid != pid) {
            continue;
        }
        job->pid = 0;
        job->lastExit = exitText(status);
        if (!job->acceptor) {
            return;
        }
        // A job stopped for a new definition has not failed: its waiting client is the new
        // definition's first.
        job->exitedWithWaitingConnection =
            !stopped && hasWaitingConnection(job->acceptor->native_handle());
        if (job->exitedWithWaitingConnection && ++job->failedStarts >= failedStartsBeforeDrop) {
            dropWaitingConnections(*job);
        } else if (!job->exitedWithWaitingConnection) {
            job->failedStarts = 0;
        }
        watch(job);
        return;
    }
}

void SimServiceManager::dropWaitingConnections(Job& job) {
    const int fd = job.acceptor->native_handle();
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    while (hasWaitingConnection(fd)) {
        const int connection = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            break;
        }
        ::close(connection);
        ++job.droppedConnections;
    }
    job.failedStarts = 0;
    job.exitedWithWaitingConnection = false;
}

SimServiceManager::JobReport SimServiceManager::report(std::string_view label) const {
    const auto it = jobs_.find(std::string(label));
    if (it == jobs_.end()) {
        return {};
    }
    const Job& job = *it->second;
    JobReport report;
    report.state = job.acceptor ? SimulatorJobState::loaded : SimulatorJobState::notLoaded;
    report.pid = job.pid;
    report.starts = job.starts;
    report.lastExit = job.lastExit;
    report.detail = job.acceptor ? job.definition->program.string() : job.error;
    return report;
}

std::vector<std::string> SimServiceManager::statusLines() const {
    std::vector<std::string> lines;
    lines.push_back("jobs=" + std::to_string(jobs_.size()));
    for (const auto& [name, job] : jobs_) {
        const std::string prefix = "job." + name + ".";
        lines.push_back(prefix + "loaded=" + (job->acceptor ? "true" : "false"));
        lines.push_back(prefix + "pid=" + (job->pid > 0 ? std::to_string(job->pid) : "none"));
        lines.push_back(prefix + "starts=" + std::to_string(job->starts));
        lines.push_back(prefix + "lastExit=" + job->lastExit);
        lines.push_back(prefix + "droppedConnections=" + std::to_string(job->droppedConnections));
        if (job->acceptor) {
            lines.push_back(prefix + "program=" + job->definition->program.string());
        } else {
            lines.push_back(prefix + "error=" + job->error);
        }
    }
    return lines;
}

} // namespace aerivo
