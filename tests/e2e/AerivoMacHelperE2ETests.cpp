// AerivoMacHelper as a program under its own system root against the simulated Mac daemon: the
// command line's status lines, the write probe's arming, an armed hold that really moves the
// simulated fan and hands it back, and the listener as the service manager runs it: killed
// mid-lease, and out of address space.

#include "shared/AerivoPrivilegedHelperXPC.h"
#include "tests/e2e/HelperProcess.h"
#include "tests/e2e/SimulatorProcess.h"
#include "tests/e2e/SocketJob.h"

#include <nlohmann/json.hpp>

#include <sys/resource.h>

#include <csignal>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace aerivo {
namespace {

using testing::hasLine;
using testing::linesOf;

using testing::ProgramRun;
using testing::SimulatorProcess;
using testing::TemporarySystemRoot;

// The value of a "key=value" line of the simulator's status.
std::string statusValue(const SimulatorProcess& simulator, const std::string& key) {
    for (const std::string& line : linesOf(simulator.ctl({"status"}).output)) {
        if (line.starts_with(key + "=")) {
            return line.substr(key.size() + 1);
        }
    }
    return "missing";
}

class HelperOnSimulator : public ::testing::Test {
protected:
    void SetUp() override {
        simulator = std::make_unique<SimulatorProcess>(
            root.path(), std::vector<std::string>{"--model", "laptop-2fan", "--seed", "5"},
            errorLogPath());
        ASSERT_TRUE(simulator->isServing());
    }

