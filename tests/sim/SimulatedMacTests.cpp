#include "sim/model/SimInProcessSMCConnection.h"
#include "sim/model/SimSMCResult.h"
#include "sim/model/SimulatedMac.h"

#include "shared/SMCKeyCodec.h"
#include "shared/smcwrite/SMCValueWriter.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>

namespace aerivo {
namespace {

SimWorkload script(std::string_view text) {
    auto parsed = SimWorkload::parseScript(text, "test");
    EXPECT_TRUE(std::holds_alternative<SimWorkload>(parsed));
    return std::get<SimWorkload>(parsed);
}

// A machine with one privileged client (the helper) and one unprivileged one (the app).
struct Rig {
    explicit Rig(std::string_view model = "laptop-2fan", std::uint64_t seed = 7,
                 SimWorkload workload = {})
        : machine(*simModelPreset(model), seed, std::move(workload)),
          helper(machine.openSession("helper", true)), app(machine.openSession("app", false)),
          helperSMC(std::make_unique<SimInProcessSMCConnection>(machine, helper)),
          appSMC(std::make_unique<SimInProcessSMCConnection>(machine, app)) {}

    double rpm(std::string_view key) { return appSMC->readValue(key)->rpmValue().value_or(-1); }
    FanTargetWriteResult setMode(std::uint8_t mode, int fan = 0) {
        const std::string key = "F" + std::to_string(fan) + "md";
        return writeSMCValue(*helperSMC, helperSMC->readValue(key)->replacingBytes({mode}));
    }
    FanTargetWriteResult setTarget(double target, int fan = 0) {
        const std::string key = "F" + std::to_string(fan) + "Tg";
        return writeSMCValue(*helperSMC, helperSMC->readValue(key)->replacingRPM(target));
    }

    SimulatedMac machine;
    SimSessionId helper;
    SimSessionId app;
    std::unique_ptr<SimInProcessSMCConnection> helperSMC;
    std::unique_ptr<SimInProcessSMCConnection> appSMC;
};

// MARK: SMC commands

TEST(SimulatedSMC, AnswersTheFourCommandsLikeTheController) {
    Rig rig;
    const auto count = rig.appSMC->readValue("FNum");
    ASSERT_TRUE(count.has_value());
    EXPECT_EQ(count->dataType, "ui8 ");
    EXPECT_EQ(count->bytes, std::vector<std::uint8_t>{2});
    const auto target = rig.appSMC->readValue("F1Tg");
    ASSERT_TRUE(target.has_value());
    EXPECT_EQ(target->dataType, "flt ");
    EXPECT_EQ(target->dataSize, 4);

    EXPECT_EQ(rig.appSMC->readKeyInfo("Zzz9").output.result, 132);
    EXPECT_FALSE(rig.appSMC->readValue("Zzz9").has_value());
    // A read must ask for the key's own size.
    EXPECT_NE(rig.appSMC->readBytes("F0Ac", 2).output.result, 0);
    EXPECT_EQ(rig.appSMC->readBytes("F0Ac", 4).output.result, 0);

    for (const char* readOnly : {"F0Ac", "F0Mn", "F0Mx", "FNum", "#KEY", "Tp01"}) {
        const auto value = rig.helperSMC->readValue(readOnly);
        ASSERT_TRUE(value.has_value()) << readOnly;
        const FanTargetWriteResult write = writeSMCValue(*rig.helperSMC, *value);
        EXPECT_EQ(write.kernelResult, kIOReturnSuccess) << readOnly;
        EXPECT_NE(write.smcResult, 0) << readOnly;
    }
    // Mode byte values other than 0 and 1 and non-numbers as targets are refused.
    EXPECT_NE(rig.setMode(2).smcResult, 0);
    const SMCValue notANumber =
        rig.helperSMC->readValue("F0Tg")->replacingBytes({0, 0, 0xC0, 0x7F});
    EXPECT_NE(writeSMCValue(*rig.helperSMC, notANumber).smcResult, 0);
    // Writing with a size other than the key's is refused too.
    SMCValue shortMode = *rig.helperSMC->readValue("F0md");
    shortMode.dataSize = 2;
    shortMode.bytes = {1, 0};
    EXPECT_NE(writeSMCValue(*rig.helperSMC, shortMode).smcResult, 0);
    EXPECT_EQ(rig.machine.fans()[0].mode, 0);
}

TEST(SimulatedSMC, EnumeratesEveryKeyInCodeOrderAndStopsAtTheEnd) {
    Rig rig;
    const auto keyCount = rig.appSMC->readValue("#KEY");
    ASSERT_TRUE(keyCount.has_value());
    ASSERT_EQ(keyCount->bytes.size(), 4u);
    const std::uint32_t count = (keyCount->bytes[0] << 24) | (keyCount->bytes[1] << 16) |
                                (keyCount->bytes[2] << 8) | keyCount->bytes[3];
    EXPECT_EQ(count, rig.machine.keyTable().size());
    EXPECT_GE(count, 50u);

    std::vector<std::string> keys;
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto key = rig.appSMC->key(i);
        ASSERT_TRUE(key.has_value()) << i;
        keys.push_back(*key);
    }
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end(), [](const auto& a, const auto& b) {
        return smcKeyCode(a) < smcKeyCode(b);
    }));
    for (const char* expected : {"#KEY", "FNum", "F0Ac", "F0Tg", "F0Mn", "F0Mx", "F0md", "F0Md",
                                 "F0Sf", "F1Ac", "F1md", "FS! ", "PSTR", "TB0T"}) {
        EXPECT_NE(std::find(keys.begin(), keys.end(), expected), keys.end()) << expected;
    }
    EXPECT_FALSE(rig.appSMC->key(count).has_value());
    EXPECT_NE(rig.appSMC
                  ->call([&] {
                      SMCKeyData input;
                      input.data8 = commandCode(SMCCommand::readKeyAtIndex);
                      input.data32 = count;
                      return input;
                  }())
                  .output.result,
              0);
}

