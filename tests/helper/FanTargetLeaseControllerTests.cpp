#include "helper/core/FanTargetLeaseController.h"

#include "shared/SMCKeyCodec.h"
#include "tests/support/FakeIOKit.h"
#include "tests/support/SMCWriteFaults.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>

namespace aerivo {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::FakeIOKit;
using ::testing::IsEmpty;
using testing::SMCWriteFaults;
using testing::SMCWriteOutcome;

std::vector<std::uint8_t> floatBytes(float value) {
    const auto bits = std::bit_cast<std::uint32_t>(value);
    return {static_cast<std::uint8_t>(bits & 0xFF), static_cast<std::uint8_t>(bits >> 8 & 0xFF),
            static_cast<std::uint8_t>(bits >> 16 & 0xFF), static_cast<std::uint8_t>(bits >> 24)};
}

struct Write {
    std::string key;
    std::vector<std::uint8_t> bytes;

    bool operator==(const Write&) const = default;
};

void PrintTo(const Write& write, std::ostream* out) {
    *out << write.key << " <-";
    for (const std::uint8_t byte : write.bytes) {
        *out << ' ' << static_cast<int>(byte);
    }
}

// Fan 0 of a laptop at rest under system control: 1000...5000 rpm, turning at 1200 with a target
// of 1200. Every SMC write that succeeds lands in the fake's key table; the sleeper counts the
// pauses and lets a test move the actual speed at each one, so nothing sleeps for real.
class LeaseControllerTest : public ::testing::Test {
protected:
    LeaseControllerTest() {
        iokit.addService("AppleSMC");
        setSpeed("F0Mn", 1000);
        setSpeed("F0Mx", 5000);
        setSpeed("F0Ac", 1200);
        setSpeed("F0Tg", 1200);
        iokit.setKey("F0md", "ui8 ", {0x00});
    }

    void setSpeed(const std::string& key, float rpm) { iokit.setKey(key, "flt ", floatBytes(rpm)); }

    FanTargetLeaseController& controller() {
        if (!controller_) {
            client_ = SMCProbeClient::open(faults);
            EXPECT_NE(client_, nullptr);
            controller_ = std::make_unique<FanTargetLeaseController>(
                *client_, [this](std::chrono::duration<double> pause) {
                    EXPECT_EQ(pause.count(), 1.0);
                    ++sleeps;
                    if (onSleep) {
                        onSleep(sleeps);
                    }
                });
        }
        return *controller_;
    }

    // Writes that reached the machine, in order.
    std::vector<Write> writes() const {
        std::vector<Write> log;
        for (const SMCKeyData& input : iokit.smcInputs(SMCCommand::writeBytes)) {
            log.push_back({fourCharacterString(input.key),
                           {input.bytes.begin(), input.bytes.begin() + input.keyInfo.dataSize}});
        }
        return log;
    }

    std::uint8_t modeByte() { return iokit.key("F0md").bytes.at(0); }
    std::vector<std::uint8_t> targetBytes() { return iokit.key("F0Tg").bytes; }

    void expectNothingWritten() const {
        EXPECT_THAT(writes(), IsEmpty());
        EXPECT_EQ(faults.failedWrites(), 0);
    }

