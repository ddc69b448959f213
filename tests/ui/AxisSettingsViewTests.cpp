#include "app/ui/AxisSettingsView.h"
#include "app/ui/CurveEditorButton.h"
#include "app/ui/CurveEditorStepper.h"
#include "app/ui/ToggleSwitch.h"
#include "tests/ui/CurveEditorTestSupport.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <QToolButton>

namespace aerivo {
namespace {

using Controls = AxisSettingsView::Controls;

struct SettingsHarness : EditorStoreHarness {
    std::vector<QUrl> opened;
    std::unique_ptr<AxisSettingsView> view;

    explicit SettingsHarness(FanHardwareCapabilities capabilities = oneFan(),
                             FanControlMode mode = FanControlMode::system)
        : EditorStoreHarness(std::move(capabilities), mode) {
        view = std::make_unique<AxisSettingsView>(*store);
        view->setURLOpener([this](const QUrl& url) { opened.push_back(url); });
    }
    const Controls& controls() const { return view->controls(); }
};

void press(QAbstractButton* button, int times = 1) {
    for (int i = 0; i < times; ++i) {
        QTest::mouseClick(button, Qt::LeftButton);
    }
}

TEST(AxisSettingsViewTest, SteppersMoveByTheirStepAndStopAtTheirRanges) {
    struct Case {
        const char* name;
        CurveEditorStepper* Controls::*stepper;
        std::function<void(AerivoStore&)> before;
        bool up;
        int presses;
        double expected;
        bool stuckButtonDisabled; // at the stepper's own end rather than held by the axis rules
    };
    const auto none = [](AerivoStore&) {};
    const Case cases[] = {
        {"temperature minimum stops at 90", &Controls::temperatureMinimum, none, true, 80, 90,
         true},
        {"temperature minimum stops at 20", &Controls::temperatureMinimum, none, false, 20, 20,
         true},
        {"temperature maximum stops at 40", &Controls::temperatureMaximum, none, false, 80, 40,
         true},
        {"temperature maximum stops at 115", &Controls::temperatureMaximum, none, true, 30, 115,
         true},
        {"minimum keeps 5 C below the maximum", &Controls::temperatureMinimum,
         [](AerivoStore& store) { store.updateTemperatureAxis(std::nullopt, 60); }, true, 80, 55,
         false},
        {"safety limit stops at the axis maximum", &Controls::safetyLimit, none, true, 30, 100,
         true},
        {"speed minimum stops at 800", &Controls::rpmMinimum, none, false, 10, 800, true},
        {"speed minimum steps by 100", &Controls::rpmMinimum, none, true, 3, 1500, false},
        {"speed maximum stops at 8000", &Controls::rpmMaximum, none, true, 30, 8000, true},
    };
    for (const Case& c : cases) {
        SettingsHarness harness;
        c.before(*harness.store);
        CurveEditorStepper* stepper = harness.controls().*c.stepper;
        QToolButton* button = c.up ? stepper->upButton() : stepper->downButton();
        press(button, c.presses);
        EXPECT_DOUBLE_EQ(stepper->value(), c.expected) << c.name;
        EXPECT_EQ(button->isEnabled(), !c.stuckButtonDisabled) << c.name;
    }
    SettingsHarness harness;
    press(harness.controls().temperatureMinimum->upButton(), 80);
    EXPECT_DOUBLE_EQ(harness.store->profile().temperatureAxis.minimum, 90);
    EXPECT_DOUBLE_EQ(harness.savedProfile()->temperatureAxis.minimum, 90);
}

TEST(AxisSettingsViewTest, FanOffStepperShowsOnlyWhileFanOffIsOnAndKeepsItsValue) {
    SettingsHarness harness;
    const Controls& c = harness.controls();
    EXPECT_TRUE(c.fanOffThreshold->isHidden());
    press(c.fanOffEnabled);
    ASSERT_TRUE(harness.store->profile().isFanOffThresholdEnabled);
    EXPECT_FALSE(c.fanOffThreshold->isHidden());
    press(c.fanOffThreshold->downButton(), 3);
    EXPECT_DOUBLE_EQ(harness.store->profile().fanOffThresholdC, 42);

    press(c.fanOffEnabled);
    EXPECT_FALSE(harness.store->profile().isFanOffThresholdEnabled);
    EXPECT_TRUE(c.fanOffThreshold->isHidden());
    EXPECT_DOUBLE_EQ(harness.store->profile().fanOffThresholdC, 42);
    EXPECT_DOUBLE_EQ(harness.savedProfile()->fanOffThresholdC, 42);
    press(c.fanOffEnabled);
    EXPECT_EQ(c.fanOffThreshold->valueLabel()->text().toStdString(), "42 C");
}

TEST(AxisSettingsViewTest, WriteActionsFollowTheirFlagsAndTheSectionFollowsItsOwn) {
    struct Case {
        const char* name;
        FanHardwareCapabilities capabilities;
        bool writeCapableHelper;
        FanControlMode mode;
    };
    const Case cases[] = {
        {"no fan", noFan(), true, FanControlMode::system},
        {"helper missing", StoreHarness::oneFan(), false, FanControlMode::system},
        {"ready in system mode", StoreHarness::oneFan(), true, FanControlMode::system},
        {"ready in curve mode", StoreHarness::oneFan(), true, FanControlMode::curve},
    };
    for (const Case& c : cases) {
        SettingsHarness harness(c.capabilities, c.mode);
        if (c.writeCapableHelper) {
            harness.helper->health = StoreHarness::writeCapableHealth();
            harness.store->refreshHelperHealth();
        }
        const AerivoStore& store = *harness.store;
        const Controls& controls = harness.controls();
        EXPECT_EQ(!controls.writeSection->isHidden(), store.shouldShowWriteActions()) << c.name;
        EXPECT_EQ(!controls.installHelper->isHidden(), store.shouldShowHelperInstallAction());
        EXPECT_EQ(!controls.resetToSystem->isHidden(), store.shouldShowResetToSystemAction());
        EXPECT_EQ(!controls.testCurveTarget->isHidden(), store.shouldShowCurveTargetTestAction());
        EXPECT_EQ(!controls.showWriteRequirements->isHidden(),
                  store.shouldShowWriteRequirementsAction());
        EXPECT_EQ(controls.installHelper->text().toStdString(), store.helperInstallActionTitle());
        // Without a fan the speed steppers stay, disabled.
        const bool unsupported = store.hardwareCapabilities().isUnsupported();
        EXPECT_EQ(controls.rpmMinimum->isEnabled(), !unsupported) << c.name;
        EXPECT_EQ(controls.rpmMaximum->isEnabled(), !unsupported) << c.name;
        EXPECT_EQ(controls.rpmMinimum->isHidden(), false) << c.name;
        EXPECT_EQ(controls.rpmMaximum->isHidden(), false) << c.name;
    }
    // Only the section's own flag hides it, and a fanless Mac has nothing to write.
    EXPECT_TRUE(SettingsHarness(noFan()).controls().writeSection->isHidden());
    EXPECT_FALSE(SettingsHarness().controls().writeSection->isHidden());
}

TEST(AxisSettingsViewTest, AppSectionRunsTheLoginItemAndTheUpdateCheck) {
    SettingsHarness harness;
    const Controls& c = harness.controls();
    press(c.launchAtLogin);
    EXPECT_EQ(harness.loginItem->currentStatus, LoginItemStatus::enabled);
    EXPECT_TRUE(c.launchAtLogin->isChecked());
    harness.loginItem->failure = "denied";
    press(c.launchAtLogin);
    EXPECT_FALSE(c.launchAtLoginStatus->isHidden());
    EXPECT_EQ(c.launchAtLoginStatus->text().toStdString(), "Could not update login item: denied");

    EXPECT_TRUE(c.openUpdatePage->isHidden());
    harness.updateChecker->result =
        AppUpdateCheckResult{AppUpdateCheckResult::Status::updateAvailable, "1.0.0", "1.2.0",
                             "https://example.org/releases/1.2.0", std::nullopt};
    harness.background->setHolding(true);
    press(c.checkForUpdates);
    EXPECT_FALSE(c.checkForUpdates->isEnabled());
    EXPECT_EQ(c.checkForUpdates->text().toStdString(), "Checking...");
    harness.background->runHeld();
    harness.loop.runUntilIdle();
    EXPECT_TRUE(c.checkForUpdates->isEnabled());
    EXPECT_EQ(c.updateStatus->text().toStdString(), "Update available: 1.2.0 (current 1.0.0).");
    ASSERT_FALSE(c.openUpdatePage->isHidden());
    press(c.openUpdatePage);
    ASSERT_EQ(harness.opened.size(), 1u);
    EXPECT_EQ(harness.opened[0].toString().toStdString(), "https://example.org/releases/1.2.0");
}

TEST(AxisSettingsViewTest, PresetsAndDetectionButtonsCallTheStore) {
    // A fan without a live speed: detection buttons show; the range differs from the axis.
    SettingsHarness harness(FanHardwareCapabilities(1, 1000.0, 5200.0, std::nullopt, "SMC"));
    const Controls& c = harness.controls();
    ASSERT_EQ(c.presets.size(), 3u);
    EXPECT_EQ(c.presets[0]->text().toStdString(), "Quiet");
    press(c.presets[0]);
    EXPECT_EQ(harness.store->profile().name, "Quiet");
    EXPECT_EQ(harness.store->profile().rpmAxis.minimum, 1000);

    harness.store->updateRPMAxis(1500, std::nullopt);
    ASSERT_FALSE(c.useHardwareRange->isHidden());
    press(c.useHardwareRange);
    EXPECT_EQ(harness.store->profile().rpmAxis.minimum, 1000);
    EXPECT_TRUE(c.useHardwareRange->isHidden());

    // Detect Again reads the hardware again and leaves the speed axis as the user set it.
    harness.store->updateRPMAxis(1500, std::nullopt);
    ASSERT_FALSE(c.detectAgain->isHidden());
    EXPECT_FALSE(c.adminDetect->isHidden());
    const int reads = harness.controller->capabilityReads;
    press(c.detectAgain);
    EXPECT_EQ(harness.controller->capabilityReads, reads + 1);
    EXPECT_EQ(harness.store->profile().rpmAxis.minimum, 1500);
    EXPECT_EQ(harness.savedProfile()->rpmAxis.minimum, 1500);
}

TEST(AxisSettingsViewTest, AWriteActionSaysItIsCheckingTheHelperAndTheOthersWait) {
    StoreHarness harness;
    harness.controller->capabilities = StoreHarness::oneFan();
    harness.queueHelperCalls();
    const auto store = harness.make();
    harness.loop.runUntilIdle();
    AxisSettingsView view(*store);
    const Controls& c = view.controls();
    ASSERT_FALSE(c.installHelper->isHidden());
    ASSERT_FALSE(c.showWriteRequirements->isHidden());
    const QString installTitle = c.installHelper->text();

    harness.helperQueue->setHolding(true);
    press(c.installHelper);
    EXPECT_EQ(c.installHelper->text().toStdString(), "Checking helper...");
    EXPECT_FALSE(c.installHelper->isEnabled());
    EXPECT_FALSE(c.showWriteRequirements->isEnabled());
    EXPECT_EQ(c.showWriteRequirements->text().toStdString(), "Show Write Requirements");
    // Not yet installed: the click waits on the queue.
    EXPECT_EQ(harness.helper->count(ScriptedPrivilegedHelperClient::Action::install), 0u);

    harness.helperQueue->runHeld();
    harness.loop.runUntilIdle();
    EXPECT_EQ(harness.helper->count(ScriptedPrivilegedHelperClient::Action::install), 1u);
    EXPECT_EQ(c.installHelper->text(), installTitle);
    EXPECT_TRUE(c.installHelper->isEnabled());
    EXPECT_TRUE(c.showWriteRequirements->isEnabled());
}

} // namespace
} // namespace aerivo