TEST(SimulatedSMC, OnlyPrivilegedClientsMayWrite) {
    Rig rig;
    const auto mode = rig.appSMC->readValue("F0md");
    ASSERT_TRUE(mode.has_value());
    const FanTargetWriteResult refused = writeSMCValue(*rig.appSMC, mode->replacingBytes({1}));
    EXPECT_EQ(refused.kernelResult, kIOReturnNotPrivileged);
    EXPECT_EQ(rig.machine.fans()[0].mode, 0);
    EXPECT_EQ(rig.machine.fans()[0].lastWriter, "none");

    EXPECT_TRUE(rig.setMode(1).isSuccess());
    EXPECT_EQ(rig.machine.fans()[0].mode, 1);
    EXPECT_EQ(rig.machine.fans()[0].lastWriter, "helper");
    EXPECT_EQ(rig.appSMC->readValue("F0md")->bytes, std::vector<std::uint8_t>{1});
    EXPECT_EQ(rig.appSMC->readValue("FS! ")->bytes, (std::vector<std::uint8_t>{0, 1}));
}

TEST(SimulatedSMC, ServiceClassesOpenPerTypeWithKernelCodes) {
    Rig rig;
    SimulatedMac& mac = rig.machine;
    auto openFirst = [&](std::string_view name, std::uint32_t type) {
        const std::uint32_t service = mac.matchingService(rig.app, name);
        EXPECT_NE(service, 0u) << name;
        const SimOpenResult opened = mac.openService(rig.app, service, type);
        EXPECT_EQ(mac.releaseObject(rig.app, service), kIOReturnSuccess);
        if (opened.connection != 0) {
            EXPECT_EQ(mac.closeService(rig.app, opened.connection), kIOReturnSuccess);
        }
        return opened.result;
    };
    EXPECT_EQ(openFirst("AppleSMCKeysEndpoint", 0), kIOReturnSuccess);
    EXPECT_EQ(openFirst("AppleSMCKeysEndpoint", 3), kIOReturnBadArgument);
    EXPECT_EQ(openFirst("AppleSMC", 0), kIOReturnSuccess);
    EXPECT_EQ(openFirst("AppleSMC", 1), kIOReturnNotPrivileged);
    EXPECT_EQ(openFirst("AppleSMCSensorDispatcher", 0), kIOReturnUnsupported);
    EXPECT_EQ(mac.matchingService(rig.app, "AppleNoSuchDriver"), 0u);
    EXPECT_EQ(mac.stringProperty(rig.app, mac.matchingService(rig.app, "AppleSMC"), "IOClass"),
              "AppleSMC");

    // Releasing twice, or a handle never given, is refused; nothing is left held.
    const std::uint32_t service = mac.matchingService(rig.app, "AppleSMC");
    EXPECT_EQ(mac.releaseObject(rig.app, service), kIOReturnSuccess);
    EXPECT_EQ(mac.releaseObject(rig.app, service), kIOReturnBadArgument);
    EXPECT_EQ(mac.openService(rig.app, service, 0).result, kIOReturnBadArgument);
    // One service of the stringProperty check above is still held.
    EXPECT_EQ(mac.heldObjectCount(rig.app), 1u);
    // The in-process client holds exactly its one connection.
    EXPECT_EQ(mac.openConnectionCount(rig.app), 1u);
    // Another session's connection is not this one's to use.
    SMCKeyData input;
    SMCKeyData output;
    EXPECT_EQ(mac.callStructMethod(rig.helper, 0xDEAD, smcStructMethodSelector, input, output),
              kIOReturnBadArgument);
    mac.closeSession(rig.app);
    EXPECT_EQ(mac.heldObjectCount(rig.app), 0u);
}

