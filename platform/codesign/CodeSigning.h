#pragma once

#include "platform/posix/FileIdentity.h"

#include <nlohmann/json.hpp>

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace aerivo {

// Status codes of the code-signing checks, in the Mac's decimal OSStatus values so that texts
// such as "signature invalid (-67062)" read as they would on a Mac. Which failure gives which:
// docs/architecture.md, "Code signing".
struct CodeSigningStatus {
    CodeSigningStatus() = delete;

    static constexpr int success = 0;
    // The file has no signature (no readable "<file>.codesig").
    static constexpr int unsigned_ = -67062; // errSecCSUnsigned
    // The file's digest does not match its signature, or the team's signature over the signature
    // document does not verify, or the document names another team than its certificate.
    static constexpr int signatureFailed = -67061; // errSecCSSignatureFailed
    // "<file>.codesig" exists but is not a signature document of a format this code reads.
    static constexpr int signatureFormatInvalid = -67045; // errSecCSSignatureInvalid
    // The team certificate was not issued by any anchor of the trust store.
    static constexpr int notTrusted = -2147409622; // CSSMERR_TP_NOT_TRUSTED
    // The team certificate's validity period has ended, or has not begun.
    static constexpr int certificateExpired = -2147409654;     // CSSMERR_TP_CERT_EXPIRED
    static constexpr int certificateNotYetValid = -2147409653; // CSSMERR_TP_CERT_NOT_VALID_YET
    // The signature is sound but does not satisfy the requirement.
    static constexpr int requirementFailed = -67050; // errSecCSReqFailed
    // The requirement text does not compile, or was not compiled by this implementation.
    static constexpr int requirementInvalid = -67052; // errSecCSReqInvalid
    // The file cannot be found or read, or is not a regular file.
    static constexpr int staticCodeNotFound = -67068; // errSecCSStaticCodeNotFound
    // No such process, or its image cannot be read.
    static constexpr int guestNotFound = -67065; // errSecCSNoSuchCode
};

// A short English explanation of a status ("valid", "the file was changed after it was signed").
std::string codeSigningStatusMeaning(int status);

// Why blessing refuses a helper whose check gave `status`, as the installers word it ("its
// signature does not verify").
std::string helperRefusalReason(int status);

// What inspecting one file tells: whether a signature object could be made at all, the validity
// status (0 = valid), and the signing facts the signature carries (present even when the status
// is not 0, as far as they could be read).
struct CodeSigningFacts {
    // False when the file does not exist or cannot be read ("signature object unavailable").
    bool hasCodeObject = false;
    int validityStatus = CodeSigningStatus::unsigned_;
    std::optional<std::string> identifier;
    std::optional<std::string> teamIdentifier;
    // The embedded information property list, a JSON object.
    std::optional<nlohmann::json> infoPlist;
    // The embedded launchd property list (helpers only), a JSON object.
    std::optional<nlohmann::json> launchdPlist;

    friend bool operator==(const CodeSigningFacts&, const CodeSigningFacts&) = default;
};

// What a verdict on a running image rests on: the image that was actually hashed (identified
// through the open descriptor, not the path), its signature file and the trust anchor file that
// certified the signing team (none for an ad-hoc signature).
struct CodeCheckEvidence {
    FileIdentity image;
    std::filesystem::path signaturePath;
    FileIdentity signature;
    std::optional<std::filesystem::path> anchorPath;
    std::optional<FileIdentity> anchor;

    friend bool operator==(const CodeCheckEvidence&, const CodeCheckEvidence&) = default;
};

struct ProcessCodeCheck {
    int status = CodeSigningStatus::guestNotFound;
    // Present when the check succeeded.
    std::optional<CodeCheckEvidence> evidence;
};

// A compiled requirement: "anchor apple generic", `identifier "…"` and
// `certificate leaf[subject.OU] = "…"`, joined by "and". Opaque to callers.
class CodeRequirement {
public:
    virtual ~CodeRequirement() = default;
    // The requirement as it was compiled.
    virtual const std::string& text() const = 0;
};

// The door to code signing (the Security framework's static and guest code checks).
class CodeSigning {
public:
    virtual ~CodeSigning() = default;

    // Static inspection of a file and its detached signature.
    virtual CodeSigningFacts inspect(const std::filesystem::path& file) const = 0;

    // A compiled requirement, or an error text naming what did not compile.
    virtual std::variant<std::shared_ptr<const CodeRequirement>, std::string>
    compileRequirement(std::string_view text) const = 0;

    // 0 when the file's signature is valid and satisfies the requirement; otherwise a status of
    // CodeSigningStatus.
    virtual int checkFile(const std::filesystem::path& file,
                          const CodeRequirement& requirement) const = 0;

    // The same check on the running image of a process (its /proc/<pid>/exe).
    virtual int checkProcess(pid_t pid, const CodeRequirement& requirement) const = 0;

    // checkProcess, also telling what the verdict rests on, so that a caller may keep the verdict
    // for as long as none of it changes. Implementations that cannot tell give no evidence.
    virtual ProcessCodeCheck checkProcessImage(pid_t pid,
                                               const CodeRequirement& requirement) const {
        return {checkProcess(pid, requirement), std::nullopt};
    }
};

} // namespace aerivo
