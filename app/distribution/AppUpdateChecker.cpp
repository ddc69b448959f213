#include "app/distribution/AppUpdateChecker.h"

#include "platform/posix/BoundedJson.h"

#include "app/distribution/AppUpdateCheckerError.h"
#include "app/distribution/WebAddress.h"
#include "platform/net/CurlURLLoader.h"
#include "shared/Utf8.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace aerivo {

namespace {

// Deeper than any metadata document.
constexpr std::size_t maximumMetadataDepth = 64;

std::optional<std::string> nonEmptyString(const nlohmann::json& dictionary, const char* key) {
    if (!dictionary.is_object()) {
        return std::nullopt;
    }
    const auto found = dictionary.find(key);
    if (found == dictionary.end() || !found->is_string()) {
        return std::nullopt;
    }
    std::string value = found->get<std::string>();
    if (value.empty()) {
        return std::nullopt;
    }
    return value;
}

// The first of `keys` whose value is a string.
const nlohmann::json* firstString(const nlohmann::json& object,
                                  std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        const auto found = object.find(key);
        if (found != object.end() && found->is_string()) {
            return &*found;
        }
    }
    return nullptr;
}

} // namespace

AppUpdateChecker::AppUpdateChecker(const nlohmann::json& infoDictionary,
                                   const EnvironmentLookup& environment, DataLoader loadData)
    : currentVersion_(currentVersion(infoDictionary)),
      updateURL_(updateURL(environment, infoDictionary)), loadData_(std::move(loadData)) {}

std::shared_ptr<AppUpdateChecker> AppUpdateChecker::standard(const ApplicationBundle& bundle) {
    return std::make_shared<AppUpdateChecker>(bundle.infoDictionary, currentProcessEnvironment(),
                                              CurlURLLoader());
}

AppUpdateCheckResult AppUpdateChecker::checkForUpdates() {
    AppUpdateCheckResult result;
    result.localVersion = currentVersion_;
    if (!updateURL_) {
        result.status = AppUpdateCheckResult::Status::unavailable;
        result.detail = "No update check URL is configured.";
        return result;
    }
    try {
        const UpdateMetadata latest = metadata(loadData_(*updateURL_));
        result.status = compareVersions(latest.version, currentVersion_) > 0
                            ? AppUpdateCheckResult::Status::updateAvailable
                            : AppUpdateCheckResult::Status::upToDate;
        result.latestVersion = latest.version;
        result.releaseURL = latest.releaseURL;
    } catch (const std::exception& error) {
        result.status = AppUpdateCheckResult::Status::failed;
        result.detail = error.what();
    } catch (...) {
        result.status = AppUpdateCheckResult::Status::failed;
        result.detail = "The update check failed.";
    }
    return result;
}

std::string AppUpdateChecker::currentVersion(const nlohmann::json& infoDictionary) {
    if (auto version = nonEmptyString(infoDictionary, "CFBundleShortVersionString")) {
        return *version;
    }
    if (auto version = nonEmptyString(infoDictionary, "CFBundleVersion")) {
        return *version;
    }
    return "development";
}

std::optional<std::string> AppUpdateChecker::updateURL(const EnvironmentLookup& environment,
                                                       const nlohmann::json& infoDictionary) {
    std::optional<std::string> raw = environment("AERIVO_UPDATE_CHECK_URL");
    if (!raw && infoDictionary.is_object()) {
        const auto found = infoDictionary.find("AerivoUpdateCheckURL");
        if (found != infoDictionary.end() && found->is_string()) {
            raw = found->get<std::string>();
        }
    }
    if (!raw || trimmedWhitespaceAndNewlines(*raw).empty()) {
        return std::nullopt;
    }
    return httpsURL(*raw);
}

std::optional<std::string> AppUpdateChecker::httpsURL(std::string_view text) {
    const auto address = WebAddress::parse(text);
    if (!address || !address->hasAuthority || address->host.empty()) {
        return std::nullopt;
    }
    std::string scheme = address->scheme;
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (scheme != "https") {
        return std::nullopt;
    }
    return address->text;
}

UpdateMetadata AppUpdateChecker::metadata(std::string_view data) {
    // Nesting is screened before a tree is built: within the 1 MiB the loader allows, a document
    // of nothing but brackets would otherwise build a million levels.
    const JsonScreen screen = screenJson(data, maximumMetadataDepth);
    if (screen.verdict == JsonScreen::Verdict::malformed) {
        throw AppUpdateCheckerError::notJSON(screen.errorPosition);
    }
    if (screen.verdict == JsonScreen::Verdict::tooDeep) {
        // Well-formed, but nested deeper than any metadata document: not the object we read.
        throw AppUpdateCheckerError::invalidMetadata();
    }
    const nlohmann::json document = nlohmann::json::parse(data);
    if (!document.is_object()) {
        throw AppUpdateCheckerError::invalidMetadata();
    }
    const nlohmann::json* version = firstString(document, {"version", "latestVersion", "tag_name"});
    if (version == nullptr) {
        throw AppUpdateCheckerError::missingVersion();
    }
    UpdateMetadata metadata;
    metadata.version = sanitizedVersion(version->get_ref<const std::string&>());
    if (const nlohmann::json* release = firstString(document, {"html_url", "release_url", "url"})) {
        metadata.releaseURL = httpsURL(release->get_ref<const std::string&>());
    }
    return metadata;
}

std::string AppUpdateChecker::sanitizedVersion(std::string_view text) {
    std::string_view version = trimmedWhitespaceAndNewlines(text);
    while (!version.empty() && (version.front() == 'v' || version.front() == 'V')) {
        version.remove_prefix(1);
    }
    while (!version.empty() && (version.back() == 'v' || version.back() == 'V')) {
        version.remove_suffix(1);
    }
    return std::string(version);
}

std::vector<std::int64_t> AppUpdateChecker::versionComponents(std::string_view text) {
    const std::string version = sanitizedVersion(text);
    std::vector<std::int64_t> components;
    std::size_t start = 0;
    while (start < version.size()) {
        while (start < version.size() && (version[start] < '0' || version[start] > '9')) {
            ++start;
        }
        std::size_t end = start;
        while (end < version.size() && version[end] >= '0' && version[end] <= '9') {
            ++end;
        }
        if (end > start) {
            std::int64_t value = 0;
            const auto [last, error] =
                std::from_chars(version.data() + start, version.data() + end, value);
            if (error == std::errc() && last == version.data() + end) {
                components.push_back(value);
            }
        }
        start = end;
    }
    if (components.empty()) {
        components.push_back(0);
    }
    return components;
}

std::strong_ordering AppUpdateChecker::compareVersions(std::string_view a, std::string_view b) {
    const auto left = versionComponents(a);
    const auto right = versionComponents(b);
    for (std::size_t i = 0; i < std::max(left.size(), right.size()); ++i) {
        const std::int64_t l = i < left.size() ? left[i] : 0;
        const std::int64_t r = i < right.size() ? right[i] : 0;
        if (l != r) {
            return l <=> r;
        }
    }
    return std::strong_ordering::equal;
}

} // namespace aerivo