    FakeIOKit iokit;
    SMCWriteFaults faults{iokit};
    int sleeps = 0;
    std::function<void(int)> onSleep;

private:
    std::unique_ptr<SMCProbeClient> client_;
    std::unique_ptr<FanTargetLeaseController> controller_;
};

std::vector<std::string> refusal(std::string_view action, std::string_view reason) {
    return {"smcWriteProbeAction=" + std::string(action), "smcWriteProbeWriteAttempted=false",
            "smcWriteProbeReason=" + std::string(reason)};
}

// --- Refusals before any write -------------------------------------------------------------

class UnreadablePreflightKey : public LeaseControllerTest,
                               public ::testing::WithParamInterface<std::string> {};

TEST_P(UnreadablePreflightKey, StopsBothOperationsBeforeAnyWrite) {
    iokit.removeKey(GetParam());
    const std::string reason = "fan range, current RPM, F0Tg target, or F0md mode unreadable";

    const FanTargetLeaseExecution hold = controller().holdManualTarget(2000.0, std::nullopt, 3);
    EXPECT_EQ(hold.lines, refusal("manual-target-hold", reason));
    EXPECT_EQ(hold.exitCode, 2);
    EXPECT_FALSE(hold.response);

    const FanTargetLeaseExecution renewal =
        controller().renewManualTarget(2000.0, std::nullopt, 15);
    EXPECT_EQ(renewal.lines, refusal("manual-target-renewal", reason));
    EXPECT_EQ(renewal.exitCode, 2);
    EXPECT_FALSE(renewal.response);

    expectNothingWritten();
    EXPECT_EQ(sleeps, 0);
}

INSTANTIATE_TEST_SUITE_P(FanZeroKeys, UnreadablePreflightKey,
                         ::testing::Values("F0Mn", "F0Mx", "F0Ac", "F0Tg", "F0md"));

TEST_F(LeaseControllerTest, ASpeedKeyWithoutASpeedIsUnreadable) {
    // A two-byte float cannot be decoded; a failed byte read gives no value at all.
    iokit.setKey("F0Mx", "flt ", {0x00, 0x40});
    EXPECT_EQ(controller().holdManualTarget(2000.0, std::nullopt, 1).lines,
              refusal("manual-target-hold",
                      "fan range, current RPM, F0Tg target, or F0md mode unreadable"));
    setSpeed("F0Mx", 5000);
    iokit.key("F0Ac").readResult = 132;
    EXPECT_EQ(controller().renewManualTarget(2000.0, std::nullopt, 15).exitCode, 2);
    expectNothingWritten();
}

TEST_F(LeaseControllerTest, RefusesTargetsAndModesOfAnotherShape) {
    const std::string reason = "unexpected F0Tg or F0md data type";
    iokit.setKey("F0Tg", "fpe2", {0x12, 0xC0});
    EXPECT_EQ(controller().holdManualTarget(2000.0, std::nullopt, 1).lines,
              refusal("manual-target-hold", reason));
    EXPECT_EQ(controller().renewManualTarget(2000.0, std::nullopt, 15).lines,
              refusal("manual-target-renewal", reason));

    setSpeed("F0Tg", 1200);
    iokit.setKey("F0md", "ui8 ", {0x00, 0x00});
    EXPECT_EQ(controller().holdManualTarget(2000.0, std::nullopt, 1).lines,
              refusal("manual-target-hold", reason));
    EXPECT_EQ(controller().renewManualTarget(2000.0, std::nullopt, 15).exitCode, 2);

    iokit.setKey("F0md", "ui16", {0x00});
    EXPECT_EQ(controller().renewManualTarget(2000.0, std::nullopt, 15).lines,
              refusal("manual-target-renewal", reason));
    expectNothingWritten();
}

TEST_F(LeaseControllerTest, AFloatTargetOfAnotherSizeIsRefusedRatherThanHalfWritten) {
    iokit.setKey("F0Tg", "flt ", {0x00, 0x00, 0x96, 0x44, 0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(controller().renewManualTarget(2000.0, std::nullopt, 15).lines,
              refusal("manual-target-renewal", "unexpected F0Tg or F0md data type"));
    expectNothingWritten();
}

TEST_F(LeaseControllerTest, HoldRefusesAFanAlreadyInManualMode) {
    iokit.setKey("F0md", "ui8 ", {0x01});
    const FanTargetLeaseExecution hold = controller().holdManualTarget(2000.0, std::nullopt, 3);
    std::vector<std::string> expected =
        refusal("manual-target-hold", "fan is already in manual mode");
    expected.push_back("smcWriteProbeBeforeModeBytes=01");
    EXPECT_EQ(hold.lines, expected);
    EXPECT_EQ(hold.exitCode, 2);
    expectNothingWritten();
}

TEST_F(LeaseControllerTest, NeedExactlyOneOfAnAbsoluteTargetOrADelta) {
    const std::string holdReason = "requires --target-rpm or --target-delta";
    EXPECT_EQ(controller().holdManualTarget(2000.0, 300.0, 3).lines,
              refusal("manual-target-hold", holdReason));
    EXPECT_EQ(controller().holdManualTarget(std::nullopt, std::nullopt, 3).lines,
              refusal("manual-target-hold", holdReason));
    EXPECT_EQ(controller().renewManualTarget(2000.0, 300.0, 15).lines,
              refusal("manual-target-renewal", "requires target RPM"));
    EXPECT_EQ(controller().renewManualTarget(std::nullopt, std::nullopt, 15).lines,
              refusal("manual-target-renewal", "requires target RPM"));
    expectNothingWritten();
}

TEST_F(LeaseControllerTest, ATargetThatIsNotANumberIsNoTarget) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(controller().holdManualTarget(nan, std::nullopt, 3).lines,
              refusal("manual-target-hold", "requires --target-rpm or --target-delta"));
    EXPECT_EQ(controller().holdManualTarget(std::nullopt, inf, 3).exitCode, 2);
    EXPECT_EQ(controller().renewManualTarget(nan, std::nullopt, 15).lines,
              refusal("manual-target-renewal", "requires target RPM"));
    EXPECT_EQ(controller().renewManualTarget(-inf, std::nullopt, 15).exitCode, 2);
    expectNothingWritten();
}

TEST_F(LeaseControllerTest, HoldNeedsFiftyRpmOfHeadroomAboveThePresentSpeed) {
    std::vector<std::string> expected = refusal(
        "manual-target-hold", "downward or near-current targets are disabled in this helper phase");
    expected.push_back("smcWriteProbeRequestedTargetRPM=1240");
    expected.push_back("smcWriteProbeCurrentRPM=1200");
    EXPECT_EQ(controller().holdManualTarget(1240.0, std::nullopt, 1).lines, expected);
    // A delta counts from the present speed; a downward target is clamped but still refused.
    EXPECT_EQ(controller().holdManualTarget(std::nullopt, 49.0, 1).exitCode, 2);
    EXPECT_EQ(controller().holdManualTarget(800.0, std::nullopt, 1).exitCode, 2);
    expectNothingWritten();

    const FanTargetLeaseExecution hold = controller().holdManualTarget(1250.0, std::nullopt, 1);
    EXPECT_EQ(hold.lines.at(1), "smcWriteProbeWriteAttempted=true");
    EXPECT_EQ(writes().front(), (Write{"F0md", {0x01}}));
}

TEST_F(LeaseControllerTest, HeadroomAppliesToTheClampedTarget) {
    // Turning near the top: 9000 is clamped to 5000, which is within 50 rpm of 4960.
    setSpeed("F0Ac", 4960);
    const FanTargetLeaseExecution hold = controller().holdManualTarget(9000.0, std::nullopt, 1);
    EXPECT_EQ(hold.lines.at(2), "smcWriteProbeReason=downward or near-current targets are "
                                "disabled in this helper phase");
    EXPECT_EQ(hold.lines.at(3), "smcWriteProbeRequestedTargetRPM=9000");
    expectNothingWritten();
}

// --- Manual hold ----------------------------------------------------------------------------

TEST_F(LeaseControllerTest, HoldWritesModeThenTargetSamplesAndRestoresTargetThenMode) {
    const std::vector<float> actualAtPause{1700, 1900, 1600, 1400, 1300};
    onSleep = [&](int pause) { setSpeed("F0Ac", actualAtPause.at(pause - 1)); };

    const FanTargetLeaseExecution hold = controller().holdManualTarget(2000.0, std::nullopt, 2);

    EXPECT_THAT(hold.lines, ElementsAreArray({
                                "smcWriteProbeAction=manual-target-hold",
                                "smcWriteProbeWriteAttempted=true",
                                "smcWriteProbeMinimumRPM=1000",
                                "smcWriteProbeMaximumRPM=5000",
                                "smcWriteProbeBeforeCurrentRPM=1200",
                                "smcWriteProbeBeforeTargetRPM=1200",
                                "smcWriteProbeBeforeModeBytes=00",
                                "smcWriteProbeRequestedTargetRPM=2000",
                                "smcWriteProbeAppliedTargetRPM=2000",
                                "smcWriteProbeHoldSeconds=2",
                                "smcWriteProbeModeWriteKernelResult=success",
                                "smcWriteProbeModeWriteSMCResult=0",
                                "smcWriteProbeTargetWriteKernelResult=success",
                                "smcWriteProbeTargetWriteSMCResult=0",
                                "smcWriteProbeSample1ModeBytes=01",
                                "smcWriteProbeSample1TargetRPM=2000",
                                "smcWriteProbeSample1ActualRPM=1700",
                                "smcWriteProbeSample2ModeBytes=01",
                                "smcWriteProbeSample2TargetRPM=2000",
                                "smcWriteProbeSample2ActualRPM=1900",
                                "smcWriteProbeRestoreTargetKernelResult=success",
                                "smcWriteProbeRestoreTargetSMCResult=0",
                                "smcWriteProbeRestoreModeKernelResult=success",
                                "smcWriteProbeRestoreModeSMCResult=0",
                                "smcWriteProbeRestoredModeBytes=00",
                                "smcWriteProbeRestoredTargetRPM=1200",
                                "smcWriteProbeRestoredTargetBytes=00 00 96 44",
                                "smcWriteProbePostRestore1ModeBytes=00",
                                "smcWriteProbePostRestore1TargetRPM=1200",
                                "smcWriteProbePostRestore1ActualRPM=1600",
                                "smcWriteProbePostRestore2ModeBytes=00",
                                "smcWriteProbePostRestore2TargetRPM=1200",
                                "smcWriteProbePostRestore2ActualRPM=1400",
                                "smcWriteProbePostRestore3ModeBytes=00",
                                "smcWriteProbePostRestore3TargetRPM=1200",
                                "smcWriteProbePostRestore3ActualRPM=1300",
                                "smcWriteProbeTargetReached=true",
                            }));
    EXPECT_EQ(hold.exitCode, 0);
    EXPECT_EQ(sleeps, 5);
    EXPECT_THAT(writes(), ElementsAre(Write{"F0md", {0x01}}, Write{"F0Tg", floatBytes(2000)},
                                      Write{"F0Tg", floatBytes(1200)}, Write{"F0md", {0x00}}));
    EXPECT_EQ(modeByte(), 0);
    EXPECT_EQ(targetBytes(), floatBytes(1200));

    AerivoManualTargetLeaseResponse expected;
    expected.accepted = true;
    expected.targetReached = true;
    expected.resetAccepted = true;
    expected.requestedTargetRPM = 2000.0;
    expected.appliedTargetRPM = 2000.0;
    expected.finalActualRPM = 1300.0;
    EXPECT_EQ(hold.response, expected);
}

TEST_F(LeaseControllerTest, HoldClampsToTheMaximumAndReportsBothSpeeds) {
    setSpeed("F0Mx", 4900);
    setSpeed("F0Ac", 4800);
    const FanTargetLeaseExecution hold = controller().holdManualTarget(9000.0, std::nullopt, 1);
    EXPECT_EQ(hold.lines.at(7), "smcWriteProbeRequestedTargetRPM=9000");
    EXPECT_EQ(hold.lines.at(8), "smcWriteProbeAppliedTargetRPM=4900");
    EXPECT_EQ(writes().at(1), (Write{"F0Tg", floatBytes(4900)}));
    ASSERT_TRUE(hold.response);
    EXPECT_EQ(hold.response->requestedTargetRPM, 9000.0);
    EXPECT_EQ(hold.response->appliedTargetRPM, 4900.0);
    EXPECT_EQ(hold.exitCode, 0);
}

TEST_F(LeaseControllerTest, HoldByDeltaAimsAboveThePresentSpeed) {
    const FanTargetLeaseExecution hold = controller().holdManualTarget(std::nullopt, 300.0, 1);
    EXPECT_EQ(hold.lines.at(7), "smcWriteProbeRequestedTargetRPM=1500");
    EXPECT_EQ(writes().at(1), (Write{"F0Tg", floatBytes(1500)}));
}

TEST_F(LeaseControllerTest, ReachingTheTargetOnceCountsEvenIfTheSpeedDriftsAway) {
    const std::vector<float> actualAtPause{1500, 1860, 1700, 1500, 1300, 1200};
    onSleep = [&](int pause) { setSpeed("F0Ac", actualAtPause.at(pause - 1)); };
    const FanTargetLeaseExecution hold = controller().holdManualTarget(2000.0, std::nullopt, 3);
    EXPECT_EQ(hold.lines.back(), "smcWriteProbeTargetReached=true");
    EXPECT_EQ(hold.exitCode, 0);
}

TEST_F(LeaseControllerTest, TheReachToleranceOf150RpmIsInclusiveForHoldsAndRenewals) {
    struct Row {
        float actual;
        bool reached;
    };
    // The applied target is 2000 in every row.
    for (const Row row :
         {Row{1850, true}, Row{2150, true}, Row{1849.5F, false}, Row{2150.5F, false}}) {
        // Each row starts from system control (the previous row's renewal left it manual).
        iokit.setKey("F0md", "ui8 ", {0x00});
        setSpeed("F0Ac", 1200);
        onSleep = [&](int) { setSpeed("F0Ac", row.actual); };
        const FanTargetLeaseExecution hold = controller().holdManualTarget(2000.0, std::nullopt, 1);
        ASSERT_TRUE(hold.response) << row.actual;
        EXPECT_EQ(hold.response->targetReached, row.reached) << row.actual;

        setSpeed("F0Ac", row.actual);
        const FanTargetLeaseExecution renewal =
            controller().renewManualTarget(2000.0, std::nullopt, 15);
        ASSERT_TRUE(renewal.response) << row.actual;
        EXPECT_EQ(renewal.response->targetReached, row.reached) << row.actual;
    }
}

TEST_F(LeaseControllerTest, AHoldThatNeverReachesItsTargetStillRestoresAndExitsTwo) {
    const FanTargetLeaseExecution hold = controller().holdManualTarget(2000.0, std::nullopt, 3);
    EXPECT_EQ(hold.lines.back(), "smcWriteProbeTargetReached=false");
    EXPECT_EQ(hold.exitCode, 2);
    ASSERT_TRUE(hold.response);
    EXPECT_TRUE(hold.response->accepted);
    EXPECT_TRUE(hold.response->resetAccepted);
    EXPECT_FALSE(hold.response->targetReached);
    EXPECT_EQ(hold.response->error, "manual target lease did not complete cleanly");
    EXPECT_EQ(modeByte(), 0);
}

TEST_F(LeaseControllerTest, AFailedModeWriteEndsTheHoldWithNothingElseWritten) {
    faults.script("F0md", {{kIOReturnNotPrivileged, 0}});
    const FanTargetLeaseExecution hold = controller().holdManualTarget(2000.0, std::nullopt, 3);
    EXPECT_EQ(hold.lines.size(), 12U);
    EXPECT_EQ(hold.lines.at(10), "smcWriteProbeModeWriteKernelResult=notPrivileged(-536870207)");
    EXPECT_EQ(hold.lines.at(11), "smcWriteProbeModeWriteSMCResult=0");
    EXPECT_EQ(hold.exitCode, 2);
    EXPECT_FALSE(hold.response);
    EXPECT_THAT(writes(), IsEmpty());
    EXPECT_EQ(sleeps, 0);
}

TEST_F(LeaseControllerTest, AFailedTargetWriteHandsTheFanBackAndExitsTwo) {
    faults.script("F0Tg", {{kIOReturnSuccess, 132}});
    const FanTargetLeaseExecution hold = controller().holdManualTarget(2000.0, std::nullopt, 3);
    const std::vector<std::string> tail(hold.lines.begin() + 12, hold.lines.begin() + 20);
    EXPECT_THAT(tail, ElementsAreArray({"smcWriteProbeTargetWriteKernelResult=success",
                                        "smcWriteProbeTargetWriteSMCResult=132",
                                        "smcWriteProbeRestoreTargetKernelResult=success",
                                        "smcWriteProbeRestoreTargetSMCResult=0",
                                        "smcWriteProbeRestoreModeKernelResult=success",
                                        "smcWriteProbeRestoreModeSMCResult=0",
                                        "smcWriteProbeRestoredModeBytes=00",
                                        "smcWriteProbeRestoredTargetRPM=1200"}));
    EXPECT_EQ(hold.lines.back(), "smcWriteProbePostRestore3ActualRPM=1200");
    EXPECT_EQ(hold.exitCode, 2);
    EXPECT_FALSE(hold.response);
    EXPECT_EQ(sleeps, 3); // no hold samples, only the three after the restore
    EXPECT_EQ(modeByte(), 0);
    EXPECT_EQ(targetBytes(), floatBytes(1200));
}

TEST_F(LeaseControllerTest, ARestoreThatFailsTooExitsThree) {
    // The target key refuses every write: the hold's and the restore's.
    faults.failAlways("F0Tg", {kIOReturnNotPermitted, 0});
    const FanTargetLeaseExecution hold = controller().holdManualTarget(2000.0, std::nullopt, 2);
    EXPECT_EQ(hold.exitCode, 3);
    EXPECT_FALSE(hold.response);
    EXPECT_EQ(hold.lines.at(14), "smcWriteProbeRestoreTargetKernelResult=notPermitted(-536870174)");
    // The mode write is attempted although the target write failed.
    EXPECT_EQ(hold.lines.at(16), "smcWriteProbeRestoreModeKernelResult=success");
    EXPECT_EQ(modeByte(), 0);
}

TEST_F(LeaseControllerTest, AFailedRestoreAfterTheSamplesIsReportedAsExitThree) {
    // Manual mode is accepted, going back to system control is not.
    faults.script("F0md", {{}, {kIOReturnSuccess, 134}});
    onSleep = [&](int) { setSpeed("F0Ac", 2000); };
    const FanTargetLeaseExecution hold = controller().holdManualTarget(2000.0, std::nullopt, 1);
    EXPECT_EQ(hold.exitCode, 3);
    ASSERT_TRUE(hold.response);
    EXPECT_FALSE(hold.response->accepted);
    EXPECT_FALSE(hold.response->resetAccepted);
    EXPECT_TRUE(hold.response->targetReached);
    EXPECT_EQ(hold.response->error, "manual target lease did not complete cleanly");
    EXPECT_THAT(hold.lines, ::testing::Contains("smcWriteProbeRestoreModeSMCResult=134"));
    EXPECT_THAT(hold.lines, ::testing::Contains("smcWriteProbeRestoredModeBytes=01"));
}

TEST_F(LeaseControllerTest, UnreadableSamplesReadNil) {
    onSleep = [&](int pause) {
        if (pause == 1) {
            iokit.removeKey("F0Ac");
            iokit.key("F0md").infoResult = 132;
        }
    };
    const FanTargetLeaseExecution hold = controller().holdManualTarget(2000.0, std::nullopt, 1);
    EXPECT_THAT(hold.lines, ::testing::IsSupersetOf({"smcWriteProbeSample1ModeBytes=nil",
                                                     "smcWriteProbeSample1TargetRPM=2000",
                                                     "smcWriteProbeSample1ActualRPM=nil",
                                                     "smcWriteProbePostRestore3ActualRPM=nil"}));
    // The mode key answers no read, so there is no restored-mode line.
    EXPECT_THAT(hold.lines, ::testing::Not(::testing::Contains(
                                ::testing::StartsWith("smcWriteProbeRestoredModeBytes="))));
    ASSERT_TRUE(hold.response);
    EXPECT_FALSE(hold.response->finalActualRPM);
    EXPECT_EQ(hold.exitCode, 2);
}

TEST_F(LeaseControllerTest, SpeedTextRoundsHalvesAwayFromZeroAndPrintsHugeSpeedsWhole) {
    setSpeed("F0Ac", 1200.5F);
    setSpeed("F0Tg", std::numeric_limits<float>::max());
    const FanTargetLeaseExecution renewal =
        controller().renewManualTarget(1500.0, std::nullopt, 15);
    EXPECT_EQ(renewal.lines.at(4), "smcWriteProbeBeforeCurrentRPM=1201");
    EXPECT_EQ(renewal.lines.at(5),
              "smcWriteProbeBeforeTargetRPM=340282346638528859811704183484516925440");
    EXPECT_EQ(renewal.exitCode, 0);

    // A request far beyond any integer type is clamped, and reported in full.
    const FanTargetLeaseExecution huge = controller().renewManualTarget(1e30, std::nullopt, 15);
    EXPECT_EQ(huge.lines.at(7), "smcWriteProbeRequestedTargetRPM=1000000000000000019884624838656");
    EXPECT_EQ(huge.lines.at(8), "smcWriteProbeAppliedTargetRPM=5000");
    EXPECT_EQ(huge.exitCode, 0);
}

// --- Curve renewal --------------------------------------------------------------------------

TEST_F(LeaseControllerTest, RenewalLeavesTheFanManualAtTheClampedTarget) {
    // A renewal may lower the fan: the curve asks for 600, the fan's floor is 1000.
    setSpeed("F0Ac", 1100);
    const FanTargetLeaseExecution renewal = controller().renewManualTarget(600.0, std::nullopt, 15);
    EXPECT_THAT(renewal.lines, ElementsAreArray({
                                   "smcWriteProbeAction=manual-target-renewal",
                                   "smcWriteProbeWriteAttempted=true",
                                   "smcWriteProbeMinimumRPM=1000",
                                   "smcWriteProbeMaximumRPM=5000",
                                   "smcWriteProbeBeforeCurrentRPM=1100",
                                   "smcWriteProbeBeforeTargetRPM=1200",
                                   "smcWriteProbeBeforeModeBytes=00",
                                   "smcWriteProbeRequestedTargetRPM=600",
                                   "smcWriteProbeAppliedTargetRPM=1000",
                                   "smcWriteProbeLeaseSeconds=15",
                                   "smcWriteProbeModeWriteKernelResult=success",
                                   "smcWriteProbeModeWriteSMCResult=0",
                                   "smcWriteProbeTargetWriteKernelResult=success",
                                   "smcWriteProbeTargetWriteSMCResult=0",
                                   "smcWriteProbeSampleActualRPM=1100",
                                   "smcWriteProbeTargetReached=true",
                               }));
    EXPECT_EQ(renewal.exitCode, 0);
    EXPECT_EQ(sleeps, 0);
    EXPECT_THAT(writes(), ElementsAre(Write{"F0md", {0x01}}, Write{"F0Tg", floatBytes(1000)}));
    EXPECT_EQ(modeByte(), 1);
    EXPECT_EQ(targetBytes(), floatBytes(1000));

    AerivoManualTargetLeaseResponse expected;
    expected.accepted = true;
    expected.targetReached = true;
    expected.resetAccepted = true;
    expected.requestedTargetRPM = 600.0;
    expected.appliedTargetRPM = 1000.0;
    expected.finalActualRPM = 1100.0;
    EXPECT_EQ(renewal.response, expected);
}

TEST_F(LeaseControllerTest, RenewalOfAManualFanRewritesBothKeys) {
    iokit.setKey("F0md", "ui8 ", {0x01});
    const FanTargetLeaseExecution renewal = controller().renewManualTarget(3000.0, std::nullopt, 5);
    EXPECT_EQ(renewal.lines.at(6), "smcWriteProbeBeforeModeBytes=01");
    EXPECT_EQ(renewal.lines.back(), "smcWriteProbeTargetReached=false");
    EXPECT_EQ(renewal.exitCode, 0);
    ASSERT_TRUE(renewal.response);
    EXPECT_TRUE(renewal.response->accepted);
    EXPECT_FALSE(renewal.response->error);
    EXPECT_THAT(writes(), ElementsAre(Write{"F0md", {0x01}}, Write{"F0Tg", floatBytes(3000)}));
}

TEST_F(LeaseControllerTest, RenewalWithAnUnreadableSpeedAfterTheWriteIsStillAccepted) {
    // The speed sensor stops answering once the target is written.
    faults.afterWrite([&](const std::string& key) {
        if (key == "F0Tg") {
            iokit.key("F0Ac").readKernel = kIOReturnTimeout;
        }
    });
    const FanTargetLeaseExecution renewal =
        controller().renewManualTarget(2500.0, std::nullopt, 15);
    EXPECT_EQ(renewal.lines.at(14), "smcWriteProbeSampleActualRPM=nil");
    EXPECT_EQ(renewal.lines.at(15), "smcWriteProbeTargetReached=false");
    EXPECT_EQ(renewal.exitCode, 0);
    ASSERT_TRUE(renewal.response);
    EXPECT_TRUE(renewal.response->accepted);
    EXPECT_FALSE(renewal.response->targetReached);
    EXPECT_FALSE(renewal.response->finalActualRPM);
    EXPECT_EQ(modeByte(), 1);
}

TEST_F(LeaseControllerTest, AFailedRenewalTargetWriteResetsTheFanAtOnce) {
    faults.script("F0Tg", {{kIOReturnBadArgument, 0}});
    const FanTargetLeaseExecution renewal =
        controller().renewManualTarget(2500.0, std::nullopt, 15);
    EXPECT_THAT(std::vector<std::string>(renewal.lines.begin() + 12, renewal.lines.end()),
                ElementsAre("smcWriteProbeTargetWriteKernelResult=badArgument(-536870206)",
                            "smcWriteProbeTargetWriteSMCResult=0",
                            "smcWriteProbeResetAfterTargetFailure=true"));
    EXPECT_EQ(renewal.exitCode, 2);
    EXPECT_FALSE(renewal.response);
    EXPECT_THAT(writes(), ElementsAre(Write{"F0md", {0x01}}, Write{"F0md", {0x00}}));
    EXPECT_EQ(modeByte(), 0);
    EXPECT_EQ(sleeps, 3);
}

TEST_F(LeaseControllerTest, AFailedResetAfterAFailedRenewalExitsThree) {
    faults.script("F0Tg", {{kIOReturnSuccess, 132}});
    faults.script("F0md", {{}, {kIOReturnNotPrivileged, 0}});
    const FanTargetLeaseExecution renewal =
        controller().renewManualTarget(2500.0, std::nullopt, 15);
    EXPECT_EQ(renewal.lines.back(), "smcWriteProbeResetAfterTargetFailure=false");
    EXPECT_EQ(renewal.exitCode, 3);
    EXPECT_FALSE(renewal.response);
}

TEST_F(LeaseControllerTest, AFailedRenewalModeWriteStopsThere) {
    faults.script("F0md", {{kIOReturnSuccess, 133}});
    const FanTargetLeaseExecution renewal =
        controller().renewManualTarget(2500.0, std::nullopt, 15);
    EXPECT_EQ(renewal.lines.size(), 12U);
    EXPECT_EQ(renewal.lines.back(), "smcWriteProbeModeWriteSMCResult=133");
    EXPECT_EQ(renewal.exitCode, 2);
    EXPECT_THAT(writes(), IsEmpty());
}

// --- Reset to automatic ---------------------------------------------------------------------

TEST_F(LeaseControllerTest, ResetWritesModeZeroEvenWhenAlreadyAutomatic) {
    const FanTargetLeaseExecution reset = controller().resetAutomatic();
    EXPECT_THAT(reset.lines, ElementsAreArray({
                                 "smcWriteProbeAction=reset-automatic",
                                 "smcWriteProbeWriteAttempted=true",
                                 "smcWriteProbeBeforeModeBytes=00",
                                 "smcWriteProbeResetModeKernelResult=success",
                                 "smcWriteProbeResetModeSMCResult=0",
                                 "smcWriteProbePostRestore1ModeBytes=00",
                                 "smcWriteProbePostRestore1TargetRPM=1200",
                                 "smcWriteProbePostRestore1ActualRPM=1200",
                                 "smcWriteProbePostRestore2ModeBytes=00",
                                 "smcWriteProbePostRestore2TargetRPM=1200",
                                 "smcWriteProbePostRestore2ActualRPM=1200",
                                 "smcWriteProbePostRestore3ModeBytes=00",
                                 "smcWriteProbePostRestore3TargetRPM=1200",
                                 "smcWriteProbePostRestore3ActualRPM=1200",
                             }));
    EXPECT_EQ(reset.exitCode, 0);
    EXPECT_FALSE(reset.response);
    EXPECT_THAT(writes(), ElementsAre(Write{"F0md", {0x00}}));
    EXPECT_EQ(sleeps, 3);
}

TEST_F(LeaseControllerTest, ResetTouchesOnlyTheModeByte) {
    iokit.setKey("F0md", "ui8 ", {0x01});
    setSpeed("F0Tg", 3100);
    EXPECT_EQ(controller().resetAutomatic().exitCode, 0);
    EXPECT_EQ(modeByte(), 0);
    EXPECT_EQ(targetBytes(), floatBytes(3100));
    EXPECT_THAT(writes(), ElementsAre(Write{"F0md", {0x00}}));
}

TEST_F(LeaseControllerTest, ResetRefusesAModeKeyItCannotWriteSafely) {
    const std::vector<std::string> expected = refusal("reset-automatic", "F0md mode unreadable");
    iokit.setKey("F0md", "ui8 ", {0x01, 0x00});
    EXPECT_EQ(controller().resetAutomatic().lines, expected);
    iokit.setKey("F0md", "flt ", {0x01});
    EXPECT_EQ(controller().resetAutomatic().lines, expected);
    iokit.removeKey("F0md");
    const FanTargetLeaseExecution reset = controller().resetAutomatic();
    EXPECT_EQ(reset.lines, expected);
    EXPECT_EQ(reset.exitCode, 2);
    expectNothingWritten();
    EXPECT_EQ(sleeps, 0);
}

TEST_F(LeaseControllerTest, AFailedResetStillSamplesAndExitsTwo) {
    iokit.setKey("F0md", "ui8 ", {0x01});
    faults.failAlways("F0md", {kIOReturnNotPrivileged, 0});
    const FanTargetLeaseExecution reset = controller().resetAutomatic();
    EXPECT_EQ(reset.lines.at(3), "smcWriteProbeResetModeKernelResult=notPrivileged(-536870207)");
    EXPECT_EQ(reset.lines.at(5), "smcWriteProbePostRestore1ModeBytes=01");
    EXPECT_EQ(reset.lines.size(), 14U);
    EXPECT_EQ(reset.exitCode, 2);
}

} // namespace
} // namespace aerivo

