// Fan writes through the hwmon backend: only the helper writes, and the lease controller's
// sequences land in the driver's files in the right order, ending under the SMC's control.

#include "helper/core/AbandonedManualModeCheck.h"
#include "helper/core/AerivoPrivilegedHelperXPCService.h"
#include "helper/core/FanTargetLeaseController.h"
#include "platform/hwmon/HwmonIOKit.h"
#include "platform/hwmon/write/HwmonFanWriter.h"
#include "shared/AerivoPrivilegedHelperStatus.h"
#include "shared/SMCResult.h"
#include "tests/support/FakeHwmonTree.h"
#include "tests/support/ManualSerialQueue.h"
#include "tests/support/SMCWriteFaults.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace aerivo {
namespace {

namespace fs = std::filesystem;
using testing::FakeHwmonTree;
using FanFiles = std::map<std::string, std::string>;

// One SMC write and what the driver's files held right after it; on macsmc also the SMC's own
// mode key, which no file shows (-1 on applesmc, whose mode is fan1_manual).
struct WriteStep {
    std::string key;
    FanFiles files;
    bool recordedManual = false;
    int smcMode = -1;

    bool operator==(const WriteStep&) const = default;
};

std::ostream& operator<<(std::ostream& out, const WriteStep& step) {
    out << step.key << (step.recordedManual ? " (manual record)" : "") << " smcMode "
        << step.smcMode << ":";
    for (const auto& [name, value] : step.files) {
        out << " " << name << "=" << value;
    }
    return out;
}

class HwmonHelper : public ::testing::Test {
public:
    // A fresh machine for each row of a table.
    FakeHwmonTree& freshTree() {
        controller_.reset();
        client_.reset();
        faults_.reset();
        port_.reset();
        tree_ = std::make_unique<FakeHwmonTree>();
        steps.clear();
        return *tree_;
    }
    FakeHwmonTree& tree() { return tree_ ? *tree_ : freshTree(); }

    // The helper's port (with the fan writer), or the app's without one; the tree's driver
    // model carries every attribute read and write.
    void open(fs::path folder, bool helper = true) {
        folder_ = std::move(folder);
        controller_.reset();
        client_.reset();
        faults_.reset();
        port_ =
            HwmonIOKit::open(tree().root(), tree().root() / "run/aerivo-hwmon",
                             helper ? HwmonFanWriter::factory() : HwmonFanWriterFactory{}, tree());
        ASSERT_NE(port_, nullptr);
        faults_ = std::make_unique<testing::SMCWriteFaults>(*port_);
        faults_->afterWrite([this](const std::string& key) {
            steps.push_back({key, watched(), recordedManual(), smcMode()});
        });
        client_ = SMCProbeClient::open(*faults_);
        ASSERT_NE(client_, nullptr);
        controller_ = std::make_unique<FanTargetLeaseController>(
            *client_, [](std::chrono::duration<double>) {});
    }

    // fan1's target, output and manual attributes (fan 2 is never touched).
    FanFiles watched() const {
        FanFiles files;
        for (const std::string name : {"fan1_target", "fan1_output", "fan1_manual"}) {
            if (const std::string value = FakeHwmonTree::get(folder_, name); value != "<missing>") {
                files[name] = value;
            }
        }
        return files;
    }
    bool recordedManual() const {
        return fs::exists(tree_->root() / "run/aerivo-hwmon/hwmon1-fan1.manual");
    }
    int smcMode() const {
        return FakeHwmonTree::get(folder_, "name") == "macsmc_hwmon" ? tree_->smcMode(1) : -1;
    }
    FanTargetWriteResult write(const std::string& key, const std::string& type,
                               std::vector<std::uint8_t> bytes) {
        const auto size = static_cast<int>(bytes.size());
        return client_->writeValue(SMCValue{key, type, size, std::move(bytes)});
    }

