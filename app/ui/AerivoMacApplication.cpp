#include "app/ui/AerivoMacApplication.h"

#include "app/hardware/SMCFanHardwareController.h"
#include "app/model/AerivoPreferences.h"
#include "app/model/AerivoStore.h"
#include "app/ui/AppDelegate.h"
#include "app/ui/StatusBarController.h"
#include "app/ui/StorePresentation.h"
#include "app/ui/UiTrace.h"
#include "platform/qt/QSettingsUserDefaults.h"
#include "platform/qt/QtMainLoop.h"
#include "platform/qt/SingleInstance.h"
#include "platform/qt/TerminationSignalNotifier.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace aerivo {

namespace {

bool hasDisplay() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (const char* value = std::getenv(name); value && *value) {
            return true;
        }
    }
    return false;
}

std::unique_ptr<AerivoStore> makeStore(MainLoop& mainLoop,
                                       std::shared_ptr<FanHardwareController> controller,
                                       const SystemPaths& paths, AerivoPreferences preferences) {
    std::optional<AerivoProfile> saved = preferences.loadProfile();
    const bool applyHardwareRange = !saved.has_value();
    AerivoProfile profile = saved ? std::move(*saved) : AerivoProfile::balanced();
    // The helper client, login item and update checker are the store's unavailable stand-ins
    // until their real backends are passed here.
    AerivoStoreCollaborators collaborators;
    collaborators.controller = std::move(controller);
    collaborators.systemPaths = paths;
    return std::make_unique<AerivoStore>(mainLoop, std::move(collaborators), std::move(preferences),
                                         std::move(profile), ThermalSnapshot::initial(),
                                         FanControlMode::system, applyHardwareRange);
}

} // namespace

void showAboutPanel() {
    QMessageBox::about(
        nullptr, QStringLiteral("About Aerivo Mac"),
        QStringLiteral("<p><b>Aerivo Mac</b></p><p>Version %1</p>"
                       "<p>Fan control with an edited temperature curve, under short helper "
                       "leases that hand the fan back to macOS by themselves.</p>")
            .arg(QStringLiteral(AERIVO_VERSION)));
}

int runMenuBarApplication(int& argc, char** argv, SystemHardware& hardware,
                          const SystemPaths& paths) {
    if (!hasDisplay()) {
        std::cerr << "AerivoMac: no display (DISPLAY and WAYLAND_DISPLAY are not set); run with "
                     "--headless to run the control loop in the terminal."
                  << std::endl;
        return 2;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("AerivoMac"));
    QApplication::setApplicationDisplayName(QStringLiteral("Aerivo Mac"));
    QApplication::setApplicationVersion(QStringLiteral(AERIVO_VERSION));
    // Windows come and go (the panel, the editor); only Quit or a signal ends the application.
    QApplication::setQuitOnLastWindowClosed(false);

    // Termination signals become an ordinary quit, which runs the reset below.
    TerminationSignalNotifier terminationSignals([](int signalNumber) {
        uiTrace("signal=" + std::to_string(signalNumber));
        QCoreApplication::quit();
    });

    std::unique_ptr<AppDelegate> delegate;
    SingleInstance instance(SingleInstance::standardFolder(), SingleInstance::standardName());
    switch (instance.claim([&delegate] {
        if (delegate && delegate->statusBarController()) {
            delegate->statusBarController()->bringPanelForward();
        }
    })) {
    case SingleInstance::Claim::primary:
        break;
    case SingleInstance::Claim::forwarded:
        std::cerr << "AerivoMac: already running; its panel was brought forward." << std::endl;
        return 0;
    case SingleInstance::Claim::unreachable:
        std::cerr << "AerivoMac: another instance holds " << instance.socketPath().string()
                  << " and does not answer." << std::endl;
        return 1;
    }

    QtMainLoop mainLoop;
    auto controller =
        std::make_shared<SMCFanHardwareController>(*hardware.ioKit, *hardware.eventSystem);
    std::unique_ptr<AerivoStore> store = makeStore(
        mainLoop, controller, paths, AerivoPreferences(QSettingsUserDefaults::standard()));

    delegate = std::make_unique<AppDelegate>(
        // The install-location guard's test.
        [] { return false; },
        [](AerivoStore& pending) {
            return std::make_unique<StatusBarController>(
                pending, StatusBarController::Hooks{[] { QCoreApplication::quit(); },
                                                    [] { showAboutPanel(); }, nullptr});
        },
        [](AerivoStore& pending) { StorePresentation::resetFanControlBeforeTermination(pending); });
    delegate->prepareStatusBarController(*store, mainLoop);
    QTimer::singleShot(0, &application, [&delegate] { delegate->applicationDidFinishLaunching(); });
    QObject::connect(&application, &QCoreApplication::aboutToQuit,
                     [&delegate] { delegate->applicationWillTerminate(); });

    const int exitCode = QApplication::exec();
    delegate->applicationWillTerminate();
    delegate.reset();
    return exitCode;
}

} // namespace aerivo
