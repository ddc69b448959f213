#pragma once

#include "platform/codesign/CodeSigning.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <optional>
#include <string>

namespace aerivo {

// What the app knows about one signed file: whether its signature holds, who signed it and the
// information property list it embeds.
struct CodeSigningInfo {
    bool isValid = false;
    std::optional<std::string> identifier;
    std::optional<std::string> teamIdentifier;
    // A JSON object, when the signature embeds one.
    std::optional<nlohmann::json> infoPlist;
    // "signature valid", "signature invalid (<status>)" or "signature object unavailable".
    std::string status;

    friend bool operator==(const CodeSigningInfo&, const CodeSigningInfo&) = default;
};

// Static inspection of a file's signature through the code-signing door.
struct CodeSigningInspector {
    CodeSigningInspector() = delete;

    // A missing or unreadable file gives "signature object unavailable" and nothing else; an
    // invalid signature still reports the facts it carries.
    static CodeSigningInfo inspect(const CodeSigning& signing, const std::filesystem::path& file);
};

} // namespace aerivo
