#include "app/l10n/Formatters.h"
#include "app/l10n/L10n.h"
#include "tests/store/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace aerivo {
namespace {

// One state of the machine as the views see it.
struct State {
    FanHardwareCapabilities capabilities = StoreHarness::oneFan();
    PrivilegedHelperHealth health = PrivilegedHelperHealth::unavailable();
    FanControlMode mode = FanControlMode::system;
    AerivoProfile profile = AerivoProfile::balanced();
    double temperatureC = 60.0;
    double actualRPM = 2000.0;
    double targetRPM = 2100.0;
    bool isLive = true;
};

const FanHardwareCapabilities noFan(0, std::nullopt, std::nullopt, std::nullopt, "No fan", {},
                                    FanHardwareSupportStatus::unsupportedNoFan);

FanHardwareCapabilities twoFans(std::optional<double> current = 2000.0) {
    return FanHardwareCapabilities(2, std::nullopt, std::nullopt, std::nullopt, "SMC",
                                   {FanHardwareFan{0, "Fan 0", 1200.0, 6200.0, current, "SMC"},
                                    FanHardwareFan{1, "Fan 1", 1300.0, 6500.0, current, "SMC"}});
}

AerivoProfile withFanOffAt(double threshold) {
    AerivoProfile profile = AerivoProfile::balanced();
    profile.updateFanOffThresholdEnabled(true);
    profile.updateFanOffThreshold(threshold);
    return profile;
}

class StoreTexts : public ::testing::Test {
protected:
    AerivoStore& show(const State& state, AppLanguage language = AppLanguage::english) {
        store.reset();
        harness = std::make_unique<StoreHarness>();
        harness->controller->capabilities = state.capabilities;
        harness->helper->health = state.health;
        harness->controller->nextSnapshot = [this, state] {
            return ThermalSnapshot{
                state.temperatureC, state.actualRPM,
                state.targetRPM,    state.isLive ? "PMU tdie1" : "Mock temperature simulation",
                state.isLive,       harness->loop.now()};
        };
        store = harness->make(state.mode, state.profile, false, false);
        store->setLanguage(language);
        return *store;
    }

