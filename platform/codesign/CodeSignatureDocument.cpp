#include "platform/codesign/CodeSignatureDocument.h"

#include "platform/codesign/JsonMembers.h"
#include "platform/crypto/Ed25519Key.h"
#include "platform/crypto/Sha256.h"

namespace aerivo {

namespace {

nlohmann::json unsignedJson(const CodeSignatureDocument& document) {
    nlohmann::json object = {{"format", CodeSignatureDocument::formatName},
                             {"identifier", document.identifier},
                             {"sha256", lowerHex(document.sha256)},
                             {"infoPlist", document.infoPlist}};
    if (document.launchdPlist) {
        object["launchdPlist"] = *document.launchdPlist;
    }
    if (document.teamIdentifier) {
        object["teamIdentifier"] = *document.teamIdentifier;
    }
    if (document.certificate) {
        object["certificate"] = document.certificate->json();
    }
    return object;
}

} // namespace

nlohmann::json CodeSignatureDocument::json() const {
    nlohmann::json object = unsignedJson(*this);
    if (signature) {
        object["signature"] = lowerHex(*signature);
    }
    return object;
}

std::string CodeSignatureDocument::signedMessage() const {
    return "aerivo-codesign code signature 1\n" + unsignedJson(*this).dump();
}

std::filesystem::path CodeSignatureDocument::pathFor(const std::filesystem::path& file) {
    std::filesystem::path path = file;
    path += ".codesig";
    return path;
}

std::variant<CodeSignatureDocument, std::string>
CodeSignatureDocument::fromJson(const nlohmann::json& json) {
    JsonMembers members(json, {"format", "identifier", "sha256", "infoPlist", "launchdPlist",
                               "teamIdentifier", "certificate", "signature"});
    auto format = members.string("format");
    if (format && *format != formatName) {
        return "unknown signature format \"" + *format + "\"";
    }
    CodeSignatureDocument document;
    auto identifier = members.string("identifier");
    auto digest = members.hex("sha256", 32);
    auto info = members.object("infoPlist");
    if (members.has("launchdPlist")) {
        document.launchdPlist = members.object("launchdPlist");
    }
    const int teamParts = int(members.has("teamIdentifier")) + int(members.has("certificate")) +
                          int(members.has("signature"));
    if (teamParts != 0 && teamParts != 3) {
        return std::string(
            "a team signature needs \"teamIdentifier\", \"certificate\" and \"signature\"");
    }
    std::optional<nlohmann::json> certificate;
    if (teamParts == 3) {
        document.teamIdentifier = members.string("teamIdentifier");
        certificate = members.object("certificate");
        document.signature = members.hex("signature", Ed25519PublicKey::signatureLength);
    }
    if (members.error()) {
        return *members.error();
    }
    if (identifier->empty()) {
        return std::string("the identifier is empty");
    }
    if (certificate) {
        auto parsed = TeamCertificate::fromJson(*certificate);
        if (auto* error = std::get_if<std::string>(&parsed)) {
            return "certificate: " + *error;
        }
        document.certificate = std::get<TeamCertificate>(std::move(parsed));
    }
    document.identifier = *identifier;
    document.sha256 = *digest;
    document.infoPlist = *info;
    return document;
}

} // namespace aerivo
