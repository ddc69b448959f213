#include "helper/core/AerivoPrivilegedHelperXPCService.h"

#include "shared/AerivoPrivilegedHelperStatus.h"
#include "tests/helper/HelperServiceRig.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace aerivo {
namespace {

using nlohmann::json;
using testing::HelperServiceRig;
using testing::SMCWriteOutcome;
using Service = AerivoPrivilegedHelperXPCService;

constexpr std::int64_t largest = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t smallest = std::numeric_limits<std::int64_t>::min();
// One step of the simulated machine: "right before" a deadline.
constexpr double tick = SimulatedMac::stepSeconds;

// --- Curve leases on the simulated fan -------------------------------------------------------

TEST(HelperServiceCurveLease, ArmsAnExpiryFiveToThirtySecondsAheadThatHandsTheFanBack) {
    struct Row {
        std::int64_t requested;
        double armed;
    };
    for (const Row row :
         {Row{2, 5}, Row{60, 30}, Row{15, 15}, Row{largest, 30}, Row{smallest, 5}}) {
        HelperServiceRig rig;
        const double start = rig.now();
        const auto answer = rig.lease(HelperServiceRig::renewal(3000, row.requested));
        rig.timeline.settle();
        const json reply = HelperServiceRig::only(*answer);
        EXPECT_EQ(reply.value("accepted", false), true) << row.requested;
        EXPECT_EQ(reply.value("appliedTargetRPM", 0.0), 3000.0) << row.requested;

        rig.advanceTo(start + row.armed - tick);
        EXPECT_EQ(rig.fan().mode, 1) << row.requested;
        EXPECT_EQ(rig.fan().target, 3000.0) << row.requested;
        rig.advanceTo(start + row.armed);
        EXPECT_EQ(rig.fan().mode, 0) << row.requested;
        EXPECT_DOUBLE_EQ(rig.fan().lastWriteSeconds, start + row.armed) << row.requested;
    }
}

// Both ways a cancelled expiry can end: dropped by the queue, or run late (its timer had fired
// already) and finding the generation moved on.
class CancelledExpiries : public ::testing::TestWithParam<bool> {
protected:
    CancelledExpiries() { rig.timeline.setRunsCancelledItems(GetParam()); }
    HelperServiceRig rig;
};

TEST_P(CancelledExpiries, ASecondRenewalReArmsTheLeaseFromItsOwnMoment) {
    const double start = rig.now();
    const auto first = rig.lease(HelperServiceRig::renewal(3000, 5));
    rig.advanceTo(start + 3);
    const auto second = rig.lease(HelperServiceRig::renewal(3500, 5));
    rig.timeline.settle();
    EXPECT_EQ(HelperServiceRig::only(*first).value("accepted", false), true);
    EXPECT_EQ(HelperServiceRig::only(*second).value("accepted", false), true);

    // The first lease's deadline passes without a write.
    rig.advanceTo(start + 5 + tick);
    EXPECT_EQ(rig.fan().mode, 1);
    EXPECT_DOUBLE_EQ(rig.fan().lastWriteSeconds, start + 3);
    rig.advanceTo(start + 8 - tick);
    EXPECT_EQ(rig.fan().mode, 1);
    rig.advanceTo(start + 8);
    EXPECT_EQ(rig.fan().mode, 0);
    EXPECT_DOUBLE_EQ(rig.fan().lastWriteSeconds, start + 8);
}

TEST_P(CancelledExpiries, AResetDisarmsThePendingExpiry) {
    const double start = rig.now();
    const auto renewed = rig.lease(HelperServiceRig::renewal(3000, 10));
    rig.advanceTo(start + 2);
    const auto reset = rig.reset();
    rig.timeline.settle();
    ASSERT_EQ(HelperServiceRig::only(*renewed).value("accepted", false), true);
    EXPECT_EQ(HelperServiceRig::only(*reset).value("resetToSystem", ""), "accepted");
    EXPECT_EQ(rig.fan().mode, 0);
    EXPECT_DOUBLE_EQ(rig.fan().lastWriteSeconds, start + 2);

    rig.advanceTo(start + 40);
    EXPECT_DOUBLE_EQ(rig.fan().lastWriteSeconds, start + 2);
}

INSTANTIATE_TEST_SUITE_P(DroppedOrRunLate, CancelledExpiries, ::testing::Bool());

TEST(HelperServiceCurveLease, ARenewalAfterTheSystemTookTheFanBackRetakesItAndSaysSo) {
    HelperServiceRig rig;
    std::vector<std::string> events;
    rig.service->setEventLog([&events](const std::string& line) { events.push_back(line); });
    const auto renew = [&rig](double seconds) {
        rig.advanceTo(rig.now() + seconds);
        rig.lease(HelperServiceRig::renewal(3000, 15));
        rig.timeline.settle();
    };
    renew(0); // the first lease finds the fan in system control: nothing to report
    renew(5);
    EXPECT_TRUE(events.empty());
    rig.machine.takeBack("test");
    renew(5);
    EXPECT_EQ(rig.fan().mode, 1);
    EXPECT_EQ(events, std::vector<std::string>{std::string(Service::curveLeaseRetakenLine)});
    // After an expiry the next lease is a fresh one, not a retake.
    rig.advanceTo(rig.now() + 15);
    ASSERT_EQ(rig.fan().mode, 0);
    renew(1);
    EXPECT_EQ(events.size(), 1u);
}

TEST(HelperServiceCurveLease, AFailedRenewalLeavesTheEarlierExpiryOnTime) {
    enum class Failure { modeWriteRefused, smcClosed, openThrows };
    for (const Failure failure :
         {Failure::modeWriteRefused, Failure::smcClosed, Failure::openThrows}) {
        HelperServiceRig rig;
        const double start = rig.now();
        rig.lease(HelperServiceRig::renewal(3000, 5));
        rig.advanceTo(start + 2);
        if (failure == Failure::modeWriteRefused) {
            rig.faults.script("F0md", {SMCWriteOutcome{kIOReturnNotPrivileged, 0}});
        } else if (failure == Failure::smcClosed) {
            rig.setSMCClosed(true);
        } else {
            rig.opening = HelperServiceRig::Opening::throws;
        }
        const auto failed = rig.lease(HelperServiceRig::renewal(4500, 30));
        rig.timeline.settle();
        rig.setSMCClosed(false);
        rig.opening = HelperServiceRig::Opening::opens;

        const json reply = HelperServiceRig::only(*failed);
        EXPECT_EQ(reply.value("accepted", true), false);
        EXPECT_EQ(reply.value("error", ""), failure == Failure::modeWriteRefused
                                                ? "manual target lease failed"
                                                : "AppleSMC connection failed");
        EXPECT_EQ(rig.fan().target, 3000.0);
        rig.advanceTo(start + 5 - tick);
        EXPECT_EQ(rig.fan().mode, 1);
        rig.advanceTo(start + 5);
        EXPECT_EQ(rig.fan().mode, 0);
    }
}

TEST(HelperServiceCurveLease, AnExpiryThatCannotHandTheFanBackTriesAgainUntilItCan) {
    HelperServiceRig rig;
    const double start = rig.now();
    rig.lease(HelperServiceRig::renewal(3000, 5));
    rig.timeline.settle();
    // The expiry's mode write is refused, and so is the first retry's SMC.
    rig.faults.script("F0md", {SMCWriteOutcome{kIOReturnNotPrivileged, 0}});
    rig.advanceTo(start + 5 + 1);
    EXPECT_EQ(rig.fan().mode, 1);
    rig.setSMCClosed(true);
    // Five seconds after the failed expiry finished its samples: the retry cannot open the SMC.
    rig.advanceTo(start + 5 + 3 + 5);
    EXPECT_EQ(rig.fan().mode, 1);
    rig.setSMCClosed(false);
    rig.advanceTo(start + 5 + 3 + 5 + 5);
    EXPECT_EQ(rig.fan().mode, 0);
    EXPECT_DOUBLE_EQ(rig.fan().lastWriteSeconds, start + 18);
    // Handed back: nothing more is armed.
    rig.advanceTo(start + 60);
    EXPECT_DOUBLE_EQ(rig.fan().lastWriteSeconds, start + 18);
}

TEST(HelperServiceCurveLease, AFailedResetOfAnArmedLeaseKeepsTryingWhileAResetOfNothingDoesNot) {
    for (const bool leaseArmed : {true, false}) {
        HelperServiceRig rig;
        const double start = rig.now();
        if (leaseArmed) {
            rig.lease(HelperServiceRig::renewal(3000, 30));
        }
        rig.timeline.settle();
        rig.faults.script("F0md", {SMCWriteOutcome{kIOReturnSuccess, 130}});
        const auto reset = rig.reset();
        rig.timeline.settle();
        EXPECT_EQ(HelperServiceRig::only(*reset).value("resetToSystem", ""), "failed");
        EXPECT_EQ(rig.fan().mode, leaseArmed ? 1 : 0);
        rig.advanceTo(start + 3 + 5);
        EXPECT_EQ(rig.fan().mode, 0);
        EXPECT_EQ(rig.fan().lastWriter, leaseArmed ? "helper" : "none") << leaseArmed;
    }
}

TEST(HelperServiceCurveLease, TheExpiryDoesNotKeepTheServiceAlive) {
    HelperServiceRig rig;
    const double start = rig.now();
    rig.lease(HelperServiceRig::renewal(3000, 5));
    rig.timeline.settle();
    const std::weak_ptr<Service> watched = rig.service;
    rig.service.reset();
    EXPECT_TRUE(watched.expired());
    // The armed expiry finds no service and does nothing.
    rig.advanceTo(start + 10);
    EXPECT_EQ(rig.loop.pendingEventCount(), 0U);
    EXPECT_DOUBLE_EQ(rig.fan().lastWriteSeconds, start);
}

// --- Refusals ----------------------------------------------------------------------------------

TEST(HelperServiceLeaseRequests, RefusalsComeInTheirOrderAndNeverTouchTheFan) {
    struct Row {
        const char* name;
        json request;
        AerivoPrivilegedHelperXPCSwitches switches;
        bool smcClosed;
        std::int64_t fanIndex;
        std::string_view error;
    };
    const auto withFan = [](json request, std::int64_t fanIndex) {
        request["fanIndex"] = fanIndex;
        return request;
    };
    json noReason = HelperServiceRig::manualHold(3000, 5);
    noReason.erase("reason");
    json textHold = HelperServiceRig::renewal(3000, 5);
    textHold["holdSeconds"] = "5";
    const AerivoPrivilegedHelperXPCSwitches on;
    const AerivoPrivilegedHelperXPCSwitches writesOff{true, false};
    const AerivoPrivilegedHelperXPCSwitches connectionOff{false, true};
    const std::vector<Row> rows{
        {"no reason", noReason, writesOff, false, 0, Service::invalidRequestError},
        {"text hold", textHold, on, false, 0, Service::invalidRequestError},
        {"not an object", json::array({0, 3000, 5}), on, false, 0, Service::invalidRequestError},
        {"fan 1", withFan(HelperServiceRig::renewal(3000, 5), 1), writesOff, true, 1,
         Service::unsupportedFanIndexError},
        {"fan -1", withFan(HelperServiceRig::manualHold(3000, 5), -1), on, false, -1,
         Service::unsupportedFanIndexError},
        {"fan 2^40", withFan(HelperServiceRig::manualHold(3000, 5), std::int64_t{1} << 40), on,
         false, std::int64_t{1} << 40, Service::unsupportedFanIndexError},
        {"writes off", HelperServiceRig::renewal(3000, 5), writesOff, true, 0,
         Service::fanWritesDisabledError},
        {"connection off", HelperServiceRig::manualHold(3000, 5), connectionOff, false, 0,
         Service::fanWritesDisabledError},
        {"renewal, SMC closed", HelperServiceRig::renewal(3000, 5), on, true, 0,
         Service::smcConnectionFailedError},
        {"hold, SMC closed", HelperServiceRig::manualHold(3000, 5), on, true, 0,
         Service::smcConnectionFailedError},
    };
    for (const Row& row : rows) {
        HelperServiceRig rig(row.switches);
        rig.setSMCClosed(row.smcClosed);
        const auto answer = rig.lease(row.request);
        rig.timeline.settle();
        EXPECT_EQ(HelperServiceRig::only(*answer),
                  AerivoManualTargetLeaseResponse::rejection(row.fanIndex, std::string(row.error))
                      .dictionary())
            << row.name;
        EXPECT_EQ(rig.fan().lastWriter, "none") << row.name;
        rig.advanceTo(rig.now() + 40);
        EXPECT_EQ(rig.fan().lastWriter, "none") << row.name;
    }
}

// --- Status and reset replies ------------------------------------------------------------------

TEST(HelperServiceStatus, AnswersAtOnceWithoutTheSMC) {
    struct Row {
        AerivoPrivilegedHelperXPCSwitches switches;
        std::string fanWrites;
    };
    for (const Row& row : {Row{{true, true}, "enabled"}, Row{{true, false}, "disabled"},
                           Row{{false, true}, "disabled"}}) {
        HelperServiceRig rig(row.switches);
        rig.setSMCClosed(true);
        // On the calling thread: the reply is there before the queue runs.
        const auto answer = rig.status();
        AerivoPrivilegedHelperStatus expected = AerivoPrivilegedHelperStatus::status();
        expected.privilege = "installed";
        expected.fanWrites = row.fanWrites;
        EXPECT_EQ(HelperServiceRig::only(*answer), expected.dictionary()) << row.fanWrites;
        EXPECT_EQ(rig.openCount, 0);
    }
}

TEST(HelperServiceReset, RepliesAtTheStatusDefaultsWithTheOutcome) {
    enum class Setup { manualFan, writesOff, smcClosed, modeWriteRefused, modeUnreadable };
    struct Row {
        Setup setup;
        std::optional<std::string> resetToSystem;
        std::optional<std::string> error;
        std::uint8_t modeAfter;
        // A failed hand-back also names itself in fanHandBack, with the kernel's words where
        // the contract's error has only its generic text.
        std::optional<std::string> handBackError = error;
    };
    const std::vector<Row> rows{
        {Setup::manualFan, "accepted", std::nullopt, 0},
        {Setup::writesOff, "noop", std::nullopt, 1},
        {Setup::smcClosed, std::nullopt, "AppleSMC connection failed", 1},
        {Setup::modeWriteRefused, "failed", "manual target lease failed", 1,
         "ResetModeKernelResult=notPrivileged(-536870207)"},
        {Setup::modeUnreadable, "failed", "F0md mode unreadable", 1},
    };
    for (const Row& row : rows) {
        // The fan is manual under a lease; the reset is asked of a service with these switches.
        HelperServiceRig rig;
        rig.lease(HelperServiceRig::renewal(3000, 30));
        rig.timeline.settle();
        ASSERT_EQ(rig.fan().mode, 1);
        if (row.setup == Setup::writesOff) {
            rig.remakeService(AerivoPrivilegedHelperXPCSwitches{true, false});
        } else if (row.setup == Setup::smcClosed) {
            rig.setSMCClosed(true);
        } else if (row.setup == Setup::modeWriteRefused) {
            rig.faults.failAlways("F0md", SMCWriteOutcome{kIOReturnNotPrivileged, 0});
        } else if (row.setup == Setup::modeUnreadable) {
            SimFaultPlan faults;
            faults.readFailures["F0md"] = SimCallFailure{kIOReturnSuccess, 132};
            rig.machine.mergeFaults(faults);
        }
        const auto answer = rig.reset();
        rig.timeline.settle();

        AerivoPrivilegedHelperStatus expected;
        expected.resetToSystem = row.resetToSystem;
        expected.error = row.error;
        if (row.error) {
            expected.fanHandBack = "failed";
            expected.fanHandBackError = row.handBackError;
        }
        EXPECT_EQ(HelperServiceRig::only(*answer), expected.dictionary())
            << static_cast<int>(row.setup);
        EXPECT_EQ(rig.fan().mode, row.modeAfter) << static_cast<int>(row.setup);
    }
}

// --- Manual holds --------------------------------------------------------------------------------

TEST(HelperServiceManualHold, HoldsForOneToTenSecondsOnTheCallingThreadAndHandsTheFanBack) {
    struct Row {
        std::int64_t requested;
        double held;
    };
    for (const Row row : {Row{0, 1}, Row{15, 10}, Row{3, 3}, Row{largest, 10}, Row{smallest, 1}}) {
        HelperServiceRig rig;
        const double start = rig.now();
        // No queue involved: the reply is there when the call returns.
        const auto answer = rig.lease(HelperServiceRig::manualHold(3000, row.requested));
        const json reply = HelperServiceRig::only(*answer);
        EXPECT_EQ(reply.value("resetAccepted", false), true) << row.requested;
        EXPECT_EQ(reply.value("appliedTargetRPM", 0.0), 3000.0) << row.requested;
        // The samples, then three after the restore.
        EXPECT_DOUBLE_EQ(rig.now() - start, row.held + 3) << row.requested;
        EXPECT_EQ(rig.fan().mode, 0) << row.requested;
        EXPECT_EQ(rig.fan().lastWriter, "helper") << row.requested;
    }
}

TEST(HelperServiceManualHold, LeavesTheLeaseAloneAndRunsAlongsideItsExpiry) {
    HelperServiceRig rig;
    const double start = rig.now();
    rig.lease(HelperServiceRig::renewal(3000, 5));
    rig.timeline.settle();

    // The fan is manual under the lease: a hold refuses it and says why.
    const json refused = HelperServiceRig::only(*rig.lease(HelperServiceRig::manualHold(4000, 2)));
    AerivoManualTargetLeaseResponse expected;
    expected.resetAccepted = true;
    expected.requestedTargetRPM = 4000.0;
    expected.error = "fan is already in manual mode";
    EXPECT_EQ(refused, expected.dictionary());

    // The system takes the fan back; a hold from start+1 now runs, and the lease's expiry still
    // fires on the queue at start+5, in the middle of it.
    rig.advanceTo(start + 1);
    rig.machine.takeBack("test");
    const json held = HelperServiceRig::only(*rig.lease(HelperServiceRig::manualHold(4000, 2)));
    EXPECT_EQ(held.value("resetAccepted", false), true);
    EXPECT_DOUBLE_EQ(rig.fan().lastWriteSeconds, start + 5);
    EXPECT_EQ(rig.fan().mode, 0);
}

TEST(HelperServiceManualHold, AHoldThatCannotHandTheFanBackLeavesARetryOnTheQueue) {
    HelperServiceRig rig;
    const double start = rig.now();
    // The target write fails and so does the restore's mode write: exit code 3.
    rig.faults.script("F0Tg", {SMCWriteOutcome{kIOReturnNotPrivileged, 0}});
    rig.faults.script("F0md", {SMCWriteOutcome{}, SMCWriteOutcome{kIOReturnNotPrivileged, 0}});
    const json reply = HelperServiceRig::only(*rig.lease(HelperServiceRig::manualHold(4000, 2)));
    EXPECT_EQ(reply.value("resetAccepted", true), false);
    EXPECT_EQ(rig.fan().mode, 1);
    rig.timeline.settle();
    rig.advanceTo(start + 3 + 5);
    EXPECT_EQ(rig.fan().mode, 0);
}

// --- Reply shaping -------------------------------------------------------------------------------

TEST(HelperServiceReplies, LeaseResponseAndFailureReasonFollowTheExecution) {
    const AerivoManualTargetLeaseRequest request{0, 2500.0, 5, "app-manual-target-lease"};
    AerivoManualTargetLeaseResponse own;
    own.accepted = true;
    own.appliedTargetRPM = 2400.0;
    struct Row {
        FanTargetLeaseExecution execution;
        AerivoManualTargetLeaseResponse expected;
    };
    const auto refusal = [&](bool resetAccepted, std::string error) {
        AerivoManualTargetLeaseResponse response;
        response.resetAccepted = resetAccepted;
        response.requestedTargetRPM = 2500.0;
        response.error = std::move(error);
        return response;
    };
    const std::vector<Row> rows{
        {{{"smcWriteProbeAction=x"}, own, 0}, own},
        {{{"smcWriteProbeAction=x", "smcWriteProbeReason=first", "smcWriteProbeReason=second"},
          std::nullopt,
          2},
         refusal(true, "first")},
        {{{"smcWriteProbeModeWriteSMCResult=130"}, std::nullopt, 2},
         refusal(true, "manual target lease failed")},
        {{{"smcWriteProbeResetAfterTargetFailure=false"}, std::nullopt, 3},
         refusal(false, "manual target lease failed")},
        {{{"smcWriteProbeReason="}, std::nullopt, 2}, refusal(true, "")},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Service::leaseResponse(row.execution, request), row.expected)
            << row.execution.lines.back();
    }
}

} // namespace
} // namespace aerivo
