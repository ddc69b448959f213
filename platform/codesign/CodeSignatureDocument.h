#pragma once

#include "platform/codesign/TeamCertificate.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>

namespace aerivo {

// The detached signature of a file F, stored beside it as "F.codesig" (a JSON object):
//
//   format          "aerivo-codesig-1"
//   identifier      the signing identifier (a bundle identifier or helper label)
//   sha256          SHA-256 of F, lower-case hexadecimal
//   infoPlist       the embedded information property list (an object)
//   launchdPlist    the embedded launchd property list (an object; helpers only)
//   teamIdentifier, certificate, signature
//                   all three for a team signature, none for an ad-hoc one: the team, its
//                   certificate (TeamCertificate::json) and the team key's Ed25519 signature
//                   over signedMessage()
//
// The signed bytes are the canonical JSON of everything but "signature" (nlohmann's compact
// dump of a key-sorted object), so the file's layout and white space do not matter.
struct CodeSignatureDocument {
    static constexpr const char* formatName = "aerivo-codesig-1";
    // Bounds for reading: a signature file is a few kilobytes.
    static constexpr std::size_t maximumFileBytes = 1024 * 1024;
    static constexpr std::size_t maximumDepth = 64;

    std::string identifier;
    std::string sha256; // 32 raw bytes
    nlohmann::json infoPlist = nlohmann::json::object();
    std::optional<nlohmann::json> launchdPlist;
    std::optional<std::string> teamIdentifier;
    std::optional<TeamCertificate> certificate;
    std::optional<std::string> signature; // 64 bytes

    bool isAdHoc() const { return !certificate.has_value(); }

    nlohmann::json json() const;
    static std::variant<CodeSignatureDocument, std::string> fromJson(const nlohmann::json& json);
    std::string signedMessage() const;

    // "<file>.codesig".
    static std::filesystem::path pathFor(const std::filesystem::path& file);

    friend bool operator==(const CodeSignatureDocument&, const CodeSignatureDocument&) = default;
};

} // namespace aerivo
