#pragma once

#include "app/model/AerivoStore.h"
#include "platform/mainloop/MainLoop.h"

#include <functional>
#include <memory>

namespace aerivo {

class StatusBarController;

// The application's launch and termination steps. It keeps the store built at launch (the
// pending store) and the one status-bar controller for the life of the process. Main thread
// only.
class AppDelegate {
public:
    using ControllerFactory = std::function<std::unique_ptr<StatusBarController>(AerivoStore&)>;
    using TerminationReset = std::function<void(AerivoStore&)>;

    // `shouldHandleLaunch` is the install-location guard's test: a copy about to move itself
    // never shows a status item. `resetBeforeTermination` hands the fan back to the system.
    AppDelegate(std::function<bool()> shouldHandleLaunch, ControllerFactory makeController,
                TerminationReset resetBeforeTermination);
    ~AppDelegate();

    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Keeps the store (replacing an earlier one) and posts activateStatusBarController() to the
    // main loop, so the controller comes up once the event loop runs.
    void prepareStatusBarController(AerivoStore& store, MainLoop& mainLoop);
    // Creates the controller when the launch is not the guard's, none exists yet and a store
    // is pending. Called twice at launch; the second call does nothing.
    void activateStatusBarController();
    // The event loop has started: a menu-bar application has no Dock icon to hide on this
    // desktop, so this only activates the controller.
    void applicationDidFinishLaunching();
    // The application is ending (Quit, aboutToQuit, a termination signal): the fan goes back to
    // the system, once however many of these paths run.
    void applicationWillTerminate();
    void resetFanControlBeforeAppTermination();

    StatusBarController* statusBarController() const { return retainedStatusBarController_.get(); }

private:
    std::function<bool()> shouldHandleLaunch_;
    ControllerFactory makeController_;
    TerminationReset resetBeforeTermination_;
    AerivoStore* pendingStatusBarStore_ = nullptr;
    std::unique_ptr<StatusBarController> retainedStatusBarController_;
    bool terminationResetDone_ = false;
};

} // namespace aerivo