// MARK: fans

TEST(SimulatedFans, ActualSpeedLagsTheTargetByAboutASecondAndAHalf) {
    Rig rig;
    rig.machine.advanceTo(1);
    const double start = rig.machine.fans()[0].actual;
    ASSERT_TRUE(rig.setMode(1).isSuccess());
    ASSERT_TRUE(rig.setTarget(4000).isSuccess());
    rig.machine.advanceTo(1 + SimulatedMac::fanLagSeconds);
    const double fraction = (rig.machine.fans()[0].actual - start) / (4000 - start);
    EXPECT_GT(fraction, 0.55);
    EXPECT_LT(fraction, 0.70);
    rig.machine.advanceTo(12);
    EXPECT_NEAR(rig.rpm("F0Ac"), 4000, 20);
    EXPECT_NEAR(rig.rpm("F0Tg"), 4000, 0.01);
    // The other fan stayed with the system.
    EXPECT_EQ(rig.machine.fans()[1].mode, 0);
}

TEST(SimulatedFans, ManualTargetsAreFollowedWithinTheFanRange) {
    Rig rig;
    ASSERT_TRUE(rig.setMode(1).isSuccess());
    ASSERT_TRUE(rig.setTarget(9000).isSuccess());
    rig.machine.advanceTo(15);
    EXPECT_NEAR(rig.rpm("F0Ac"), 6000, 20);
    // The target key keeps what was written.
    EXPECT_NEAR(rig.rpm("F0Tg"), 9000, 0.01);
    ASSERT_TRUE(rig.setTarget(100).isSuccess());
    rig.machine.advanceTo(30);
    EXPECT_NEAR(rig.rpm("F0Ac"), 1200, 20);
}

