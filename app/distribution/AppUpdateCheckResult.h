#pragma once

#include <array>
#include <optional>
#include <string>

namespace aerivo {

// The answer of one update check.
struct AppUpdateCheckResult {
    enum class Status { updateAvailable, upToDate, unavailable, failed };
    static constexpr std::array<Status, 4> allStatuses{Status::updateAvailable, Status::upToDate,
                                                       Status::unavailable, Status::failed};

    Status status = Status::unavailable;
    std::string localVersion;
    std::optional<std::string> latestVersion;
    // The release page to open in the browser.
    std::optional<std::string> releaseURL;
    std::optional<std::string> detail;

    friend bool operator==(const AppUpdateCheckResult&, const AppUpdateCheckResult&) = default;
};

} // namespace aerivo
