#include "helper/core/FanTargetLeaseController.h"

#include "sim/model/SimulatedMac.h"
#include "tests/support/SMCWriteFaults.h"
#include "tests/support/SimulatedMacIOKit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace aerivo {
namespace {

using ::testing::Contains;
using testing::SimulatedMacIOKit;
using testing::SMCWriteFaults;
using testing::SMCWriteOutcome;

// The two-fan laptop, idling long enough for its fans to settle under system control (fan 0:
// 1200...6000 rpm, at its minimum while the die is below 45 C). The helper is a privileged
// session; every pause of the controller advances the machine's virtual clock, so the fan
// really spins up and down while the controller samples it, and no test waits for real.
class SimulatedMacLease : public ::testing::Test {
protected:
    explicit SimulatedMacLease(std::string_view model = "laptop-2fan")
        : machine(*simModelPreset(model), 7) {
        machine.advanceTo(60);
    }

    FanTargetLeaseController& controller(bool privileged = true) {
        if (!controller_) {
            port_ = std::make_unique<SimulatedMacIOKit>(machine, "helper", privileged);
            faults_ = std::make_unique<SMCWriteFaults>(*port_);
            client_ = SMCProbeClient::open(*faults_);
            EXPECT_NE(client_, nullptr);
            controller_ = std::make_unique<FanTargetLeaseController>(
                *client_, [this](std::chrono::duration<double> pause) {
                    machine.advanceTo(machine.now() + pause.count());
                });
        }
        return *controller_;
    }

    SMCWriteFaults& faults() {
        controller();
        return *faults_;
    }

    const SimFanState& fan() const { return machine.fans().at(0); }

    // Lets the machine run on its own, as between two renewals.
    void runFor(double seconds) { machine.advanceTo(machine.now() + seconds); }

