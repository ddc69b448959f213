#include "app/l10n/Formatters.h"
#include "app/l10n/L10n.h"
#include "tests/store/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <variant>

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
    bool isLive = true;

    State with(std::function<void(State&)> change) const {
        State copy = *this;
        change(copy);
        return copy;
    }
};

const State base;
const State curve = base.with([](State& s) { s.mode = FanControlMode::curve; });
const State fanOff = curve.with([](State& s) {
    s.profile.updateFanOffThresholdEnabled(true);
    s.temperatureC = 44.0;
});
const State noFan = base.with([](State& s) {
    s.capabilities = FanHardwareCapabilities(0, std::nullopt, std::nullopt, std::nullopt, "No fan",
                                             {}, FanHardwareSupportStatus::unsupportedNoFan);
    s.health = StoreHarness::writeCapableHealth();
});
const State simulated = base.with([](State& s) {
    s.capabilities = StoreHarness::oneFan(std::nullopt);
    s.isLive = false;
});
FanHardwareCapabilities twoFanCapabilities(std::optional<double> current) {
    return FanHardwareCapabilities(2, std::nullopt, std::nullopt, std::nullopt, "SMC",
                                   {FanHardwareFan{0, "Fan 0", 1200.0, 6200.0, current, "SMC"},
                                    FanHardwareFan{1, "Fan 1", 1300.0, 6500.0, current, "SMC"}});
}
const State twoFans = curve.with([](State& s) { s.capabilities = twoFanCapabilities(2000.0); });
const State ready = base.with([](State& s) { s.health = StoreHarness::writeCapableHealth(); });

// A text expected as a table text, a table format with its arguments, or a literal.
using Expected = std::variant<L10nKey, std::pair<L10nKey, std::vector<std::string>>, std::string>;

std::string expectedText(const Expected& expected, AppLanguage language) {
    if (const auto* key = std::get_if<L10nKey>(&expected)) {
        return L10n::text(*key, language);
    }
    if (const auto* format = std::get_if<1>(&expected)) {
        return L10n::format(format->first, language, format->second);
    }
    return std::get<std::string>(expected);
}

struct TextRow {
    const char* name;
    State state;
    std::string (AerivoStore::*text)() const;
    Expected expected;
};

class StoreTexts : public ::testing::Test {
protected:
    AerivoStore& show(const State& state, AppLanguage language = AppLanguage::english) {
        store.reset();
        harness = std::make_unique<StoreHarness>();
        harness->controller->capabilities = state.capabilities;
        harness->helper->health = state.health;
        harness->controller->nextSnapshot = [this, state] {
            return ThermalSnapshot{state.temperatureC, state.actualRPM, 2100.0,
                                   "sensor",           state.isLive,    harness->loop.now()};
        };
        store = harness->make(state.mode, state.profile, false, false);
        store->setLanguage(language);
        return *store;
    }

    void expectTexts(const std::vector<TextRow>& rows) {
        for (AppLanguage language : allAppLanguages) {
            for (const TextRow& row : rows) {
                const AerivoStore& shown = show(row.state, language);
                EXPECT_EQ((shown.*row.text)(), expectedText(row.expected, language))
                    << row.name << " " << rawValue(language);
            }
        }
    }

    std::unique_ptr<StoreHarness> harness;
    std::unique_ptr<AerivoStore> store;
};

