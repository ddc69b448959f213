#pragma once

#include <optional>
#include <string>

namespace aerivo {

// The published version and release page, as read from the update metadata document.
struct UpdateMetadata {
    std::string version;
    // An HTTPS address with a host, or none.
    std::optional<std::string> releaseURL;

    friend bool operator==(const UpdateMetadata&, const UpdateMetadata&) = default;
};

} // namespace aerivo