TEST(SimulatedFans, SystemModeFollowsTheSystemCurveAndHoldsTemperatureDown) {
    Rig rig("laptop-2fan", 7, *SimWorkload::named("load"));
    rig.machine.advanceTo(600);
    const double systemDie = rig.machine.dieTemperatureC();
    EXPECT_GT(systemDie, 55);
    EXPECT_LT(systemDie, 80);
    EXPECT_GT(rig.rpm("F0Tg"), 1500);
    EXPECT_NEAR(rig.rpm("F0Ac"), rig.rpm("F0Tg"), 30);

    // The same load with both fans held at their minimum runs hot.
    Rig held("laptop-2fan", 7, *SimWorkload::named("load"));
    for (int fan = 0; fan < 2; ++fan) {
        ASSERT_TRUE(held.setMode(1, fan).isSuccess());
        ASSERT_TRUE(held.setTarget(0, fan).isSuccess());
    }
    held.machine.advanceTo(900);
    EXPECT_GT(held.machine.dieTemperatureC(), 95);
    EXPECT_LT(held.machine.dieTemperatureC(), SimulatedMac::emergencyC);
    EXPECT_EQ(held.machine.emergencyCount(), 0);
    EXPECT_EQ(held.machine.fans()[0].mode, 1);

    // Idle settles in the mid thirties.
    Rig idle;
    idle.machine.advanceTo(600);
    EXPECT_NEAR(idle.machine.dieTemperatureC(), 35, 2.5);
    EXPECT_NEAR(idle.rpm("F0Ac"), 1200, 20);
}

TEST(SimulatedFans, ScriptedTakeBackReturnsEveryFanToTheSystem) {
    Rig rig("laptop-2fan", 7, script("0 10\n20 take-back\n"));
    ASSERT_TRUE(rig.setMode(1).isSuccess());
    ASSERT_TRUE(rig.setTarget(5000).isSuccess());
    rig.machine.advanceTo(19.9);
    EXPECT_EQ(rig.machine.fans()[0].mode, 1);
    rig.machine.advanceTo(20.0);
    EXPECT_EQ(rig.machine.fans()[0].mode, 0);
    EXPECT_EQ(rig.machine.takeBackCount(), 1);
    EXPECT_EQ(rig.machine.lastTakeBack(), "scripted at 20.00s");
    rig.machine.advanceTo(40);
    EXPECT_NEAR(rig.rpm("F0Ac"), rig.rpm("F0Tg"), 30);
    EXPECT_LT(rig.rpm("F0Tg"), 2000);

    // Script times count from the moment the workload starts.
    rig.machine.setWorkload(script("5 take-back"));
    ASSERT_TRUE(rig.setMode(1).isSuccess());
    rig.machine.advanceTo(44.9);
    EXPECT_EQ(rig.machine.fans()[0].mode, 1);
    rig.machine.advanceTo(45.1);
    EXPECT_EQ(rig.machine.fans()[0].mode, 0);
    rig.machine.takeBack("command");
    EXPECT_EQ(rig.machine.takeBackCount(), 3);
}

TEST(SimulatedFans, ThermalEmergencyTakesTheFansBackAndKeepsThem) {
    Rig rig("laptop-2fan", 7, script("0 60\n"));
    for (int fan = 0; fan < 2; ++fan) {
        ASSERT_TRUE(rig.setMode(1, fan).isSuccess());
        ASSERT_TRUE(rig.setTarget(0, fan).isSuccess());
    }
    double t = 0;
    while (rig.machine.emergencyCount() == 0 && t < 600) {
        t += 1;
        rig.machine.advanceTo(t);
    }
    ASSERT_EQ(rig.machine.emergencyCount(), 1);
    EXPECT_GT(rig.machine.dieTemperatureC(), SimulatedMac::emergencyC);
    EXPECT_EQ(rig.machine.fans()[0].mode, 0);
    EXPECT_EQ(rig.machine.fans()[1].mode, 0);
    EXPECT_TRUE(rig.machine.lastTakeBack().starts_with("thermal emergency at "));
    // A manual mode written while the die is still that hot does not stick.
    ASSERT_TRUE(rig.setMode(1).isSuccess());
    rig.machine.advanceTo(t + 0.1);
    if (rig.machine.dieTemperatureC() > SimulatedMac::emergencyC) {
        EXPECT_EQ(rig.machine.fans()[0].mode, 0);
    }
    // The system's fans at full speed bring the die back down.
    rig.machine.advanceTo(t + 300);
    EXPECT_LT(rig.machine.dieTemperatureC(), 95);
    EXPECT_EQ(rig.machine.emergencyCount(), 1);
}