    // Standard error of the simulator and of every job it starts.
    std::filesystem::path errorLogPath() const { return root.path() / "simulator.log"; }
    std::string errorLog() const {
        std::ifstream in(errorLogPath());
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // The helper as installed: inside the root's privileged helper tools folder, named after
    // its label, so the simulator lets it write.
    std::filesystem::path installedHelper() const {
        const auto folder = root.path() / "Library" / "PrivilegedHelperTools";
        std::filesystem::create_directories(folder);
        const auto copy = folder / std::string(AerivoPrivilegedHelperXPC::serviceName);
        std::filesystem::copy_file(AERIVO_MAC_HELPER_PATH, copy,
                                   std::filesystem::copy_options::overwrite_existing);
        return copy;
    }

    ProgramRun helper(const std::vector<std::string>& arguments,
                      std::vector<std::string> environment = {},
                      const std::filesystem::path& program = AERIVO_MAC_HELPER_PATH) const {
        environment.push_back("AERIVO_SYSTEM_ROOT=" + root.path().string());
        return testing::runProgram(program, arguments, environment);
    }

    TemporarySystemRoot root;
    std::unique_ptr<SimulatorProcess> simulator;
};

TEST_F(HelperOnSimulator, StatusAndUnknownCommandsPrintElevenLines) {
    struct Row {
        std::vector<std::string> arguments;
        int exitCode;
        std::string lastLine;
    };
    for (const Row& row :
         {Row{{"--status"}, 0, "heartbeat=ok"}, Row{{"--reset-to-system"}, 0, "resetToSystem=noop"},
          Row{{"--frobnicate"}, 2, "error=unsupported command"}}) {
        const ProgramRun run = helper(row.arguments);
        const auto lines = linesOf(run.output);
        EXPECT_EQ(run.exitCode, row.exitCode) << run.output;
        ASSERT_EQ(lines.size(), 11U) << run.output;
        EXPECT_EQ(lines.front(),
                  "helperLabel=" + std::string(AerivoPrivilegedHelperXPC::serviceName));
        EXPECT_EQ(lines.back(), row.lastLine);
    }
    EXPECT_EQ(statusValue(*simulator, "fan0LastWriter"), "none");
}

TEST_F(HelperOnSimulator, AnUnarmedProbeWritesNothingEvenWhenPrivileged) {
    const auto installed = installedHelper();
    for (const auto& environment :
         {std::vector<std::string>{},
          std::vector<std::string>{"AERIVO_ALLOW_SMC_WRITE_PROBE=true"}}) {
        const ProgramRun run =
            helper({"--smc-write-probe", "--zero-delta", "--i-understand-this-writes-smc"},
                   environment, installed);
        const auto lines = linesOf(run.output);
        EXPECT_EQ(run.exitCode, 2) << run.output;
        ASSERT_GE(lines.size(), 3U) << run.output;
        EXPECT_EQ(lines.front(), "smcWriteProbe=experimental");
        EXPECT_TRUE(hasLine(lines, "smcWriteProbeAction=blocked")) << run.output;
        EXPECT_EQ(lines.back(), "smcWriteProbeReason=requires AERIVO_ALLOW_SMC_WRITE_PROBE=1 and "
                                "--i-understand-this-writes-smc");
    }
    EXPECT_EQ(statusValue(*simulator, "fan0LastWriter"), "none");
}

TEST_F(HelperOnSimulator, OutsideThePrivilegedFolderAnArmedWriteIsRefused) {
    const ProgramRun run =
        helper({"--smc-write-probe", "--zero-delta", "--i-understand-this-writes-smc"},
               {"AERIVO_ALLOW_SMC_WRITE_PROBE=1"});
    EXPECT_EQ(run.exitCode, 2) << run.output;
    EXPECT_TRUE(
        hasLine(linesOf(run.output), "smcWriteProbeWriteKernelResult=notPrivileged(-536870207)"))
        << run.output;
    EXPECT_EQ(statusValue(*simulator, "fan0LastWriter"), "none");
}

TEST_F(HelperOnSimulator, AnArmedManualHoldMovesTheFanAndHandsItBack) {
    const ProgramRun run = helper({"--smc-write-probe", "--manual-target-hold", "--target-rpm",
                                   "3000", "--hold-seconds", "1", "--i-understand-this-writes-smc"},
                                  {"AERIVO_ALLOW_SMC_WRITE_PROBE=1"}, installedHelper());
    const auto lines = linesOf(run.output);
    // One second is too short to reach 3000 rpm, so the hold reports exit code 2, handed back.
    EXPECT_EQ(run.exitCode, 2) << run.output;
    EXPECT_TRUE(hasLine(lines, "smcWriteProbeSample1ModeBytes=01")) << run.output;
    EXPECT_TRUE(hasLine(lines, "smcWriteProbeSample1TargetRPM=3000")) << run.output;
    EXPECT_TRUE(hasLine(lines, "smcWriteProbeRestoredModeBytes=00")) << run.output;
    EXPECT_TRUE(hasLine(lines, "leaseResponse.resetAccepted=true")) << run.output;
    EXPECT_TRUE(hasLine(lines, "leaseResponse.appliedTargetRPM=3000.0")) << run.output;

    EXPECT_EQ(statusValue(*simulator, "fan0Mode"), "0 (system)");
    const std::string writer = statusValue(*simulator, "fan0LastWriter");
    EXPECT_TRUE(writer.starts_with(std::string(AerivoPrivilegedHelperXPC::serviceName) + "["))
        << writer;
    EXPECT_NE(writer.find("privileged"), std::string::npos) << writer;
}

// --- The listener: the helper as the service manager starts it ---------------------------------

class HelperListenerOnSimulator : public HelperOnSimulator {
protected:
    void SetUp() override {
        HelperOnSimulator::SetUp();
        signing = std::make_unique<testing::RootSigningIdentity>(root.path());
        app = signing->signedAppCopy(AERIVO_HELPER_REQUEST_PATH, root.path() / "Applications" /
                                                                     "Aerivo Mac.app" / "Contents" /
                                                                     "MacOS" / "AerivoMac");
    }

    ProgramRun request(const std::filesystem::path& client, const std::string& method,
                       const std::string& argument = "{}") const {
        return testing::runProgram(
            client, {testing::HelperProcess::socketPath(root.path()).string(), method, argument});
    }

    // The reply of the signed app, as a dictionary (null when there was none).
    nlohmann::json reply(const std::string& method, const std::string& argument = "{}") const {
        const ProgramRun run = request(app, method, argument);
        EXPECT_EQ(run.exitCode, 0) << run.output;
        return nlohmann::json::parse(run.output, nullptr, false);
    }