    std::vector<WriteStep> steps;
    std::unique_ptr<FakeHwmonTree> tree_;
    std::unique_ptr<HwmonIOKit> port_;
    std::unique_ptr<testing::SMCWriteFaults> faults_;
    std::unique_ptr<SMCProbeClient> client_;
    std::unique_ptr<FanTargetLeaseController> controller_;
    fs::path folder_;
};

TEST_F(HwmonHelper, OnlyTheHelperWritesAndEveryWriteOfTheAppIsRefusedUntouched) {
    open(tree().applesmcLaptop(1), false);
    const FanFiles before = FakeHwmonTree::fanState(folder_);
    EXPECT_EQ(write("F0md", "ui8 ", {1}).kernelResult, kIOReturnNotPrivileged);
    EXPECT_EQ(write("F0Tg", "flt ", {0, 0, 0x3B, 0x45}).kernelResult, kIOReturnNotPrivileged);
    EXPECT_EQ(FakeHwmonTree::fanState(folder_), before);
}

TEST_F(HwmonHelper, AnIntelRenewalTakesTheFanAndTheResetHandsItBack) {
    open(tree().applesmcLaptop(1));
    const auto renewal = controller_->renewManualTarget(3000, std::nullopt, 15);
    EXPECT_EQ(renewal.exitCode, 0);
    EXPECT_EQ(controller_->resetAutomatic().exitCode, 0);
    EXPECT_THAT(steps, ::testing::ElementsAre(
                           WriteStep{"F0md", {{"fan1_manual", "1"}, {"fan1_output", "2000"}}},
                           WriteStep{"F0Tg", {{"fan1_manual", "1"}, {"fan1_output", "3000"}}},
                           WriteStep{"F0md", {{"fan1_manual", "0"}, {"fan1_output", "3000"}}}));
}

TEST_F(HwmonHelper, AnAppleSiliconRenewalRecordsManualModeBeforeTheTargetTakesTheFan) {
    open(tree().macsmcLaptop(1, true));
    EXPECT_EQ(controller_->renewManualTarget(2600.4, std::nullopt, 15).exitCode, 0);
    EXPECT_EQ(controller_->resetAutomatic().exitCode, 0);
    // The hand-back: the live speed (1500) sets the driver's flag, then 0 writes mode 0, and the
    // target reads what the SMC chose (1300).
    EXPECT_THAT(steps,
                ::testing::ElementsAre(WriteStep{"F0md", {{"fan1_target", "1500"}}, true, 0},
                                       WriteStep{"F0Tg", {{"fan1_target", "2600"}}, true, 1},
                                       WriteStep{"F0md", {{"fan1_target", "1300"}}, false, 0}));
}

TEST_F(HwmonHelper, AHoldEndsUnderTheSMCsControlOnBothDrivers) {
    // The restore writes the target read before the hold (the fan still manual), then mode 0.
    const std::vector<std::pair<bool, std::vector<WriteStep>>> machines{
        {true,
         {{"F0Tg", {{"fan1_target", "1500"}}, true, 1},
          {"F0md", {{"fan1_target", "1300"}}, false, 0}}},
        {false,
         {{"F0Tg", {{"fan1_manual", "1"}, {"fan1_output", "2000"}}},
          {"F0md", {{"fan1_manual", "0"}, {"fan1_output", "2000"}}}}},
    };
    for (const auto& [appleSilicon, restore] : machines) {
        SCOPED_TRACE(appleSilicon ? "macsmc" : "applesmc");
        FakeHwmonTree& machine = freshTree();
        open(appleSilicon ? machine.macsmcLaptop(1, true) : machine.applesmcLaptop(1));
        const auto hold = controller_->holdManualTarget(4000, std::nullopt, 2);
        ASSERT_TRUE(hold.response);
        EXPECT_TRUE(hold.response->resetAccepted);
        ASSERT_EQ(steps.size(), 4u);
        EXPECT_EQ(steps[1].files.count(appleSilicon ? "fan1_target" : "fan1_output"), 1u);
        EXPECT_EQ(steps[1].files.at(appleSilicon ? "fan1_target" : "fan1_output"), "4000");
        EXPECT_EQ(std::vector<WriteStep>(steps.begin() + 2, steps.end()), restore);
    }
}

TEST_F(HwmonHelper, WithoutFanControlNothingIsWrittenAndNothingIsRecorded) {
    open(tree().macsmcLaptop(1, false));
    const auto renewal = controller_->renewManualTarget(3000, std::nullopt, 15);
    EXPECT_EQ(renewal.exitCode, 2);
    EXPECT_FALSE(renewal.response);
    EXPECT_THAT(renewal.lines, ::testing::Contains("smcWriteProbeModeWriteKernelResult=" +
                                                   kernelResultText(kIOReturnNotPermitted)));
    EXPECT_THAT(steps,
                ::testing::ElementsAre(WriteStep{"F0md", {{"fan1_target", "1500"}}, false, 0}));
}

struct MacSMCWrite {
    const char* name;
    bool startManual;
    std::string key;
    std::vector<std::uint8_t> bytes;
    KernReturn kernel;
    std::uint8_t smcResult;
    std::string target;
    bool manualAfter;
};

std::vector<std::uint8_t> floatBytes(float value) {
    return SMCValue{"F0Tg", "flt ", 4, {0, 0, 0, 0}}.replacingRPM(value).bytes;
}

TEST_F(HwmonHelper, AppleSiliconTargetsReachTheDriverOnlyWhileTheFanIsRecordedManual) {
    const std::vector<MacSMCWrite> writes{
        {"a target under system control is kept from the driver", false, "F0Tg", floatBytes(2500),
         kIOReturnSuccess, SMCResult::success, "1500", false},
        {"a target of a manual fan is passed on, rounded", true, "F0Tg", floatBytes(2500.6f),
         kIOReturnSuccess, SMCResult::success, "2501", true},
        {"a target of 0 hands the fan back and ends the record", true, "F0Tg", floatBytes(0),
         kIOReturnSuccess, SMCResult::success, "1300", false},
        {"a speed outside fan1_min...fan1_max is the driver's EINVAL", true, "F0Tg",
         floatBytes(800), kIOReturnBadArgument, SMCResult::success, "1500", true},
        {"a target that is not a number is refused",
         true,
         "F0Tg",
         {0x00, 0x00, 0xC0, 0x7F},
         kIOReturnSuccess,
         SMCResult::badArgument,
         "1500",
         true},
        {"a target beyond any fan is refused", true, "F0Tg", floatBytes(250000), kIOReturnSuccess,
         SMCResult::badArgument, "1500", true},
        {"a negative target is refused", true, "F0Tg", floatBytes(-5), kIOReturnSuccess,
         SMCResult::badArgument, "1500", true},
        {"mode 0 hands back even without a record",
         false,
         "F0md",
         {0},
         kIOReturnSuccess,
         SMCResult::success,
         "1300",
         false},
        {"a mode other than 0 or 1 is refused",
         false,
         "F0md",
         {2},
         kIOReturnSuccess,
         SMCResult::badArgument,
         "1500",
         false},
        {"range keys are not writable", false, "F0Mn", floatBytes(100), kIOReturnSuccess,
         SMCResult::keyNotWritable, "1500", false},
        {"keys without an attribute are unknown",
         false,
         "F0Md",
         {1},
         kIOReturnSuccess,
         SMCResult::keyNotFound,
         "1500",
         false},
    };
    for (const MacSMCWrite& row : writes) {
        SCOPED_TRACE(row.name);
        open(freshTree().macsmcLaptop(1, true));
        if (row.startManual) {
            ASSERT_TRUE(write("F0md", "ui8 ", {1}).isSuccess());
        }
        const std::string type = row.bytes.size() == 1 ? "ui8 " : "flt ";
        const FanTargetWriteResult result = write(row.key, type, row.bytes);
        EXPECT_EQ(result.kernelResult, row.kernel);
        EXPECT_EQ(result.smcResult, row.smcResult);
        EXPECT_EQ(FakeHwmonTree::get(folder_, "fan1_target"), row.target);
        EXPECT_EQ(recordedManual(), row.manualAfter);
    }
}

// A helper that crashed mid-lease left the fan manual: the next helper's start hands it back.
TEST_F(HwmonHelper, AtStartAFanLeftManualIsHandedBackAndAnyOtherIsLeftAlone) {
    using Finding = AbandonedManualModeCheck::Finding;
    struct Start {
        const char* name;
        bool appleSilicon;
        std::function<void(HwmonHelper&)> leave;
        Finding finding;
        FanFiles after;
    };
    const std::vector<Start> starts{
        {"a macsmc fan recorded manual",
         true,
         [](HwmonHelper& helper) {
             ASSERT_TRUE(helper.write("F0md", "ui8 ", {1}).isSuccess());
             ASSERT_TRUE(helper.write("F0Tg", "flt ", floatBytes(3000)).isSuccess());
         },
         Finding::handedBack,
         {{"fan1_target", "1300"}}},
        {"an applesmc fan in manual mode",
         false,
         [](HwmonHelper& helper) { FakeHwmonTree::set(helper.folder_, "fan1_manual", "1"); },
         Finding::handedBack,
         {{"fan1_manual", "0"}, {"fan1_output", "2000"}}},
        {"a fan under system control",
         false,
         [](HwmonHelper&) {},
         Finding::systemControl,
         {{"fan1_manual", "0"}, {"fan1_output", "2000"}}},
        {"a mode the driver reports as neither",
         false,
         [](HwmonHelper& helper) { FakeHwmonTree::set(helper.folder_, "fan1_manual", "7"); },
         Finding::modeUnreadable,
         {{"fan1_manual", "7"}, {"fan1_output", "2000"}}},
    };
    for (const Start& start : starts) {
        SCOPED_TRACE(start.name);
        FakeHwmonTree& machine = freshTree();
        open(start.appleSilicon ? machine.macsmcLaptop(1, true) : machine.applesmcLaptop(1));
        start.leave(*this);
        // The crashed helper's port and client are gone; a new helper opens its own.
        client_.reset();
        open(folder_);
        const int writesBefore = faults_->passedWrites();
        const auto result = AbandonedManualModeCheck::run(client_.get(), [](auto) {});
        EXPECT_EQ(result.finding, start.finding);
        EXPECT_EQ(watched(), start.after);
        EXPECT_FALSE(recordedManual());
        EXPECT_EQ(faults_->passedWrites() - writesBefore, result.reset ? 1 : 0);
    }
}

// The helper's service over hwmon, its lease queue and expiries on virtual time.
class HwmonHelperService : public HwmonHelper {
public:
    void startService() {
        service = AerivoPrivilegedHelperXPCService::make(
            [this] { return SMCProbeClient::open(*faults_); }, queue,
            [](std::chrono::duration<double>) {});
    }
    nlohmann::json renew(double targetRPM) {
        nlohmann::json reply;
        service->holdManualTargetLease(
            AerivoManualTargetLeaseRequest{
                0, targetRPM, 15, std::string(AerivoManualTargetLeaseRequest::curveRenewalReason)}
                .dictionary(),
            [&reply](nlohmann::json answer) { reply = std::move(answer); });
        loop.runUntilIdle();
        return reply;
    }