TEST_F(StoreTexts, ReadingsModesAndTargetsInEveryLanguage) {
    using S = AerivoStore;
    const std::string target = Formatters::rpm(AerivoProfile::balanced().targetRPM(60.0));
    const std::vector<TextRow> rows{
        {"mode fan-off", fanOff, &S::effectiveModeTitle, L10nKey::fanOffRange},
        {"mode detail fan-off", fanOff, &S::effectiveModeDetail,
         std::pair{L10nKey::fanOffRangeDescription, std::vector<std::string>{"45 C"}}},
        {"mode curve", curve, &S::effectiveModeTitle, L10nKey::curveMode},
        {"mode detail curve", curve, &S::effectiveModeDetail, L10nKey::curveModeDescription},
        {"reading no fan", noFan, &S::fanReadingTitle, L10nKey::noFan},
        {"reading two fans", twoFans, &S::fanReadingTitle, L10nKey::actualFans},
        {"reading simulated", simulated, &S::fanReadingTitle, L10nKey::simulatedFan},
        {"reading two simulated",
         twoFans.with([](State& s) { s.capabilities = twoFanCapabilities(std::nullopt); }),
         &S::fanReadingTitle, L10nKey::simulatedFan},
        {"reading one fan", base, &S::fanReadingTitle, L10nKey::actualFan},
        {"reading value no fan", noFan, &S::fanReadingValueText, L10nKey::unsupported},
        {"reading detail no fan", noFan, &S::fanReadingDetailText, L10nKey::fanlessUnsupported},
        {"reading detail simulated", simulated, &S::fanReadingDetailText,
         L10nKey::hardwareRPMUnavailable},
        {"reading detail", base, &S::fanReadingDetailText, std::string("SMC")},
        {"temperature live", base, &S::temperatureReadingTitle, L10nKey::liveTemperature},
        {"temperature mock title", simulated, &S::temperatureReadingTitle,
         L10nKey::mockTemperature},
        {"temperature mock", simulated, &S::menuTemperatureLabel, L10nKey::mockTemp},
        {"curve target fan-off", fanOff, &S::curveTargetValueText, L10nKey::fanOff},
        {"curve target no fan", noFan, &S::curveTargetValueText, L10nKey::disabled},
        {"curve target", base, &S::curveTargetValueText, target},
        {"active target fan-off", fanOff, &S::activeTargetValueText, L10nKey::fanOff},
        {"active target no fan", noFan, &S::activeTargetValueText, L10nKey::disabled},
        {"active target", base, &S::activeTargetValueText, std::string("2100 RPM")},
        {"menu speed label no fan", noFan, &S::menuRPMLabel, L10nKey::fan},
        {"menu speed label simulated", simulated, &S::menuRPMLabel, L10nKey::simRPM},
        {"menu fan value no fan", noFan, &S::menuFanValueText, L10nKey::none},
        {"helper install", base, &S::helperInstallActionTitle, L10nKey::installHelper},
        {"helper update", ready, &S::helperInstallActionTitle, L10nKey::updateHelper},
    };
    expectTexts(rows);
    EXPECT_EQ(show(base).helperInstallActionIcon(), "key");
    EXPECT_EQ(show(ready).helperInstallActionIcon(), "checkmark.shield");
    EXPECT_EQ(show(base).writeReadinessValueText(), show(base).writeSafetyPlan().title);
}

TEST_F(StoreTexts, TheCurveEffectExplainsWhatTheCurveDoesToTheFan) {
    const double target = AerivoProfile::balanced().targetRPM(60.0);
    const auto off = [&](double delta) {
        return base.with([=](State& s) { s.actualRPM = target - delta; });
    };
    const auto on = [&](double delta) {
        return curve.with([=](State& s) { s.actualRPM = target - delta; });
    };
    const double fraction = AerivoProfile::balanced().rpmPercent(target);
    const std::vector<std::string> linked{Formatters::percent(fraction),
                                          twoFans.capabilities.linkedTargetText(fraction)};
    ASSERT_FALSE(linked[1].empty());
    const auto formatted = [](L10nKey key, std::vector<std::string> arguments) {
        return Expected(std::pair{key, std::move(arguments)});
    };
    const auto effect = &AerivoStore::curveEffectLabel;
    const std::vector<TextRow> rows{
        {"fan-off", fanOff, effect, formatted(L10nKey::fanOffRangeActive, {"45 C"})},
        {"off, 49 slower", off(-49.0), effect, L10nKey::curveWouldHold},
        {"off, 50 slower", off(-50.0), effect, formatted(L10nKey::curveWouldSlowDown, {"50 RPM"})},
        {"off, 300 faster", off(300.0), effect, formatted(L10nKey::curveWouldSpeedUp, {"300 RPM"})},
        {"on, 49 faster", on(49.0), effect, L10nKey::curveTargetNearCurrent},
        {"on, 120 slower", on(-120.0), effect,
         formatted(L10nKey::curveTargetWillSlowDown, {"120 RPM"})},
        {"on, 50 faster", on(50.0), effect, formatted(L10nKey::curveTargetWillSpeedUp, {"50 RPM"})},
        {"two fans, plan locked", twoFans, effect, formatted(L10nKey::linkedPreview, linked)},
        {"two fans, writing",
         twoFans.with([](State& s) { s.health = StoreHarness::writeCapableHealth(); }), effect,
         formatted(L10nKey::linkedTarget, linked)},
    };
    expectTexts(rows);
}