    // The helper installed with a daemon definition: the simulator's service manager starts it
    // on the first connection and again after it ends.
    void defineServiceManagedHelper() const {
        const std::string label(AerivoPrivilegedHelperXPC::serviceName);
        testing::SocketJob::writeDefinition(
            root.path(),
            testing::SocketJob::definition(
                label, testing::HelperProcess::install(AERIVO_MAC_HELPER_PATH, root.path())));
        ASSERT_TRUE(simulator->waitForStatus("job." + label + ".loaded", "true"));
    }
    std::string job(const std::string& key) const {
        return statusValue(
            *simulator, "job." + std::string(AerivoPrivilegedHelperXPC::serviceName) + "." + key);
    }

    std::unique_ptr<testing::RootSigningIdentity> signing;
    std::filesystem::path app;
};

TEST_F(HelperListenerOnSimulator, ServesTheSignedAppAndDrivesTheFan) {
    testing::HelperProcess served(AERIVO_MAC_HELPER_PATH, root.path());
    ASSERT_TRUE(served.isServing()) << served.log();

    const nlohmann::json status = reply("readStatus");
    EXPECT_EQ(status.value("helperPrivilege", ""), "installed") << status;
    EXPECT_EQ(status.value("fanWrites", ""), "enabled") << status;
    EXPECT_EQ(status.value("heartbeat", ""), "ok") << status;

    const nlohmann::json lease = reply(
        "holdManualTargetLease",
        R"({"fanIndex": 0, "targetRPM": 3000.0, "holdSeconds": 15, "reason": "app-curve-renewal"})");
    EXPECT_EQ(lease.value("accepted", false), true) << lease;
    EXPECT_EQ(statusValue(*simulator, "fan0Mode"), "1 (manual)");
    EXPECT_EQ(statusValue(*simulator, "fan0TargetRPM"), "3000");

    const nlohmann::json reset = reply("resetToSystem");
    EXPECT_EQ(reset.value("resetToSystem", ""), "accepted") << reset;
    EXPECT_EQ(statusValue(*simulator, "fan0Mode"), "0 (system)");
    EXPECT_TRUE(statusValue(*simulator, "fan0LastWriter")
                    .starts_with(std::string(AerivoPrivilegedHelperXPC::serviceName) + "["));
}

TEST_F(HelperListenerOnSimulator, RefusesEveryoneButTheSignedApp) {
    testing::HelperProcess served(AERIVO_MAC_HELPER_PATH, root.path());
    ASSERT_TRUE(served.isServing()) << served.log();
    const auto otherSigning = std::make_unique<testing::RootSigningIdentity>(
        root.path() / "elsewhere"); // an anchor the root does not trust
    const std::filesystem::path untrusted = otherSigning->signedAppCopy(
        AERIVO_HELPER_REQUEST_PATH, root.path() / "elsewhere" / "AerivoMac");
    for (const std::filesystem::path& client :
         {std::filesystem::path(AERIVO_HELPER_REQUEST_PATH), untrusted}) {
        const ProgramRun run = request(
            client, "holdManualTargetLease",
            R"({"fanIndex": 0, "targetRPM": 3000.0, "holdSeconds": 15, "reason": "app-curve-renewal"})");
        EXPECT_EQ(run.exitCode, 1) << run.output;
        EXPECT_TRUE(run.output.starts_with("outcome=refused")) << run.output;
    }
    EXPECT_EQ(statusValue(*simulator, "fan0LastWriter"), "none");
    EXPECT_NE(served.log().find("refused client"), std::string::npos) << served.log();
}

TEST_F(HelperListenerOnSimulator, TakesTheSocketTheServiceManagerHandsOver) {
    testing::HelperProcess served(AERIVO_MAC_HELPER_PATH, root.path(), true);
    ASSERT_TRUE(served.isServing()) << served.log();
    EXPECT_EQ(reply("readStatus").value("heartbeat", ""), "ok") << served.log();
    EXPECT_EQ(served.log().find("cannot serve"), std::string::npos) << served.log();
}

TEST_F(HelperListenerOnSimulator, ASecondHelperOnALiveSocketStopsWithTheFatalMessage) {
    testing::HelperProcess served(AERIVO_MAC_HELPER_PATH, root.path());
    ASSERT_TRUE(served.isServing()) << served.log();
    const ProgramRun second =
        helper({}, {}, testing::HelperProcess::install(AERIVO_MAC_HELPER_PATH, root.path()));
    EXPECT_EQ(second.exitCode, 128 + SIGABRT) << second.output;
    EXPECT_NE(second.output.find("Fatal error: XPC listener run loop exited"), std::string::npos)
        << second.output;
    // The first one still serves.
    EXPECT_EQ(reply("readStatus").value("heartbeat", ""), "ok");
}

TEST_F(HelperListenerOnSimulator, AFanLeftManualByAKilledHelperGoesBackWhenTheNextOneStarts) {
    defineServiceManagedHelper();
    const nlohmann::json lease = reply(
        "holdManualTargetLease",
        R"({"fanIndex": 0, "targetRPM": 3000.0, "holdSeconds": 30, "reason": "app-curve-renewal"})");
    ASSERT_EQ(lease.value("accepted", false), true) << lease << errorLog();
    ASSERT_EQ(::kill(std::stoi(job("pid")), SIGKILL), 0);
    ASSERT_TRUE(simulator->waitForStatus(
        "job." + std::string(AerivoPrivilegedHelperXPC::serviceName) + ".lastExit", "signal 9"));
    // The lease died with its helper: nothing hands the fan back any more.
    EXPECT_EQ(statusValue(*simulator, "fan0Mode"), "1 (manual)");

    // Any connection starts the next helper, even one it refuses; its first act is the check.
    EXPECT_EQ(request(AERIVO_HELPER_REQUEST_PATH, "readStatus").exitCode, 1);
    EXPECT_TRUE(testing::waitUntil([&] {
        return statusValue(*simulator, "fan0Mode") == "0 (system)";
    })) << errorLog();
    EXPECT_TRUE(testing::waitUntil([&] {
        return errorLog().find("helperStartCheck=handedBack") != std::string::npos;
    })) << errorLog();
    EXPECT_EQ(job("starts"), "2");
}

// The virtual size of a running process, in bytes.
rlim_t addressSpaceInUse(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmSize:")) {
            return static_cast<rlim_t>(std::stoull(line.substr(7))) * 1024;
        }
    }
    return 0;
}

