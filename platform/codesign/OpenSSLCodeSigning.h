#pragma once

#include "platform/codesign/CodeSigning.h"
#include "platform/codesign/TrustAnchorStore.h"

namespace aerivo {

class CompiledCodeRequirement;

// CodeSigning over detached signatures (CodeSignatureDocument) checked with OpenSSL: Ed25519 for
// the team and anchor signatures, SHA-256 for the file's digest. A signature is valid when
//   - it is ad hoc (no team: integrity only, no team identifier), or its team certificate was
//     signed by an anchor of the trust store, is within its validity period, and the team's key
//     signed the document, which names the certificate's team; and
//   - the file's SHA-256 is the one the document carries.
// Thread-safe: it keeps no state between calls beyond the trust folder's path.
class OpenSSLCodeSigning final : public CodeSigning {
public:
    explicit OpenSSLCodeSigning(std::filesystem::path trustAnchorFolder);

    CodeSigningFacts inspect(const std::filesystem::path& file) const override;
    std::variant<std::shared_ptr<const CodeRequirement>, std::string>
    compileRequirement(std::string_view text) const override;
    int checkFile(const std::filesystem::path& file,
                  const CodeRequirement& requirement) const override;
    int checkProcess(pid_t pid, const CodeRequirement& requirement) const override;
    // Reads the image through /proc/<pid>/exe itself, so a file replaced on disk after the
    // process started cannot stand in for the code that runs; the signature is the ".codesig"
    // beside the path that link names.
    ProcessCodeCheck checkProcessImage(pid_t pid,
                                       const CodeRequirement& requirement) const override;

private:
    struct Verification;

    Verification verifyImage(int imageDescriptor, const std::filesystem::path& signaturePath) const;
    static ProcessCodeCheck judge(const Verification& verification,
                                  const CodeRequirement& requirement);

    TrustAnchorStore anchors_;
};

} // namespace aerivo
