#include "app/hardware/HardwareProbeLines.h"
#include "app/l10n/L10n.h"
#include "tests/store/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace aerivo {
namespace {

using Action = ScriptedPrivilegedHelperClient::Action;

std::optional<AerivoProfile> savedProfile(const StoreHarness& harness) {
    return AerivoPreferences(harness.defaults).loadProfile();
}

std::string probeOutput(const FanHardwareCapabilities& capabilities) {
    std::string output;
    for (const std::string& line : hardwareProbeLines(capabilities)) {
        output += line + "\n";
    }
    return output;
}

TEST(StoreProfileActions, EachSavesAndRefreshesAndTheCurveEditsForceALeaseEvaluation) {
    struct Row {
        const char* name;
        std::function<void(AerivoStore&)> action;
        bool forcesLeaseEvaluation;
    };
    const std::vector<Row> rows{
        {"updatePoint",
         [](AerivoStore& s) { s.updatePoint(s.profile().points[1].id, 55.0, 2500.0); }, true},
        {"addPoint", [](AerivoStore& s) { s.addPoint(); }, false},
        {"removePoint", [](AerivoStore& s) { s.removePoint(); }, false},
        {"updateTemperatureAxis", [](AerivoStore& s) { s.updateTemperatureAxis(20.0, 110.0); },
         false},
        {"updateRPMAxis", [](AerivoStore& s) { s.updateRPMAxis(1500.0, 6000.0); }, false},
        {"updateFanOffThresholdEnabled",
         [](AerivoStore& s) { s.updateFanOffThresholdEnabled(true); }, true},
        {"updateFanOffThreshold", [](AerivoStore& s) { s.updateFanOffThreshold(50.0); }, true},
        {"updateSafetyLimit", [](AerivoStore& s) { s.updateSafetyLimit(90.0); }, false},
        {"setPreset", [](AerivoStore& s) { s.setPreset(CurvePreset::cooling); }, false},
        {"curveProfileDidChange",
         [](AerivoStore& s) {
             AerivoProfile edited = s.profile();
             edited.points[2].rpm = 3000.0;
             s.setProfile(edited);
             s.curveProfileDidChange();
         },
         true},
    };
    for (const Row& row : rows) {
        // Curve mode with the helper missing: a forced evaluation shows the plan's message.
        StoreHarness harness;
        harness.controller->capabilities = StoreHarness::oneFan();
        harness.controller->temperatureC = 60.0;
        auto store = harness.make(FanControlMode::curve);
        ASSERT_FALSE(store->hardwareProbeStatus()) << row.name;
        const AerivoProfile before = store->profile();
        const std::size_t readings = harness.controller->snapshotCalls.size();
        int profileChanges = 0;
        auto observation = store->observe([&](AerivoStoreProperty property) {
            profileChanges += property == AerivoStoreProperty::profile;
        });

        row.action(*store);

        EXPECT_NE(store->profile(), before) << row.name;
        EXPECT_EQ(savedProfile(harness), store->profile()) << row.name;
        EXPECT_GE(profileChanges, 1) << row.name;
        EXPECT_EQ(harness.controller->snapshotCalls.size(), readings + 1) << row.name;
        EXPECT_EQ(store->hardwareProbeStatus(),
                  row.forcesLeaseEvaluation
                      ? std::optional<std::string>(store->writeSafetyPlan().actionMessage())
                      : std::nullopt)
            << row.name;
    }
}

TEST(StoreProfileActions, SafetyLimitIsClampedAndPullsTheFanOffThresholdUnderIt) {
    struct Row {
        double value;
        std::optional<double> threshold;
        double limit;
        double resultingThreshold;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const Row& row : {Row{120.0, std::nullopt, 100.0, 45.0}, Row{50.0, 60.0, 50.0, 49.0},
                           Row{20.0, std::nullopt, 30.0, 30.0}, Row{nan, 60.0, 86.0, 60.0}}) {
        StoreHarness harness;
        AerivoProfile profile = AerivoProfile::balanced();
        if (row.threshold) {
            profile.updateFanOffThreshold(*row.threshold);
            ASSERT_EQ(profile.fanOffThresholdC, *row.threshold);
        }
        auto store = harness.make(FanControlMode::system, profile);
        store->updateSafetyLimit(row.value);
        EXPECT_EQ(store->profile().safetyLimitC, row.limit) << row.value;
        EXPECT_EQ(store->profile().fanOffThresholdC, row.resultingThreshold) << row.value;
        ASSERT_TRUE(savedProfile(harness)) << row.value;
        EXPECT_EQ(savedProfile(harness)->safetyLimitC, row.limit);
    }
}

TEST(StoreProfileActions, PresetsTakeTheDetectedRange) {
    StoreHarness harness;
    harness.controller->capabilities = FanHardwareCapabilities(1, 1000.0, 5200.0, 2000.0, "SMC");
    auto store = harness.make();
    store->setPreset(CurvePreset::quiet);
    AerivoProfile expected = profile(CurvePreset::quiet);
    expected.applyHardwareRPMAxis(1000.0, 5200.0);
    const AerivoProfile& result = store->profile();
    EXPECT_EQ(result.name, "Quiet");
    EXPECT_EQ(result.rpmAxis, expected.rpmAxis);
    ASSERT_EQ(result.points.size(), expected.points.size());
    for (std::size_t i = 0; i < result.points.size(); ++i) {
        EXPECT_EQ(result.points[i].temperatureC, expected.points[i].temperatureC);
        EXPECT_EQ(result.points[i].rpm, expected.points[i].rpm);
        EXPECT_GE(result.points[i].rpm, 1000.0);
        EXPECT_LE(result.points[i].rpm, 5200.0);
    }
    EXPECT_EQ(savedProfile(harness), result);
}

TEST(StoreProfileActions, TheDetectedRangeIsAppliedOnlyWithBothEnds) {
    for (AppLanguage language : allAppLanguages) {
        StoreHarness harness;
        harness.controller->capabilities =
            FanHardwareCapabilities(1, std::nullopt, 5000.0, 2000.0, "SMC");
        auto store = harness.make();
        store->setLanguage(language);
        store->showWriteRequirements();
        const auto status = store->hardwareProbeStatus();
        store->applyDetectedHardwareRange();
        EXPECT_EQ(store->profile(), AerivoProfile::balanced());
        EXPECT_EQ(store->hardwareProbeStatus(), status);
        EXPECT_FALSE(savedProfile(harness));

        harness.controller->capabilities =
            FanHardwareCapabilities(1, 1000.0, 5000.0, 2000.0, "SMC");
        store->refreshHardwareCapabilities(false);
        ASSERT_TRUE(store->shouldShowUseHardwareRangeAction());
        store->applyDetectedHardwareRange();
        EXPECT_EQ(store->profile().rpmAxis.minimum, 1000.0);
        EXPECT_EQ(store->profile().rpmAxis.maximum, 5000.0);
        EXPECT_EQ(savedProfile(harness), store->profile());
        EXPECT_EQ(store->hardwareProbeStatus(),
                  L10n::text(L10nKey::appliedDetectedRange, language));
        EXPECT_FALSE(store->shouldShowUseHardwareRangeAction());
    }
}

TEST(StoreProfileActions, ARefusedSaveSaysSoAndTheEditStillHolds) {
    // A database that takes strings (the language) but refuses every profile.
    class RefusingDefaults final : public UserDefaults {
    public:
        std::optional<Data> data(std::string_view) const override { return std::nullopt; }
        std::optional<std::string> string(std::string_view) const override { return std::nullopt; }
        bool setData(std::string_view, std::span<const std::uint8_t>) override { return false; }
        bool setString(std::string_view, std::string_view) override { return true; }
        bool remove(std::string_view) override { return true; }
    };
    StoreHarness harness;
    ManualMainLoop& loop = harness.loop;
    AerivoStore store(loop, harness.collaborators(),
                      AerivoPreferences(std::make_shared<RefusingDefaults>()));
    store.setLanguage(AppLanguage::spanish);
    store.updateSafetyLimit(80.0);
    EXPECT_EQ(store.profile().safetyLimitC, 80.0);
    ASSERT_TRUE(store.hardwareProbeStatus());
    EXPECT_TRUE(store.hardwareProbeStatus()->starts_with("No se pudo guardar la curva: "))
        << *store.hardwareProbeStatus();
}

TEST(StoreHardwareActions, DetectAgainClearsTheStatusRefusesTheCurveWithoutAFanAndSavesOnRequest) {
    StoreHarness harness;
    harness.controller->capabilities = StoreHarness::oneFan();
    auto store = harness.make(FanControlMode::curve);
    store->showWriteRequirements();
    ASSERT_TRUE(store->hardwareProbeStatus());

    harness.controller->capabilities = FanHardwareCapabilities(1, 1500.0, 5500.0, 2000.0, "SMC");
    store->refreshHardwareCapabilities(false);
    EXPECT_FALSE(store->hardwareProbeStatus());
    EXPECT_EQ(store->hardwareCapabilities(), harness.controller->capabilities);
    EXPECT_EQ(store->profile(), AerivoProfile::balanced());
    EXPECT_FALSE(savedProfile(harness));
    store->refreshHardwareCapabilities(true);
    EXPECT_EQ(store->profile().rpmAxis.maximum, 5500.0);
    EXPECT_EQ(savedProfile(harness), store->profile());
    EXPECT_EQ(store->mode(), FanControlMode::curve);

    harness.controller->capabilities =
        FanHardwareCapabilities(0, std::nullopt, std::nullopt, std::nullopt, "No fan", {},
                                FanHardwareSupportStatus::unsupportedNoFan);
    store->refreshHardwareCapabilities(false);
    EXPECT_EQ(store->mode(), FanControlMode::system);
}

TEST(StoreHardwareActions, TheAdministratorProbeRunsOffTheLoopAndSaysHowItWent) {
    const FanHardwareCapabilities detected(1, 1100.0, 5900.0, 2300.0, "SMC (admin)");
    const FanHardwareCapabilities withoutSpeed(1, 1100.0, 5900.0, std::nullopt, "SMC (admin)");
    const FanHardwareCapabilities withoutRange(1, std::nullopt, std::nullopt, 2300.0, "SMC");
    const FanHardwareCapabilities noFan(0, std::nullopt, std::nullopt, std::nullopt, "No fan", {},
                                        FanHardwareSupportStatus::unsupportedNoFan);
    struct Row {
        const char* name;
        bool hasExecutable;
        ProcessRunResult run;
        // The expected status: a text key, or the literal text when none.
        std::optional<L10nKey> key;
        std::string literal;
        std::optional<FanHardwareCapabilities> published;
        bool appliesRange;
    };
    const std::vector<Row> rows{
        {"no executable", false, ProcessOutput{}, L10nKey::appExecutableNotFound, "", {}, false},
        {"cannot start",
         true,
         ProcessLaunchError{"osascript: no such file"},
         {},
         "osascript: no such file",
         {},
         false},
        {"refused without a message",
         true,
         ProcessOutput{1, "", " \n"},
         L10nKey::adminProbeFailed,
         "",
         {},
         false},
        {"refused",
         true,
         ProcessOutput{1, "", "User canceled.\n"},
         {},
         "User canceled.",
         {},
         false},
        {"unreadable",
         true,
         ProcessOutput{0, "hello\n", ""},
         L10nKey::adminProbeUnreadable,
         "",
         {},
         false},
        {"range and speed", true, ProcessOutput{0, probeOutput(detected), ""},
         L10nKey::adminProbeAppliedRange, "", detected, true},
        {"range without speed", true, ProcessOutput{0, probeOutput(withoutSpeed), ""},
         L10nKey::adminProbeAppliedRangeWithoutReadback, "", withoutSpeed, true},
        {"no range", true, ProcessOutput{0, probeOutput(withoutRange), ""},
         L10nKey::adminProbeNoRPMKeys, "", withoutRange, false},
        {"no fan", true, ProcessOutput{0, probeOutput(noFan), ""}, L10nKey::adminProbeNoRPMKeys, "",
         noFan, false},
    };
    for (AppLanguage language : allAppLanguages) {
        for (const Row& row : rows) {
            const std::string name = std::string(row.name) + " " + std::string(rawValue(language));
            StoreHarness harness;
            harness.controller->capabilities = StoreHarness::oneFan(std::nullopt);
            if (!row.hasExecutable) {
                harness.executable.reset();
            }
            harness.processRunner->next = row.run;
            harness.background->setHolding(true);
            auto store = harness.make(FanControlMode::curve);
            store->setLanguage(language);
            const FanHardwareCapabilities before = store->hardwareCapabilities();

            store->refreshHardwareCapabilitiesAsAdmin(true);
            if (row.hasExecutable) {
                // The probe waits on its background task; the loop goes on meanwhile.
                EXPECT_EQ(store->hardwareProbeStatus(),
                          L10n::text(L10nKey::waitingForAdministratorApproval, language))
                    << name;
                harness.loop.advanceBy(MainLoop::Seconds(4.0));
                EXPECT_TRUE(harness.processRunner->runs.empty()) << name;
                EXPECT_EQ(harness.background->runHeld(), 1u) << name;
                harness.loop.runUntilIdle();
                ASSERT_EQ(harness.processRunner->runs.size(), 1u) << name;
                EXPECT_EQ(harness.processRunner->runs[0].path, "/sim-root/usr/bin/osascript");
                EXPECT_EQ(harness.processRunner->runs[0].arguments,
                          (std::vector<std::string>{
                              "-e", AdminHardwareProbe::elevatedScript(*harness.executable)}));
            } else {
                EXPECT_EQ(harness.background->heldCount(), 0u) << name;
            }
            EXPECT_EQ(store->hardwareProbeStatus(),
                      row.key ? L10n::text(*row.key, language) : row.literal)
                << name;
            EXPECT_EQ(store->hardwareCapabilities(), row.published.value_or(before)) << name;
            EXPECT_EQ(store->mode(), row.published && row.published->isUnsupported()
                                         ? FanControlMode::system
                                         : FanControlMode::curve)
                << name;
            EXPECT_EQ(store->profile().rpmAxis.minimum, row.appliesRange ? 1100.0 : 1200.0) << name;
            EXPECT_EQ(savedProfile(harness).has_value(), row.appliesRange) << name;
        }
    }
}

TEST(StoreHardwareActions, NoApprovalPromptForAStoreThatIsGone) {
    StoreHarness harness;
    harness.background->setHolding(true);
    auto store = harness.make();
    store->refreshHardwareCapabilitiesAsAdmin(true);
    store.reset();
    harness.background->runHeld();
    harness.loop.runUntilIdle();
    EXPECT_TRUE(harness.processRunner->runs.empty());
}

TEST(StoreHelperActions, InstallAndWriteRequirementsShowTheirOutcome) {
    StoreHarness harness;
    harness.controller->capabilities = StoreHarness::oneFan();
    auto store = harness.make();
    std::vector<std::optional<std::string>> statuses;
    auto observation = store->observe([&](AerivoStoreProperty property) {
        if (property == AerivoStoreProperty::hardwareProbeStatus) {
            statuses.push_back(store->hardwareProbeStatus());
        }
    });
    harness.helper->installResult = PrivilegedHelperActionResult::failure("Authorization denied.");
    store->installPrivilegedHelper();
    EXPECT_EQ(statuses, (std::vector<std::optional<std::string>>{
                            "Waiting for administrator approval...", "Authorization denied."}));
    EXPECT_EQ(harness.helper->count(Action::install), 1u);
    EXPECT_EQ(harness.helper->healthReads, 2);

    // The requirements are those of the freshly read health.
    harness.helper->health = StoreHarness::writeCapableHealth();
    harness.helper->health.hasHeartbeat = false;
    store->showWriteRequirements();
    EXPECT_EQ(harness.helper->healthReads, 3);
    EXPECT_EQ(store->hardwareProbeStatus(), "Fan writes remain locked. Missing: helper heartbeat.");
}

TEST(StoreLoginItem, FailuresAreShownUntilTheNextChangeOrRefresh) {
    for (AppLanguage language : allAppLanguages) {
        StoreHarness harness;
        auto store = harness.make();
        store->setLanguage(language);
        harness.loginItem->failure = "The operation couldn't be completed.";
        store->setLaunchAtLoginEnabled(true);
        EXPECT_EQ(store->launchAtLoginErrorMessage(), "The operation couldn't be completed.");
        EXPECT_EQ(store->launchAtLoginStatusText(),
                  L10n::format(L10nKey::launchAtLoginFailed, language,
                               "The operation couldn't be completed."));
        EXPECT_FALSE(store->launchAtLoginEnabled());

        harness.loginItem->failure.reset();
        store->setLaunchAtLoginEnabled(true);
        EXPECT_FALSE(store->launchAtLoginErrorMessage());
        EXPECT_TRUE(store->launchAtLoginEnabled());
        EXPECT_FALSE(store->launchAtLoginStatusText());

        harness.loginItem->failure = "denied";
        store->setLaunchAtLoginEnabled(false);
        harness.loginItem->currentStatus = LoginItemStatus::requiresApproval;
        store->refreshLaunchAtLoginStatus();
        EXPECT_FALSE(store->launchAtLoginErrorMessage());
        EXPECT_FALSE(store->launchAtLoginEnabled());
        EXPECT_EQ(store->launchAtLoginStatusText(),
                  L10n::text(L10nKey::launchAtLoginRequiresApproval, language));
    }
}

TEST(StoreUpdateCheck, OneCheckAtATimeOffTheLoop) {
    StoreHarness harness;
    harness.background->setHolding(true);
    auto store = harness.make();
    store->checkForUpdates();
    store->checkForUpdates();
    EXPECT_TRUE(store->isCheckingForUpdates());
    EXPECT_EQ(harness.background->heldCount(), 1u);
    harness.background->runHeld();
    harness.loop.runUntilIdle();
    EXPECT_EQ(harness.updateChecker->checks, 1);
    EXPECT_FALSE(store->isCheckingForUpdates());
    EXPECT_EQ(store->updateCheckResult(), harness.updateChecker->result);

    // A store that is gone by the time the task starts skips the check.
    store->checkForUpdates();
    store.reset();
    harness.background->runHeld();
    harness.loop.runUntilIdle();
    EXPECT_EQ(harness.updateChecker->checks, 1);
}

TEST(StoreUpdateCheck, AThrowingCheckerStillEndsTheCheck) {
    class ThrowingChecker final : public AppUpdateChecking {
    public:
        AppUpdateCheckResult checkForUpdates() override {
            throw std::runtime_error("network is down");
        }
    };
    StoreHarness harness;
    AerivoStoreCollaborators collaborators = harness.collaborators();
    collaborators.updateChecker = std::make_shared<ThrowingChecker>();
    AerivoStore store(harness.loop, std::move(collaborators), std::nullopt);
    store.checkForUpdates();
    harness.loop.runUntilIdle();
    EXPECT_FALSE(store.isCheckingForUpdates());
    EXPECT_EQ(store.updateStatusText(), "Could not check for updates: network is down");
}

} // namespace
} // namespace aerivo
