#include "platform/linuxhost/HelperJobPlacement.h"

#include "platform/crypto/Ed25519Key.h"
#include "platform/linuxhost/SystemdHelperUnits.h"
#include "platform/posix/BoundedJson.h"
#include "platform/posix/FileContents.h"

#include <algorithm>

namespace aerivo {

namespace fs = std::filesystem;
using Outcome = HelperJobPlacement::Outcome;

namespace {

constexpr std::size_t maximumHelperBytes = 512u * 1024 * 1024;
constexpr std::size_t maximumSignatureBytes = 1024 * 1024;
constexpr std::size_t maximumInfoBytes = 256 * 1024;
constexpr std::size_t maximumAnchorBytes = 64 * 1024;
constexpr std::size_t maximumPlistDepth = 32;

constexpr fs::perms readOnlyForAll =
    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
constexpr fs::perms ownerOnly = fs::perms::owner_read | fs::perms::owner_write;

std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

fs::path signatureOf(const fs::path& file) {
    return fs::path(file.string() + ".codesig");
}

// A file of the app bundle, read as the user left it: never through a symbolic link, so the
// bundle cannot point root at a file of someone else's.
std::optional<std::string> readBundleFile(const fs::path& file, std::size_t maximumBytes,
                                          std::string& problem) {
    std::error_code error;
    if (fs::is_symlink(file, error)) {
        problem = file.string() + " is a symbolic link";
        return std::nullopt;
    }
    std::string reason;
    auto bytes = readBoundedFile(file, maximumBytes, &reason);
    if (!bytes) {
        problem = file.string() + ": " + reason;
    }
    return bytes;
}

std::string lastLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    const std::size_t at = text.find_last_of('\n');
    return at == std::string::npos ? text : text.substr(at + 1);
}

} // namespace

HelperJobPlacement::HelperJobPlacement(SystemPaths paths, const CodeSigning& signing,
                                       ProcessRunner& runner)
    : paths_(std::move(paths)), signing_(signing), runner_(runner) {}

fs::path HelperJobPlacement::installedHelper(std::string_view label) const {
    return paths_.privilegedHelperTools() / std::string(label);
}

fs::path HelperJobPlacement::unitFile(std::string_view unitName) const {
    return paths_.systemdUnits() / std::string(unitName);
}

std::optional<std::string>
HelperJobPlacement::systemctl(const std::vector<std::string>& arguments) {
    const ProcessRunResult result = runner_.run(paths_.systemctl().string(), arguments);
    if (const auto* failed = std::get_if<ProcessLaunchError>(&result)) {
        return "systemctl cannot be started: " + failed->message;
    }
    const auto& output = std::get<ProcessOutput>(result);
    if (output.exitStatus == 0) {
        return std::nullopt;
    }
    std::string command = "systemctl";
    for (const std::string& argument : arguments) {
        command += " " + argument;
    }
    const std::string complaint = lastLine(output.standardError);
    return command + " failed (" + std::to_string(output.exitStatus) + ")" +
           (complaint.empty() ? "" : ": " + complaint);
}

std::optional<std::string> HelperJobPlacement::installAnchors(const fs::path& appBundle) {
    const fs::path folder = appBundle / "Contents" / "Resources" / "TrustAnchors";
    std::error_code error;
    std::vector<fs::path> anchors;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (it->path().extension() == ".pem") {
            anchors.push_back(it->path());
        }
    }
    std::sort(anchors.begin(), anchors.end());
    for (const fs::path& anchor : anchors) {
        std::string problem;
        const auto text = readBundleFile(anchor, maximumAnchorBytes, problem);
        if (!text) {
            return problem;
        }
        // Only a key goes into the trust store, written afresh from what was parsed.
        const auto key = Ed25519PublicKey::fromPem(*text);
        if (!key) {
            return anchor.string() + " is not an Ed25519 public key";
        }
        try {
            writeFileAtomically(paths_.trustAnchors() / anchor.filename(), key->pem(),
                                readOnlyForAll | fs::perms::owner_write);
        } catch (const FileWriteError& failure) {
            return failure.what();
        }
    }
    return std::nullopt;
}