// MARK: determinism

TEST(SimulatedMacDeterminism, SameSeedAndClockGiveTheSameMachine) {
    auto run = [](std::uint64_t seed, double stride) {
        Rig rig("laptop-2fan", seed, *SimWorkload::named("sine"));
        std::vector<std::vector<std::uint8_t>> readings;
        for (double t = 0; t <= 60; t += stride) {
            rig.machine.advanceTo(t);
            if (std::fmod(t, 5.0) < 1e-9) {
                readings.push_back(rig.appSMC->readValue("F0Ac")->bytes);
                readings.push_back(rig.appSMC->readValue("Tp01")->bytes);
            }
        }
        rig.machine.advanceTo(60);
        return std::pair{readings, rig.machine.statusLines()};
    };
    // Times that are not a forward step leave the clock alone.
    Rig rig;
    rig.machine.advanceTo(2);
    rig.machine.advanceTo(1);
    rig.machine.advanceTo(std::nan(""));
    rig.machine.advanceTo(-std::numeric_limits<double>::infinity());
    EXPECT_DOUBLE_EQ(rig.machine.now(), 2);

    const auto first = run(42, 0.25);
    EXPECT_EQ(first, run(42, 0.25));
    // Advancing in larger strides reaches the same states.
    EXPECT_EQ(first, run(42, 0.5));
    EXPECT_NE(first.first, run(43, 0.25).first);
}

TEST(SimulatedMacDeterminism, FanNoiseIsSmallAndSeeded) {
    Rig rig;
    rig.machine.advanceTo(30);
    double low = 1e9;
    double high = -1e9;
    for (int i = 0; i < 100; ++i) {
        rig.machine.advanceTo(30 + 0.05 * (i + 1));
        const double reading = rig.rpm("F0Ac");
        low = std::min(low, reading);
        high = std::max(high, reading);
    }
    EXPECT_GT(high - low, 0.5);
    EXPECT_LE(high - low, 2 * SimulatedMac::fanNoiseRPM + 1);
}

// MARK: faults

TEST(SimulatedFaults, InjectedReadWriteAndOpenFailuresAnswerAsConfigured) {
    Rig rig;
    const auto parsed = SimFaultPlan::fromJSON(R"({
        "readFailures": {"F0Ac": {"smcResult": 133}, "F0Mx": {"kernelResult": "unsupported"}},
        "writeFailures": {"F0Tg": {"kernelResult": -536870206}, "F0md": {"smcResult": 130}},
        "closedClasses": {"AppleSMCKeysEndpoint": "0xE00002E2"},
        "callDelayMicroseconds": 1500})");
    ASSERT_TRUE(std::holds_alternative<SimFaultPlan>(parsed)) << std::get<std::string>(parsed);
    rig.machine.setFaults(std::get<SimFaultPlan>(parsed));

    EXPECT_FALSE(rig.appSMC->readValue("F0Ac").has_value());
    EXPECT_EQ(rig.appSMC->readBytes("F0Ac", 4).output.result, 133);
    EXPECT_EQ(rig.appSMC->readKeyInfo("F0Mx").kernelResult, kIOReturnUnsupported);
    EXPECT_TRUE(rig.appSMC->readValue("F1Ac").has_value());

    const auto mode = rig.helperSMC->readValue("F0md");
    ASSERT_TRUE(mode.has_value());
    EXPECT_EQ(writeSMCValue(*rig.helperSMC, mode->replacingBytes({1})),
              (FanTargetWriteResult{kIOReturnSuccess, 130}));
    EXPECT_EQ(writeSMCValue(*rig.helperSMC, rig.helperSMC->readValue("F0Tg")->replacingRPM(3000)),
              (FanTargetWriteResult{kIOReturnBadArgument, 0}));
    EXPECT_EQ(rig.machine.fans()[0].mode, 0);
    // Unprivileged writers are refused before any fault applies.
    EXPECT_EQ(writeSMCValue(*rig.appSMC, mode->replacingBytes({1})).kernelResult,
              kIOReturnNotPrivileged);

    SimInProcessSMCConnection endpoint(rig.machine, rig.app, "AppleSMCKeysEndpoint");
    EXPECT_EQ(endpoint.openResult(), kIOReturnNotPermitted);
    SimInProcessSMCConnection fallback(rig.machine, rig.app, "AppleSMC");
    EXPECT_EQ(fallback.openResult(), kIOReturnSuccess);
    EXPECT_EQ(rig.machine.callDelayMicroseconds(), 1500u);

    rig.machine.setFaults({});
    EXPECT_TRUE(rig.appSMC->readValue("F0Ac").has_value());
    EXPECT_TRUE(rig.setMode(1).isSuccess());
}

