#include "app/l10n/L10n.h"
#include "app/ui/AppDelegate.h"
#include "app/ui/MenuBarPanelView.h"
#include "app/ui/StorePresentation.h"
#include "app/ui/ToggleSwitch.h"
#include "tests/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTest>

namespace aerivo {
namespace {

TEST(StatusBarController, WithoutATrayThePanelOpensAsAWindowAndClosingItQuits) {
    UiHarness harness;
    auto store = harness.make();
    int quits = 0;
    bool trayAvailable = false;
    ::testing::internal::CaptureStderr();
    StatusBarController controller(*store,
                                   {[&] { ++quits; }, [] {}, [&] { return trayAvailable; }});
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("no system tray"), std::string::npos) << said;

    MenuBarPanelView& panel = controller.panel();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    EXPECT_TRUE(controller.isPanelInWindow());
    EXPECT_FALSE(panel.windowFlags().testFlag(Qt::Popup));
    EXPECT_EQ(panel.windowTitle(), "Aerivo Mac");
    panel.close();
    EXPECT_EQ(quits, 1);

    // A tray that appeared meanwhile takes over: the next click opens the popup, and closing
    // windows no longer quits.
    trayAvailable = true;
    controller.togglePopover();
    EXPECT_TRUE(panel.isVisible());
    EXPECT_TRUE(panel.windowFlags().testFlag(Qt::Popup));
    controller.togglePopover();
    EXPECT_FALSE(panel.isVisible());
    EXPECT_EQ(quits, 1);
}

TEST(StatusBarController, ClickTogglesAFramelessPopupThatIgnoresTheClosingClick) {
    UiHarness harness;
    auto store = harness.make();
    ::testing::internal::CaptureStderr();
    StatusBarController controller(*store, {[] {}, [] {}, [] { return true; }});
    EXPECT_EQ(::testing::internal::GetCapturedStderr().find("no system tray"), std::string::npos);
    MenuBarPanelView& panel = controller.panel();
    EXPECT_FALSE(panel.isVisible());
    for (int round = 0; round < 2; ++round) {
        controller.togglePopover();
        ASSERT_TRUE(panel.isVisible());
        EXPECT_TRUE(panel.windowFlags().testFlag(Qt::Popup));
        EXPECT_TRUE(panel.windowFlags().testFlag(Qt::FramelessWindowHint));
        EXPECT_TRUE(panel.testAttribute(Qt::WA_NoMouseReplay));
        EXPECT_EQ(panel.width(), MenuBarPanelView::panelWidth);
        EXPECT_GE(panel.height(), MenuBarPanelView::panelMinimumHeight);
        // Without the icon's place the panel sits at the cursor, inside the screen.
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_TRUE(available.contains(panel.geometry())) << panel.x() << "," << panel.y();
        controller.togglePopover();
        EXPECT_FALSE(panel.isVisible());
    }
}

TEST(StatusBarController, PanelGoesBelowTheIconOrAboveItAndStaysOnTheScreen) {
    const QRect screen(0, 0, 1280, 800);
    const QSize panel(300, 430);
    struct Case {
        QRect icon;
        QPoint cursor;
        QPoint expected;
    };
    for (const Case& c : {
             Case{QRect(600, 0, 54, 22), {}, {476, 22}},    // centred below
             Case{QRect(1240, 0, 54, 22), {}, {980, 22}},   // pushed in from the right
             Case{QRect(10, 0, 54, 22), {}, {0, 22}},       // and from the left
             Case{QRect(600, 778, 54, 22), {}, {476, 348}}, // a bottom tray: above
             Case{QRect(), QPoint(700, 5), {550, 6}},       // no geometry: at the cursor
             Case{QRect(), QPoint(1279, 799), {980, 369}},  // clamped into the screen
         }) {
        EXPECT_EQ(StatusBarController::panelPosition(c.icon, c.cursor, panel, screen), c.expected)
            << c.icon.x() << "," << c.icon.y() << " cursor " << c.cursor.x() << "," << c.cursor.y();
    }
}

TEST(StatusBarController, EditorWindowIsCreatedOnceAndCentredOnlyTheFirstTime) {
    UiHarness harness;
    auto store = harness.make();
    StatusBarController controller(*store, {[] {}, [] {}, [] { return true; }});
    EXPECT_EQ(controller.editorWindow(), nullptr);
    controller.togglePopover();
    controller.showEditorWindow();
    QMainWindow* window = controller.editorWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(controller.panel().isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_EQ(window->windowTitle(), "Curve Editor");
    EXPECT_EQ(window->size(), StatusBarController::editorWindowDefaultSize);
    EXPECT_EQ(window->minimumSize(), StatusBarController::editorWindowMinimumSize);
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((window->geometry().center() - available.center()).manhattanLength(), 4)
        << window->geometry().x() << "," << window->geometry().y() << " " << available.width()
        << "x" << available.height();

    const QPoint moved = window->pos() + QPoint(40, 30);
    window->move(moved);
    window->close();
    EXPECT_FALSE(window->isVisible());
    for (int again = 0; again < 2; ++again) {
        controller.showEditorWindow();
        EXPECT_EQ(controller.editorWindow(), window);
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->pos(), moved);
    }
}

TEST(StatusBarController, TheOpenPanelFollowsTheHelperWorkItsControlsStarted) {
    UiHarness harness;
    harness.helper->health = StoreHarness::writeCapableHealth();
    harness.queueHelperCalls();
    auto store = harness.make();
    harness.loop.runUntilIdle();
    StatusBarController controller(*store, {[] {}, [] {}, [] { return true; }});
    controller.togglePopover();
    MenuBarPanelView& panel = controller.panel();
    ASSERT_TRUE(panel.isVisible());
    harness.helperQueue->setHolding(true);

    // The 5-second test: its button says so and the other helper controls wait.
    ASSERT_FALSE(panel.testButton().isHidden());
    QTest::mouseClick(&panel.testButton(), Qt::LeftButton);
    EXPECT_EQ(panel.testButton().text().toStdString(), "Checking helper...");
    EXPECT_FALSE(panel.testButton().isEnabled());
    // The switch could still be flipped: its request would wait its turn.
    EXPECT_TRUE(panel.curveSwitch().isEnabled());
    while (harness.helperQueue->heldCount() > 0) {
        harness.helperQueue->runHeld();
        harness.loop.runUntilIdle();
    }
    EXPECT_EQ(panel.testButton().text().toStdString(), "Test Curve Target for 5s");
    EXPECT_TRUE(panel.testButton().isEnabled());

    // The curve switch stays where the user put it while the helper is checked, then holds.
    QTest::mouseClick(&panel.curveSwitch(), Qt::LeftButton);
    EXPECT_TRUE(panel.curveSwitch().isChecked());
    EXPECT_FALSE(panel.curveSwitch().isEnabled());
    EXPECT_EQ(panel.curveSwitch().text().toStdString(), "Checking helper...");
    EXPECT_EQ(store->mode(), FanControlMode::system);
    harness.helperQueue->runHeld();
    harness.loop.runUntilIdle();
    EXPECT_EQ(store->mode(), FanControlMode::curve);
    EXPECT_TRUE(panel.curveSwitch().isChecked());
    EXPECT_TRUE(panel.curveSwitch().isEnabled());
    EXPECT_EQ(panel.curveSwitch().text().toStdString(), "Turn On Fan Control");
}

TEST(StatusBarController, TheTrayMenuSpeaksTheStoresLanguage) {
    UiHarness harness;
    auto store = harness.make();
    StatusBarController controller(*store, {[] {}, [] {}, [] { return true; }});
    const QList<QAction*> items = controller.statusItemMenu().actions();
    ASSERT_EQ(items.size(), 2);
    for (const AppLanguage language : allAppLanguages) {
        store->setLanguage(language);
        Q_EMIT controller.statusItemMenu().aboutToShow();
        EXPECT_EQ(items[0]->text().toStdString(), L10n::text(L10nKey::aboutAerivoMac, language));
        EXPECT_EQ(items[1]->text().toStdString(), L10n::text(L10nKey::quitAerivoMac, language));
    }
    EXPECT_EQ(items[0]->text().toStdString(), "Acerca de Aerivo Mac");
}

TEST(AppDelegate, ActivationCreatesOneControllerAndTerminationResetsOnce) {
    UiHarness harness;
    harness.helper->health = StoreHarness::writeCapableHealth();
    auto store = harness.make(FanControlMode::curve);
    int controllers = 0;
    bool guardHandlesLaunch = true;
    AppDelegate delegate([&] { return guardHandlesLaunch; },
                         [&](AerivoStore& pending) {
                             ++controllers;
                             return std::make_unique<StatusBarController>(
                                 pending,
                                 StatusBarController::Hooks{[] {}, [] {}, [] { return true; }});
                         },
                         StorePresentation::resetFanControlBeforeTermination);
    using Action = ScriptedPrivilegedHelperClient::Action;
    const std::size_t resetsAtStart = harness.helper->count(Action::reset);
    // Terminating before any store is handed over sends nothing.
    delegate.applicationWillTerminate();
    EXPECT_EQ(harness.helper->count(Action::reset), resetsAtStart);

    delegate.prepareStatusBarController(*store, harness.loop);
    EXPECT_EQ(controllers, 0) << "the controller waits for the event loop";
    harness.loop.runUntilIdle();
    delegate.applicationDidFinishLaunching();
    EXPECT_EQ(controllers, 0) << "a launch the install-location guard handles gets no status item";

    guardHandlesLaunch = false;
    delegate.prepareStatusBarController(*store, harness.loop);
    harness.loop.runUntilIdle();
    delegate.applicationDidFinishLaunching();
    delegate.activateStatusBarController();
    EXPECT_EQ(controllers, 1);
    ASSERT_NE(delegate.statusBarController(), nullptr);

    // Quit, aboutToQuit and a signal may all arrive: the helper gets one reset, and the mode is
    // left as it was (it is not saved).
    delegate.applicationWillTerminate();
    delegate.resetFanControlBeforeAppTermination();
    delegate.applicationWillTerminate();
    EXPECT_EQ(harness.helper->count(Action::reset), resetsAtStart + 1);
    EXPECT_EQ(store->mode(), FanControlMode::curve);
}

} // namespace
} // namespace aerivo
