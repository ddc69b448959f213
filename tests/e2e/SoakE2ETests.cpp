// The soak's short form: sixteen seconds of the seeded schedule against the simulated Mac, its
// service-managed helper and the headless app in curve mode. The full soak runs for minutes
// outside the suite (tools/soak).

#include "tests/e2e/SimulatorProcess.h"

#include <gtest/gtest.h>

namespace aerivo {
namespace {

TEST(SoakShortForm, NoFanStaysManualPastItsLeaseAndTheHelperEndsAsItStarted) {
    const testing::ProgramRun run =
        testing::runProgram(AERIVO_SOAK_PATH, {"--seconds", "16", "--seed", "5", "--quiet"});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(testing::lineValue(run.output, "result"), "pass") << run.output;
    EXPECT_EQ(testing::lineValue(run.output, "leaseOverruns"), "0") << run.output;
    EXPECT_EQ(testing::lineValue(run.output, "leakedThreads"), "0") << run.output;
    EXPECT_EQ(testing::lineValue(run.output, "leakedDescriptors"), "0") << run.output;
    EXPECT_EQ(testing::lineValue(run.output, "finalFanMode"), "0 (system)") << run.output;
    // What this seed's schedule does within sixteen seconds.
    EXPECT_EQ(testing::lineValue(run.output, "helperKills"), "1") << run.output;
    EXPECT_EQ(testing::lineValue(run.output, "bursts"), "1") << run.output;
    EXPECT_EQ(testing::lineValue(run.output, "burstClosedByHelper"), "1000") << run.output;
}

} // namespace
} // namespace aerivo
