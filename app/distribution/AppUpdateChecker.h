#pragma once

#include "app/distribution/UpdateMetadata.h"
#include "app/model/AppUpdateChecking.h"
#include "platform/desktop/ApplicationBundle.h"
#include "platform/posix/ProcessEnvironment.h"

#include <nlohmann/json.hpp>

#include <compare>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// Is a newer version published? Fetches a small JSON document from an HTTPS address configured
// by the environment (AERIVO_UPDATE_CHECK_URL) or the bundle (AerivoUpdateCheckURL) and compares
// its version with the running one. Never downloads or installs anything: the result may carry
// a release page for the browser.
//
// Immutable once built, so checks may run on any thread, several at once.
class AppUpdateChecker final : public AppUpdateChecking {
public:
    // From URL to the body's bytes; throws a std::exception whose what() is the failure detail.
    using DataLoader = std::function<std::string(const std::string& url)>;

    AppUpdateChecker(const nlohmann::json& infoDictionary, const EnvironmentLookup& environment,
                     DataLoader loadData);

    // The application's checker: the running bundle's information dictionary, the process
    // environment and the libcurl loader with its production limits.
    static std::shared_ptr<AppUpdateChecker> standard(const ApplicationBundle& bundle);

    const std::string& currentVersion() const { return currentVersion_; }
    const std::optional<std::string>& updateURL() const { return updateURL_; }

    // Blocks while the document loads. Never throws.
    AppUpdateCheckResult checkForUpdates() override;

    // CFBundleShortVersionString, else CFBundleVersion (each only as a non-empty string), else
    // "development".
    static std::string currentVersion(const nlohmann::json& infoDictionary);
    // The configured metadata address, when it is an HTTPS address with a host. A set but blank
    // environment value means "none" and does not fall back to the bundle.
    static std::optional<std::string> updateURL(const EnvironmentLookup& environment,
                                                const nlohmann::json& infoDictionary);
    // The text itself when it is a URL with the scheme https (any letter case) and a host.
    static std::optional<std::string> httpsURL(std::string_view text);
    // Throws AppUpdateCheckerError.
    static UpdateMetadata metadata(std::string_view data);
    // White space trimmed from both ends, then "v" and "V": " v1.4.2\n" gives "1.4.2".
    static std::string sanitizedVersion(std::string_view text);
    // The runs of digits of the sanitized text as numbers ("2.0-beta3" gives 2, 0, 3); runs too
    // long for a 64-bit integer are dropped; [0] when nothing remains.
    static std::vector<std::int64_t> versionComponents(std::string_view text);
    // Component by component, a missing one counting as 0: less means a is older than b.
    static std::strong_ordering compareVersions(std::string_view a, std::string_view b);

private:
    std::string currentVersion_;
    std::optional<std::string> updateURL_;
    DataLoader loadData_;
};

} // namespace aerivo