    std::unique_ptr<StoreHarness> harness;
    std::unique_ptr<AerivoStore> store;
};

// Each row: a state, a text of the store, and the text expected in a given language.
struct TextRow {
    const char* name;
    State state;
    std::function<std::string(const AerivoStore&)> text;
    std::function<std::string(AppLanguage)> expected;
};

std::function<std::string(AppLanguage)> keyed(L10nKey key) {
    return [key](AppLanguage language) { return L10n::text(key, language); };
}
std::function<std::string(AppLanguage)> literal(std::string text) {
    return [text](AppLanguage) { return text; };
}

TEST_F(StoreTexts, ReadingsModesAndTargetsInEveryLanguage) {
    State fanOff;
    fanOff.mode = FanControlMode::curve;
    fanOff.profile = withFanOffAt(45.0);
    fanOff.temperatureC = 44.0;
    State curve;
    curve.mode = FanControlMode::curve;
    State safety;
    safety.temperatureC = 90.0;
    State unsupported;
    unsupported.capabilities = noFan;
    State notLive;
    notLive.capabilities = StoreHarness::oneFan(std::nullopt);
    notLive.isLive = false;
    State two;
    two.capabilities = twoFans();
    State trusted;
    trusted.health = StoreHarness::writeCapableHealth();
    const auto mode = [](FanControlMode mode, bool detail) {
        return [mode, detail](AppLanguage language) {
            return detail ? description(mode, language) : displayName(mode, language);
        };
    };

    const std::vector<TextRow> rows{
        {"title fan-off", fanOff, &AerivoStore::effectiveModeTitle, keyed(L10nKey::fanOffRange)},
        {"detail fan-off", fanOff, &AerivoStore::effectiveModeDetail,
         [](AppLanguage l) { return L10n::format(L10nKey::fanOffRangeDescription, l, "45 C"); }},
        {"title curve", curve, &AerivoStore::effectiveModeTitle,
         mode(FanControlMode::curve, false)},
        {"detail safety", safety, &AerivoStore::effectiveModeDetail,
         mode(FanControlMode::safety, true)},
        {"reading title no fan", unsupported, &AerivoStore::fanReadingTitle, keyed(L10nKey::noFan)},
        {"reading title two fans", two, &AerivoStore::fanReadingTitle, keyed(L10nKey::actualFans)},
        {"reading title simulated", notLive, &AerivoStore::fanReadingTitle,
         keyed(L10nKey::simulatedFan)},
        {"reading title one fan", curve, &AerivoStore::fanReadingTitle, keyed(L10nKey::actualFan)},
        {"reading value no fan", unsupported, &AerivoStore::fanReadingValueText,
         keyed(L10nKey::unsupported)},
        {"reading value", curve, &AerivoStore::fanReadingValueText, literal("2000 RPM")},
        {"reading detail no fan", unsupported, &AerivoStore::fanReadingDetailText,
         keyed(L10nKey::fanlessUnsupported)},
        {"reading detail simulated", notLive, &AerivoStore::fanReadingDetailText,
         keyed(L10nKey::hardwareRPMUnavailable)},
        {"reading detail", curve, &AerivoStore::fanReadingDetailText, literal("SMC")},
        {"temperature title live", curve, &AerivoStore::temperatureReadingTitle,
         keyed(L10nKey::liveTemperature)},
        {"temperature title mock", notLive, &AerivoStore::temperatureReadingTitle,
         keyed(L10nKey::mockTemperature)},
        {"temperature detail", notLive, &AerivoStore::temperatureDetailText,
         literal("Mock temperature simulation")},
        {"menu temperature live", curve, &AerivoStore::menuTemperatureLabel,
         keyed(L10nKey::liveTemp)},
        {"menu temperature mock", notLive, &AerivoStore::menuTemperatureLabel,
         keyed(L10nKey::mockTemp)},
        {"curve target fan-off", fanOff, &AerivoStore::curveTargetValueText,
         keyed(L10nKey::fanOff)},
        {"curve target no fan", unsupported, &AerivoStore::curveTargetValueText,
         keyed(L10nKey::disabled)},
        {"curve target", curve, &AerivoStore::curveTargetValueText,
         literal(Formatters::rpm(AerivoProfile::balanced().targetRPM(60.0)))},
        {"active target fan-off", fanOff, &AerivoStore::activeTargetValueText,
         keyed(L10nKey::fanOff)},
        {"active target no fan", unsupported, &AerivoStore::activeTargetValueText,
         keyed(L10nKey::disabled)},
        {"active target", curve, &AerivoStore::activeTargetValueText, literal("2100 RPM")},
        {"menu rpm label no fan", unsupported, &AerivoStore::menuRPMLabel, keyed(L10nKey::fan)},
        {"menu rpm label simulated", notLive, &AerivoStore::menuRPMLabel, keyed(L10nKey::simRPM)},
        {"menu rpm label", curve, &AerivoStore::menuRPMLabel, keyed(L10nKey::rpm)},
        {"menu fan value no fan", unsupported, &AerivoStore::menuFanValueText,
         keyed(L10nKey::none)},
        {"menu bar no fan", unsupported, &AerivoStore::menuBarStatusText, keyed(L10nKey::fan)},
        {"helper action install", curve, &AerivoStore::helperInstallActionTitle,
         keyed(L10nKey::installHelper)},
        {"helper action update", trusted, &AerivoStore::helperInstallActionTitle,
         keyed(L10nKey::updateHelper)},
        {"write path", curve, &AerivoStore::writeReadinessTitle, keyed(L10nKey::writePath)},
        {"write plan title", curve, &AerivoStore::writeReadinessValueText,
         literal("Helper required")},
        {"write plan detail", unsupported, &AerivoStore::writeReadinessDetailText,
         literal("This Mac has no controllable fan for Aerivo Mac.")},
    };
    for (AppLanguage language : allAppLanguages) {
        for (const TextRow& row : rows) {
            EXPECT_EQ(row.text(show(row.state, language)), row.expected(language))
                << row.name << " " << rawValue(language);
        }
    }
    EXPECT_EQ(show(curve).helperInstallActionIcon(), "key");
    EXPECT_EQ(show(trusted).helperInstallActionIcon(), "checkmark.shield");
}

TEST_F(StoreTexts, TheCurveEffectExplainsWhatTheCurveDoesToTheFan) {
    const double target = AerivoProfile::balanced().targetRPM(60.0);
    const auto at = [&](double delta, FanControlMode mode) {
        State state;
        state.mode = mode;
        state.actualRPM = target - delta;
        return state;
    };
    State fanOff;
    fanOff.mode = FanControlMode::curve;
    fanOff.profile = withFanOffAt(45.0);
    fanOff.temperatureC = 44.0;
    State linkedLocked = at(0.0, FanControlMode::curve);
    linkedLocked.capabilities = twoFans();
    State linkedWriting = linkedLocked;
    linkedWriting.health = StoreHarness::writeCapableHealth();
    State linkedOff = linkedWriting;
    linkedOff.mode = FanControlMode::system;
    const std::string linked =
        twoFans().linkedTargetText(AerivoProfile::balanced().rpmPercent(target));
    ASSERT_FALSE(linked.empty());
    const std::string percent = Formatters::percent(AerivoProfile::balanced().rpmPercent(target));

    const std::vector<TextRow> rows{
        {"fan-off", fanOff, &AerivoStore::curveEffectLabel,
         [](AppLanguage l) { return L10n::format(L10nKey::fanOffRangeActive, l, "45 C"); }},
        {"off, 49 slower", at(-49.0, FanControlMode::system), &AerivoStore::curveEffectLabel,
         keyed(L10nKey::curveWouldHold)},
        {"off, 50 slower", at(-50.0, FanControlMode::system), &AerivoStore::curveEffectLabel,
         [](AppLanguage l) { return L10n::format(L10nKey::curveWouldSlowDown, l, "50 RPM"); }},
        {"off, 300 faster", at(300.0, FanControlMode::system), &AerivoStore::curveEffectLabel,
         [](AppLanguage l) { return L10n::format(L10nKey::curveWouldSpeedUp, l, "300 RPM"); }},
        {"on, 49 faster", at(49.0, FanControlMode::curve), &AerivoStore::curveEffectLabel,
         keyed(L10nKey::curveTargetNearCurrent)},
        {"on, 120 slower", at(-120.0, FanControlMode::curve), &AerivoStore::curveEffectLabel,
         [](AppLanguage l) {
             return L10n::format(L10nKey::curveTargetWillSlowDown, l, "120 RPM");
         }},
        {"on, 50 faster", at(50.0, FanControlMode::curve), &AerivoStore::curveEffectLabel,
         [](AppLanguage l) { return L10n::format(L10nKey::curveTargetWillSpeedUp, l, "50 RPM"); }},
        {"two fans, plan locked", linkedLocked, &AerivoStore::curveEffectLabel,
         [&](AppLanguage l) { return L10n::format(L10nKey::linkedPreview, l, percent, linked); }},
        {"two fans, writing", linkedWriting, &AerivoStore::curveEffectLabel,
         [&](AppLanguage l) { return L10n::format(L10nKey::linkedTarget, l, percent, linked); }},
        {"two fans, curve off", linkedOff, &AerivoStore::curveEffectLabel,
         [&](AppLanguage l) { return L10n::format(L10nKey::linkedPreview, l, percent, linked); }},
    };
    for (AppLanguage language : allAppLanguages) {
        for (const TextRow& row : rows) {
            EXPECT_EQ(row.text(show(row.state, language)), row.expected(language))
                << row.name << " " << rawValue(language);
        }
    }
}

TEST_F(StoreTexts, MenuBarShowsTheShareOfTheMaximumWhenItIsKnown) {
    struct Row {
        std::optional<double> maximum;
        double actual;
        std::optional<double> percent;
        const char* menuBar;
    };
    for (const Row& row : {Row{6000.0, 3000.0, 0.5, "50%"}, Row{6000.0, 7000.0, 1.0, "100%"},
                           Row{6000.0, -10.0, 0.0, "0%"}, Row{std::nullopt, 2345.4, {}, "2345 RPM"},
                           Row{0.0, 2345.4, {}, "2345 RPM"}}) {
        State state;
        state.capabilities = FanHardwareCapabilities(1, 1200.0, row.maximum, 2000.0, "SMC");
        state.actualRPM = row.actual;
        const AerivoStore& shown = show(state);
        EXPECT_EQ(shown.currentFanPercent(), row.percent) << row.actual;
        EXPECT_EQ(shown.menuBarStatusText(), row.menuBar) << row.actual;
    }
}

TEST_F(StoreTexts, HardwareDetailCarriesTheStatusOnItsOwnLine) {
    AerivoStore& shown = show(State{});
    EXPECT_EQ(shown.hardwareDetailText(), shown.hardwareCapabilities().detailText());
    EXPECT_EQ(shown.hardwareRangeText(), "1200 RPM - 6200 RPM");
    shown.showWriteRequirements();
    EXPECT_EQ(shown.hardwareDetailText(), shown.hardwareCapabilities().detailText() + "\n" +
                                              shown.writeSafetyPlan().actionMessage());
    EXPECT_EQ(shown.curveTargetPercent(),
              AerivoProfile::balanced().rpmPercent(AerivoProfile::balanced().targetRPM(60.0)));
    EXPECT_EQ(shown.curveRPMDelta(), AerivoProfile::balanced().targetRPM(60.0) - 2000.0);
}

TEST_F(StoreTexts, UpdateTextsInEveryLanguage) {
    using Status = AppUpdateCheckResult::Status;
    struct Row {
        AppUpdateCheckResult result;
        std::function<std::string(AppLanguage)> expected;
        std::optional<std::string> releaseURL;
    };
    const std::vector<Row> rows{
        {{Status::updateAvailable, "1.0.0", "1.2.0", "https://example.org/r", std::nullopt},
         [](AppLanguage l) { return L10n::format(L10nKey::updateAvailable, l, "1.2.0", "1.0.0"); },
         "https://example.org/r"},
        {{Status::updateAvailable, "1.0.0", std::nullopt, std::nullopt, std::nullopt},
         [](AppLanguage l) { return L10n::format(L10nKey::updateAvailable, l, "", "1.0.0"); },
         std::nullopt},
        {{Status::upToDate, "1.0.0", "1.0.0", "https://example.org/r", std::nullopt},
         [](AppLanguage l) { return L10n::format(L10nKey::upToDate, l, "1.0.0"); },
         std::nullopt},
        {{Status::unavailable, "1.0.0", std::nullopt, std::nullopt, "No URL."},
         keyed(L10nKey::updateCheckUnavailable),
         std::nullopt},
        {{Status::failed, "1.0.0", std::nullopt, std::nullopt, "timed out"},
         [](AppLanguage l) { return L10n::format(L10nKey::updateCheckFailed, l, "timed out"); },
         std::nullopt},
        {{Status::failed, "1.0.0", std::nullopt, std::nullopt, std::nullopt},
         [](AppLanguage l) { return L10n::format(L10nKey::updateCheckFailed, l, ""); },
         std::nullopt},
    };
    for (AppLanguage language : allAppLanguages) {
        AerivoStore& shown = show(State{}, language);
        EXPECT_FALSE(shown.updateStatusText());
        for (const Row& row : rows) {
            harness->updateChecker->result = row.result;
            shown.checkForUpdates();
            harness->loop.runUntilIdle();
            ASSERT_TRUE(shown.updateStatusText()) << rawValue(language);
            EXPECT_EQ(*shown.updateStatusText(), row.expected(language)) << rawValue(language);
            EXPECT_EQ(shown.updateReleaseURL(), row.releaseURL);
        }
    }
}

// The visibility flags of the write and detection actions, in the order of their rows.
struct Flags {
    bool detection, useRange, helperInstall, reset, curveTest, requirements;
    friend bool operator==(const Flags&, const Flags&) = default;
};

TEST_F(StoreTexts, WhichActionsAreOffered) {
    State ready;
    ready.health = StoreHarness::writeCapableHealth();
    State readyInCurve = ready;
    readyInCurve.mode = FanControlMode::curve;
    State unsupported;
    unsupported.capabilities = noFan;
    unsupported.health = StoreHarness::writeCapableHealth();
    State noSpeed;
    noSpeed.capabilities = StoreHarness::oneFan(std::nullopt);
    State rangeDiffers = ready;
    rangeDiffers.capabilities = FanHardwareCapabilities(1, 1198.5, 6200.0, 2000.0, "SMC");
    State rangeWithin = ready;
    rangeWithin.capabilities = FanHardwareCapabilities(1, 1199.0, 6201.0, 2000.0, "SMC");
    State noResetPath = ready;
    noResetPath.health.resetCommandAccepted = false;
    State safetyInSystem = ready;
    safetyInSystem.temperatureC = 95.0;

    struct Row {
        const char* name;
        State state;
        Flags flags;
    };
    for (const Row& row : {
             Row{"ready", ready, {false, false, false, false, true, false}},
             Row{"ready in curve", readyInCurve, {false, false, false, true, false, false}},
             Row{"no fan", unsupported, {false, false, false, false, false, false}},
             Row{"no live speed", noSpeed, {true, false, true, false, false, true}},
             Row{"axis 1.5 rpm off", rangeDiffers, {false, true, false, false, true, false}},
             Row{"axis within 1 rpm", rangeWithin, {false, false, false, false, true, false}},
             Row{"no reset path", noResetPath, {false, false, true, false, false, true}},
             Row{"safety in system", safetyInSystem, {false, false, false, false, true, false}},
         }) {
        const AerivoStore& shown = show(row.state);
        const Flags flags{
            shown.shouldShowHardwareDetectionActions(), shown.shouldShowUseHardwareRangeAction(),
            shown.shouldShowHelperInstallAction(),      shown.shouldShowResetToSystemAction(),
            shown.shouldShowCurveTargetTestAction(),    shown.shouldShowWriteRequirementsAction()};
        EXPECT_EQ(flags, row.flags) << row.name;
        EXPECT_EQ(shown.shouldShowAdminHardwareDetectionAction(), flags.detection) << row.name;
        EXPECT_EQ(shown.shouldShowWriteActions(),
                  flags.helperInstall || flags.reset || flags.curveTest || flags.requirements)
            << row.name;
    }
}

} // namespace
} // namespace aerivo
