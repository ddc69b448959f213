#include "platform/simulator/SimulatorJobInstaller.h"

#include "shared/LaunchDaemonDefinition.h"

#include <fstream>
#include <sstream>

namespace aerivo {

namespace {

namespace fs = std::filesystem;

PrivilegedJobError failure(int code, std::string description) {
    return PrivilegedJobError{code, std::move(description)};
}

std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// Writes next to the destination and renames over it, so no reader sees half a file.
std::optional<std::string> writeAtomically(const fs::path& destination, const std::string& text,
                                           fs::perms mode) {
    const fs::path temporary =
        destination.parent_path() / ("." + destination.filename().string() + ".new");
    std::error_code error;
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << text;
        file.close();
        if (!file) {
            fs::remove(temporary, error);
            return "cannot write " + temporary.string();
        }
    }
    fs::permissions(temporary, mode, error);
    if (!error) {
        fs::rename(temporary, destination, error);
    }
    if (error) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return "cannot write " + destination.string() + ": " + error.message();
    }
    return std::nullopt;
}

std::optional<nlohmann::json> readJSON(const fs::path& file) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << stream.rdbuf();
    nlohmann::json value = nlohmann::json::parse(text.str(), nullptr, false);
    if (value.is_discarded()) {
        return std::nullopt;
    }
    return value;
}

fs::path signatureOf(const fs::path& file) {
    return fs::path(file.string() + ".codesig");
}

} // namespace

SimulatorJobInstaller::SimulatorJobInstaller(SystemPaths paths, const CodeSigning& signing)
    : paths_(std::move(paths)), signing_(signing),
      connection_(std::make_unique<SimulatorConnection>(simulatorSocketPath(paths_.root()))) {}

int SimulatorJobInstaller::createAuthorization() {
    hasAuthorization_ = true;
    hasBlessRight_ = false;
    return 0;
}

void SimulatorJobInstaller::freeAuthorization() {
    hasAuthorization_ = false;
    hasBlessRight_ = false;
}

int SimulatorJobInstaller::copyBlessRights() {
    if (!hasAuthorization_) {
        return authorizationInvalidRef;
    }
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    const std::string who = error ? std::string("unknown") : self.string();
    auto answer = static_cast<std::uint8_t>(SimulatorApprovalAnswer::canceled);
    const bool asked = connection_->exchange(
        SimulatorOp::approvalRequest,
        [&](SimulatorWireWriter& writer) {
            writer.string(who);
            writer.string(blessRight);
            writer.string(self.filename().string() + " wants to install a new helper tool.");
        },
        [&](SimulatorWireReader& reader) {
            answer = reader.u8();
            reader.string();
        });
    if (!asked) {
        return authorizationInteractionNotAllowed;
    }
    hasBlessRight_ = answer == static_cast<std::uint8_t>(SimulatorApprovalAnswer::approved);
    return hasBlessRight_ ? 0 : authorizationCanceled;
}

std::optional<SimulatorJobInstaller::JobStatus>
SimulatorJobInstaller::reloadedJobStatus(std::string_view label) {
    JobStatus status;
    std::uint8_t state = 0;
    const bool answered = connection_->exchange(
        SimulatorOp::serviceJobStatus,
        [&](SimulatorWireWriter& writer) {
            writer.string(label);
            writer.u8(1);
        },
        [&](SimulatorWireReader& reader) {
            state = reader.u8();
            reader.i32();
            reader.u32();
            reader.string();
            status.detail = reader.string();
        });
    if (!answered || state > static_cast<std::uint8_t>(SimulatorJobState::notLoaded)) {
        return std::nullopt;
    }
    status.state = static_cast<SimulatorJobState>(state);
    return status;
}

std::optional<PrivilegedJobError> SimulatorJobInstaller::removeJob(std::string_view label) {
    if (!hasBlessRight_) {
        return failure(authorizationFailure,
                       "The authorization does not hold the right to manage helper jobs.");
    }
    const fs::path definition =
        paths_.launchDaemons() /
        (std::string(label) + std::string(LaunchDaemonDefinition::fileExtension));
    std::error_code error;
    if (!LaunchDaemonDefinition::isValidLabel(label) || !fs::exists(definition, error)) {
        return failure(PrivilegedJobError::noSuchJob,
                       "No job is loaded for " + quoted(label) + ".");
    }
    if (!fs::remove(definition, error) && error) {
        return failure(internalFailure,
                       "Cannot remove " + definition.string() + ": " + error.message() + ".");
    }
    // The service manager stops the job now; without one, nothing is running it.
    reloadedJobStatus(label);
    const fs::path installed = paths_.privilegedHelperTools() / std::string(label);
    for (const fs::path& file : {installed, signatureOf(installed)}) {
        if (!fs::remove(file, error) && error) {
            return failure(internalFailure,
                           "Cannot remove " + file.string() + ": " + error.message() + ".");
        }
    }
    return std::nullopt;
}