Outcome HelperJobPlacement::install(std::string_view label, const fs::path& appBundle,
                                    const std::optional<std::string>& socketGroup) {
    SystemdHelperUnits units{std::string(label), installedHelper(label), paths_.helperSocket(label),
                             socketGroup, paths_.root()};
    if (!SystemdHelperUnits::isValidLabel(label)) {
        return {toolNotValid, quoted(label) + " is not a valid job label."};
    }
    if (auto problem = units.problem()) {
        return {toolNotValid, "The helper cannot be installed here: " + *problem + "."};
    }
    const std::string name(label);
    const fs::path bundled = appBundle / "Contents" / "Library" / "LaunchServices" / name;
    std::string problem;
    const auto helperBytes = readBundleFile(bundled, maximumHelperBytes, problem);
    if (!helperBytes) {
        return {toolNotValid, "The app bundle holds no helper tool: " + problem + "."};
    }
    const auto signatureBytes =
        readBundleFile(signatureOf(bundled), maximumSignatureBytes, problem);
    if (!signatureBytes) {
        return {invalidSignature,
                "The helper tool " + quoted(label) + " is not signed: " + problem + "."};
    }
    const auto infoText =
        readBundleFile(appBundle / "Contents" / "Info.json", maximumInfoBytes, problem);
    const auto info = infoText ? parseBoundedJson(*infoText, maximumPlistDepth) : std::nullopt;
    const nlohmann::json* requirementText = nullptr;
    if (info && info->is_object() && info->contains("SMPrivilegedExecutables") &&
        (*info)["SMPrivilegedExecutables"].is_object() &&
        (*info)["SMPrivilegedExecutables"].contains(name) &&
        (*info)["SMPrivilegedExecutables"][name].is_string()) {
        requirementText = &(*info)["SMPrivilegedExecutables"][name];
    }
    if (requirementText == nullptr) {
        return {toolNotValid,
                "The app's Info.json has no SMPrivilegedExecutables requirement for " +
                    quoted(label) + "."};
    }
    auto compiled = signing_.compileRequirement(requirementText->get<std::string>());
    if (const auto* error = std::get_if<std::string>(&compiled)) {
        return {toolNotValid, "The app's requirement for " + quoted(label) +
                                  " does not compile: " + *error + "."};
    }
    if (auto anchorProblem = installAnchors(appBundle)) {
        return {internalFailure,
                "The app's trust anchor cannot be installed: " + *anchorProblem + "."};
    }

    // The copy in root's folder is what gets checked, so the bytes installed are the bytes
    // checked.
    const fs::path tools = paths_.privilegedHelperTools();
    const fs::path staged = tools / ("." + name + ".installing");
    auto discardStaged = [&] {
        std::error_code ignored;
        fs::remove(staged, ignored);
        fs::remove(signatureOf(staged), ignored);
    };
    try {
        writeFileAtomically(staged, *helperBytes, ownerOnly);
        writeFileAtomically(signatureOf(staged), *signatureBytes, ownerOnly);
    } catch (const FileWriteError& failure) {
        discardStaged();
        return {internalFailure, std::string("Cannot place the helper: ") + failure.what() + "."};
    }
    const int status =
        signing_.checkFile(staged, *std::get<std::shared_ptr<const CodeRequirement>>(compiled));
    if (status != CodeSigningStatus::success) {
        discardStaged();
        return {invalidSignature, "The helper tool " + quoted(label) +
                                      " is refused: " + helperRefusalReason(status) + " (" +
                                      std::to_string(status) + ")."};
    }
    const CodeSigningFacts facts = signing_.inspect(staged);
    if (!facts.launchdPlist || !facts.launchdPlist->is_object()) {
        discardStaged();
        return {jobPlistNotFound,
                "The helper tool " + quoted(label) + " carries no launchd property list."};
    }
    const auto plistLabel = facts.launchdPlist->find("Label");
    if (plistLabel == facts.launchdPlist->end() || *plistLabel != name) {
        discardStaged();
        return {invalidPlist,
                "The helper's launchd property list does not name the job " + quoted(label) + "."};
    }

    std::error_code error;
    const fs::path installed = installedHelper(label);
    fs::permissions(staged, readOnlyForAll | fs::perms::owner_exec, error);
    if (!error) {
        fs::permissions(signatureOf(staged), readOnlyForAll, error);
    }
    if (!error) {
        fs::rename(signatureOf(staged), signatureOf(installed), error);
    }
    if (!error) {
        fs::rename(staged, installed, error);
    }
    if (error) {
        discardStaged();
        return {internalFailure,
                "Cannot install " + installed.string() + ": " + error.message() + "."};
    }

    try {
        writeFileAtomically(unitFile(units.socketUnitName()), units.socketUnit());
        writeFileAtomically(unitFile(units.serviceUnitName()), units.serviceUnit());
    } catch (const FileWriteError& failure) {
        return {internalFailure,
                std::string("Cannot write the helper's units: ") + failure.what() + "."};
    }
    if (auto failed = systemctl({"daemon-reload"})) {
        return {serviceUnavailable, *failed + "."};
    }
    if (auto failed = systemctl({"enable", "--now", units.socketUnitName()})) {
        return {serviceUnavailable, *failed + "."};
    }
    return {0, "Installed " + installed.string() + " behind " + units.socketUnitName() + "."};
}

Outcome HelperJobPlacement::remove(std::string_view label) {
    if (!SystemdHelperUnits::isValidLabel(label)) {
        return {jobNotFound, "No job is loaded for " + quoted(label) + "."};
    }
    const SystemdHelperUnits units{std::string(label), {}, {}, std::nullopt};
    const fs::path socketUnit = unitFile(units.socketUnitName());
    const fs::path serviceUnit = unitFile(units.serviceUnitName());
    const fs::path installed = installedHelper(label);
    std::error_code error;
    const bool hasUnits = fs::exists(socketUnit, error) || fs::exists(serviceUnit, error);
    if (!hasUnits && !fs::exists(installed, error)) {
        return {jobNotFound, "No job is loaded for " + quoted(label) + "."};
    }
    if (hasUnits) {
        if (auto failed =
                systemctl({"disable", "--now", units.socketUnitName(), units.serviceUnitName()})) {
            return {serviceUnavailable, *failed + "."};
        }
    }
    for (const fs::path& file : {socketUnit, serviceUnit, installed, signatureOf(installed)}) {
        if (!fs::remove(file, error) && error) {
            return {internalFailure,
                    "Cannot remove " + file.string() + ": " + error.message() + "."};
        }
    }
    if (hasUnits) {
        if (auto failed = systemctl({"daemon-reload"})) {
            return {serviceUnavailable, *failed + "."};
        }
    }
    return {0, "Removed the job " + quoted(label) + "."};
}

} // namespace aerivo
