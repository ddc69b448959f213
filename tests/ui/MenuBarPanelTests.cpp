#include "app/l10n/Formatters.h"
#include "app/l10n/L10n.h"
#include "app/ui/MenuBarPanelView.h"
#include "app/ui/ModeBadge.h"
#include "app/ui/ModeTint.h"
#include "app/ui/StorePresentation.h"
#include "app/ui/ToggleSwitch.h"
#include "tests/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace aerivo {
namespace {

// A panel showing the store, re-read on every change, as the controller keeps it.
struct ShownPanel {
    explicit ShownPanel(AerivoStore& store)
        : store(store), view(StorePresentation::menuBarPanelActions(store, nullptr, nullptr)) {
        observation = store.observe([this](AerivoStoreProperty) {
            view.render(StorePresentation::menuBarPanelState(this->store));
        });
        view.render(StorePresentation::menuBarPanelState(store));
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    AerivoStore& store;
    MenuBarPanelView view;
    AerivoStoreObservation observation;
};

TEST(MenuBarPanel, ShowsTheStoresTextsInEveryLanguageWithoutClippingThem) {
    UiHarness harness;
    auto store = harness.make();
    ShownPanel panel(*store);
    for (const AppLanguage language : allAppLanguages) {
        store->setLanguage(language);
        const auto text = [&](L10nKey key) {
            return QString::fromStdString(L10n::text(key, language));
        };
        const QStringList expected{
            text(L10nKey::aerivoMac),
            QString::fromStdString(displayName(FanControlMode::system, language)),
            text(L10nKey::liveTemp),
            QString::fromStdString(Formatters::temperature(50)),
            text(L10nKey::rpm),
            "3000 RPM",
            text(L10nKey::curve),
            QString::fromStdString(Formatters::rpm(store->curveTargetRPM())),
            text(L10nKey::limit),
            QString::fromStdString(Formatters::temperature(store->profile().safetyLimitC)),
            QString::fromStdString(StorePresentation::menuBarPanelState(*store).effectCaption),
            text(L10nKey::controlWithCurve),
            QString::fromStdString(
                L10n::format(L10nKey::range, language, store->hardwareCapabilities().rangeText())),
            text(L10nKey::openCurveEditor),
            text(L10nKey::installHelper),
            text(L10nKey::quitAerivoMac)};
        EXPECT_EQ(panel.view.visibleTexts(), expected) << rawValue(language);
        // Every single-line label fits its width; wrapped ones fit their height.
        for (const QLabel* label : panel.view.findChildren<QLabel*>()) {
            if (!label->wordWrap()) {
                EXPECT_LE(label->sizeHint().width(), label->width())
                    << rawValue(language) << ": " << label->text().toStdString();
            } else {
                EXPECT_LE(label->heightForWidth(label->width()), label->height())
                    << rawValue(language) << ": " << label->text().toStdString();
            }
        }
        EXPECT_LE(panel.view.curveSwitch().sizeHint().width(), panel.view.curveSwitch().width())
            << rawValue(language);
        for (const QPushButton* button : panel.view.findChildren<QPushButton*>()) {
            EXPECT_LE(button->sizeHint().width(), button->width()) << rawValue(language);
            EXPECT_TRUE(button->toolTip().isEmpty()) << "elided: " << button->text().toStdString();
        }
    }
}

TEST(MenuBarPanel, ActionButtonsAppearAndDisappearWithTheStoresFlagsWhileShown) {
    UiHarness harness;
    harness.helper->health = StoreHarness::writeCapableHealth();
    auto store = harness.make();
    ShownPanel panel(*store);
    struct Step {
        const char* what;
        std::function<void()> act;
        bool reset, helper, test;
        FanControlMode mode;
    };
    const std::vector<Step> steps{
        {"write-capable, system mode", [] {}, false, false, true, FanControlMode::system},
        {"curve switch on", [&] { QTest::mouseClick(&panel.view.curveSwitch(), Qt::LeftButton); },
         true, false, false, FanControlMode::curve},
        {"reset", [&] { QTest::mouseClick(&panel.view.resetButton(), Qt::LeftButton); }, false,
         false, true, FanControlMode::system},
        {"helper loses its heartbeat",
         [&] {
             harness.helper->health.hasHeartbeat = false;
             store->refreshHelperHealth();
         },
         false, true, false, FanControlMode::system},
    };
    for (const Step& step : steps) {
        step.act();
        EXPECT_EQ(store->mode(), step.mode) << step.what;
        EXPECT_EQ(panel.view.curveSwitch().isChecked(), step.mode == FanControlMode::curve)
            << step.what;
        EXPECT_EQ(panel.view.resetButton().isVisible(), step.reset) << step.what;
        EXPECT_EQ(panel.view.helperButton().isVisible(), step.helper) << step.what;
        EXPECT_EQ(panel.view.testButton().isVisible(), step.test) << step.what;
        EXPECT_TRUE(panel.view.quitButton().isVisible()) << step.what;
        EXPECT_GE(panel.view.height(), MenuBarPanelView::panelMinimumHeight) << step.what;
    }
    EXPECT_EQ(panel.view.helperButton().text().toStdString(), store->helperInstallActionTitle());
}

TEST(MenuBarPanel, CurveSwitchTurnsCurveModeOnAndIsShownButDisabledWithoutAFan) {
    for (const bool hasFan : {true, false}) {
        UiHarness harness(hasFan ? StoreHarness::oneFan(3000.0) : noFan());
        auto store = harness.make();
        ShownPanel panel(*store);
        ToggleSwitch& curveSwitch = panel.view.curveSwitch();
        EXPECT_TRUE(curveSwitch.isVisible());
        EXPECT_EQ(curveSwitch.isEnabled(), hasFan);
        QTest::mouseClick(&curveSwitch, Qt::LeftButton);
        EXPECT_EQ(curveSwitch.isChecked(), hasFan);
        EXPECT_EQ(store->mode(), hasFan ? FanControlMode::curve : FanControlMode::system);
    }
}

TEST(MenuBarPanel, BadgeTintFollowsTheEffectiveModeAndFillsAtSixteenPercent) {
    struct Case {
        FanControlMode mode;
        double temperatureC;
        FanControlMode effective;
    };
    for (const Case& c : {Case{FanControlMode::system, 50, FanControlMode::system},
                          Case{FanControlMode::curve, 50, FanControlMode::curve},
                          Case{FanControlMode::curve, 99, FanControlMode::safety}}) {
        UiHarness harness;
        harness.controller->temperatureC = c.temperatureC;
        auto store = harness.make(c.mode);
        ASSERT_EQ(store->effectiveMode(), c.effective);
        ShownPanel panel(*store);
        const QPalette& palette = panel.view.palette();
        const QColor expected = c.effective == FanControlMode::curve ? tealColor()
                                : c.effective == FanControlMode::safety
                                    ? orangeColor()
                                    : secondaryTextColor(palette);
        const ModeBadge& badge = panel.view.modeBadge();
        EXPECT_EQ(badge.tint(), expected) << rawValue(c.effective);
        EXPECT_EQ(badge.title().toStdString(), displayName(c.effective, AppLanguage::english));
        // On screen: the capsule's fill above the title is the tint at 16 % over the window.
        const QColor fill = shownColor(badge, QPoint(badge.width() / 2, 2));
        EXPECT_TRUE(nearlyEqual(
            fill, blended(palette.color(QPalette::Window), expected, 0.16 * expected.alphaF())))
            << rawValue(c.effective) << " " << fill.name().toStdString();
    }
}

TEST(MenuBarPanel, EffectCaptionIsOrangeWhenTheCurveSlowsTheFanAndTealOtherwise) {
    for (const double delta : {-100.0, -1.0, 0.0, 100.0}) {
        UiHarness harness;
        auto store = harness.make();
        harness.actualRPM = store->curveTargetRPM() - delta;
        harness.tick();
        ShownPanel panel(*store);
        const QColor color = panel.view.effectCaption().palette().color(QPalette::WindowText);
        EXPECT_EQ(color, delta < 0 ? orangeColor() : tealColor()) << delta;
    }
}

} // namespace
} // namespace aerivo