TEST(SimulatedFaults, BadFaultFilesAreRefusedWithAReason) {
    const auto error = [](std::string_view text) {
        const auto parsed = SimFaultPlan::fromJSON(text);
        return std::holds_alternative<std::string>(parsed) ? std::get<std::string>(parsed) : "";
    };
    EXPECT_EQ(error("{not json"), "fault file is not valid JSON");
    EXPECT_EQ(error("[1]"), "fault file must hold a JSON object");
    EXPECT_NE(error(R"({"readFailures": {"F0": {"smcResult": 1}}})"), "");
    EXPECT_NE(error(R"({"readFailures": {"F0Ac": {"smcResult": 0}}})"), "");
    EXPECT_NE(error(R"({"readFailures": {"F0Ac": {"smcResult": 300}}})"), "");
    EXPECT_NE(error(R"({"writeFailures": {"F0Ac": {"kernelResult": "nonsense"}}})"), "");
    EXPECT_NE(error(R"({"writeFailures": {"F0Ac": {}}})"), "");
    EXPECT_NE(error(R"({"closedClasses": {"AppleSMC": 0}})"), "");
    EXPECT_NE(error(R"({"callDelayMicroseconds": -1})"), "");
    EXPECT_NE(error(R"({"delay": 5})"), "");
    EXPECT_EQ(error("{}"), "");

    EXPECT_EQ(SimFaultPlan::kernelResultFromText("notPrivileged"), kIOReturnNotPrivileged);
    EXPECT_EQ(SimFaultPlan::kernelResultFromText("0xE00002C2"), kIOReturnBadArgument);
    EXPECT_EQ(SimFaultPlan::kernelResultFromText("-536870206"), kIOReturnBadArgument);
    EXPECT_FALSE(SimFaultPlan::kernelResultFromText("0x").has_value());
    EXPECT_FALSE(SimFaultPlan::kernelResultFromText("0x1FFFFFFFF").has_value());
    EXPECT_FALSE(SimFaultPlan::kernelResultFromText("12abc").has_value());
}

TEST(SimulatedFaults, PlansRoundTripThroughJSONAndMerge) {
    SimFaultPlan plan;
    plan.readFailures["F0Ac"] = {kIOReturnSuccess, 133};
    plan.writeFailures["F0Tg"] = {kIOReturnNotPermitted, 0};
    plan.closedClasses["AppleSMC"] = kIOReturnUnsupported;
    plan.callDelayMicroseconds = 20;
    const auto back = SimFaultPlan::fromJSON(plan.toJSON());
    ASSERT_TRUE(std::holds_alternative<SimFaultPlan>(back));
    EXPECT_EQ(std::get<SimFaultPlan>(back), plan);

    SimFaultPlan more;
    more.readFailures["F0Ac"] = {kIOReturnError, 0};
    plan.merge(more);
    EXPECT_EQ(plan.readFailures["F0Ac"].kernelResult, kIOReturnError);
    EXPECT_EQ(plan.callDelayMicroseconds, 20u);
    EXPECT_EQ(SimFaultPlan{}.describe(), std::vector<std::string>{"faults=none"});
}