TEST_F(HelperListenerOnSimulator, OutOfAddressSpaceItClosesWhatItCannotServeAndAnswersTheNext) {
    defineServiceManagedHelper();
    ASSERT_EQ(reply("readStatus").value("heartbeat", ""), "ok") << errorLog();
    const pid_t helper = std::stoi(job("pid"));
    // Room for the stacks of a handful of connection threads, far fewer than the silent
    // connections of the signed client below, each of which holds its thread for the idle time.
    const rlim_t room = addressSpaceInUse(helper) + 96 * 1024 * 1024;
    const rlimit limit{room, room};
    ASSERT_EQ(::prlimit(helper, RLIMIT_AS, &limit, nullptr), 0);
    const std::string socket = testing::HelperProcess::socketPath(root.path()).string();
    testing::BackgroundProgram silent(app, {socket, "--silent", "200"});
    ASSERT_TRUE(testing::waitUntil([&] {
        return errorLog().find("a connection was closed unserved") != std::string::npos ||
               job("starts") != "1";
    })) << errorLog();

    // Once the default idle time has dropped the silent connections (or a fresh helper has been
    // started), the signed client is answered again.
    EXPECT_TRUE(testing::waitUntil([&] { return request(app, "readStatus").exitCode == 0; },
                                   std::chrono::seconds(20)))
        << errorLog();
    EXPECT_EQ(silent.finish().output, "connected=200 closedByHelper=200\n");
}

} // namespace
} // namespace aerivo
