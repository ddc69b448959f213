#include "helper/core/AerivoMacHelperCommandLine.h"

#include "tests/helper/HelperServiceRig.h"

#include <gtest/gtest.h>

namespace aerivo {
namespace {

using Command = AerivoMacHelperCommandLine::Command;
using testing::HelperServiceRig;

struct CommandLineRun {
    int exitCode = -1;
    std::vector<std::string> lines;
    int listenerRuns = 0;
    int smcOpens = 0;
};

CommandLineRun runCommandLine(const std::vector<std::string>& arguments, IOKitPort& port) {
    CommandLineRun run;
    const AerivoMacHelperCommandLine::Environment environment{
        [&] {
            ++run.smcOpens;
            return SMCProbeClient::open(port);
        },
        [](std::chrono::duration<double>) {},
        [](std::string_view) -> std::optional<std::string> { return std::nullopt; },
        [&](const std::string& line) { run.lines.push_back(line); },
        [&] {
            ++run.listenerRuns;
            return 7;
        }};
    run.exitCode = AerivoMacHelperCommandLine::run(arguments, environment);
    return run;
}

TEST(HelperCommandLine, TheFirstOptionInOrderWinsWhereverItStands) {
    struct Row {
        std::vector<std::string> arguments;
        Command command;
        int exitCode;
        std::string lastLine;
    };
    const std::vector<Row> rows{
        {{"AerivoMacHelper", "--status"}, Command::status, 0, "heartbeat=ok"},
        {{"AerivoMacHelper", "--reset-to-system", "--status"}, Command::status, 0, "heartbeat=ok"},
        {{"AerivoMacHelper", "--smc-write-probe", "--bogus", "--status"},
         Command::status,
         0,
         "heartbeat=ok"},
        {{"AerivoMacHelper", "--reset-to-system"}, Command::resetToSystem, 0, "resetToSystem=noop"},
        {{"AerivoMacHelper", "--smc-write-probe", "--reset-to-system"},
         Command::resetToSystem,
         0,
         "resetToSystem=noop"},
        {{"AerivoMacHelper", "--dry-run", "--smc-write-probe"},
         Command::smcWriteProbe,
         0,
         "smcWriteProbeWriteAttempted=false"},
        {{"AerivoMacHelper", "--bogus"}, Command::unsupported, 2, "error=unsupported command"},
        {{"AerivoMacHelper", "status"}, Command::unsupported, 2, "error=unsupported command"},
        {{"AerivoMacHelper", ""}, Command::unsupported, 2, "error=unsupported command"},
    };
    HelperServiceRig rig;
    for (const Row& row : rows) {
        const std::string label = row.arguments.back();
        EXPECT_EQ(AerivoMacHelperCommandLine::command(row.arguments), row.command) << label;
        const CommandLineRun run = runCommandLine(row.arguments, rig.port);
        EXPECT_EQ(run.exitCode, row.exitCode) << label;
        ASSERT_FALSE(run.lines.empty()) << label;
        EXPECT_EQ(run.lines.back(), row.lastLine) << label;
        if (row.command != Command::smcWriteProbe) {
            EXPECT_EQ(run.lines.size(), 11U) << label;
            EXPECT_EQ(run.lines.at(8), "helperPrivilege=not-installed") << label;
            EXPECT_EQ(run.smcOpens, 0) << label;
        }
        EXPECT_EQ(run.listenerRuns, 0) << label;
    }
}

TEST(HelperCommandLine, OnlyTheProgramPathRunsTheListener) {
    HelperServiceRig rig;
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"AerivoMacHelper"}, std::vector<std::string>{}}) {
        EXPECT_EQ(AerivoMacHelperCommandLine::command(arguments), Command::listener);
        const CommandLineRun run = runCommandLine(arguments, rig.port);
        EXPECT_EQ(run.listenerRuns, 1);
        EXPECT_EQ(run.exitCode, 7);
        EXPECT_TRUE(run.lines.empty());
    }
}

TEST(HelperCommandLine, ResetToSystemLeavesAnActiveLeaseAlone) {
    HelperServiceRig rig;
    rig.lease(HelperServiceRig::renewal(3000, 30));
    rig.timeline.settle();
    ASSERT_EQ(rig.fan().mode, 1);
    const double lastWrite = rig.fan().lastWriteSeconds;
    const CommandLineRun run = runCommandLine({"AerivoMacHelper", "--reset-to-system"}, rig.port);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(rig.fan().mode, 1);
    EXPECT_EQ(rig.fan().lastWriteSeconds, lastWrite);
}

} // namespace
} // namespace aerivo
