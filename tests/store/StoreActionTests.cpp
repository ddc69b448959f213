#include "app/hardware/HardwareProbeLines.h"
#include "app/l10n/L10n.h"
#include "tests/store/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

namespace aerivo {
namespace {

using Action = ScriptedPrivilegedHelperClient::Action;
using Caps = FanHardwareCapabilities;

std::optional<AerivoProfile> savedProfile(const StoreHarness& harness) {
    return AerivoPreferences(harness.defaults).loadProfile();
}

TEST(StoreProfileActions, EachSavesAndRefreshesAndTheCurveEditsForceALeaseEvaluation) {
    struct Row {
        const char* name;
        std::function<void(AerivoStore&)> action;
        bool forcesLeaseEvaluation;
    };
    const std::vector<Row> rows{
        {"updatePoint", [](AerivoStore& s) { s.updatePoint(s.profile().points[1].id, 55, 2500); },
         true},
        {"addPoint", [](AerivoStore& s) { s.addPoint(); }, false},
        {"removePoint", [](AerivoStore& s) { s.removePoint(); }, false},
        {"temperature axis", [](AerivoStore& s) { s.updateTemperatureAxis(20.0, 110.0); }, false},
        {"speed axis", [](AerivoStore& s) { s.updateRPMAxis(1500.0, 6000.0); }, false},
        {"fan-off on", [](AerivoStore& s) { s.updateFanOffThresholdEnabled(true); }, true},
        {"fan-off threshold", [](AerivoStore& s) { s.updateFanOffThreshold(50.0); }, true},
        {"safety limit", [](AerivoStore& s) { s.updateSafetyLimit(90.0); }, false},
        {"preset", [](AerivoStore& s) { s.setPreset(CurvePreset::cooling); }, false},
        {"binding",
         [](AerivoStore& s) {
             AerivoProfile edited = s.profile();
             edited.points[2].rpm = 3000.0;
             s.setProfile(edited);
             s.curveProfileDidChange();
         },
         true},
    };
    for (const Row& row : rows) {
        // Curve mode with the helper missing: only a forced evaluation shows the plan's message.
        StoreHarness harness;
        harness.controller->capabilities = StoreHarness::oneFan();
        auto store = harness.make(FanControlMode::curve);
        ASSERT_FALSE(store->hardwareProbeStatus()) << row.name;
        const AerivoProfile before = store->profile();
        const std::size_t readings = harness.controller->snapshotCalls.size();

        row.action(*store);

        EXPECT_NE(store->profile(), before) << row.name;
        EXPECT_EQ(savedProfile(harness), store->profile()) << row.name;
        EXPECT_EQ(harness.controller->snapshotCalls.size(), readings + 1) << row.name;
        EXPECT_EQ(store->hardwareProbeStatus().has_value(), row.forcesLeaseEvaluation) << row.name;
    }
}

TEST(StoreProfileActions, SafetyLimitIsClampedAndPullsTheFanOffThresholdUnderIt) {
    struct Row {
        double value, threshold, limit, resultingThreshold;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const Row& row : {Row{120.0, 45.0, 100.0, 45.0}, Row{50.0, 60.0, 50.0, 49.0},
                           Row{20.0, 45.0, 30.0, 30.0}, Row{nan, 60.0, 86.0, 60.0}}) {
        StoreHarness harness;
        AerivoProfile profile = AerivoProfile::balanced();
        profile.updateFanOffThreshold(row.threshold);
        auto store = harness.make(FanControlMode::system, profile);
        store->updateSafetyLimit(row.value);
        EXPECT_EQ(store->profile().safetyLimitC, row.limit) << row.value;
        EXPECT_EQ(store->profile().fanOffThresholdC, row.resultingThreshold) << row.value;
        EXPECT_EQ(savedProfile(harness), store->profile()) << row.value;
    }
}

TEST(StoreProfileActions, PresetsAndTheDetectedRangeTakeTheHardwareRange) {
    StoreHarness harness;
    harness.controller->capabilities = Caps(1, std::nullopt, 5200.0, 2000.0, "SMC");
    auto store = harness.make();
    store->setLanguage(AppLanguage::japanese);
    // Only a maximum: nothing happens, not even to the status.
    store->applyDetectedHardwareRange();
    EXPECT_FALSE(store->hardwareProbeStatus());
    EXPECT_FALSE(savedProfile(harness));

    harness.controller->capabilities = Caps(1, 1000.0, 5200.0, 2000.0, "SMC");
    store->refreshHardwareCapabilities(false);
    ASSERT_TRUE(store->shouldShowUseHardwareRangeAction());
    store->applyDetectedHardwareRange();
    EXPECT_EQ(store->profile().rpmAxis.minimum, 1000.0);
    EXPECT_EQ(savedProfile(harness), store->profile());
    EXPECT_EQ(store->hardwareProbeStatus(), "検出された RPM 範囲を適用しました。");

    store->setPreset(CurvePreset::quiet);
    AerivoProfile expected = profile(CurvePreset::quiet);
    expected.applyHardwareRPMAxis(1000.0, 5200.0);
    EXPECT_EQ(store->profile().name, "Quiet");
    EXPECT_EQ(store->profile().rpmAxis, expected.rpmAxis);
    ASSERT_EQ(store->profile().points.size(), expected.points.size());
    for (std::size_t i = 0; i < expected.points.size(); ++i) {
        EXPECT_EQ(store->profile().points[i].rpm, expected.points[i].rpm);
    }
    EXPECT_EQ(savedProfile(harness), store->profile());
}

TEST(StoreProfileActions, ARefusedSaveSaysSoAndTheEditStillHolds) {
    class RefusingDefaults final : public UserDefaults {
    public:
        std::optional<Data> data(std::string_view) const override { return std::nullopt; }
        std::optional<std::string> string(std::string_view) const override { return std::nullopt; }
        bool setData(std::string_view, std::span<const std::uint8_t>) override { return false; }
        bool setString(std::string_view, std::string_view) override { return true; }
        bool remove(std::string_view) override { return true; }
    };
    StoreHarness harness;
    AerivoStore store(harness.loop, harness.collaborators(),
                      AerivoPreferences(std::make_shared<RefusingDefaults>()));
    store.setLanguage(AppLanguage::spanish);
    store.updateSafetyLimit(80.0);
    EXPECT_EQ(store.profile().safetyLimitC, 80.0);
    EXPECT_EQ(store.hardwareProbeStatus().value_or("").rfind("No se pudo guardar la curva: ", 0),
              0u);
}

TEST(StoreHardwareActions, DetectAgainClearsTheStatusAndRefusesTheCurveWithoutAFan) {
    StoreHarness harness;
    harness.controller->capabilities = StoreHarness::oneFan();
    auto store = harness.make(FanControlMode::curve);
    store->showWriteRequirements();
    harness.controller->capabilities = Caps(1, 1500.0, 5500.0, 2000.0, "SMC");
    store->refreshHardwareCapabilities(false);
    EXPECT_FALSE(store->hardwareProbeStatus());
    EXPECT_EQ(store->hardwareCapabilities(), harness.controller->capabilities);
    EXPECT_FALSE(savedProfile(harness));
    store->refreshHardwareCapabilities(true);
    EXPECT_EQ(store->profile().rpmAxis.maximum, 5500.0);
    EXPECT_EQ(savedProfile(harness), store->profile());

    harness.controller->capabilities =
        Caps(0, {}, {}, {}, "No fan", {}, FanHardwareSupportStatus::unsupportedNoFan);
    store->refreshHardwareCapabilities(false);
    EXPECT_EQ(store->mode(), FanControlMode::system);
}

TEST(StoreHardwareActions, TheAdministratorProbeRunsOffTheLoopAndSaysHowItWent) {
    const auto output = [](const Caps& capabilities) {
        std::string text;
        for (const std::string& line : hardwareProbeLines(capabilities)) {
            text += line + "\r"; // the runner may end lines with carriage returns
        }
        return ProcessRunResult(ProcessOutput{0, text, ""});
    };
    const Caps detected(1, 1100.0, 5900.0, 2300.0, "SMC (admin)");
    const Caps withoutSpeed(1, 1100.0, 5900.0, std::nullopt, "SMC (admin)");
    const Caps withoutRange(1, std::nullopt, std::nullopt, 2300.0, "SMC");
    const Caps noFan(0, {}, {}, {}, "No fan", {}, FanHardwareSupportStatus::unsupportedNoFan);
    struct Row {
        ProcessRunResult run;
        // The status: a table text, else the literal.
        std::optional<L10nKey> key;
        std::string literal;
        std::optional<Caps> published;
    };
    const std::vector<Row> rows{
        {ProcessLaunchError{"osascript: no such file"}, {}, "osascript: no such file", {}},
        {ProcessOutput{1, "", " \n"}, L10nKey::adminProbeFailed, "", {}},
        {ProcessOutput{1, "", "User canceled.\n"}, {}, "User canceled.", {}},
        {ProcessOutput{0, "hello\n", ""}, L10nKey::adminProbeUnreadable, "", {}},
        {output(detected), L10nKey::adminProbeAppliedRange, "", detected},
        {output(withoutSpeed), L10nKey::adminProbeAppliedRangeWithoutReadback, "", withoutSpeed},
        {output(withoutRange), L10nKey::adminProbeNoRPMKeys, "", withoutRange},
        {output(noFan), L10nKey::adminProbeNoRPMKeys, "", noFan},
    };
    for (AppLanguage language : allAppLanguages) {
        for (const Row& row : rows) {
            const std::string name = (row.key ? std::string(rawValue(*row.key)) : row.literal) +
                                     " " + std::string(rawValue(language));
            StoreHarness harness;
            harness.controller->capabilities = StoreHarness::oneFan(std::nullopt);
            harness.processRunner->next = row.run;
            harness.background->setHolding(true);
            auto store = harness.make(FanControlMode::curve);
            store->setLanguage(language);
            const Caps before = store->hardwareCapabilities();

            store->refreshHardwareCapabilitiesAsAdmin(true);
            // The probe waits on its background task; the loop goes on meanwhile.
            EXPECT_EQ(store->hardwareProbeStatus(),
                      L10n::text(L10nKey::waitingForAdministratorApproval, language));
            harness.loop.advanceBy(MainLoop::Seconds(4.0));
            EXPECT_TRUE(harness.processRunner->runs.empty()) << name;
            harness.background->runHeld();
            harness.loop.runUntilIdle();

            ASSERT_EQ(harness.processRunner->runs.size(), 1u) << name;
            EXPECT_EQ(harness.processRunner->runs[0].path, "/sim-root/usr/bin/osascript");
            EXPECT_EQ(harness.processRunner->runs[0].arguments.back(),
                      AdminHardwareProbe::elevatedScript(*harness.executable));
            EXPECT_EQ(store->hardwareProbeStatus(),
                      row.key ? L10n::text(*row.key, language) : row.literal)
                << name;
            EXPECT_EQ(store->hardwareCapabilities(), row.published.value_or(before)) << name;
            const bool noFanFound = row.published && row.published->isUnsupported();
            EXPECT_EQ(store->mode(), noFanFound ? FanControlMode::system : FanControlMode::curve);
            const bool applied = row.published && row.published->minimumRPM;
            EXPECT_EQ(store->profile().rpmAxis.minimum, applied ? 1100.0 : 1200.0) << name;
            EXPECT_EQ(savedProfile(harness).has_value(), applied) << name;
        }
    }
}

TEST(StoreHardwareActions, NoProbeWithoutAnExecutableOrAfterTheStoreIsGone) {
    StoreHarness harness;
    harness.background->setHolding(true);
    harness.executable.reset();
    auto store = harness.make();
    store->setLanguage(AppLanguage::korean);
    store->refreshHardwareCapabilitiesAsAdmin(true);
    EXPECT_EQ(store->hardwareProbeStatus(), "앱 실행 파일을 찾을 수 없습니다.");
    EXPECT_EQ(harness.background->heldCount(), 0u);

    harness.executable = "/Applications/AerivoMac";
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
    EXPECT_EQ(store->hardwareProbeStatus(), "Fan writes remain locked. Missing: helper heartbeat.");
}

TEST(StoreLoginItem, FailuresAreShownUntilTheNextChangeOrRefresh) {
    for (AppLanguage language : allAppLanguages) {
        StoreHarness harness;
        auto store = harness.make();
        store->setLanguage(language);
        harness.loginItem->failure = "denied";
        store->setLaunchAtLoginEnabled(true);
        EXPECT_EQ(store->launchAtLoginStatusText(),
                  L10n::format(L10nKey::launchAtLoginFailed, language, "denied"));
        harness.loginItem->failure.reset();
        store->setLaunchAtLoginEnabled(true);
        EXPECT_TRUE(store->launchAtLoginEnabled());
        EXPECT_FALSE(store->launchAtLoginStatusText());

        harness.loginItem->failure = "denied";
        store->setLaunchAtLoginEnabled(false);
        harness.loginItem->currentStatus = LoginItemStatus::requiresApproval;
        store->refreshLaunchAtLoginStatus();
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
    EXPECT_EQ(harness.background->runHeld(), 1u);
    harness.loop.runUntilIdle();
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
        AppUpdateCheckResult checkForUpdates() override { throw std::runtime_error("offline"); }
    };
    StoreHarness harness;
    AerivoStoreCollaborators collaborators = harness.collaborators();
    collaborators.updateChecker = std::make_shared<ThrowingChecker>();
    AerivoStore store(harness.loop, std::move(collaborators), std::nullopt);
    store.checkForUpdates();
    harness.loop.runUntilIdle();
    EXPECT_FALSE(store.isCheckingForUpdates());
    EXPECT_EQ(store.updateStatusText(), "Could not check for updates: offline");
}

} // namespace
} // namespace aerivo
