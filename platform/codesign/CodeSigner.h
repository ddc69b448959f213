#pragma once

#include "platform/codesign/CodeSignatureDocument.h"
#include "platform/codesign/TeamCertificate.h"
#include "platform/crypto/Ed25519Key.h"

#include <nlohmann/json.hpp>

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace aerivo {

// A signing step that could not be done; the text says which and why.
class CodeSigningError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A team's private key with the certificate an anchor issued for it.
struct TeamSigningIdentity {
    Ed25519PrivateKey key;
    TeamCertificate certificate;
};

// What to sign a file as: its identifier, the property lists its signature carries, and the team
// (none: an ad-hoc signature).
struct SigningRequest {
    std::string identifier;
    nlohmann::json infoPlist = nlohmann::json::object();
    std::optional<nlohmann::json> launchdPlist;
    std::optional<TeamSigningIdentity> team;
};

// The signing side of code signing, shared by aerivo-codesign and the tests: keys, team
// certificates, signatures, and their files. Every function throws CodeSigningError on failure
// and never leaves a partly written file behind (files are written to a temporary name and
// renamed into place).
class CodeSigner {
public:
    CodeSigner() = delete;

    static Ed25519PrivateKey makeKey();
    // A certificate for the team's key, signed by the anchor; valid for
    // validFrom <= now < validUntil (Unix seconds).
    static TeamCertificate makeTeamCertificate(std::string_view teamIdentifier,
                                               const Ed25519PublicKey& teamKey,
                                               const Ed25519PrivateKey& anchorKey,
                                               std::int64_t validFrom, std::int64_t validUntil);
    // Hashes the file, signs the document and writes "<file>.codesig" (replacing an old one).
    static CodeSignatureDocument signFile(const std::filesystem::path& file,
                                          const SigningRequest& request);

    // Key files are PEM. A private key file is written with mode 0600. Unless `overwrite`, an
    // existing file is an error and stays as it was: keys are made once and kept.
    static void writePrivateKeyFile(const std::filesystem::path& path, const Ed25519PrivateKey& key,
                                    bool overwrite);
    static void writePublicKeyFile(const std::filesystem::path& path, const Ed25519PublicKey& key,
                                   bool overwrite);
    static void writeCertificateFile(const std::filesystem::path& path,
                                     const TeamCertificate& certificate, bool overwrite);
    static Ed25519PrivateKey readPrivateKeyFile(const std::filesystem::path& path);
    static Ed25519PublicKey readPublicKeyFile(const std::filesystem::path& path);
    static TeamCertificate readCertificateFile(const std::filesystem::path& path);
    // A property list file: one JSON object.
    static nlohmann::json readPropertyListFile(const std::filesystem::path& path);

    // Writes the bytes under a temporary name in the same folder, then moves them into place.
    static void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                    mode_t mode, bool overwrite);
};

} // namespace aerivo
