#include "platform/codesign/CodeSigner.h"

#include "platform/crypto/Sha256.h"
#include "platform/posix/BoundedJson.h"
#include "platform/posix/FileContents.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace aerivo {

namespace {

constexpr std::size_t maximumKeyFileBytes = 64 * 1024;
constexpr std::size_t maximumPropertyListBytes = 1024 * 1024;

std::string systemError(const std::string& what, const std::filesystem::path& path) {
    return what + " " + path.string() + ": " + std::strerror(errno);
}

std::string readFile(const std::filesystem::path& path, std::size_t maximumBytes) {
    std::string error;
    auto bytes = readBoundedFile(path, maximumBytes, &error);
    if (!bytes) {
        throw CodeSigningError("cannot read " + path.string() + ": " + error);
    }
    return *bytes;
}

nlohmann::json readJsonFile(const std::filesystem::path& path, std::size_t maximumBytes) {
    std::string error;
    auto json =
        parseBoundedJson(readFile(path, maximumBytes), CodeSignatureDocument::maximumDepth, &error);
    if (!json) {
        throw CodeSigningError(path.string() + ": " + error);
    }
    return *json;
}

} // namespace

Ed25519PrivateKey CodeSigner::makeKey() {
    auto key = Ed25519PrivateKey::generate();
    if (!key) {
        throw CodeSigningError("OpenSSL could not make an Ed25519 key");
    }
    return *key;
}

TeamCertificate CodeSigner::makeTeamCertificate(std::string_view teamIdentifier,
                                                const Ed25519PublicKey& teamKey,
                                                const Ed25519PrivateKey& anchorKey,
                                                std::int64_t validFrom, std::int64_t validUntil) {
    if (!isValidTeamIdentifier(teamIdentifier)) {
        throw CodeSigningError("the team identifier \"" + std::string(teamIdentifier) +
                               "\" is not ten upper-case letters or digits");
    }
    if (validFrom >= validUntil) {
        throw CodeSigningError("the validity period is empty");
    }
    TeamCertificate certificate;
    certificate.teamIdentifier = std::string(teamIdentifier);
    certificate.teamPublicKey = teamKey.raw();
    certificate.anchorKeyIdentifier = anchorKey.publicKey().keyIdentifier();
    certificate.validFrom = validFrom;
    certificate.validUntil = validUntil;
    auto signature = anchorKey.sign(certificate.signedMessage());
    if (!signature) {
        throw CodeSigningError("OpenSSL could not sign the team certificate");
    }
    certificate.anchorSignature = *signature;
    return certificate;
}

CodeSignatureDocument CodeSigner::signFile(const std::filesystem::path& file,
                                           const SigningRequest& request) {
    if (request.identifier.empty()) {
        throw CodeSigningError("the signing identifier is empty");
    }
    if (!request.infoPlist.is_object() ||
        (request.launchdPlist && !request.launchdPlist->is_object())) {
        throw CodeSigningError("a property list must be a JSON object");
    }
    const int descriptor = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (descriptor < 0) {
        throw CodeSigningError(systemError("cannot open", file));
    }
    struct stat status {};
    const bool regular = ::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
    const auto digest = regular ? sha256OfDescriptor(descriptor) : std::nullopt;
    ::close(descriptor);
    if (!digest) {
        throw CodeSigningError("cannot read " + file.string() + " as a regular file");
    }

    CodeSignatureDocument document;
    document.identifier = request.identifier;
    document.sha256 = std::string(digest->begin(), digest->end());
    document.infoPlist = request.infoPlist;
    document.launchdPlist = request.launchdPlist;
    if (request.team) {
        const TeamSigningIdentity& team = *request.team;
        if (team.key.publicKey().raw() != team.certificate.teamPublicKey) {
            throw CodeSigningError("the team key does not belong to the team certificate");
        }
        document.teamIdentifier = team.certificate.teamIdentifier;
        document.certificate = team.certificate;
        auto signature = team.key.sign(document.signedMessage());
        if (!signature) {
            throw CodeSigningError("OpenSSL could not sign " + file.string());
        }
        document.signature = *signature;
    }
    writeFileAtomically(CodeSignatureDocument::pathFor(file), document.json().dump(2) + "\n", 0644,
                        true);
    return document;
}

