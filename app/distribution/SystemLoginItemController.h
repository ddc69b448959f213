#pragma once

#include "app/model/LoginItemControlling.h"
#include "platform/desktop/ApplicationBundle.h"
#include "platform/posix/ProcessEnvironment.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace aerivo {

// Opens the app at login through the session's autostart folder: an entry
// "$XDG_CONFIG_HOME/autostart/<bundle id>.desktop" (default ~/.config) that starts the bundle's
// executable. Status:
// - no entry, or one that starts another program (a copy elsewhere): disabled;
// - an entry starting this executable: enabled;
// - such an entry that the user switched off in the session's startup settings (Hidden=true or
//   X-GNOME-Autostart-enabled=false): requiresApproval, registered but not allowed to run.
// Nothing is cached: every call reads the environment and the file afresh.
class SystemLoginItemController final : public LoginItemControlling {
public:
    // `executablePath`: what the entry starts; none when the running executable is unknown,
    // which reads as disabled and refuses to register.
    SystemLoginItemController(std::string bundleIdentifier,
                              std::optional<std::filesystem::path> executablePath,
                              EnvironmentLookup environment);

    // The application's controller: the running bundle's identifier (the build's when the
    // bundle names none), its executable and the process environment.
    static std::shared_ptr<SystemLoginItemController> standard(const ApplicationBundle& bundle);

    LoginItemStatus status() const override;
    // Registering writes the entry (atomically); unregistering removes it. Turning on an
    // enabled item or off a disabled one touches nothing. Throws FileWriteError (what() names
    // the file and the reason) or std::runtime_error when there is no file to write.
    void setEnabled(bool enabled) override;

    // The entry's path; none when the user has no configuration folder.
    std::optional<std::filesystem::path> entryPath() const;
    // The complete file written for an enabled item.
    std::string entryText() const;

private:
    std::string bundleIdentifier_;
    std::optional<std::filesystem::path> executablePath_;
    EnvironmentLookup environment_;
};

} // namespace aerivo
