#include "app/distribution/SystemLoginItemController.h"

#include "app/distribution/DesktopEntry.h"
#include "platform/desktop/UserDirectories.h"
#include "platform/posix/FileContents.h"

#include <stdexcept>

namespace aerivo {

namespace {

// Autostart entries are a few hundred bytes; anything beyond this is not one of ours.
constexpr std::size_t maximumEntryBytes = 64 * 1024;

} // namespace

SystemLoginItemController::SystemLoginItemController(
    std::string bundleIdentifier, std::optional<std::filesystem::path> executablePath,
    EnvironmentLookup environment)
    : bundleIdentifier_(std::move(bundleIdentifier)), executablePath_(std::move(executablePath)),
      environment_(std::move(environment)) {}

std::shared_ptr<SystemLoginItemController>
SystemLoginItemController::standard(const ApplicationBundle& bundle) {
    std::optional<std::filesystem::path> executable;
    if (!bundle.executablePath.empty()) {
        executable = bundle.executablePath;
    }
    return std::make_shared<SystemLoginItemController>(
        bundle.stringValue("CFBundleIdentifier").value_or(AERIVO_BUNDLE_IDENTIFIER),
        std::move(executable), currentProcessEnvironment());
}

std::optional<std::filesystem::path> SystemLoginItemController::entryPath() const {
    const auto configHome = UserDirectories(environment_).configHome();
    if (!configHome) {
        return std::nullopt;
    }
    return *configHome / "autostart" / (bundleIdentifier_ + ".desktop");
}

std::string SystemLoginItemController::entryText() const {
    const std::string program = executablePath_ ? executablePath_->string() : std::string();
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Aerivo Mac\n"
           "Exec=" +
           DesktopEntry::escapedValue(DesktopEntry::execValue(program)) +
           "\n"
           "X-GNOME-Autostart-enabled=true\n";
}

LoginItemStatus SystemLoginItemController::status() const {
    const auto path = entryPath();
    if (!path || !executablePath_) {
        return LoginItemStatus::disabled;
    }
    const auto text = readBoundedFile(*path, maximumEntryBytes);
    if (!text) {
        return LoginItemStatus::disabled;
    }
    const DesktopEntry entry = DesktopEntry::parse(*text);
    const auto arguments = entry.execArguments();
    if (!arguments || arguments->empty() ||
        std::filesystem::path(arguments->front()).lexically_normal() !=
            executablePath_->lexically_normal()) {
        return LoginItemStatus::disabled;
    }
    if (entry.booleanValue("Hidden") == true ||
        entry.booleanValue("X-GNOME-Autostart-enabled") == false) {
        return LoginItemStatus::requiresApproval;
    }
    return LoginItemStatus::enabled;
}

void SystemLoginItemController::setEnabled(bool enabled) {
    const LoginItemStatus current = status();
    if (enabled) {
        if (current == LoginItemStatus::enabled) {
            return;
        }
        const auto path = entryPath();
        if (!path) {
            throw std::runtime_error(
                "Could not find the autostart folder: neither XDG_CONFIG_HOME nor a home folder "
                "is set.");
        }
        if (!executablePath_) {
            throw std::runtime_error("Could not locate the app executable.");
        }
        writeFileAtomically(*path, entryText());
        return;
    }
    if (current == LoginItemStatus::disabled) {
        return;
    }
    removeFile(*entryPath());
}

} // namespace aerivo
