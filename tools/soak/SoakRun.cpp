#include "tools/soak/SoakRun.h"

#include "app/model/AerivoStore.h"
#include "platform/HelperFrame.h"
#include "platform/HelperRequest.h"
#include "platform/SimulatorConnection.h"
#include "platform/SystemPaths.h"
#include "shared/AerivoPrivilegedHelperXPC.h"
#include "tests/e2e/SimulatorProcess.h"
#include "tests/support/RunningProcess.h"
#include "tools/soak/SoakSchedule.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>

namespace aerivo::soak {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const std::string helperLabel(AerivoPrivilegedHelperXPC::serviceName);
constexpr double leaseSeconds = AerivoStore::curveLeaseDurationSeconds;
// How long a helper is left alone after its first renewal (or its start) before it is measured.
constexpr double settleSeconds = 3;

std::string fixed(double value) {
    std::ostringstream text;
    text.setf(std::ios::fixed);
    text.precision(2);
    text << value;
    return text.str();
}

// The figures of one `ctl status` this soak watches.
struct MachineStatus {
    bool fanManual = false;
    std::string fanMode;
    double elapsedSeconds = 0;
    std::optional<double> lastFanWriteSeconds;
    pid_t helperPid = 0;
    int helperStarts = 0;

    static MachineStatus parse(const std::string& text) {
        MachineStatus status;
        std::istringstream lines(text);
        const std::string job = "job." + helperLabel + ".";
        for (std::string line; std::getline(lines, line);) {
            const auto equals = line.find('=');
            if (equals == std::string::npos) {
                continue;
            }
            const std::string key = line.substr(0, equals);
            const std::string value = line.substr(equals + 1);
            if (key == "fan0Mode") {
                status.fanMode = value;
                status.fanManual = value.starts_with("1");
            } else if (key == "elapsedSeconds") {
                status.elapsedSeconds = std::stod(value);
            } else if (key == "fan0LastWriter") {
                // "<writer> at <seconds>s", or "none".
                const auto at = value.rfind(" at ");
                if (at != std::string::npos) {
                    status.lastFanWriteSeconds = std::stod(value.substr(at + 4));
                }
            } else if (key == job + "pid") {
                status.helperPid = value == "none" ? 0 : std::stoi(value);
            } else if (key == job + "starts") {
                status.helperStarts = std::stoi(value);
            }
        }
        return status;
    }
};

// The simulated Mac's device socket, asked directly (no process per question).
class Machine {
public:
    explicit Machine(const std::filesystem::path& root) : connection_(simulatorSocketPath(root)) {}

    std::optional<MachineStatus> status() {
        std::string text;
        const bool answered = connection_.exchange(
            SimulatorOp::ctlStatus, [](SimulatorWireWriter&) {},
            [&](SimulatorWireReader& reader) { text = reader.string(); });
        if (!answered) {
            return std::nullopt;
        }
        return MachineStatus::parse(text);
    }

    bool workload(const std::string& name) {
        return command(SimulatorOp::ctlWorkload, [&](SimulatorWireWriter& writer) {
            writer.string(name);
            writer.string("");
        });
    }
    bool takeBack() {
        return command(SimulatorOp::ctlTakeBack, [](SimulatorWireWriter&) {});
    }

private:
    template <typename Build> bool command(SimulatorOp op, Build&& build) {
        bool ok = false;
        const bool answered =
            connection_.exchange(op, std::forward<Build>(build), [&](SimulatorWireReader& reader) {
                ok = reader.u8() == 1;
                reader.string();
            });
        return answered && ok;
    }

