#include "platform/desktop/ApplicationBundle.h"

#include "platform/posix/FileContents.h"

namespace aerivo {

std::filesystem::path
ApplicationBundle::bundlePathForExecutable(const std::filesystem::path& executablePath) {
    const std::filesystem::path folder = executablePath.lexically_normal().parent_path();
    const std::filesystem::path contents = folder.parent_path();
    if (folder.filename() == "MacOS" && contents.filename() == "Contents" &&
        contents.parent_path().extension() == ".app" &&
        contents.parent_path() != contents.root_path()) {
        return contents.parent_path();
    }
    return folder;
}

nlohmann::json ApplicationBundle::readInfoDictionary(const std::filesystem::path& bundlePath) {
    const auto text =
        readBoundedFile(bundlePath / "Contents" / "Info.json", maximumInfoDictionaryBytes);
    if (!text) {
        return nlohmann::json::object();
    }
    nlohmann::json parsed = nlohmann::json::parse(*text, nullptr, /*allow_exceptions=*/false);
    return parsed.is_object() ? parsed : nlohmann::json::object();
}

ApplicationBundle ApplicationBundle::forExecutable(const std::filesystem::path& executablePath) {
    ApplicationBundle bundle;
    if (!executablePath.is_absolute()) {
        // An unknown or relative location names no bundle; reading "Contents/Info.json" of the
        // working folder would pick up someone else's.
        return bundle;
    }
    bundle.executablePath = executablePath.lexically_normal();
    bundle.bundlePath = bundlePathForExecutable(executablePath);
    bundle.infoDictionary = readInfoDictionary(bundle.bundlePath);
    return bundle;
}

bool ApplicationBundle::isBundle() const {
    return !executablePath.empty() && bundlePath != executablePath.parent_path();
}

std::optional<std::string> ApplicationBundle::stringValue(const std::string& key) const {
    const auto found = infoDictionary.find(key);
    if (found == infoDictionary.end() || !found->is_string()) {
        return std::nullopt;
    }
    return found->get<std::string>();
}

} // namespace aerivo
