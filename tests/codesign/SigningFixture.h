#pragma once

#include "platform/codesign/CodeSigner.h"
#include "platform/codesign/OpenSSLCodeSigning.h"
#include "tests/support/TemporaryDirectory.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace aerivo::testing {

inline std::int64_t secondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

inline std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The tests' own trust store with one anchor, in a temporary folder, and teams certified by it.
class SigningFixture {
public:
    static constexpr const char* identifier = "com.example.client";
    static constexpr const char* team = "TESTTEAMA1";
    static constexpr const char* otherTeam = "TESTTEAMB2";

    SigningFixture() : folder_("aerivo-codesign"), anchorKey_(CodeSigner::makeKey()) {
        std::filesystem::create_directories(anchors());
        CodeSigner::writePublicKeyFile(anchors() / "TestAnchor.pem", anchorKey_.publicKey(), false);
    }

    std::filesystem::path anchors() const { return folder_.path() / "TrustAnchors"; }
    std::filesystem::path path(const std::string& name) const { return folder_.path() / name; }
    const Ed25519PrivateKey& anchorKey() const { return anchorKey_; }
    OpenSSLCodeSigning signing() const { return OpenSSLCodeSigning(anchors()); }

    // A team certified by `anchor` (the store's own by default), valid an hour either side of now
    // unless told otherwise.
    TeamSigningIdentity teamIdentity(const std::string& teamIdentifier = team,
                                     std::int64_t validFrom = secondsNow() - 3600,
                                     std::int64_t validUntil = secondsNow() + 3600,
                                     const Ed25519PrivateKey* anchor = nullptr) const {
        Ed25519PrivateKey key = CodeSigner::makeKey();
        TeamCertificate certificate = CodeSigner::makeTeamCertificate(
            teamIdentifier, key.publicKey(), anchor ? *anchor : anchorKey_, validFrom, validUntil);
        return {std::move(key), std::move(certificate)};
    }

    SigningRequest teamRequest(const std::string& signingIdentifier = identifier) const {
        SigningRequest request;
        request.identifier = signingIdentifier;
        request.infoPlist = {{"CFBundleIdentifier", signingIdentifier}};
        request.team = teamIdentity();
        return request;
    }

    // A copy of `source` (mode kept) under the folder.
    std::filesystem::path copy(const std::filesystem::path& source, const std::string& name) const {
        const std::filesystem::path destination = path(name);
        std::filesystem::copy_file(source, destination,
                                   std::filesystem::copy_options::overwrite_existing);
        return destination;
    }

    std::filesystem::path signedCopy(const std::filesystem::path& source, const std::string& name,
                                     const SigningRequest& request) const {
        const std::filesystem::path destination = copy(source, name);
        CodeSigner::signFile(destination, request);
        return destination;
    }

    std::shared_ptr<const CodeRequirement> requirement(const std::string& text) const {
        auto compiled = signing().compileRequirement(text);
        if (auto* error = std::get_if<std::string>(&compiled)) {
            throw std::invalid_argument(*error);
        }
        return std::get<std::shared_ptr<const CodeRequirement>>(compiled);
    }

    // The requirement the helper ships with, for this fixture's identifier and team.
    static std::string clientRequirementText() {
        return std::string("anchor apple generic and identifier \"") + identifier +
               "\" and certificate leaf[subject.OU] = \"" + team + "\"";
    }

private:
    TemporaryDirectory folder_;
    Ed25519PrivateKey anchorKey_;
};

} // namespace aerivo::testing