// MARK: models, registry, sensors

TEST(SimulatedModels, PresetsShapeTheKeyTableAndTheServices) {
    Rig mac17("mac17-2");
    EXPECT_EQ(mac17.appSMC->readKeyInfo("F0Mn").output.result, 132);
    EXPECT_EQ(mac17.appSMC->readKeyInfo("F0Mx").output.result, 132);
    EXPECT_TRUE(mac17.appSMC->readValue("F0Ac").has_value());
    EXPECT_EQ(mac17.machine.deviceTreeProperty("model"),
              SimRegistryValue(std::vector<std::uint8_t>{'M', 'a', 'c', '1', '7', ',', '2', 0}));

    Rig air("air-fanless");
    EXPECT_EQ(air.appSMC->readValue("FNum")->bytes, std::vector<std::uint8_t>{0});
    EXPECT_FALSE(air.appSMC->readValue("F0Ac").has_value());
    const auto model =
        std::get<std::vector<std::uint8_t>>(*air.machine.deviceTreeProperty("model"));
    EXPECT_TRUE(std::string(model.begin(), model.end()).starts_with("MacBookAir"));
    EXPECT_EQ(model.back(), 0);

    Rig legacy("legacy-fpe2");
    const auto minimum = legacy.appSMC->readValue("F0Mn");
    ASSERT_TRUE(minimum.has_value());
    EXPECT_EQ(minimum->dataType, "fpe2");
    EXPECT_EQ(minimum->rpmValue(), 1300.0);
    EXPECT_EQ(legacy.appSMC->readValue("F0Tg")->dataType, "fpe2");
    EXPECT_EQ(legacy.appSMC->readValue("F0md")->dataType, "ui8 ");

    Rig noEndpoint("no-endpoint");
    EXPECT_EQ(noEndpoint.appSMC->openResult(), kIOReturnNotPermitted);
    SimInProcessSMCConnection fallback(noEndpoint.machine, noEndpoint.app, "AppleSMC");
    EXPECT_TRUE(fallback.readValue("F0Ac").has_value());

    Rig desktop("desktop-1fan");
    EXPECT_EQ(desktop.appSMC->readValue("FNum")->bytes, std::vector<std::uint8_t>{1});
    EXPECT_FALSE(simModelPreset("laptop").has_value());
}

TEST(SimulatedHID, TemperatureServicesIncludeTheAwkwardOnes) {
    Rig rig;
    SimulatedMac& mac = rig.machine;
    const auto services = mac.hidServices(0xFF00, 5);
    std::vector<std::string> names;
    int withoutProduct = 0;
    int withoutEvent = 0;
    int outOfRange = 0;
    for (const std::uint32_t service : services) {
        const auto product = mac.hidProduct(service);
        const auto value = mac.hidTemperature(service);
        if (!product) {
            ++withoutProduct;
        } else {
            names.push_back(*product);
        }
        if (!value) {
            ++withoutEvent;
        } else if (!(*value > 0 && *value < 150)) {
            ++outOfRange;
        }
    }
    EXPECT_EQ(withoutProduct, 1);
    EXPECT_EQ(withoutEvent, 1);
    EXPECT_EQ(outOfRange, 1);
    for (const char* expected : {"PMU tdie1", "PMU tdie6", "PMU tdev1", "PMU tdev4", "PMU tcal",
                                 "NAND CH0 temp", "gas gauge battery"}) {
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
    }
    EXPECT_FALSE(std::is_sorted(names.begin(), names.end()));
    // Services of other usages are not matched; unknown identifiers have nothing.
    EXPECT_EQ(mac.hidServices(0xFF08, 3).size(), 1u);
    EXPECT_FALSE(mac.hidProduct(0).has_value());
    EXPECT_FALSE(mac.hidTemperature(9999).has_value());

    // The die sensors track the die.
    Rig hot("laptop-2fan", 7, *SimWorkload::named("load"));
    hot.machine.advanceTo(300);
    for (const std::uint32_t service : hot.machine.hidServices(0xFF00, 5)) {
        const auto product = hot.machine.hidProduct(service);
        if (product && product->starts_with("PMU tdie") && *product != "PMU tdie0") {
            EXPECT_NEAR(*hot.machine.hidTemperature(service), hot.machine.dieTemperatureC(), 2);
        }
    }
}

