#include "app/hardware/AdminHardwareProbe.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace aerivo {
namespace {

class ScriptedRunner final : public ProcessRunner {
public:
    ProcessRunResult next = ProcessOutput{};
    std::string lastPath;
    std::vector<std::string> lastArguments;

    ProcessRunResult run(const std::string& path, const std::vector<std::string>& args) override {
        lastPath = path;
        lastArguments = args;
        return next;
    }
};

TEST(AdminHardwareProbeQuoting, PlainPathIsQuotedOnceAndPassedThroughTheScript) {
    const std::string path = "/Applications/Demo.app/Contents/MacOS/Demo";
    EXPECT_EQ(AdminHardwareProbe::elevatedCommand(path),
              "'/Applications/Demo.app/Contents/MacOS/Demo' --print-hardware --smc-debug "
              "--smc-diagnose-fallback");
    EXPECT_EQ(AdminHardwareProbe::elevatedScript(path),
              "do shell script \"'/Applications/Demo.app/Contents/MacOS/Demo' --print-hardware "
              "--smc-debug --smc-diagnose-fallback\" with administrator privileges");
}

TEST(AdminHardwareProbeQuoting, SpacesQuotesAndBackslashes) {
    EXPECT_EQ(AdminHardwareProbe::shellQuote("/A B/x"), "'/A B/x'");
    EXPECT_EQ(AdminHardwareProbe::shellQuote("it's"), "'it'\\''s'");
    EXPECT_EQ(AdminHardwareProbe::shellQuote(""), "''");
    EXPECT_EQ(AdminHardwareProbe::shellQuote("a\"b\\c"), "'a\"b\\c'");
    EXPECT_EQ(AdminHardwareProbe::appleScriptStringLiteral("a\"b\\c"), "\"a\\\"b\\\\c\"");
    // The backslash of a shell-quoted single quote reaches the script doubled.
    EXPECT_EQ(AdminHardwareProbe::appleScriptStringLiteral(AdminHardwareProbe::shellQuote("it's")),
              "\"'it'\\\\''s'\"");
    EXPECT_EQ(AdminHardwareProbe::elevatedCommand(""),
              "'' --print-hardware --smc-debug --smc-diagnose-fallback");
}

TEST(AdminHardwareProbeRun, ElevatedProbeGoesThroughTheScriptRunnerUnderTheSystemRoot) {
    ScriptedRunner runner;
    AdminHardwareProbe probe(runner, SystemPaths("/tmp/root"));
    probe.run("/x/AerivoMac");
    EXPECT_EQ(runner.lastPath, "/tmp/root/usr/bin/osascript");
    ASSERT_EQ(runner.lastArguments.size(), 2u);
    EXPECT_EQ(runner.lastArguments[0], "-e");
    EXPECT_EQ(runner.lastArguments[1], AdminHardwareProbe::elevatedScript("/x/AerivoMac"));
    probe.runSMCDiagnoseDirect();
    EXPECT_EQ(runner.lastPath, "/tmp/root/usr/libexec/smcDiagnose");
    EXPECT_TRUE(runner.lastArguments.empty());
}

TEST(AdminHardwareProbeRun, ResultRules) {
    ScriptedRunner runner;
    AdminHardwareProbe probe(runner, SystemPaths("/"));
    runner.next = ProcessOutput{0, "", ""};
    EXPECT_EQ(probe.runProcess("/p", {}), AdminHardwareProbeResult::success(""));
    runner.next = ProcessOutput{0, "  fanCount=1\n", "noise"};
    EXPECT_EQ(probe.runProcess("/p", {}), AdminHardwareProbeResult::success("  fanCount=1\n"));
    runner.next = ProcessOutput{1, "other text", "the message\n"};
    EXPECT_EQ(probe.runProcess("/p", {}), AdminHardwareProbeResult::failure("the message"));
    runner.next = ProcessOutput{1, " word ", " \n"};
    EXPECT_EQ(probe.runProcess("/p", {}), AdminHardwareProbeResult::failure("word"));
    runner.next = ProcessOutput{1, "", ""};
    EXPECT_EQ(probe.runProcess("/p", {}), AdminHardwareProbeResult::failure(""));
    runner.next = ProcessLaunchError{"cannot start"};
    EXPECT_EQ(probe.runProcess("/p", {}), AdminHardwareProbeResult::failure("cannot start"));
}

TEST(AdminHardwareProbeRun, InvalidUtf8CountsAsEmpty) {
    ScriptedRunner runner;
    AdminHardwareProbe probe(runner, SystemPaths("/"));
    runner.next = ProcessOutput{0, "fan\xff", ""};
    EXPECT_EQ(probe.runProcess("/p", {}), AdminHardwareProbeResult::success(""));
    runner.next = ProcessOutput{2, "fallback", "\xc3\x28"};
    EXPECT_EQ(probe.runProcess("/p", {}), AdminHardwareProbeResult::failure("fallback"));
}

TEST(AdminHardwareProbeRun, RealSMCDiagnoseStandInUnderATemporaryRoot) {
    testing::TemporaryDirectory temporary("aerivo-probe");
    const std::filesystem::path root = temporary.path() / "root";
    std::filesystem::create_directories(root / "usr/libexec");
    const auto tool = root / "usr/libexec/smcDiagnose";
    {
        std::ofstream script(tool);
        script << "#!/bin/sh\necho 'F0Mn = 1200'\necho 'F0Mx = 5800'\n";
    }
    std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
    PosixProcessRunner runner;
    AdminHardwareProbe probe(runner, SystemPaths(root));
    EXPECT_EQ(probe.runSMCDiagnoseDirect(),
              AdminHardwareProbeResult::success("F0Mn = 1200\nF0Mx = 5800\n"));
    std::filesystem::remove_all(root);
    EXPECT_FALSE(probe.runSMCDiagnoseDirect().isSuccess());
}

} // namespace
} // namespace aerivo
