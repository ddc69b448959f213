#pragma once

#include "platform/codesign/CodeSigning.h"

#include <set>

namespace aerivo::testing {

// Code signing without cryptography, for tests of the code that acts on its answers. A signed
// file F has a JSON "F.codesig" (written by `sign`) holding the signing facts and a digest of
// F's bytes, so a copy stays signed and a tampered file is caught, as with real signatures.
// Teams in `trustedTeams` chain to the anchor ("anchor apple generic"); others do not.
// Requirements: "anchor apple generic", `identifier "…"`, `certificate leaf[subject.OU] = "…"`,
// joined by " and "; anything else does not compile.
class FakeCodeSigning final : public CodeSigning {
public:
    struct Signature {
        std::string identifier;
        std::optional<std::string> teamIdentifier;
        nlohmann::json infoPlist = nlohmann::json::object();
        std::optional<nlohmann::json> launchdPlist;
    };

    std::set<std::string> trustedTeams;

    // Writes F.codesig for F's current bytes.
    static void sign(const std::filesystem::path& file, const Signature& signature);

    CodeSigningFacts inspect(const std::filesystem::path& file) const override;
    std::variant<std::shared_ptr<const CodeRequirement>, std::string>
    compileRequirement(std::string_view text) const override;
    int checkFile(const std::filesystem::path& file,
                  const CodeRequirement& requirement) const override;
    int checkProcess(pid_t pid, const CodeRequirement& requirement) const override;
};

} // namespace aerivo::testing
