#include "app/ui/AerivoMacApplication.h"

#include "app/distribution/AppUpdateChecker.h"
#include "app/distribution/ApplicationInstallLocationGuard.h"
#include "app/distribution/SystemLoginItemController.h"
#include "app/hardware/SMCFanHardwareController.h"
#include "app/helperclient/StandardPrivilegedHelperClient.h"
#include "app/model/AerivoPreferences.h"
#include "app/model/AerivoStore.h"
#include "app/telemetry/HIDTemperatureTelemetryClient.h"
#include "app/ui/AppDelegate.h"
#include "app/ui/MainThreadStallTrace.h"
#include "app/ui/QtInstallLocationPrompt.h"
#include "app/ui/StatusBarController.h"
#include "app/ui/StorePresentation.h"
#include "app/ui/UiTrace.h"
#include "platform/desktop/ApplicationBundle.h"
#include "platform/mainloop/WorkerSerialQueue.h"
#include "platform/posix/ProcessImage.h"
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
                                       const ApplicationBundle& bundle, const SystemPaths& paths,
                                       AerivoPreferences preferences) {
    std::optional<AerivoProfile> saved = preferences.loadProfile();
    const bool applyHardwareRange = !saved.has_value();
    AerivoProfile profile = saved ? std::move(*saved) : AerivoProfile::balanced();
    AerivoStoreCollaborators collaborators;
    collaborators.controller = std::move(controller);
    collaborators.helperClient = makeStandardPrivilegedHelperClient(bundle, paths);
    collaborators.loginItemController = SystemLoginItemController::standard(bundle);
    collaborators.updateChecker = AppUpdateChecker::standard(bundle);
    collaborators.systemPaths = paths;
    // Health reads, the install, resets and the five-second test take seconds: the event loop
    // must go on meanwhile.
    collaborators.helperQueue =
        std::make_shared<WorkerSerialQueue>(AerivoStore::helperQueueLabel());
    return std::make_unique<AerivoStore>(mainLoop, std::move(collaborators), std::move(preferences),
                                         std::move(profile), ThermalSnapshot::initial(),
                                         FanControlMode::system, applyHardwareRange);
}

} // namespace

void showAboutPanel(AppLanguage language) {
    QMessageBox::about(
        nullptr, QString::fromStdString(L10n::text(L10nKey::aboutAerivoMac, language)),
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

    // A copy run from a disk image or a read-only place offers to move itself first and never
    // shows a status item. Such a copy does not take the single-instance lock: it
    // never leases, and the installed copy it relaunches (or finds running) must be the one
    // instance.
    const ApplicationBundle bundle =
        ApplicationBundle::forExecutable(currentExecutablePath().value_or(""));
    const ApplicationInstallLocationGuard installLocationGuard =
        ApplicationInstallLocationGuard::standard(bundle);
    const bool handlesLaunch = installLocationGuard.shouldHandleLaunch();

    std::unique_ptr<AppDelegate> delegate;
    SingleInstance instance(SingleInstance::standardFolder(), SingleInstance::standardName());
    switch (handlesLaunch ? SingleInstance::Claim::primary : instance.claim([&delegate] {
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
    // Before the store, so its construction counts as part of the start-up it measures.
    std::optional<MainThreadStallTrace> stallTrace;
    if (isUiTraceEnabled()) {
        stallTrace.emplace();
    }
    const AerivoPreferences preferences(QSettingsUserDefaults::standard());
    // The curve follows the sensor chosen in the settings (--temperature-sensor), if any.
    auto controller = std::make_shared<SMCFanHardwareController>(
        *hardware.ioKit, *hardware.eventSystem, nullptr,
        std::make_unique<HIDTemperatureTelemetryClient>(*hardware.eventSystem,
                                                        preferences.loadTemperatureSensor()));
    std::unique_ptr<AerivoStore> store =
        makeStore(mainLoop, controller, bundle, paths, preferences);
    if (stallTrace) {
        stallTrace->watch(*store);
    }

    delegate = std::make_unique<AppDelegate>(
        [&installLocationGuard] { return installLocationGuard.shouldHandleLaunch(); },
        [](AerivoStore& pending) {
            return std::make_unique<StatusBarController>(
                pending, StatusBarController::Hooks{
                             [] { QCoreApplication::quit(); },
                             [&pending] { showAboutPanel(pending.language()); }, nullptr});
        },
        [](AerivoStore& pending) { StorePresentation::resetFanControlBeforeTermination(pending); });
    delegate->prepareStatusBarController(*store, mainLoop);
    auto installLocationPrompt = std::make_shared<QtInstallLocationPrompt>(
        // An installed copy that runs already holds the single-instance lock, so this start was
        // forwarded to it above; should one still be found, it is asked to show itself the same
        // way.
        [&instance](int) { instance.forwardToRunningInstance(); });
    if (handlesLaunch) {
        mainLoop.post([&] {
            installLocationGuard.handleDiskImageLaunchIfNeeded(mainLoop, installLocationPrompt);
        });
    }
    QTimer::singleShot(0, &application, [&delegate] { delegate->applicationDidFinishLaunching(); });
    QObject::connect(&application, &QCoreApplication::aboutToQuit,
                     [&delegate] { delegate->applicationWillTerminate(); });

    const int exitCode = QApplication::exec();
    delegate->applicationWillTerminate();
    delegate.reset();
    return exitCode;
}

} // namespace aerivo