std::optional<PrivilegedJobError> SimulatorJobInstaller::blessJob(std::string_view label,
                                                                  const fs::path& appBundle) {
    if (!hasBlessRight_) {
        return failure(authorizationFailure,
                       "The authorization does not hold the right to install helper tools.");
    }
    if (!LaunchDaemonDefinition::isValidLabel(label)) {
        return failure(toolNotValid, quoted(label) + " is not a valid job label.");
    }
    const std::string name(label);
    std::error_code error;
    const fs::path bundled = appBundle / "Contents" / "Library" / "LaunchServices" / name;
    if (!fs::is_regular_file(bundled, error)) {
        return failure(toolNotValid,
                       "The app bundle holds no helper tool at " + bundled.string() + ".");
    }
    const fs::path infoFile = appBundle / "Contents" / "Info.json";
    const auto info = readJSON(infoFile);
    if (!info) {
        return failure(toolNotValid, "The app's " + infoFile.string() + " cannot be read.");
    }
    const auto executables = info->find("SMPrivilegedExecutables");
    if (!info->is_object() || executables == info->end() || !executables->is_object() ||
        !executables->contains(name) || !(*executables)[name].is_string()) {
        return failure(toolNotValid, "The app's Info.json has no SMPrivilegedExecutables "
                                     "requirement for " +
                                         quoted(label) + ".");
    }
    auto compiled = signing_.compileRequirement((*executables)[name].get<std::string>());
    if (const auto* problem = std::get_if<std::string>(&compiled)) {
        return failure(toolNotValid, "The app's requirement for " + quoted(label) +
                                         " does not compile: " + *problem + ".");
    }
    const auto& requirement = *std::get<std::shared_ptr<const CodeRequirement>>(compiled);

    // The copy is what gets verified, so the bytes installed are the bytes checked.
    const fs::path tools = paths_.privilegedHelperTools();
    const fs::path staged = tools / ("." + name + ".installing");
    const fs::path installed = tools / name;
    auto discardStaged = [&] {
        std::error_code ignored;
        fs::remove(staged, ignored);
        fs::remove(signatureOf(staged), ignored);
    };
    fs::create_directories(tools, error);
    discardStaged();
    if (!error) {
        fs::copy_file(bundled, staged, error);
    }
    if (!error && fs::exists(signatureOf(bundled))) {
        fs::copy_file(signatureOf(bundled), signatureOf(staged), error);
    }
    if (error) {
        discardStaged();
        return failure(internalFailure, "Cannot place the helper in " + tools.string() + ": " +
                                            error.message() + ".");
    }
    const int status = signing_.checkFile(staged, requirement);
    if (status != CodeSigningStatus::success) {
        discardStaged();
        return failure(invalidSignature, "The helper tool " + quoted(label) +
                                             " is refused: " + helperRefusalReason(status) + " (" +
                                             std::to_string(status) + ").");
    }
    const CodeSigningFacts facts = signing_.inspect(staged);
    if (!facts.launchdPlist || !facts.launchdPlist->is_object()) {
        discardStaged();
        return failure(jobPlistNotFound,
                       "The helper tool " + quoted(label) + " carries no launchd property list.");
    }
    nlohmann::json definition = *facts.launchdPlist;
    definition["Program"] = installed.string();
    auto checked = LaunchDaemonDefinition::fromObject(definition, label);
    if (const auto* problem = std::get_if<std::string>(&checked)) {
        discardStaged();
        return failure(invalidPlist,
                       "The helper's launchd property list is not a valid daemon definition: " +
                           *problem + ".");
    }

    using fs::perms;
    fs::permissions(staged,
                    perms::owner_read | perms::owner_exec | perms::group_read | perms::others_read,
                    error);
    if (!error && fs::exists(signatureOf(staged))) {
        fs::permissions(signatureOf(staged),
                        perms::owner_read | perms::group_read | perms::others_read, error);
        if (!error) {
            fs::rename(signatureOf(staged), signatureOf(installed), error);
        }
    }
    if (!error) {
        fs::rename(staged, installed, error);
    }
    if (error) {
        discardStaged();
        return failure(internalFailure,
                       "Cannot install " + installed.string() + ": " + error.message() + ".");
    }
    fs::create_directories(paths_.launchDaemons(), error);
    const fs::path definitionFile =
        paths_.launchDaemons() / (name + std::string(LaunchDaemonDefinition::fileExtension));
    if (auto problem = writeAtomically(definitionFile, definition.dump(4) + "\n",
                                       perms::owner_read | perms::owner_write | perms::group_read |
                                           perms::others_read)) {
        return failure(internalFailure, *problem + ".");
    }

    const auto loaded = reloadedJobStatus(label);
    if (!loaded) {
        return failure(serviceUnavailable,
                       "The service manager of the simulated Mac cannot be reached; the job is "
                       "installed and loads when it starts.");
    }
    if (loaded->state != SimulatorJobState::loaded) {
        return failure(invalidPlist, "The service manager did not load " + quoted(label) + ": " +
                                         loaded->detail + ".");
    }
    return std::nullopt;
}

int SimulatorJobInstaller::daemonServiceStatus(std::string_view plistName) {
    using Status = DaemonServiceStatus;
    const std::string_view extension = LaunchDaemonDefinition::fileExtension;
    if (!plistName.ends_with(extension)) {
        return static_cast<int>(Status::notFound);
    }
    const std::string_view label = plistName.substr(0, plistName.size() - extension.size());
    if (!LaunchDaemonDefinition::isValidLabel(label)) {
        return static_cast<int>(Status::notFound);
    }
    std::error_code error;
    if (fs::exists(paths_.launchDaemons() / std::string(plistName), error)) {
        const auto loaded = reloadedJobStatus(label);
        return static_cast<int>(loaded && loaded->state == SimulatorJobState::loaded
                                    ? Status::enabled
                                    : Status::requiresApproval);
    }
    return static_cast<int>(fs::exists(paths_.privilegedHelperTools() / std::string(label), error)
                                ? Status::notRegistered
                                : Status::notFound);
}

} // namespace aerivo
