#include "tests/e2e/SimulatorProcess.h"

#include "app/hardware/AdminHardwareProbe.h"
#include "platform/posix/ProcessRunner.h"
#include "platform/posix/SystemPaths.h"

#include <gtest/gtest.h>

#include <fstream>

namespace aerivo {
namespace {

using testing::BackgroundProgram;
using testing::ProgramRun;
using testing::SimulatorProcess;
using testing::TemporarySystemRoot;

std::string script(const std::string& command) {
    return "do shell script " + AdminHardwareProbe::appleScriptStringLiteral(command) +
           " with administrator privileges";
}

std::string cancelMessage(const std::string& script) {
    return "0:" + std::to_string(script.size()) + ": execution error: User canceled. (-128)\n";
}

std::filesystem::path selfImage() {
    return std::filesystem::read_symlink("/proc/self/exe");
}

class AdministratorRunner : public ::testing::Test {
protected:
    void start(std::vector<std::string> arguments) {
        arguments.insert(arguments.end(), {"--trust-anchor", "none"});
        simulator.emplace(root.path(), arguments);
        ASSERT_TRUE(simulator->isServing());
    }
    std::filesystem::path osascript() const { return SystemPaths(root.path()).osascript(); }
    ProgramRun run(const std::string& text) const {
        return testing::runProgram(osascript(), {"-e", text});
    }
    std::optional<std::string> approval(int number, const std::string& field) const {
        return simulator->status("approval" + std::to_string(number) + "." + field);
    }

    TemporarySystemRoot root;
    std::optional<SimulatorProcess> simulator;
};

TEST_F(AdministratorRunner, RunsTheCommandWhenApprovedAndLogsTheRequest) {
    start({});
    const std::string command = "printf out; printf ' err' >&2; exit 3";
    const ProgramRun ran = run(script(command));
    EXPECT_EQ(ran.exitCode, 3);
    EXPECT_EQ(ran.output, "out err");
    EXPECT_EQ(approval(1, "answer"), "approved");
    EXPECT_EQ(approval(1, "who"), selfImage().string());
    EXPECT_TRUE(approval(1, "via").value_or("").starts_with("osascript[")) << *approval(1, "via");
    EXPECT_EQ(approval(1, "right"), "system.privilege.admin");
    EXPECT_EQ(approval(1, "for"), command);
}

TEST_F(AdministratorRunner, ARefusalRunsNothingAndPrintsTheCancelMessage) {
    start({"--approve", "no"});
    const auto marker = root.path() / "ran";
    const std::string text = script("touch '" + marker.string() + "'");
    const ProgramRun refused = run(text);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.output, cancelMessage(text));
    EXPECT_EQ(approval(1, "answer"), "refused");

    // The policy changes at run time.
    EXPECT_EQ(simulator->ctl({"approve", "yes"}).output, "approvalPolicy=yes\n");
    EXPECT_EQ(run(text).exitCode, 0);
    EXPECT_TRUE(std::filesystem::exists(marker));
    EXPECT_EQ(simulator->status("approvals"), "2");
}

TEST_F(AdministratorRunner, AskFileWaitsForTheAnswerWrittenIntoTheRoot) {
    start({"--approve", "ask-file"});
    const auto answerFile = root.path() / "var" / "run" / "aerivo-sim-mac.approval";
    const std::vector<std::pair<std::string, std::string>> answers = {
        {"yes", "approved"}, {"no", "refused"}, {"cancel", "canceled"}, {"maybe", "canceled"}};
    int number = 0;
    for (const auto& [answer, logged] : answers) {
        const std::string text = script("echo " + answer);
        BackgroundProgram client(osascript(), {"-e", text});
        ASSERT_TRUE(simulator->waitForStatus("approvalsPending", "1")) << answer;
        std::ofstream(answerFile) << answer << "\n";
        const ProgramRun ran = client.finish();
        EXPECT_EQ(ran.output, answer == "yes" ? "yes\n" : cancelMessage(text)) << answer;
        EXPECT_EQ(ran.exitCode, answer == "yes" ? 0 : 1) << answer;
        EXPECT_EQ(approval(++number, "answer").value_or("").substr(0, logged.size()), logged);
        EXPECT_FALSE(std::filesystem::exists(answerFile)) << "each answer is used once";
    }
}

TEST_F(AdministratorRunner, AnUnansweredRequestTimesOut) {
    start({"--approve", "ask-file", "--approval-timeout", "0.05"});
    const std::string text = script("echo never");
    EXPECT_EQ(run(text).output, cancelMessage(text));
    EXPECT_EQ(approval(1, "answer"), "timed-out");
}

TEST_F(AdministratorRunner, TheProbeScriptRoundTripsAPathWithQuotesAndABackslash) {
    start({});
    const auto folder = root.path() / "it's a \"quoted\" \\ folder";
    std::filesystem::create_directories(folder);
    const auto program = folder / "probe";
    std::ofstream(program) << "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\"\n";
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);

    PosixProcessRunner runner;
    const AdminHardwareProbeResult result =
        AdminHardwareProbe(runner, SystemPaths(root.path())).run(program.string());
    EXPECT_EQ(result.kind, AdminHardwareProbeResult::Kind::success) << result.text;
    EXPECT_EQ(result.text,
              program.string() + "\n--print-hardware\n--smc-debug\n--smc-diagnose-fallback\n");
}

TEST_F(AdministratorRunner, AnythingButTheOneFormIsRefusedWithoutAskingAnyone) {
    start({});
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "this stand-in runs only"},
        {{"-e"}, "this stand-in runs only"},
        {{"-l", "JavaScript", "-e", "1"}, "this stand-in runs only"},
        {{"-e", "display dialog \"hi\""}, "must start with: do shell script"},
        {{"-e", "do shell script \"ls"}, "not terminated"},
        {{"-e", "do shell script \"ls\\n\" with administrator privileges"}, "only \\\\ and \\\""},
        {{"-e", "do shell script \"ls\""}, "followed by exactly: with administrator privileges"},
        {{"-e", "do shell script \"ls\" with administrator privileges and more"},
         "followed by exactly"},
    };
    for (const auto& [arguments, message] : cases) {
        const ProgramRun run = testing::runProgram(osascript(), arguments);
        EXPECT_EQ(run.exitCode, 1) << message;
        EXPECT_NE(run.output.find(message), std::string::npos) << run.output;
    }
    EXPECT_EQ(simulator->status("approvals"), "0");
}

} // namespace
} // namespace aerivo