    SimulatorConnection connection_;
};

// The headless app in curve mode, its output read on a thread of its own.
class App {
public:
    App(const std::filesystem::path& program, const std::vector<std::string>& environment,
        std::atomic<int>& renewals, std::atomic<int>& failures, std::atomic<int>& resets)
        : process_(program, {"--headless", "--curve"}, environment) {
        reader_ = std::thread([this, &renewals, &failures, &resets] {
            for (std::string line = process_.readLine(); !line.empty();
                 line = process_.readLine()) {
                if (line.starts_with("lease=")) {
                    ++(line.find(" success=true") != std::string::npos ? renewals : failures);
                    ++leases_;
                } else if (line.starts_with("reset=")) {
                    ++resets;
                }
            }
        });
    }
    ~App() {
        process_.stop();
        reader_.join();
    }
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    bool isRunning() const { return process_.pid() > 0; }
    int leases() const { return leases_; }
    // SIGTERM: the app hands the fan back before it ends; waits for its output to end.
    void quit() {
        ::kill(process_.pid(), SIGTERM);
        reader_.join();
        reader_ = std::thread([] {});
    }

private:
    testing::RunningProcess process_;
    std::thread reader_;
    std::atomic<int> leases_{0};
};

struct BurstResult {
    long connected = 0;
    long closedByHelper = 0;
};

// `count` clients at once, each sending a status request; this process carries no signature, so
// the helper must close every one of them unread.
BurstResult burst(const std::filesystem::path& socket, int count) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = socket.string();
    std::memcpy(address.sun_path, path.c_str(), std::min(path.size() + 1, sizeof address.sun_path));
    const std::string frame = *HelperFrame::encode(HelperRequest::readStatus().dictionary());
    std::vector<pollfd> open;
    for (int i = 0; i < count; ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            break;
        }
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            continue;
        }
        ::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        open.push_back({fd, POLLIN, 0});
    }
    BurstResult result{static_cast<long>(open.size()), 0};
    const auto deadline = Clock::now() + 30s;
    while (result.closedByHelper < result.connected && Clock::now() < deadline) {
        if (::poll(open.data(), open.size(), 100) <= 0) {
            continue;
        }
        for (pollfd& entry : open) {
            char byte = 0;
            if (entry.fd >= 0 && entry.revents != 0 && ::recv(entry.fd, &byte, 1, 0) <= 0) {
                ::close(entry.fd);
                entry.fd = -1;
                ++result.closedByHelper;
            }
        }
    }
    for (const pollfd& entry : open) {
        if (entry.fd >= 0) {
            ::close(entry.fd);
        }
    }
    return result;
}

// Watches fan 0 ten times a second: how long it stays manual after the write that made it so.
class FanWatch {
public:
    explicit FanWatch(const std::filesystem::path& root) : machine_(root) {
        thread_ = std::thread([this] { watch(); });
    }
    ~FanWatch() {
        stopping_ = true;
        thread_.join();
    }

    struct Figures {
        double longestManualSinceWrite = 0;
        int overruns = 0;
    };
    Figures figures() const {
        std::lock_guard lock(mutex_);
        return figures_;
    }

private:
    void watch() {
        std::optional<double> overrunWrite;
        while (!stopping_) {
            if (const std::optional<MachineStatus> status = machine_.status();
                status && status->fanManual && status->lastFanWriteSeconds) {
                const double manualFor = status->elapsedSeconds - *status->lastFanWriteSeconds;
                std::lock_guard lock(mutex_);
                figures_.longestManualSinceWrite =
                    std::max(figures_.longestManualSinceWrite, manualFor);
                if (manualFor > leaseSeconds + 1 && overrunWrite != status->lastFanWriteSeconds) {
                    overrunWrite = status->lastFanWriteSeconds; // one count per period
                    ++figures_.overruns;
                }
            }
            std::this_thread::sleep_for(100ms);
        }
    }

