// Reading /proc texts whose odd but legal contents could mislead a naive parser.

#include "platform/admission/PinnedProcess.h"
#include "platform/admission/ProcessFacts.h"
#include "tests/support/RunningProcess.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace aerivo {
namespace {

// Fields 3 to 21 of a stat line, then the start time (22) and two more.
const std::string statTail = " S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 987654 19 20";

TEST(ProcessFacts, StartTimeIsCountedAfterTheLastParenthesisOfTheName) {
    const std::vector<std::pair<std::string, std::optional<std::uint64_t>>> cases = {
        {"42 (client)" + statTail, 987654},
        {"42 (evil) 1 2 3 (name)" + statTail, 987654},
        {"42 (a b c)" + statTail, 987654},
        {"42 client" + statTail, std::nullopt},
        {"42 (client) S 1 2", std::nullopt},
        {"42 (client) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 -5", std::nullopt},
    };
    for (const auto& [line, startTime] : cases) {
        SCOPED_TRACE(line);
        EXPECT_EQ(procfs::startTimeFromStat(line), startTime);
    }
}

TEST(ProcessFacts, StatusGivesTracerAndEffectiveIdsFromTheirOwnLines) {
    const auto fields = procfs::fieldsFromStatus("Name:\tTracerPid: 99\n"
                                                 "TracerPid:\t17\n"
                                                 "Uid:\t1000\t0\t1000\t1000\n"
                                                 "Gid:\t100\t5\t100\t100\n");
    ASSERT_TRUE(fields.has_value());
    EXPECT_EQ(fields->tracerPid, 17);
    EXPECT_EQ(fields->effectiveUserId, 0u);
    EXPECT_EQ(fields->effectiveGroupId, 5u);
    EXPECT_FALSE(procfs::fieldsFromStatus("TracerPid:\tx\nUid:\t1 1 1 1\nGid:\t1 1 1 1\n"));
    EXPECT_FALSE(procfs::fieldsFromStatus("Uid:\t1 1 1 1\nGid:\t1 1 1 1\n"));
}

TEST(ProcessFacts, ReadsThisProcess) {
    const auto facts = ProcessFacts::read(getpid(), {"PATH", "AERIVO_NOT_SET_ANYWHERE"});
    ASSERT_TRUE(facts.has_value());
    EXPECT_EQ(facts->effectiveUserId, geteuid());
    EXPECT_EQ(facts->watchedVariablesSet, std::vector<std::string>{"PATH"});
    EXPECT_FALSE(ProcessFacts::read(0, {}).has_value());
}

TEST(PinnedProcess, HoldsWhileTheProcessLivesAndLetsGoWhenItEnds) {
    using Pin = std::optional<PinnedProcess> (*)(pid_t);
    for (const Pin pin : {&PinnedProcess::pin, &PinnedProcess::pinByStartTime}) {
        testing::RunningProcess client(AERIVO_TEST_CLIENT_PATH);
        ASSERT_EQ(client.readLine().rfind("ready", 0), 0u);
        const auto pinned = pin(client.pid());
        ASSERT_TRUE(pinned.has_value());
        EXPECT_TRUE(pinned->isStillThere());
        client.stop();
        EXPECT_FALSE(pinned->isStillThere());
        EXPECT_FALSE(pin(client.pid()).has_value());
    }
}

} // namespace
} // namespace aerivo