namespace aerivo {
namespace {

// --- The fan never stays manual after a failure ---------------------------------------------

enum class Operation { hold, renewal, reset };

struct FailurePath {
    std::string name;
    Operation operation;
    std::function<void(FakeIOKit&, SMCWriteFaults&)> arrange;
    int expectedExitCode;
};

void PrintTo(const FailurePath& path, std::ostream* out) {
    *out << path.name;
}

class EveryFailurePath : public LeaseControllerTest,
                         public ::testing::WithParamInterface<FailurePath> {};

// Starting from system control, whatever goes wrong: the fan is back under system control when
// the controller returns, unless it says so with exit code 3 (handing it back failed as well).
TEST_P(EveryFailurePath, EndsUnderSystemControlOrReportsThatItCouldNot) {
    const FailurePath& path = GetParam();
    path.arrange(iokit, faults);
    FanTargetLeaseExecution execution;
    switch (path.operation) {
    case Operation::hold:
        execution = controller().holdManualTarget(2000.0, std::nullopt, 2);
        break;
    case Operation::renewal:
        execution = controller().renewManualTarget(2000.0, std::nullopt, 15);
        break;
    case Operation::reset:
        execution = controller().resetAutomatic();
        break;
    }
    EXPECT_EQ(execution.exitCode, path.expectedExitCode);
    ASSERT_TRUE(iokit.key("F0md").bytes.size() == 1);
    if (execution.exitCode != 3) {
        EXPECT_EQ(modeByte(), 0) << "left in manual mode";
        if (path.operation == Operation::renewal) {
            EXPECT_FALSE(execution.response);
        }
    }
    if (execution.exitCode == 3) {
        // A failure to hand the fan back is never dressed up as an accepted lease.
        EXPECT_TRUE(!execution.response || !execution.response->accepted);
    }
}

const SMCWriteOutcome kernelRefusal{kIOReturnNotPrivileged, 0};
const SMCWriteOutcome smcRefusal{kIOReturnSuccess, 132};
const SMCWriteOutcome passes{};

INSTANTIATE_TEST_SUITE_P(
    Controller, EveryFailurePath,
    ::testing::Values(
        FailurePath{"HoldUnreadableRange", Operation::hold,
                    [](FakeIOKit& k, SMCWriteFaults&) { k.removeKey("F0Mx"); }, 2},
        FailurePath{"HoldUnexpectedType", Operation::hold,
                    [](FakeIOKit& k, SMCWriteFaults&) {
                        k.setKey("F0Tg", "fpe2", {0x12, 0xC0});
                    },
                    2},
        FailurePath{
            "HoldNoHeadroom", Operation::hold,
            [](FakeIOKit& k, SMCWriteFaults&) { k.setKey("F0Ac", "flt ", floatBytes(1990)); }, 2},
        FailurePath{"HoldModeWriteKernel", Operation::hold,
                    [](FakeIOKit&, SMCWriteFaults& f) { f.script("F0md", {kernelRefusal}); }, 2},
        FailurePath{"HoldModeWriteSMC", Operation::hold,
                    [](FakeIOKit&, SMCWriteFaults& f) { f.script("F0md", {smcRefusal}); }, 2},
        FailurePath{"HoldTargetWrite", Operation::hold,
                    [](FakeIOKit&, SMCWriteFaults& f) { f.script("F0Tg", {smcRefusal}); }, 2},
        FailurePath{"HoldTargetWriteAndRestoreTarget", Operation::hold,
                    [](FakeIOKit&, SMCWriteFaults& f) { f.failAlways("F0Tg", kernelRefusal); }, 3},
        FailurePath{"HoldTargetWriteAndRestoreMode", Operation::hold,
                    [](FakeIOKit&, SMCWriteFaults& f) {
                        f.script("F0Tg", {smcRefusal});
                        f.script("F0md", {passes, kernelRefusal});
                    },
                    3},
        FailurePath{"HoldTargetNotReached", Operation::hold, [](FakeIOKit&, SMCWriteFaults&) {}, 2},
        FailurePath{"HoldRestoreModeAfterSamples", Operation::hold,
                    [](FakeIOKit&, SMCWriteFaults& f) {
                        f.script("F0md", {passes, smcRefusal});
                    },
                    3},
        FailurePath{"HoldRestoreTargetAfterSamples", Operation::hold,
                    [](FakeIOKit&, SMCWriteFaults& f) {
                        f.script("F0Tg", {passes, smcRefusal});
                    },
                    3},
        FailurePath{"RenewalUnreadableMode", Operation::renewal,
                    [](FakeIOKit& k, SMCWriteFaults&) { k.key("F0md").readResult = 132; }, 2},
        FailurePath{"RenewalModeWrite", Operation::renewal,
                    [](FakeIOKit&, SMCWriteFaults& f) { f.script("F0md", {kernelRefusal}); }, 2},
        FailurePath{"RenewalTargetWrite", Operation::renewal,
                    [](FakeIOKit&, SMCWriteFaults& f) { f.script("F0Tg", {kernelRefusal}); }, 2},
        FailurePath{"RenewalTargetWriteAndReset", Operation::renewal,
                    [](FakeIOKit&, SMCWriteFaults& f) {
                        f.script("F0Tg", {smcRefusal});
                        f.script("F0md", {passes, smcRefusal});
                    },
                    3},
        FailurePath{"ResetModeWrite", Operation::reset,
                    [](FakeIOKit&, SMCWriteFaults& f) { f.failAlways("F0md", smcRefusal); }, 2},
        FailurePath{
            "ResetUnreadableMode", Operation::reset,
            [](FakeIOKit& k, SMCWriteFaults&) { k.key("F0md").infoKernel = kIOReturnTimeout; }, 2}),
    [](const ::testing::TestParamInfo<FailurePath>& info) { return info.param.name; });

} // namespace
} // namespace aerivo
