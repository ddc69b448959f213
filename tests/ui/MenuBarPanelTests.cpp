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

TEST(MenuBarPanel, ActionButtonsAppearAndDisappearWithTheStatesFlagsWhileShown) {
    UiHarness harness;
    auto store = harness.make();
    ShownPanel panel(*store);
    MenuBarPanelState state = panel.view.state();
    struct Case {
        bool reset, helper, test;
    };
    for (const Case& c :
         {Case{true, false, false}, Case{false, true, false}, Case{false, false, true},
          Case{true, true, false}, Case{false, false, false}}) {
        state.resetTitle = c.reset ? std::optional<std::string>("Reset") : std::nullopt;
        state.helperTitle = c.helper ? std::optional<std::string>("Helper") : std::nullopt;
        state.testTitle = c.test ? std::optional<std::string>("Test") : std::nullopt;
        panel.view.render(state);
        EXPECT_EQ(panel.view.resetButton().isVisible(), c.reset);
        EXPECT_EQ(panel.view.helperButton().isVisible(), c.helper);
        EXPECT_EQ(panel.view.testButton().isVisible(), c.test);
        EXPECT_TRUE(panel.view.quitButton().isVisible());
        EXPECT_GE(panel.view.height(), MenuBarPanelView::panelMinimumHeight);
    }

    // Through the store: the helper button goes once the helper is healthy, and comes back.
    PrivilegedHelperHealth healthy = PrivilegedHelperHealth::unavailable();
    healthy.isPrivilegedInstallVerified = healthy.hasTrustedProvenance = healthy.hasHeartbeat =
        healthy.fanWritesEnabled = healthy.resetCommandAccepted = true;
    panel.view.render(StorePresentation::menuBarPanelState(*store));
    EXPECT_TRUE(panel.view.helperButton().isVisible());
    harness.helper->health = healthy;
    store->refreshHelperHealth();
    EXPECT_FALSE(panel.view.helperButton().isVisible());
    harness.helper->health.hasHeartbeat = false;
    store->refreshHelperHealth();
    EXPECT_TRUE(panel.view.helperButton().isVisible());
    EXPECT_EQ(panel.view.helperButton().text().toStdString(),
              L10n::text(L10nKey::updateHelper, AppLanguage::english));
}

TEST(MenuBarPanel, CurveSwitchIsShownButCannotBeFlippedWithoutAFan) {
    for (const bool hasFan : {true, false}) {
        UiHarness harness(hasFan ? oneFan() : noFan());
        auto store = harness.make();
        ShownPanel panel(*store);
        ToggleSwitch& curveSwitch = panel.view.curveSwitch();
        EXPECT_TRUE(curveSwitch.isVisible());
        EXPECT_EQ(curveSwitch.isEnabled(), hasFan);
        QTest::mouseClick(&curveSwitch, Qt::LeftButton);
        EXPECT_FALSE(curveSwitch.isChecked()) << "the switch shows the store's mode: " << hasFan;
        EXPECT_EQ(store->mode(), FanControlMode::system);
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
