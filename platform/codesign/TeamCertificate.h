#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace aerivo {

// A team identifier: ten upper-case ASCII letters or digits, as the Mac's are.
bool isValidTeamIdentifier(std::string_view text);

// A signing team's certificate: its identifier and Ed25519 public key, a validity period, and
// a trust anchor's signature over all of them. The anchor is named by its key identifier (the
// SHA-256 of its public key); only a key found in the trust store can make the certificate
// trusted.
struct TeamCertificate {
    std::string teamIdentifier;
    std::string teamPublicKey; // the 32 raw key bytes
    std::string anchorKeyIdentifier;
    // Unix seconds; valid for validFrom <= now < validUntil.
    std::int64_t validFrom = 0;
    std::int64_t validUntil = 0;
    std::string anchorSignature; // 64 bytes

    // The JSON object of a certificate file and of a signature's "certificate" member. Binary
    // values are lower-case hexadecimal.
    nlohmann::json json() const;
    // Every member present with its exact type and form, no other member; or what is wrong.
    static std::variant<TeamCertificate, std::string> fromJson(const nlohmann::json& json);

    // The bytes the anchor signs: a context line and the canonical JSON of every member but the
    // anchor's signature.
    std::string signedMessage() const;

    friend bool operator==(const TeamCertificate&, const TeamCertificate&) = default;
};

} // namespace aerivo