    Machine machine_;
    mutable std::mutex mutex_;
    Figures figures_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace

bool SoakReport::passed() const {
    const bool leaked = helperAtStart && helperAtEnd &&
                        (helperAtEnd->threads > helperAtStart->threads ||
                         helperAtEnd->descriptors > helperAtStart->descriptors ||
                         helperAtEnd->residentKB - helperAtStart->residentKB > residentToleranceKB);
    return problems.empty() && leaseOverruns == 0 && !leaked && helperAtStart && helperAtEnd &&
           finalFanMode.starts_with("0") && renewals > 0 && burstClosedByHelper == burstConnections;
}

std::vector<std::string> SoakReport::lines() const {
    std::vector<std::string> out{
        "soakSeconds=" + fixed(seconds),
        "seed=" + std::to_string(seed),
        "renewals=" + std::to_string(renewals),
        "failedRenewals=" + std::to_string(failedRenewals),
        "appResets=" + std::to_string(appResets),
        "helperKills=" + std::to_string(helperKills),
        "helperStarts=" + std::to_string(helperStarts),
        "appKills=" + std::to_string(appKills),
        "appStarts=" + std::to_string(appStarts),
        "takeBacks=" + std::to_string(takeBacks),
        "workloadChanges=" + std::to_string(workloadChanges),
        "bursts=" + std::to_string(bursts),
        "burstConnections=" + std::to_string(burstConnections),
        "burstClosedByHelper=" + std::to_string(burstClosedByHelper),
        "leaseSeconds=" + fixed(leaseSeconds),
        "longestManualSinceRenewalSeconds=" + fixed(longestManualSinceRenewalSeconds),
        "longestManualPastLeaseSeconds=" + fixed(longestManualPastLeaseSeconds),
        "leaseOverruns=" + std::to_string(leaseOverruns),
    };
    const auto footprint = [&out](const std::string& name,
                                  const std::optional<ProcessFootprint>& value) {
        out.push_back(name + "Threads=" + (value ? std::to_string(value->threads) : "nil"));
        out.push_back(name + "Descriptors=" + (value ? std::to_string(value->descriptors) : "nil"));
        out.push_back(name + "ResidentKB=" + (value ? std::to_string(value->residentKB) : "nil"));
    };
    footprint("helperStart", helperAtStart);
    footprint("helperEnd", helperAtEnd);
    out.push_back("endHelperIsTheFirst=" + std::string(endHelperIsTheFirst ? "true" : "false"));
    out.push_back("endHelperServedSeconds=" + fixed(endHelperSeconds));
    if (helperAtStart && helperAtEnd) {
        out.push_back("leakedThreads=" +
                      std::to_string(helperAtEnd->threads - helperAtStart->threads));
        out.push_back("leakedDescriptors=" +
                      std::to_string(helperAtEnd->descriptors - helperAtStart->descriptors));
        out.push_back("leakedKB=" +
                      std::to_string(helperAtEnd->residentKB - helperAtStart->residentKB));
    }
    out.push_back("finalFanMode=" + finalFanMode);
    for (const std::string& problem : problems) {
        out.push_back("problem=" + problem);
    }
    out.push_back(std::string("result=") + (passed() ? "pass" : "fail"));
    return out;
}

SoakReport runSoak(const SoakOptions& options) {
    const auto say = [&options](const std::string& line) {
        if (options.progress) {
            options.progress(line);
        }
    };
    SoakReport report;
    report.seconds = options.durationSeconds;
    report.seed = options.seed;

    testing::TemporarySystemRoot root;
    const std::vector<std::string> environment{"AERIVO_SYSTEM_ROOT=" + root.path().string(),
                                               "XDG_CONFIG_HOME=" +
                                                   (root.path() / "config").string()};
    testing::SimulatorProcess simulator(
        root.path(), {"--workload", "idle", "--seed", std::to_string(options.seed)},
        root.path() / "simulator.log");
    if (!simulator.isServing()) {
        report.problems.push_back("the simulated Mac did not start");
        return report;
    }
    const testing::ProgramRun install =
        testing::runProgram(options.appProgram, {"--install-helper"}, environment);
    if (testing::lineValue(install.output, "helperFanWritesEnabled") != "true") {
        report.problems.push_back("the helper did not install");
        return report;
    }
    Machine machine(root.path());
    const std::filesystem::path helperSocket = SystemPaths(root.path()).helperSocket(helperLabel);

    std::atomic<int> renewals{0};
    std::atomic<int> failures{0};
    std::atomic<int> resets{0};
    auto begin = Clock::now();
    const auto elapsed = [&begin] {
        return std::chrono::duration<double>(Clock::now() - begin).count();
    };
    std::unique_ptr<App> app;
    const auto startApp = [&] {
        app = std::make_unique<App>(options.appProgram, environment, renewals, failures, resets);
        ++report.appStarts;
    };
    startApp();
    if (!testing::waitUntil([&] { return renewals > 0; }, 20s)) {
        report.problems.push_back("the app never renewed a lease");
        return report;
    }
    FanWatch watch(root.path());

    // The helper as it rests after the warm-up, before anything happens to it.
    std::this_thread::sleep_for(std::chrono::duration<double>(settleSeconds));
    const std::optional<MachineStatus> first = machine.status();
    const pid_t firstHelper = first ? first->helperPid : 0;
    if (firstHelper != 0) {
        report.helperAtStart = restingFootprint(firstHelper);
    }
    if (!report.helperAtStart) {
        report.problems.push_back("no helper was serving after the warm-up");
        return report;
    }
    say("helper " + std::to_string(firstHelper) + " rests at " +
        std::to_string(report.helperAtStart->threads) + " threads, " +
        std::to_string(report.helperAtStart->descriptors) + " descriptors, " +
        std::to_string(report.helperAtStart->residentKB) + " KB");
    pid_t latestHelper = firstHelper;
    double latestHelperSince = 0;
    begin = Clock::now(); // the schedule's time starts here

    const std::vector<SoakEvent> schedule = makeSoakSchedule(options.seed, options.durationSeconds);
    std::size_t next = 0;
    std::optional<double> appRestartAt;
    // A kill that had to wait moves the rest of the schedule on by as much.
    double postponed = 0;
    while (elapsed() < options.durationSeconds) {
        const double now = elapsed();
        const std::optional<MachineStatus> status = machine.status();
        const pid_t helperPid = status ? status->helperPid : 0;
        if (helperPid != 0 && helperPid != latestHelper) {
            latestHelper = helperPid;
            latestHelperSince = now;
        }
        if (!app && appRestartAt && now >= *appRestartAt) {
            startApp();
            appRestartAt.reset();
            say("app started again");
        }
        if (next < schedule.size() && now >= schedule[next].atSeconds + postponed) {
            const SoakEvent& event = schedule[next];
            // A kill only while the other process is up: with both gone, nothing would start a
            // helper to hand back a fan the killed one left manual.
            const bool bothUp = app && helperPid != 0;
            const bool kill =
                event.kind == SoakEventKind::killApp || event.kind == SoakEventKind::killHelper;
            if (kill && !bothUp) {
                postponed += 1;
                std::this_thread::sleep_for(100ms);
                continue;
            }
            say(fixed(now) + " s: " + std::string(rawValue(event.kind)) + " " + event.workload);
            switch (event.kind) {
            case SoakEventKind::workload:
                report.workloadChanges += machine.workload(event.workload) ? 1 : 0;
                break;
            case SoakEventKind::takeBack:
                report.takeBacks += machine.takeBack() ? 1 : 0;
                break;
            case SoakEventKind::killHelper:
                report.helperKills += ::kill(helperPid, SIGKILL) == 0 ? 1 : 0;
                break;
            case SoakEventKind::killApp:
                app.reset(); // SIGKILL: no quit, no hand-back
                ++report.appKills;
                appRestartAt = now + event.appDownSeconds;
                break;
            case SoakEventKind::burst: {
                const BurstResult result = burst(helperSocket, options.burstConnections);
                ++report.bursts;
                report.burstConnections += result.connected;
                report.burstClosedByHelper += result.closedByHelper;
                say("burst: " + std::to_string(result.closedByHelper) + " of " +
                    std::to_string(result.connected) + " closed by the helper");
                break;
            }
            }
            ++next;
        }
        std::this_thread::sleep_for(100ms);
    }

    if (!app) {
        startApp();
        const int before = renewals;
        testing::waitUntil([&] { return renewals > before; }, 20s);
    }
    // The helper serving at the end, at rest (the schedule's quiet end let idle connections go).
    // When none runs (the app could not renew since the last kill), one connection starts it.
    std::optional<MachineStatus> last = machine.status();
    if (last && last->helperPid == 0) {
        burst(helperSocket, 1);
        std::this_thread::sleep_for(std::chrono::duration<double>(settleSeconds));
        last = machine.status();
    }
    if (last && last->helperPid != 0) {
        report.helperAtEnd = restingFootprint(last->helperPid);
        report.endHelperIsTheFirst = last->helperPid == firstHelper;
        report.endHelperSeconds =
            elapsed() - (last->helperPid == latestHelper ? latestHelperSince : elapsed());
    }
    if (!report.helperAtEnd) {
        report.problems.push_back("no helper was serving at the end");
    }
    report.helperStarts = last ? last->helperStarts : 0;

    app->quit();
    testing::waitUntil(
        [&] {
            const std::optional<MachineStatus> status = machine.status();
            report.finalFanMode = status ? status->fanMode : "unknown";
            return status && !status->fanManual;
        },
        10s);
    app.reset();

    const FanWatch::Figures figures = watch.figures();
    report.longestManualSinceRenewalSeconds = figures.longestManualSinceWrite;
    report.longestManualPastLeaseSeconds =
        std::max(0.0, figures.longestManualSinceWrite - leaseSeconds);
    report.leaseOverruns = figures.overruns;
    report.renewals = renewals;
    report.failedRenewals = failures;
    report.appResets = resets;
    return report;
}

} // namespace aerivo::soak
