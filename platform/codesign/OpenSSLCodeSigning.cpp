#include "platform/codesign/OpenSSLCodeSigning.h"
#include "platform/posix/FileDescriptor.h"

#include "platform/codesign/CodeSignatureDocument.h"
#include "platform/codesign/CompiledCodeRequirement.h"
#include "platform/crypto/Sha256.h"
#include "platform/posix/BoundedJson.h"
#include "platform/posix/FileContents.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace aerivo {

namespace {

// Opens a file to be hashed: a regular file only (a FIFO or a device would never end), and
// without waiting on a FIFO's writer while finding that out.
int openRegularFile(const std::filesystem::path& path, struct stat& status) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (descriptor < 0) {
        return -1;
    }
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

std::int64_t nowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

struct OpenSSLCodeSigning::Verification {
    CodeSigningFacts facts;
    CompiledCodeRequirement::SignedFacts signedFacts;
    std::optional<CodeCheckEvidence> evidence; // when the status is success
};

OpenSSLCodeSigning::OpenSSLCodeSigning(std::filesystem::path trustAnchorFolder)
    : anchors_(std::move(trustAnchorFolder)) {}

OpenSSLCodeSigning::Verification
OpenSSLCodeSigning::verifyImage(int imageDescriptor,
                                const std::filesystem::path& signaturePath) const {
    Verification result;
    CodeSigningFacts& facts = result.facts;
    facts.hasCodeObject = true;

    const auto signatureIdentity = FileIdentity::ofPath(signaturePath);
    const auto text = readBoundedFile(signaturePath, CodeSignatureDocument::maximumFileBytes);
    if (!text) {
        const bool oversized =
            signatureIdentity &&
            signatureIdentity->size > std::int64_t{CodeSignatureDocument::maximumFileBytes};
        facts.validityStatus =
            oversized ? CodeSigningStatus::signatureFormatInvalid : CodeSigningStatus::unsigned_;
        return result;
    }
    const auto json = parseBoundedJson(*text, CodeSignatureDocument::maximumDepth);
    auto parsed = json ? CodeSignatureDocument::fromJson(*json)
                       : std::variant<CodeSignatureDocument, std::string>(std::string());
    auto* document = std::get_if<CodeSignatureDocument>(&parsed);
    if (document == nullptr) {
        facts.validityStatus = CodeSigningStatus::signatureFormatInvalid;
        return result;
    }
    facts.identifier = document->identifier;
    facts.teamIdentifier = document->teamIdentifier;
    facts.infoPlist = document->infoPlist;
    facts.launchdPlist = document->launchdPlist;

    std::optional<TrustAnchorStore::Anchor> anchor;
    if (!document->isAdHoc()) {
        const TeamCertificate& certificate = *document->certificate;
        anchor = anchors_.find(certificate.anchorKeyIdentifier);
        if (!anchor ||
            !anchor->key.verify(certificate.signedMessage(), certificate.anchorSignature)) {
            facts.validityStatus = CodeSigningStatus::notTrusted;
            return result;
        }
        const std::int64_t now = nowSeconds();
        if (now < certificate.validFrom) {
            facts.validityStatus = CodeSigningStatus::certificateNotYetValid;
            return result;
        }
        if (now >= certificate.validUntil) {
            facts.validityStatus = CodeSigningStatus::certificateExpired;
            return result;
        }
        const auto teamKey = Ed25519PublicKey::fromRaw(certificate.teamPublicKey);
        if (!teamKey || !teamKey->verify(document->signedMessage(), *document->signature) ||
            document->teamIdentifier != certificate.teamIdentifier) {
            facts.validityStatus = CodeSigningStatus::signatureFailed;
            return result;
        }
    }

    const auto imageIdentity = FileIdentity::ofDescriptor(imageDescriptor);
    const auto digest = sha256OfDescriptor(imageDescriptor);
    if (!digest || !imageIdentity) {
        facts.validityStatus = CodeSigningStatus::staticCodeNotFound;
        return result;
    }
    if (std::string(digest->begin(), digest->end()) != document->sha256) {
        facts.validityStatus = CodeSigningStatus::signatureFailed;
        return result;
    }

    facts.validityStatus = CodeSigningStatus::success;
    result.signedFacts.isAnchored = !document->isAdHoc();
    result.signedFacts.identifier = document->identifier;
    if (!document->isAdHoc()) {
        result.signedFacts.certificateTeam = document->certificate->teamIdentifier;
    }
    if (signatureIdentity) {
        result.evidence =
            CodeCheckEvidence{*imageIdentity, signaturePath, *signatureIdentity,
                              anchor ? std::optional(anchor->path) : std::nullopt,
                              anchor ? std::optional(anchor->identity) : std::nullopt};
    }
    return result;
}

CodeSigningFacts OpenSSLCodeSigning::inspect(const std::filesystem::path& file) const {
    struct stat status {};
    const FileDescriptor image(openRegularFile(file, status));
    if (image.get() < 0) {
        CodeSigningFacts facts;
        facts.validityStatus = CodeSigningStatus::staticCodeNotFound;
        return facts;
    }
    return verifyImage(image.get(), CodeSignatureDocument::pathFor(file)).facts;
}

std::variant<std::shared_ptr<const CodeRequirement>, std::string>
OpenSSLCodeSigning::compileRequirement(std::string_view text) const {
    auto compiled = CompiledCodeRequirement::compile(text);
    if (auto* error = std::get_if<std::string>(&compiled)) {
        return *error;
    }
    return std::shared_ptr<const CodeRequirement>(
        std::get<std::shared_ptr<const CompiledCodeRequirement>>(std::move(compiled)));
}

ProcessCodeCheck OpenSSLCodeSigning::judge(const Verification& verification,
                                           const CodeRequirement& requirement) {
    const auto* compiled = dynamic_cast<const CompiledCodeRequirement*>(&requirement);
    if (compiled == nullptr) {
        return {CodeSigningStatus::requirementInvalid, std::nullopt};
    }
    if (verification.facts.validityStatus != CodeSigningStatus::success) {
        return {verification.facts.validityStatus, std::nullopt};
    }
    if (!compiled->isSatisfiedBy(verification.signedFacts)) {
        return {CodeSigningStatus::requirementFailed, std::nullopt};
    }
    return {CodeSigningStatus::success, verification.evidence};
}

int OpenSSLCodeSigning::checkFile(const std::filesystem::path& file,
                                  const CodeRequirement& requirement) const {
    struct stat status {};
    const FileDescriptor image(openRegularFile(file, status));
    if (image.get() < 0) {
        return CodeSigningStatus::staticCodeNotFound;
    }
    return judge(verifyImage(image.get(), CodeSignatureDocument::pathFor(file)), requirement)
        .status;
}

int OpenSSLCodeSigning::checkProcess(pid_t pid, const CodeRequirement& requirement) const {
    return checkProcessImage(pid, requirement).status;
}

ProcessCodeCheck OpenSSLCodeSigning::checkProcessImage(pid_t pid,
                                                       const CodeRequirement& requirement) const {
    if (pid <= 0) {
        return {CodeSigningStatus::guestNotFound, std::nullopt};
    }
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    struct stat status {};
    // The link opens the inode the process runs, even when its path now names another file.
    const FileDescriptor image(openRegularFile(link, status));
    if (image.get() < 0) {
        return {CodeSigningStatus::guestNotFound, std::nullopt};
    }
    std::string target(4096, '\0');
    const ssize_t length = ::readlink(link.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) {
        return {CodeSigningStatus::guestNotFound, std::nullopt};
    }
    target.resize(static_cast<std::size_t>(length));
    // An image unlinked since it started reads "<path> (deleted)"; its signature, if any is
    // left, is still the one beside the path (and will not match a replacement's digest).
    static constexpr std::string_view deletedSuffix = " (deleted)";
    if (status.st_nlink == 0 && target.ends_with(deletedSuffix)) {
        target.resize(target.size() - deletedSuffix.size());
    }
    return judge(verifyImage(image.get(), CodeSignatureDocument::pathFor(target)), requirement);
}

} // namespace aerivo