TEST(SimulatedStatus, ReportsDieFansAndTheLastWriter) {
    Rig rig;
    ASSERT_TRUE(rig.setMode(1).isSuccess());
    rig.machine.advanceTo(2);
    const auto lines = rig.machine.statusLines();
    auto has = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("model=laptop-2fan"));
    EXPECT_TRUE(has("workload=idle"));
    EXPECT_TRUE(has("elapsedSeconds=2.00"));
    EXPECT_TRUE(has("fan0Mode=1 (manual)"));
    EXPECT_TRUE(has("fan1Mode=0 (system)"));
    EXPECT_TRUE(has("fan0RangeRPM=1200-6000"));
    EXPECT_TRUE(has("fan0LastWriter=helper at 0.00s"));
    EXPECT_TRUE(has("fan1LastWriter=none"));
    EXPECT_TRUE(has("clients=2"));
    EXPECT_TRUE(has("faults=none"));
}

// MARK: workloads

TEST(SimulatedWorkload, ProfilesAndScriptsGivePowerOverTime) {
    const SimWorkload steps = *SimWorkload::named("steps");
    EXPECT_DOUBLE_EQ(steps.powerAt(0, 5, 33), 5);
    EXPECT_DOUBLE_EQ(steps.powerAt(SimWorkload::stepSeconds * 3 + 1, 5, 33), 33);
    EXPECT_DOUBLE_EQ(steps.powerAt(SimWorkload::stepSeconds * 4 + 1, 5, 33), 5);
    const SimWorkload sine = *SimWorkload::named("sine");
    EXPECT_NEAR(sine.powerAt(SimWorkload::sinePeriodSeconds / 2, 5, 33), 33, 1e-9);
    EXPECT_FALSE(SimWorkload::named("heavy").has_value());

    const SimWorkload scripted = script("# warm up\n0 8\n\n30 25.5\n30 take-back\n90 4\n");
    EXPECT_EQ(scripted.name(), "script:test");
    EXPECT_DOUBLE_EQ(scripted.powerAt(29.9, 5, 33), 8);
    EXPECT_DOUBLE_EQ(scripted.powerAt(30, 5, 33), 25.5);
    EXPECT_DOUBLE_EQ(scripted.powerAt(1000, 5, 33), 4);
    EXPECT_EQ(scripted.takeBackTimes(), std::vector<double>{30});
    // Before the first level the machine idles.
    EXPECT_DOUBLE_EQ(script("10 20").powerAt(5, 5, 33), 5);

    const auto error = [](std::string_view text) {
        const auto parsed = SimWorkload::parseScript(text);
        return std::holds_alternative<std::string>(parsed) ? std::get<std::string>(parsed) : "";
    };
    EXPECT_EQ(error("10 5\n5 6"), "line 2: times must not decrease");
    EXPECT_EQ(error("abc 5"), "line 1: time must be a number of seconds, 0 or more");
    EXPECT_EQ(error("1 lots"), "line 1: power must be a number of watts from 0 to 500");
    EXPECT_EQ(error("1 -4"), "line 1: power must be a number of watts from 0 to 500");
    EXPECT_EQ(error("1 nan"), "line 1: power must be a number of watts from 0 to 500");
    EXPECT_EQ(error("15"), "line 1: expected \"<seconds> <watts>\" or \"<seconds> take-back\"");
    EXPECT_EQ(error("# nothing\n"), "the script has no entries");
}

} // namespace
} // namespace aerivo