    ManualMainLoop loop;
    ManualSerialQueue queue{loop, AerivoPrivilegedHelperXPCService::leaseQueueLabel()};
    std::shared_ptr<AerivoPrivilegedHelperXPCService> service;
};

TEST_F(HwmonHelperService, ALeaseWritesModeThenTargetAndItsExpiryHandsTheFanBack) {
    const std::vector<std::pair<bool, std::vector<WriteStep>>> machines{
        {true,
         {{"F0md", {{"fan1_target", "1500"}}, true, 0},
          {"F0Tg", {{"fan1_target", "3000"}}, true, 1},
          {"F0md", {{"fan1_target", "1300"}}, false, 0}}},
        {false,
         {{"F0md", {{"fan1_manual", "1"}, {"fan1_output", "2000"}}},
          {"F0Tg", {{"fan1_manual", "1"}, {"fan1_output", "3000"}}},
          {"F0md", {{"fan1_manual", "0"}, {"fan1_output", "3000"}}}}},
    };
    for (const auto& [appleSilicon, expected] : machines) {
        SCOPED_TRACE(appleSilicon ? "macsmc" : "applesmc");
        FakeHwmonTree& machine = freshTree();
        open(appleSilicon ? machine.macsmcLaptop(1, true) : machine.applesmcLaptop(1));
        startService();
        const nlohmann::json reply = renew(3000);
        ASSERT_TRUE(reply.is_object());
        EXPECT_EQ(reply.value(std::string(AerivoManualTargetLeaseResponse::acceptedKey), false),
                  true)
            << reply;
        EXPECT_EQ(steps.size(), 2u);
        // Nothing more while the 15-second lease runs; then its expiry writes automatic control.
        loop.advanceBy(SerialQueue::Seconds(14.9));
        EXPECT_EQ(steps.size(), 2u);
        loop.advanceBy(SerialQueue::Seconds(0.2));
        EXPECT_EQ(steps, expected);
    }
}

TEST_F(HwmonHelperService, AtStartAFanLeftManualGoesBackBeforeTheFirstRequestIsServed) {
    open(tree().macsmcLaptop(1, true));
    // What a helper that crashed mid-lease leaves: the record and the driver's manual target.
    ASSERT_TRUE(write("F0md", "ui8 ", {1}).isSuccess());
    ASSERT_TRUE(write("F0Tg", "flt ", floatBytes(4000)).isSuccess());
    steps.clear();

    startService();
    std::vector<std::string> log;
    service->checkForAbandonedManualMode([&log](const std::string& line) { log.push_back(line); });
    const nlohmann::json reply = renew(2500);
    EXPECT_EQ(log, std::vector<std::string>{"helperStartCheck=handedBack"});
    EXPECT_EQ(reply.value(std::string(AerivoManualTargetLeaseResponse::acceptedKey), false), true)
        << reply;
    EXPECT_THAT(steps,
                ::testing::ElementsAre(WriteStep{"F0md", {{"fan1_target", "1300"}}, false, 0},
                                       WriteStep{"F0md", {{"fan1_target", "1300"}}, true, 0},
                                       WriteStep{"F0Tg", {{"fan1_target", "2500"}}, true, 1}));

    // A lease of this helper is its own business: a later check leaves it alone.
    service->checkForAbandonedManualMode([&log](const std::string& line) { log.push_back(line); });
    loop.runUntilIdle();
    EXPECT_EQ(steps.size(), 3u);
    EXPECT_EQ(log.size(), 1u);
}

// Every state macsmc_hwmon can be in when the helper must hand the fan back. Each end of a lease
// (its expiry, a reset request, the next helper's start-up check after a crash) leaves the SMC's
// mode key at 0 with nothing reported, or reports the failure in the helper's status: never a
// success while the SMC still holds the fan.
TEST_F(HwmonHelperService, EveryLeaseEndHandsTheFanBackOrTheStatusSaysItCouldNot) {
    enum class End { expiry, reset, startCheckAfterCrash };
    using Change = std::function<void(FakeHwmonTree&, const fs::path&)>;
    const Change nothing = [](FakeHwmonTree&, const fs::path&) {};
    struct State {
        const char* name;
        bool fanControlAtLoad;
        Change before; // before the lease
        Change during; // while the lease holds the fan
        bool leaseTakes;
        bool handedBack;
    };
    const std::vector<State> states{
        {"a plain lease", true, nothing, nothing, true, true},
        {"the driver rebound mid-lease, its manual flag lost", true, nothing,
         [](FakeHwmonTree& tree, const fs::path&) { tree.rebind(); }, true, true},
        {"fan_control turned off mid-lease", true, nothing,
         [](FakeHwmonTree& tree, const fs::path&) { tree.setFanControl(false); }, true, false},
        {"fan_control turned off and the driver rebound mid-lease", true, nothing,
         [](FakeHwmonTree& tree, const fs::path&) {
             tree.setFanControl(false);
             tree.rebind();
         },
         true, false},
        {"fan1_min is 0, so 0 is a speed", true,
         [](FakeHwmonTree&, const fs::path& folder) {
             FakeHwmonTree::setReadOnly(folder, "fan1_min", "0");
         },
         nothing, false, true},
        {"fan_control set after load, fan1_target still 0444", false,
         [](FakeHwmonTree& tree, const fs::path&) { tree.setFanControl(true); }, nothing, false,
         true},
    };
    for (const State& state : states) {
        for (const End end : {End::expiry, End::reset, End::startCheckAfterCrash}) {
            SCOPED_TRACE(std::string(state.name) + ", end " +
                         std::to_string(static_cast<int>(end)));
            FakeHwmonTree& machine = freshTree();
            open(machine.macsmcLaptop(1, state.fanControlAtLoad));
            state.before(machine, folder_);
            startService();
            const nlohmann::json lease = renew(3000);
            EXPECT_EQ(lease.value(std::string(AerivoManualTargetLeaseResponse::acceptedKey), false),
                      state.leaseTakes)
                << lease;
            EXPECT_EQ(machine.smcMode(1), state.leaseTakes ? 1 : 0);
            state.during(machine, folder_);

            if (end == End::expiry) {
                loop.advanceBy(SerialQueue::Seconds(15.1));
            } else if (end == End::reset) {
                service->resetToSystem([](nlohmann::json) {});
                loop.runUntilIdle();
            } else {
                service.reset();
                startService();
                service->checkForAbandonedManualMode();
                loop.runUntilIdle();
            }
            nlohmann::json status;
            service->readStatus([&status](nlohmann::json answer) { status = std::move(answer); });
            const bool reported =
                status.value(std::string(AerivoPrivilegedHelperStatus::fanHandBackKey), "") ==
                "failed";

            EXPECT_EQ(machine.smcMode(1), state.handedBack ? 0 : 1);
            if (state.leaseTakes) {
                EXPECT_EQ(reported, !state.handedBack) << status;
                EXPECT_EQ(recordedManual(), !state.handedBack);
            }
            if (reported) {
                EXPECT_FALSE(
                    status.value(std::string(AerivoPrivilegedHelperStatus::fanHandBackErrorKey), "")
                        .empty());
            }
        }
    }
}

} // namespace
} // namespace aerivo
