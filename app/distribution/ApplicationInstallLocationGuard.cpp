#include "app/distribution/ApplicationInstallLocationGuard.h"

#include "app/model/Uuid.h"
#include "platform/desktop/SystemApplicationProcesses.h"
#include "platform/desktop/SystemFileOperations.h"

namespace aerivo {

namespace {

// The normalised path as text, folders ending in "/" so that "<root>/Applications/" never
// matches "<root>/ApplicationsOld".
std::string folderPrefix(const std::filesystem::path& folder) {
    std::string text = folder.lexically_normal().string();
    if (text.empty() || text.back() != '/') {
        text.push_back('/');
    }
    return text;
}

std::string standardized(const std::filesystem::path& path) {
    return path.lexically_normal().string();
}

bool isUnderApplications(const std::filesystem::path& bundlePath, const SystemPaths& paths) {
    return standardized(bundlePath).starts_with(folderPrefix(paths.applications()));
}

std::string replacingPlaceholder(std::string_view format, const std::string& argument) {
    std::string text(format);
    if (const std::size_t at = text.find("%@"); at != std::string::npos) {
        text.replace(at, 2, argument);
    }
    return text;
}

} // namespace

ApplicationInstallLocationGuard::ApplicationInstallLocationGuard(
    std::filesystem::path bundlePath, std::string executableName, std::string bundleIdentifier,
    SystemPaths paths, std::filesystem::path applicationsDirectory,
    std::shared_ptr<FileOperations> files, std::shared_ptr<ApplicationProcesses> processes,
    EnvironmentLookup environment, LanguageProvider language)
    : bundlePath_(std::move(bundlePath)), executableName_(std::move(executableName)),
      bundleIdentifier_(std::move(bundleIdentifier)), paths_(std::move(paths)),
      applicationsDirectory_(std::move(applicationsDirectory)), files_(std::move(files)),
      processes_(std::move(processes)), environment_(std::move(environment)),
      language_(std::move(language)) {}

ApplicationInstallLocationGuard
ApplicationInstallLocationGuard::standard(const ApplicationBundle& bundle) {
    const SystemPaths paths = SystemPaths::fromEnvironment();
    return ApplicationInstallLocationGuard(
        bundle.isBundle() ? bundle.bundlePath : std::filesystem::path(),
        bundle.executablePath.filename().string(),
        bundle.stringValue("CFBundleIdentifier").value_or(AERIVO_BUNDLE_IDENTIFIER), paths,
        applicationsDirectoryFor(paths, UserDirectories(currentProcessEnvironment())),
        std::make_shared<SystemFileOperations>(SystemFileOperations::standard()),
        std::make_shared<SystemApplicationProcesses>(), currentProcessEnvironment());
}

std::filesystem::path
ApplicationInstallLocationGuard::applicationsDirectoryFor(const SystemPaths& paths,
                                                          const UserDirectories& user) {
    if (paths.layout() == SystemPaths::Layout::mac) {
        return paths.applications();
    }
    const std::optional<std::filesystem::path> home = user.home();
    return home ? *home / ".local" / "lib" / "aerivo-mac" : std::filesystem::path();
}

bool ApplicationInstallLocationGuard::shouldHandleLaunch(const std::filesystem::path& bundlePath,
                                                         const EnvironmentLookup& environment,
                                                         const SystemPaths& paths,
                                                         const FileOperations& files) {
    if (environment(allowRunFromDiskImageVariable) == "1") {
        return false;
    }
    // Only a bundle can be moved whole; a bare program's folder holds other programs too.
    if (bundlePath.extension() != ".app") {
        return false;
    }
    if (requiresApplicationsMove(bundlePath, paths)) {
        return true;
    }
    // On a Linux host packages live on a file system that may well be read-only (/usr).
    return paths.layout() == SystemPaths::Layout::mac &&
           isRunningFromReadOnlyVolume(bundlePath, paths, files);
}

bool ApplicationInstallLocationGuard::requiresApplicationsMove(
    const std::filesystem::path& bundlePath, const SystemPaths& paths) {
    const std::string path = standardized(bundlePath);
    if (paths.layout() == SystemPaths::Layout::mac && isUnderApplications(bundlePath, paths)) {
        return false;
    }
    for (const std::filesystem::path& mounted : paths.mountedImages()) {
        if (path.starts_with(folderPrefix(mounted))) {
            return true;
        }
    }
    return paths.layout() == SystemPaths::Layout::mac &&
           path.find("/AppTranslocation/") != std::string::npos;
}

bool ApplicationInstallLocationGuard::isRunningFromReadOnlyVolume(
    const std::filesystem::path& bundlePath, const SystemPaths& paths,
    const FileOperations& files) {
    const std::optional<bool> readOnly = files.isOnReadOnlyVolume(bundlePath);
    if (!readOnly || !*readOnly) {
        return false;
    }
    return !isUnderApplications(bundlePath, paths);
}

bool ApplicationInstallLocationGuard::shouldHandleLaunch() const {
    return shouldHandleLaunch(bundlePath_, environment_, paths_, *files_);
}

bool ApplicationInstallLocationGuard::handleDiskImageLaunchIfNeeded(
    MainLoop& mainLoop, std::shared_ptr<InstallLocationPrompt> prompt) const {
    if (!shouldHandleLaunch()) {
        return false;
    }
    mainLoop.post([guard = *this, prompt = std::move(prompt)] { guard.showMovePrompt(*prompt); });
    return true;
}

std::filesystem::path ApplicationInstallLocationGuard::destination() const {
    return applicationsDirectory() / installedBundleName;
}

std::string ApplicationInstallLocationGuard::localized(InstallLocationText text) const {
    return std::string(aerivo::localized(text, language_()));
}

InstallLocationAlert ApplicationInstallLocationGuard::movePrompt() const {
    return {
        InstallLocationAlert::Style::informational,
        localized(InstallLocationText::title),
        localized(InstallLocationText::message),
        {localized(InstallLocationText::moveButton), localized(InstallLocationText::quitButton)}};
}

InstallLocationAlert
ApplicationInstallLocationGuard::failureAlert(const std::string& errorDescription) const {
    return {InstallLocationAlert::Style::warning,
            localized(InstallLocationText::failureTitle),
            replacingPlaceholder(localized(InstallLocationText::failureMessage), errorDescription),
            {localized(InstallLocationText::quitButton)}};
}

void ApplicationInstallLocationGuard::showMovePrompt(InstallLocationPrompt& prompt) const {
    if (prompt.runModal(movePrompt()) == 0) {
        moveAndRelaunch(prompt);
        return;
    }
    prompt.terminateApplication();
}

void ApplicationInstallLocationGuard::moveAndRelaunch(InstallLocationPrompt& prompt) const {
    if (const auto running = runningInstalledApplication()) {
        prompt.activateApplication(*running);
        prompt.terminateApplication();
        return;
    }
    try {
        relaunchApplication(installCurrentBundle());
    } catch (const std::exception& error) {
        prompt.runModal(failureAlert(error.what()));
        prompt.showFolder(applicationsDirectory());
    }
    prompt.terminateApplication();
}

std::optional<int> ApplicationInstallLocationGuard::runningInstalledApplication() const {
    const std::filesystem::path installed = files_->resolvedPath(destination());
    const nlohmann::json info = ApplicationBundle::readInfoDictionary(installed);
    const auto identifier = info.find("CFBundleIdentifier");
    const std::string installedIdentifier = identifier != info.end() && identifier->is_string()
                                                ? identifier->get<std::string>()
                                                : std::string(AERIVO_BUNDLE_IDENTIFIER);
    if (installedIdentifier != bundleIdentifier_) {
        return std::nullopt;
    }
    const int self = processes_->currentProcessIdentifier();
    for (const RunningProcess& process : processes_->runningProcesses()) {
        if (process.processIdentifier != self &&
            ApplicationBundle::bundlePathForExecutable(process.executablePath) ==
                installed.lexically_normal()) {
            return process.processIdentifier;
        }
    }
    return std::nullopt;
}

std::filesystem::path ApplicationInstallLocationGuard::installCurrentBundle() const {
    const std::filesystem::path staging =
        files_->temporaryDirectory() / ("Aerivo Mac-" + Uuid::random().string() + ".app");
    if (files_->itemExists(staging)) {
        files_->removeItem(staging);
    }
    files_->copyItem(bundlePath_, staging);
    const std::filesystem::path installed = destination();
    try {
        if (applicationsDirectory_.empty()) {
            throw FileOperationError("There is no home folder to move Aerivo Mac into.");
        }
        // A Linux host's per-user folder may not be there yet.
        if (!files_->itemExists(applicationsDirectory_)) {
            files_->createFolder(applicationsDirectory_);
        }
        // The earlier copy goes only once the new one sits complete in the temporary folder, and
        // it goes to the Trash, whence the user can take it back.
        if (files_->itemExists(installed)) {
            files_->trashItem(installed);
        }
        files_->moveItem(staging, installed);
        return installed;
    } catch (...) {
        try {
            files_->removeItem(staging);
        } catch (...) {
            // The error of the Trash or the move is the one to report.
        }
        throw;
    }
}

void ApplicationInstallLocationGuard::relaunchApplication(
    const std::filesystem::path& installedBundle) const {
    processes_->launchDetached(installedBundle / "Contents" / "MacOS" / executableName_);
}

} // namespace aerivo
