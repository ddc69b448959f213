#include "platform/codesign/TeamCertificate.h"

#include "platform/codesign/JsonMembers.h"
#include "platform/crypto/Ed25519Key.h"
#include "platform/crypto/Sha256.h"

#include <algorithm>

namespace aerivo {

bool isValidTeamIdentifier(std::string_view text) {
    return text.size() == 10 && std::all_of(text.begin(), text.end(), [](char character) {
               return (character >= 'A' && character <= 'Z') ||
                      (character >= '0' && character <= '9');
           });
}

namespace {

nlohmann::json unsignedJson(const TeamCertificate& certificate) {
    return {{"teamIdentifier", certificate.teamIdentifier},
            {"teamPublicKey", lowerHex(certificate.teamPublicKey)},
            {"anchorKeyIdentifier", certificate.anchorKeyIdentifier},
            {"validFrom", certificate.validFrom},
            {"validUntil", certificate.validUntil}};
}

} // namespace

nlohmann::json TeamCertificate::json() const {
    nlohmann::json object = unsignedJson(*this);
    object["anchorSignature"] = lowerHex(anchorSignature);
    return object;
}

std::string TeamCertificate::signedMessage() const {
    return "aerivo-codesign team certificate 1\n" + unsignedJson(*this).dump();
}

std::variant<TeamCertificate, std::string> TeamCertificate::fromJson(const nlohmann::json& json) {
    JsonMembers members(json, {"teamIdentifier", "teamPublicKey", "anchorKeyIdentifier",
                               "validFrom", "validUntil", "anchorSignature"});
    TeamCertificate certificate;
    auto team = members.string("teamIdentifier");
    auto key = members.hex("teamPublicKey", Ed25519PublicKey::rawLength);
    auto anchor = members.hex("anchorKeyIdentifier", 32);
    auto from = members.integer("validFrom");
    auto until = members.integer("validUntil");
    auto signature = members.hex("anchorSignature", Ed25519PublicKey::signatureLength);
    if (members.error()) {
        return *members.error();
    }
    if (!isValidTeamIdentifier(*team)) {
        return "\"teamIdentifier\" is not ten upper-case letters or digits";
    }
    if (*from >= *until) {
        return std::string("the validity period is empty");
    }
    certificate.teamIdentifier = *team;
    certificate.teamPublicKey = *key;
    // The identifier is kept as text, the form in which anchors are looked up.
    certificate.anchorKeyIdentifier = lowerHex(*anchor);
    certificate.validFrom = *from;
    certificate.validUntil = *until;
    certificate.anchorSignature = *signature;
    return certificate;
}

} // namespace aerivo