TEST_F(StoreTexts, MenuBarShowsTheShareOfTheMaximumWhenItIsKnown) {
    struct Row {
        std::optional<double> maximum;
        double actual;
        std::optional<double> percent;
        const char* menuBar;
    };
    for (const Row& row :
         {Row{6000.0, 3000.0, 0.5, "50%"}, Row{6000.0, 7000.0, 1.0, "100%"},
          Row{std::nullopt, 2345.4, {}, "2345 RPM"}, Row{0.0, 2345.4, {}, "2345 RPM"}}) {
        const AerivoStore& shown = show(base.with([&](State& s) {
            s.capabilities = FanHardwareCapabilities(1, 1200.0, row.maximum, 2000.0, "SMC");
            s.actualRPM = row.actual;
        }));
        EXPECT_EQ(shown.currentFanPercent(), row.percent) << row.actual;
        EXPECT_EQ(shown.menuBarStatusText(), row.menuBar) << row.actual;
    }
    EXPECT_EQ(show(noFan).menuBarStatusText(), "Fan");
    AerivoStore& shown = show(base);
    shown.showWriteRequirements();
    EXPECT_EQ(shown.hardwareDetailText(), shown.hardwareCapabilities().detailText() + "\n" +
                                              shown.writeSafetyPlan().actionMessage());
}

TEST_F(StoreTexts, UpdateTextsInEveryLanguage) {
    using Status = AppUpdateCheckResult::Status;
    using Strings = std::vector<std::string>;
    struct Row {
        AppUpdateCheckResult result;
        Expected expected;
        std::optional<std::string> releaseURL;
    };
    const std::string url = "https://example.org/r";
    const std::vector<Row> rows{
        {{Status::updateAvailable, "1.0", "1.2", url, {}},
         std::pair{L10nKey::updateAvailable, Strings{"1.2", "1.0"}},
         url},
        {{Status::updateAvailable, "1.0", {}, {}, {}},
         std::pair{L10nKey::updateAvailable, Strings{"", "1.0"}},
         {}},
        {{Status::upToDate, "1.0", "1.0", url, {}},
         std::pair{L10nKey::upToDate, Strings{"1.0"}},
         {}},
        {{Status::unavailable, "1.0", {}, {}, "No URL."}, L10nKey::updateCheckUnavailable, {}},
        {{Status::failed, "1.0", {}, {}, "timed out"},
         std::pair{L10nKey::updateCheckFailed, Strings{"timed out"}},
         {}},
        {{Status::failed, "1.0", {}, {}, {}},
         std::pair{L10nKey::updateCheckFailed, Strings{""}},
         {}},
    };
    for (AppLanguage language : allAppLanguages) {
        AerivoStore& shown = show(base, language);
        EXPECT_FALSE(shown.updateStatusText());
        for (const Row& row : rows) {
            harness->updateChecker->result = row.result;
            shown.checkForUpdates();
            harness->loop.runUntilIdle();
            EXPECT_EQ(shown.updateStatusText(), expectedText(row.expected, language));
            EXPECT_EQ(shown.updateReleaseURL(), row.releaseURL);
        }
    }
}

// The visibility flags of the write and detection actions.
struct Flags {
    bool detection, useRange, helperInstall, reset, curveTest, requirements;
    friend bool operator==(const Flags&, const Flags&) = default;
};

TEST_F(StoreTexts, WhichActionsAreOffered) {
    const auto range = [](double minimum, double maximum) {
        return ready.with([=](State& s) {
            s.capabilities = FanHardwareCapabilities(1, minimum, maximum, 2000.0, "SMC");
        });
    };
    struct Row {
        const char* name;
        State state;
        Flags flags;
    };
    for (const Row& row : {
             Row{"ready", ready, {false, false, false, false, true, false}},
             Row{"ready in curve",
                 ready.with([](State& s) { s.mode = FanControlMode::curve; }),
                 {false, false, false, true, false, false}},
             Row{"no fan", noFan, {false, false, false, false, false, false}},
             Row{"no live speed", simulated, {true, false, true, false, false, true}},
             Row{"axis 1.5 rpm off",
                 range(1198.5, 6200.0),
                 {false, true, false, false, true, false}},
             Row{"axis within 1 rpm",
                 range(1199.0, 6201.0),
                 {false, false, false, false, true, false}},
             Row{"no reset path",
                 ready.with([](State& s) { s.health.resetCommandAccepted = false; }),
                 {false, false, true, false, false, true}},
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
