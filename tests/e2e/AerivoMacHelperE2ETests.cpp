// AerivoMacHelper as a program under its own system root against the simulated Mac daemon: the
// command line's status lines, the write probe's arming, and an armed hold that really moves the
// simulated fan and hands it back.

#include "shared/AerivoPrivilegedHelperXPC.h"
#include "tests/e2e/SimulatorProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace aerivo {
namespace {

using testing::ProgramRun;
using testing::SimulatorProcess;
using testing::TemporarySystemRoot;

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
            root.path(), std::vector<std::string>{"--model", "laptop-2fan", "--seed", "5"});
        ASSERT_TRUE(simulator->isServing());
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

TEST_F(HelperOnSimulator, WithoutArgumentsItSaysItCannotServeTheSocketYet) {
    const ProgramRun run = helper({});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("serving the helper socket is not part of this build yet"),
              std::string::npos)
        << run.output;
}

} // namespace
} // namespace aerivo
