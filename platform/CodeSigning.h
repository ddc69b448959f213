#pragma once

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
// such as "signature invalid (-67062)" read as they would on a Mac.
struct CodeSigningStatus {
    CodeSigningStatus() = delete;

    static constexpr int success = 0;
    // The file has no signature (no readable "<file>.codesig").
    static constexpr int unsigned_ = -67062; // errSecCSUnsigned
    // Digest, team signature or certificate do not verify.
    static constexpr int signatureFailed = -67061; // errSecCSSignatureFailed
    // The signature is sound but does not satisfy the requirement.
    static constexpr int requirementFailed = -67050; // errSecCSReqFailed
    // The requirement text does not compile.
    static constexpr int requirementInvalid = -67052; // errSecCSReqInvalid
    // The file (or a process's running image) cannot be found or read.
    static constexpr int staticCodeNotFound = -67068; // errSecCSStaticCodeNotFound
    // No such process, or its image cannot be read.
    static constexpr int guestNotFound = -67065; // errSecCSNoSuchCode
};

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
};

} // namespace aerivo
