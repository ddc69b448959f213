#include "platform/posix/ProcessRunner.h"

#include <gtest/gtest.h>

namespace aerivo {
namespace {

ProcessOutput runShell(const std::string& script) {
    PosixProcessRunner runner;
    ProcessRunResult result = runner.run("/bin/sh", {"-c", script});
    const auto* output = std::get_if<ProcessOutput>(&result);
    if (output == nullptr) {
        ADD_FAILURE() << std::get<ProcessLaunchError>(result).message;
        return {};
    }
    return *output;
}

TEST(PosixProcessRunner, CapturesBothStreamsAndTheExitStatus) {
    const ProcessOutput output = runShell("printf 'out\\n'; printf 'err' >&2; exit 3");
    EXPECT_EQ(output.exitStatus, 3);
    EXPECT_EQ(output.standardOutput, "out\n");
    EXPECT_EQ(output.standardError, "err");
}

TEST(PosixProcessRunner, ChildFillingBothPipesStillCompletes) {
    // Far more than a pipe holds on each stream, written interleaved.
    const ProcessOutput output =
        runShell("i=0; while [ $i -lt 400 ]; do head -c 1000 /dev/zero | tr '\\0' o; "
                 "head -c 1000 /dev/zero | tr '\\0' e >&2; i=$((i+1)); done");
    EXPECT_EQ(output.exitStatus, 0);
    EXPECT_EQ(output.standardOutput.size(), 400000u);
    EXPECT_EQ(output.standardError.size(), 400000u);
    EXPECT_EQ(output.standardOutput.find_first_not_of('o'), std::string::npos);
}

TEST(PosixProcessRunner, ArgumentsArePassedVerbatim) {
    const ProcessOutput output = runShell("printf '%s|' \"$0\" 'a b' \"it's\"");
    EXPECT_EQ(output.standardOutput, "/bin/sh|a b|it's|");
}

TEST(PosixProcessRunner, SignalDeathIsANonZeroStatus) {
    EXPECT_EQ(runShell("kill -9 $$").exitStatus, 128 + 9);
}

TEST(PosixProcessRunner, MissingProgramIsALaunchErrorNamingIt) {
    PosixProcessRunner runner;
    const ProcessRunResult result = runner.run("/nonexistent/aerivo-probe", {});
    const auto* error = std::get_if<ProcessLaunchError>(&result);
    ASSERT_NE(error, nullptr);
    EXPECT_NE(error->message.find("/nonexistent/aerivo-probe"), std::string::npos);
}

TEST(PosixProcessRunner, ProgramNamesAreNotLookedUpOnTheSearchPath) {
    PosixProcessRunner runner;
    EXPECT_TRUE(std::holds_alternative<ProcessLaunchError>(runner.run("sh", {"-c", "true"})));
}

} // namespace
} // namespace aerivo
