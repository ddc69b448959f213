#pragma once

#include "app/distribution/InstallLocationPrompt.h"
#include "app/distribution/InstallLocationText.h"
#include "app/l10n/AppLanguage.h"
#include "platform/desktop/ApplicationBundle.h"
#include "platform/desktop/UserDirectories.h"
#include "platform/mainloop/MainLoop.h"
#include "platform/posix/ProcessEnvironment.h"
#include "platform/posix/SystemPaths.h"
#include "platform/services/ApplicationProcesses.h"
#include "platform/services/FileOperations.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace aerivo {

// Run from a disk image (a folder under <root>/Volumes/), from a translocated copy or from any
// read-only file system, the helper, the login item and the update check would all refer to a
// copy that disappears. The guard detects such a launch and offers to move the bundle to
// <root>/Applications/Aerivo Mac.app and start it from there; the alternative is to quit.
//
// Only a real bundle ("<name>.app/Contents/MacOS/<executable>") can move: a program in a build
// tree or in /usr/bin is never asked. On a Linux host (SystemPaths::Layout::linuxHost) a
// read-only file system is where packages live, so only a bundle on a mounted image (under
// /media/ or /run/media/) is asked, and it moves to the user's own ~/.local/lib/aerivo-mac/,
// the per-user counterpart of the package's /usr/lib/aerivo-mac/: a Linux host has no
// Applications folder.
//
// A value: it keeps nothing between calls. Every call runs on the main thread. Disk changes go
// through FileOperations, processes through ApplicationProcesses, the alerts, the file viewer and
// termination through the InstallLocationPrompt.
class ApplicationInstallLocationGuard {
public:
    static constexpr std::string_view installedBundleName = "Aerivo Mac.app";
    // Setting this to exactly "1" turns the guard off.
    static constexpr std::string_view allowRunFromDiskImageVariable = "AERIVO_ALLOW_RUN_FROM_DMG";

    using LanguageProvider = std::function<AppLanguage()>;

    // `applicationsDirectory` is where the move puts the bundle (applicationsDirectoryFor).
    ApplicationInstallLocationGuard(
        std::filesystem::path bundlePath, std::string executableName, std::string bundleIdentifier,
        SystemPaths paths, std::filesystem::path applicationsDirectory,
        std::shared_ptr<FileOperations> files, std::shared_ptr<ApplicationProcesses> processes,
        EnvironmentLookup environment,
        LanguageProvider language = [] { return preferredAppLanguage(); });

    // The running application's guard: its bundle (none outside a bundle layout) and identifier
    // (the build's when the bundle names none), the system paths of the environment, the real
    // file system and Trash, the real processes, the process environment and the system language.
    static ApplicationInstallLocationGuard standard(const ApplicationBundle& bundle);

    // <root>/Applications on a Mac; ~/.local/lib/aerivo-mac on a Linux host (empty when the home
    // folder is unknown: a move then fails and says so).
    static std::filesystem::path applicationsDirectoryFor(const SystemPaths& paths,
                                                          const UserDirectories& user);

    // Whether this launch must offer the move: never with AERIVO_ALLOW_RUN_FROM_DMG=1 nor for a
    // path that is no "<name>.app" bundle; always on a mounted image or (on a Mac) under a path
    // holding "/AppTranslocation/"; on a Mac also when the bundle's file system is read-only,
    // unless the bundle is under <root>/Applications/.
    static bool shouldHandleLaunch(const std::filesystem::path& bundlePath,
                                   const EnvironmentLookup& environment, const SystemPaths& paths,
                                   const FileOperations& files);
    static bool requiresApplicationsMove(const std::filesystem::path& bundlePath,
                                         const SystemPaths& paths);
    // A volume that cannot be asked counts as writable.
    static bool isRunningFromReadOnlyVolume(const std::filesystem::path& bundlePath,
                                            const SystemPaths& paths, const FileOperations& files);

    // The same test for this guard's bundle and environment.
    bool shouldHandleLaunch() const;
    // When the launch must be handled, queues the move prompt on the main loop (so it shows once
    // the start-up work already queued is done) and returns true; otherwise does nothing.
    bool handleDiskImageLaunchIfNeeded(MainLoop& mainLoop,
                                       std::shared_ptr<InstallLocationPrompt> prompt) const;

    // The move alert; "Move and Relaunch" moves, anything else terminates.
    void showMovePrompt(InstallLocationPrompt& prompt) const;
    // Activates an installed copy that already runs, or installs and relaunches; every way ends
    // by terminating this application, after the failure alert and the Applications folder
    // when the move failed.
    void moveAndRelaunch(InstallLocationPrompt& prompt) const;

    // Another process of this application that runs the installed bundle's executable.
    std::optional<int> runningInstalledApplication() const;
    // Staging copy in the temporary folder, old installed copy to the Trash, staging copy into
    // place; the staging copy is removed again when the Trash or the move fails. Returns the
    // installed bundle; throws the failing step's error.
    std::filesystem::path installCurrentBundle() const;
    // Starts the installed bundle's executable without waiting for it.
    void relaunchApplication(const std::filesystem::path& installedBundle) const;

    InstallLocationAlert movePrompt() const;
    InstallLocationAlert failureAlert(const std::string& errorDescription) const;
    std::string localized(InstallLocationText text) const;

    const std::filesystem::path& applicationsDirectory() const { return applicationsDirectory_; }
    std::filesystem::path destination() const;
    const std::filesystem::path& bundlePath() const { return bundlePath_; }

private:
    std::filesystem::path bundlePath_;
    std::string executableName_;
    std::string bundleIdentifier_;
    SystemPaths paths_;
    std::filesystem::path applicationsDirectory_;
    std::shared_ptr<FileOperations> files_;
    std::shared_ptr<ApplicationProcesses> processes_;
    EnvironmentLookup environment_;
    LanguageProvider language_;
};

} // namespace aerivo