void CodeSigner::writePrivateKeyFile(const std::filesystem::path& path,
                                     const Ed25519PrivateKey& key, bool overwrite) {
    writeFileAtomically(path, key.pem(), 0600, overwrite);
}

void CodeSigner::writePublicKeyFile(const std::filesystem::path& path, const Ed25519PublicKey& key,
                                    bool overwrite) {
    writeFileAtomically(path, key.pem(), 0644, overwrite);
}

void CodeSigner::writeCertificateFile(const std::filesystem::path& path,
                                      const TeamCertificate& certificate, bool overwrite) {
    writeFileAtomically(path, certificate.json().dump(2) + "\n", 0644, overwrite);
}

Ed25519PrivateKey CodeSigner::readPrivateKeyFile(const std::filesystem::path& path) {
    auto key = Ed25519PrivateKey::fromPem(readFile(path, maximumKeyFileBytes));
    if (!key) {
        throw CodeSigningError(path.string() + " is not an unencrypted Ed25519 private key (PEM)");
    }
    return *key;
}

Ed25519PublicKey CodeSigner::readPublicKeyFile(const std::filesystem::path& path) {
    auto key = Ed25519PublicKey::fromPem(readFile(path, maximumKeyFileBytes));
    if (!key) {
        throw CodeSigningError(path.string() + " is not an Ed25519 public key (PEM)");
    }
    return *key;
}

TeamCertificate CodeSigner::readCertificateFile(const std::filesystem::path& path) {
    auto certificate = TeamCertificate::fromJson(readJsonFile(path, maximumKeyFileBytes));
    if (auto* error = std::get_if<std::string>(&certificate)) {
        throw CodeSigningError(path.string() + " is not a team certificate: " + *error);
    }
    return std::get<TeamCertificate>(std::move(certificate));
}

nlohmann::json CodeSigner::readPropertyListFile(const std::filesystem::path& path) {
    nlohmann::json json = readJsonFile(path, maximumPropertyListBytes);
    if (!json.is_object()) {
        throw CodeSigningError(path.string() + " is not a JSON object");
    }
    return json;
}

void CodeSigner::writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                     mode_t mode, bool overwrite) {
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    std::string temporary = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    const int descriptor = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (descriptor < 0) {
        throw CodeSigningError(systemError("cannot create a file in", folder));
    }
    auto fail = [&](const std::string& what) {
        const std::string message = systemError(what, path);
        ::close(descriptor);
        ::unlink(temporary.c_str());
        throw CodeSigningError(message);
    };
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(descriptor, bytes.data() + written, bytes.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            fail("cannot write");
        }
        written += static_cast<std::size_t>(count);
    }
    if (::fchmod(descriptor, mode) != 0 || ::fsync(descriptor) != 0) {
        fail("cannot write");
    }
    if (::close(descriptor) != 0) {
        const std::string message = systemError("cannot write", path);
        ::unlink(temporary.c_str());
        throw CodeSigningError(message);
    }
    // link(2) fails on an existing name, which keeps an old key where rename would replace it.
    const int placed = overwrite ? ::rename(temporary.c_str(), path.c_str())
                                 : ::link(temporary.c_str(), path.c_str());
    const int placeError = errno;
    if (!overwrite || placed != 0) {
        ::unlink(temporary.c_str());
    }
    if (placed != 0) {
        errno = placeError;
        throw CodeSigningError(placeError == EEXIST ? path.string() + " exists already"
                                                    : systemError("cannot write", path));
    }
}

} // namespace aerivo
