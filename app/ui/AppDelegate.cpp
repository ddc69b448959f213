#include "app/ui/AppDelegate.h"

#include "app/ui/StatusBarController.h"
#include "app/ui/UiTrace.h"

namespace aerivo {

AppDelegate::AppDelegate(std::function<bool()> shouldHandleLaunch, ControllerFactory makeController,
                         TerminationReset resetBeforeTermination)
    : shouldHandleLaunch_(std::move(shouldHandleLaunch)),
      makeController_(std::move(makeController)),
      resetBeforeTermination_(std::move(resetBeforeTermination)) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::prepareStatusBarController(AerivoStore& store, MainLoop& mainLoop) {
    pendingStatusBarStore_ = &store;
    mainLoop.post([this] { activateStatusBarController(); });
}

void AppDelegate::activateStatusBarController() {
    if (shouldHandleLaunch_ && shouldHandleLaunch_()) {
        return;
    }
    if (!retainedStatusBarController_ && pendingStatusBarStore_ && makeController_) {
        retainedStatusBarController_ = makeController_(*pendingStatusBarStore_);
    }
}

void AppDelegate::applicationDidFinishLaunching() {
    activateStatusBarController();
}

void AppDelegate::applicationWillTerminate() {
    resetFanControlBeforeAppTermination();
}

void AppDelegate::resetFanControlBeforeAppTermination() {
    if (!pendingStatusBarStore_ || terminationResetDone_) {
        return;
    }
    terminationResetDone_ = true;
    if (resetBeforeTermination_) {
        resetBeforeTermination_(*pendingStatusBarStore_);
    }
    uiTrace("terminating: fan control handed back to the system");
}

} // namespace aerivo
