#pragma once

#include "shared/LaunchDaemonDefinition.h"
#include "shared/SimulatorWire.h"

#include <asio.hpp>

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// The simulated Mac's launchd: for every daemon definition in <root>/Library/LaunchDaemons it
// listens on the job's socket (<root>/var/run/<label>.sock, mode 0660) and, when the first
// connection arrives, starts the program with that listening socket as descriptor 3
// (LISTEN_FDS=1, LISTEN_PID=<the job's pid>, LISTEN_FDNAMES=<label>); the job accepts its
// connections itself. While a job runs the manager leaves the socket alone; when the job exits
// or crashes it listens again and starts it on the next connection. The folder is watched
// (inotify), so adding, replacing or removing a definition takes effect at once: a replaced job
// is stopped and starts with the new definition on the next connection, a removed one is
// stopped and its socket removed. A new program file under an unchanged definition counts as a
// replacement when the folder is read again (the installer asks for that after every change). Jobs
// die with the simulator (PR_SET_PDEATHSIG).
class SimServiceManager {
public:
    struct JobReport {
        SimulatorJobState state = SimulatorJobState::undefined;
        pid_t pid = 0;
        unsigned starts = 0;
        std::string lastExit = "none";
        std::string detail; // the program when loaded, else why not
    };

    // A job stopped by a removal or replacement gets SIGTERM, then SIGKILL after this long.
    static constexpr std::chrono::milliseconds stopGrace{2000};
    // A job that exits leaving a connection untaken is not started again sooner than this
    // after its last start, and after `failedStartsBeforeDrop` such exits in a row the waiting
    // connections are taken and closed, so a broken job cannot hold a client forever.
    static constexpr std::chrono::milliseconds throttleInterval{250};
    static constexpr unsigned failedStartsBeforeDrop = 3;

    SimServiceManager(asio::io_context& io, std::filesystem::path root);
    ~SimServiceManager();
    SimServiceManager(const SimServiceManager&) = delete;
    SimServiceManager& operator=(const SimServiceManager&) = delete;

    // Creates the daemon folder, starts watching it and loads what is there.
    void start();
    // Stops every job (SIGTERM, SIGKILL after the grace period, all reaped) and removes the
    // sockets. Blocks for at most the grace period.
    void stop();
    // Reads the daemon folder again and applies every change.
    void rescan();

    JobReport report(std::string_view label) const;
    std::vector<std::string> statusLines() const;

    const std::filesystem::path& daemonFolder() const { return folder_; }
    static std::filesystem::path socketPath(const std::filesystem::path& root,
                                            std::string_view label);

private:
    struct Job;
    using JobPointer = std::shared_ptr<Job>;

    void apply(const JobPointer& job, std::string content);
    void bind(const JobPointer& job);
    void unbind(Job& job);
    void watch(const JobPointer& job);
    void launch(const JobPointer& job);
    void spawn(const JobPointer& job);
    void terminate(pid_t pid);
    void reap();
    void exited(pid_t pid, int status, bool stopped);
    void dropWaitingConnections(Job& job);
    void watchFolder();
    void waitForFolderEvents();
    void scheduleFolderRetry();
    void scheduleEscalation();

    asio::io_context& io_;
    std::filesystem::path root_;
    std::filesystem::path folder_;
    std::map<std::string, JobPointer> jobs_;
    // Every child not yet reaped, with its job (expired once the job is gone).
    std::map<pid_t, std::weak_ptr<Job>> children_;
    // Children asked to stop, with the instant they get SIGKILL.
    std::map<pid_t, std::chrono::steady_clock::time_point> stopping_;
    asio::signal_set childSignals_;
    asio::posix::stream_descriptor folderEvents_;
    asio::steady_timer folderRetry_;
    asio::steady_timer escalation_;
    bool escalating_ = false;
    bool stopped_ = true;
};

} // namespace aerivo