    SimulatedMac machine;

private:
    std::unique_ptr<SimulatedMacIOKit> port_;
    std::unique_ptr<SMCWriteFaults> faults_;
    std::unique_ptr<SMCProbeClient> client_;
    std::unique_ptr<FanTargetLeaseController> controller_;
};

TEST_F(SimulatedMacLease, AHoldSpinsTheFanUpAndHandsItBackWithItsOriginalTarget) {
    ASSERT_EQ(fan().mode, 0);
    const double originalTarget = fan().target;
    const double start = machine.now();

    const FanTargetLeaseExecution hold = controller().holdManualTarget(3000.0, std::nullopt, 5);

    EXPECT_EQ(hold.exitCode, 0);
    ASSERT_TRUE(hold.response);
    EXPECT_TRUE(hold.response->accepted);
    EXPECT_TRUE(hold.response->targetReached);
    EXPECT_EQ(hold.response->appliedTargetRPM, 3000.0);
    // Five samples and three after the restore, one virtual second each.
    EXPECT_DOUBLE_EQ(machine.now() - start, 8.0);
    EXPECT_THAT(hold.lines, Contains("smcWriteProbeSample5ModeBytes=01"));
    EXPECT_THAT(hold.lines, Contains("smcWriteProbeSample5TargetRPM=3000"));
    EXPECT_THAT(hold.lines, Contains("smcWriteProbeRestoredModeBytes=00"));
    EXPECT_THAT(hold.lines, Contains("smcWriteProbeTargetReached=true"));

    EXPECT_EQ(fan().mode, 0);
    EXPECT_EQ(fan().target, originalTarget);
    EXPECT_EQ(fan().lastWriter, "helper");
    // Under system control again the fan is on its way back down to the system's target.
    EXPECT_LT(fan().actual, 3000.0 - 500.0);
    runFor(20);
    EXPECT_NEAR(fan().actual, originalTarget, 25.0);
}

TEST_F(SimulatedMacLease, ARenewalLeavesTheFanManualAndItsSpeedConvergesOnTheClampedTarget) {
    const FanTargetLeaseExecution first = controller().renewManualTarget(3400.0, std::nullopt, 15);
    EXPECT_EQ(first.exitCode, 0);
    EXPECT_EQ(fan().mode, 1);
    EXPECT_EQ(fan().target, 3400.0);
    // The sample is taken at once: the fan has not got there yet.
    ASSERT_TRUE(first.response);
    EXPECT_FALSE(first.response->targetReached);
    EXPECT_THAT(first.lines, Contains("smcWriteProbeTargetReached=false"));

    runFor(10);
    EXPECT_NEAR(fan().actual, 3400.0, 20.0);
    const FanTargetLeaseExecution settled =
        controller().renewManualTarget(3400.0, std::nullopt, 15);
    ASSERT_TRUE(settled.response);
    EXPECT_TRUE(settled.response->targetReached);
    EXPECT_EQ(settled.lines.at(6), "smcWriteProbeBeforeModeBytes=01");

    // Above the fan's maximum: clamped, and the fan settles at its top speed.
    const FanTargetLeaseExecution top = controller().renewManualTarget(9000.0, std::nullopt, 15);
    EXPECT_EQ(top.exitCode, 0);
    EXPECT_EQ(top.response->appliedTargetRPM, 6000.0);
    runFor(12);
    EXPECT_EQ(fan().mode, 1);
    EXPECT_NEAR(fan().actual, 6000.0, 20.0);

    // Below the current speed is fine for a renewal: down to the floor.
    EXPECT_EQ(controller().renewManualTarget(200.0, std::nullopt, 15).exitCode, 0);
    runFor(12);
    EXPECT_NEAR(fan().actual, 1200.0, 20.0);
}

TEST_F(SimulatedMacLease, ResetHandsAManualFanBackToTheSystem) {
    ASSERT_EQ(controller().renewManualTarget(4000.0, std::nullopt, 15).exitCode, 0);
    runFor(8);
    ASSERT_EQ(fan().mode, 1);

    const FanTargetLeaseExecution reset = controller().resetAutomatic();
    EXPECT_EQ(reset.exitCode, 0);
    EXPECT_EQ(reset.lines.at(2), "smcWriteProbeBeforeModeBytes=01");
    EXPECT_EQ(reset.lines.at(5), "smcWriteProbePostRestore1ModeBytes=00");
    EXPECT_EQ(fan().mode, 0);
    runFor(20);
    EXPECT_NEAR(fan().actual, 1200.0, 25.0);
}

TEST_F(SimulatedMacLease, AFailedRenewalTargetWriteLeavesTheFanUnderSystemControl) {
    SimFaultPlan plan;
    plan.writeFailures["F0Tg"] = SimCallFailure{kIOReturnBadArgument, 0};
    machine.setFaults(plan);

    const FanTargetLeaseExecution renewal =
        controller().renewManualTarget(3000.0, std::nullopt, 15);
    EXPECT_EQ(renewal.exitCode, 2);
    EXPECT_FALSE(renewal.response);
    EXPECT_EQ(renewal.lines.back(), "smcWriteProbeResetAfterTargetFailure=true");
    EXPECT_EQ(fan().mode, 0);
    runFor(10);
    EXPECT_NEAR(fan().actual, 1200.0, 25.0);
}

TEST_F(SimulatedMacLease, AFailedHoldTargetWriteRestoresAutomaticControl) {
    faults().script("F0Tg", {SMCWriteOutcome{kIOReturnSuccess, 130}});
    const double originalTarget = fan().target;
    const FanTargetLeaseExecution hold = controller().holdManualTarget(3000.0, std::nullopt, 5);
    EXPECT_EQ(hold.exitCode, 2);
    EXPECT_FALSE(hold.response);
    EXPECT_THAT(hold.lines, Contains("smcWriteProbeTargetWriteSMCResult=130"));
    EXPECT_THAT(hold.lines, Contains("smcWriteProbeRestoreModeSMCResult=0"));
    EXPECT_EQ(fan().mode, 0);
    EXPECT_EQ(fan().target, originalTarget);
}

TEST_F(SimulatedMacLease, ATargetKeyThatRefusesEveryWriteIsReportedAsExitThree) {
    // The hold's target write and the restore's both fail; the mode still goes back to 0.
    SimFaultPlan plan;
    plan.writeFailures["F0Tg"] = SimCallFailure{kIOReturnSuccess, 130};
    machine.setFaults(plan);
    const FanTargetLeaseExecution hold = controller().holdManualTarget(3000.0, std::nullopt, 5);
    EXPECT_EQ(hold.exitCode, 3);
    EXPECT_THAT(hold.lines, Contains("smcWriteProbeRestoreTargetSMCResult=130"));
    EXPECT_EQ(fan().mode, 0);
}

TEST_F(SimulatedMacLease, WhenTheResetAfterAFailedRenewalFailsTooTheRenewalSaysSo) {
    SimFaultPlan targetRefused;
    targetRefused.writeFailures["F0Tg"] = SimCallFailure{kIOReturnNotPermitted, 0};
    machine.setFaults(targetRefused);
    // Once manual mode is in, the mode key refuses writes as well.
    faults().afterWrite([&](const std::string& key) {
        if (key == "F0md") {
            SimFaultPlan modeRefused;
            modeRefused.writeFailures["F0md"] = SimCallFailure{kIOReturnNotPermitted, 0};
            machine.mergeFaults(modeRefused);
        }
    });
    const FanTargetLeaseExecution renewal =
        controller().renewManualTarget(3000.0, std::nullopt, 15);
    EXPECT_EQ(renewal.exitCode, 3);
    EXPECT_FALSE(renewal.response);
    EXPECT_EQ(renewal.lines.back(), "smcWriteProbeResetAfterTargetFailure=false");
    EXPECT_EQ(fan().mode, 1);
}

TEST_F(SimulatedMacLease, AnUnprivilegedClientCannotMoveTheFan) {
    const FanTargetLeaseExecution hold =
        controller(false).holdManualTarget(3000.0, std::nullopt, 5);
    EXPECT_EQ(hold.exitCode, 2);
    EXPECT_EQ(hold.lines.back(), "smcWriteProbeModeWriteSMCResult=0");
    EXPECT_EQ(hold.lines.at(hold.lines.size() - 2),
              "smcWriteProbeModeWriteKernelResult=notPrivileged(-536870207)");
    EXPECT_EQ(fan().mode, 0);
    EXPECT_EQ(fan().lastWriter, "none");
}

TEST_F(SimulatedMacLease, TheSystemTakingTheFanBackDuringAHoldStillEndsInAutomaticControl) {
    controller();
    const FanTargetLeaseExecution hold = [&] {
        // The system grabs the fan back right after the target is written.
        faults().afterWrite([&](const std::string& key) {
            if (key == "F0Tg" && fan().mode == 1) {
                machine.takeBack("test");
            }
        });
        return controller().holdManualTarget(3000.0, std::nullopt, 3);
    }();
    EXPECT_THAT(hold.lines, Contains("smcWriteProbeSample1ModeBytes=00"));
    EXPECT_EQ(hold.exitCode, 2); // never reached: the system kept the fan at its own speed
    ASSERT_TRUE(hold.response);
    EXPECT_TRUE(hold.response->resetAccepted);
    EXPECT_EQ(fan().mode, 0);
}

class FpeSimulatedMacLease : public SimulatedMacLease {
protected:
    FpeSimulatedMacLease() : SimulatedMacLease("legacy-fpe2") {}
};

TEST_F(FpeSimulatedMacLease, FixedPointTargetsAreNeverWritten) {
    const FanTargetLeaseExecution renewal =
        controller().renewManualTarget(3000.0, std::nullopt, 15);
    EXPECT_EQ(renewal.lines.at(2), "smcWriteProbeReason=unexpected F0Tg or F0md data type");
    EXPECT_EQ(renewal.exitCode, 2);
    EXPECT_EQ(fan().lastWriter, "none");
}

class RangelessSimulatedMacLease : public SimulatedMacLease {
protected:
    RangelessSimulatedMacLease() : SimulatedMacLease("mac17-2") {}
};

TEST_F(RangelessSimulatedMacLease, AFanWithoutRangeKeysIsNeverDriven) {
    const FanTargetLeaseExecution hold = controller().holdManualTarget(4000.0, std::nullopt, 5);
    EXPECT_EQ(hold.lines.at(2), "smcWriteProbeReason=fan range, current RPM, F0Tg target, or "
                                "F0md mode unreadable");
    EXPECT_EQ(fan().lastWriter, "none");
    EXPECT_EQ(fan().mode, 0);
}

} // namespace
} // namespace aerivo
