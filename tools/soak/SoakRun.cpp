#include "tools/soak/SoakRun.h"

#include "app/model/AerivoStore.h"
#include "platform/helpersocket/HelperFrame.h"
#include "platform/helpersocket/HelperRequest.h"
#include "platform/posix/SystemPaths.h"
#include "platform/simulator/SimulatorConnection.h"
#include "shared/AerivoPrivilegedHelperXPC.h"
#include "tests/e2e/SimulatorProcess.h"
#include "tests/support/RunningProcess.h"
#include "tests/support/SocketFlood.h"
#include "tools/soak/SoakSchedule.h"

#include <signal.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <sstream>
#include <thread>
#include <utility>

namespace aerivo::soak {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const std::string helperLabel(AerivoPrivilegedHelperXPC::serviceName);
constexpr double leaseSeconds = AerivoStore::curveLeaseDurationSeconds;
// How long a helper is left alone after its first renewal (or its start) before it is measured.
constexpr double settleSeconds = 3;
// An app this long without a lease line has stopped renewing.
constexpr double stalledAppSeconds = 30;
// How long a kill waits for its conditions before it is dropped.
constexpr double killPatienceSeconds = 10;

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
        const std::string job = "job." + helperLabel + ".";
        status.fanMode = testing::lineValue(text, "fan0Mode").value_or("");
        status.fanManual = status.fanMode.starts_with("1");
        if (const auto elapsed = testing::lineValue(text, "elapsedSeconds")) {
            status.elapsedSeconds = std::stod(*elapsed);
        }
        // "<writer> at <seconds>s", or "none".
        const std::string writer = testing::lineValue(text, "fan0LastWriter").value_or("none");
        if (const auto at = writer.rfind(" at "); at != std::string::npos) {
            status.lastFanWriteSeconds = std::stod(writer.substr(at + 4));
        }
        if (const auto pid = testing::lineValue(text, job + "pid"); pid && *pid != "none") {
            status.helperPid = std::stoi(*pid);
        }
        if (const auto starts = testing::lineValue(text, job + "starts")) {
            status.helperStarts = std::stoi(*starts);
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

// What the app instances reported, across all of them.
struct AppTally {
    std::atomic<int> renewals{0};
    std::atomic<int> failures{0};
    std::atomic<int> resets{0};
};

// The headless app in curve mode, its output read on a thread of its own.
class App {
public:
    using Say = std::function<void(const std::string&)>;

    App(const std::filesystem::path& program, const std::vector<std::string>& environment,
        AppTally& tally, Say say)
        : process_(program, {"--headless", "--curve"}, environment),
          lastLease_(Clock::now().time_since_epoch().count()) {
        reader_ = std::thread([this, &tally, say = std::move(say)] {
            for (std::string line = process_.readLine(); !line.empty();
                 line = process_.readLine()) {
                if (line.starts_with("lease=")) {
                    ++(line.find(" success=true") != std::string::npos ? tally.renewals
                                                                       : tally.failures);
                    lastLease_ = Clock::now().time_since_epoch().count();
                } else if (line.starts_with("reset=")) {
                    ++tally.resets;
                }
                if (say && !line.starts_with("refresh=")) {
                    say("app: " + line);
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

    // Since the last lease line (or the start), in seconds.
    double secondsSinceLease() const {
        return std::chrono::duration<double>(Clock::now().time_since_epoch() -
                                             Clock::duration(lastLease_.load()))
            .count();
    }
    // SIGTERM: the app hands the fan back before it ends; waits for its output to end.
    void quit() {
        ::kill(process_.pid(), SIGTERM);
        reader_.join();
        reader_ = std::thread([] {});
    }

private:
    testing::RunningProcess process_;
    std::thread reader_;
    std::atomic<Clock::rep> lastLease_;
};

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
    std::vector<std::string> out{"soakSeconds=" + fixed(seconds), "seed=" + std::to_string(seed)};
    const std::pair<const char*, long> counts[] = {
        {"renewals", renewals},
        {"failedRenewals", failedRenewals},
        {"appResets", appResets},
        {"helperKills", helperKills},
        {"helperStarts", helperStarts},
        {"appKills", appKills},
        {"appStarts", appStarts},
        {"takeBacks", takeBacks},
        {"workloadChanges", workloadChanges},
        {"bursts", bursts},
        {"burstConnections", burstConnections},
        {"burstClosedByHelper", burstClosedByHelper},
    };
    for (const auto& [name, count] : counts) {
        out.push_back(std::string(name) + "=" + std::to_string(count));
    }
    out.push_back("leaseSeconds=" + fixed(leaseSeconds));
    out.push_back("longestManualSinceRenewalSeconds=" + fixed(longestManualSinceRenewalSeconds));
    out.push_back("longestManualPastLeaseSeconds=" + fixed(longestManualPastLeaseSeconds));
    out.push_back("leaseOverruns=" + std::to_string(leaseOverruns));
    out.push_back("skippedKills=" + std::to_string(skippedKills));
    out.push_back("appRelaunches=" + std::to_string(appRelaunches));
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
    const std::string statusFrame = *HelperFrame::encode(HelperRequest::readStatus().dictionary());

    AppTally tally;
    auto begin = Clock::now();
    const auto elapsed = [&begin] {
        return std::chrono::duration<double>(Clock::now() - begin).count();
    };
    std::unique_ptr<App> app;
    const auto startApp = [&] {
        app = std::make_unique<App>(options.appProgram, environment, tally,
                                    options.verbose ? say : App::Say());
        ++report.appStarts;
    };
    startApp();
    if (!testing::waitUntil([&] { return tally.renewals > 0; }, 20s)) {
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
        // The app stops renewing for good when a health read fails (its store re-reads the
        // health only on a user's action); it is started again, as a user would.
        if (app && app->secondsSinceLease() > stalledAppSeconds) {
            say(fixed(now) + " s: the app has not renewed for " + fixed(stalledAppSeconds) +
                " s, started again");
            app.reset();
            startApp();
            ++report.appRelaunches;
        }
        if (next < schedule.size() && now >= schedule[next].atSeconds) {
            const SoakEvent& event = schedule[next];
            // A kill only while the other process is up and the app renews: with both gone (or
            // a stalled app) nothing would start a helper to hand back a fan the killed one
            // left manual. One that cannot run for a while is dropped.
            const bool appRenewing = app && app->secondsSinceLease() < leaseSeconds;
            const bool mayKill = event.kind == SoakEventKind::killApp
                                     ? app && helperPid != 0
                                     : appRenewing && helperPid != 0;
            const bool kill =
                event.kind == SoakEventKind::killApp || event.kind == SoakEventKind::killHelper;
            if (kill && !mayKill) {
                if (now - event.atSeconds < killPatienceSeconds) {
                    std::this_thread::sleep_for(100ms);
                    continue;
                }
                ++report.skippedKills;
                ++next;
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
                // This process carries no signature: the helper must close every one unread.
                const testing::SocketFloodResult result =
                    testing::floodSocket(helperSocket, options.burstConnections, statusFrame, 30s);
                ++report.bursts;
                report.burstConnections += result.connected;
                report.burstClosedByHelper += result.closedByPeer;
                say("burst: " + std::to_string(result.closedByPeer) + " of " +
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
        const int before = tally.renewals;
        testing::waitUntil([&] { return tally.renewals > before; }, 20s);
    }
    // The helper serving at the end, at rest (the schedule's quiet end let idle connections go).
    // When none runs (the app could not renew since the last kill), one connection starts it.
    std::optional<MachineStatus> last = machine.status();
    if (last && last->helperPid == 0) {
        testing::floodSocket(helperSocket, 1, statusFrame, 10s);
        std::this_thread::sleep_for(std::chrono::duration<double>(settleSeconds));
        last = machine.status();
        if (last && last->helperPid != 0) {
            latestHelper = last->helperPid;
            latestHelperSince = elapsed();
        }
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
    report.renewals = tally.renewals;
    report.failedRenewals = tally.failures;
    report.appResets = tally.resets;
    return report;
}

} // namespace aerivo::soak
