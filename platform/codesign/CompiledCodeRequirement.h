#pragma once

#include "platform/codesign/CodeSigning.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace aerivo {

// The requirement language, the subset of the Mac's the product uses:
//
//   requirement := clause { "and" clause }
//   clause      := "anchor" "apple" "generic"
//                | "identifier" string
//                | "certificate" "leaf[subject.OU]" "=" string
//   string      := '"' { any character but '"' and '\', or '\"', or '\\' } '"'
//
// Words are separated by white space; "=" and strings need none around them. Anything else is
// refused whole, with the offending token named: a requirement either means exactly what it says
// or nothing, never a part of it.
class CompiledCodeRequirement final : public CodeRequirement {
public:
    struct Clause {
        enum class Kind { anchorAppleGeneric, identifier, leafOrganizationalUnit };
        Kind kind = Kind::anchorAppleGeneric;
        std::string value; // empty for the anchor clause

        friend bool operator==(const Clause&, const Clause&) = default;
    };

    // What a verified signature offers a requirement.
    struct SignedFacts {
        // The signature is team-signed and its certificate chains to a trust anchor.
        bool isAnchored = false;
        std::optional<std::string> identifier;
        // The team of the (verified) leaf certificate.
        std::optional<std::string> certificateTeam;
    };

    static std::variant<std::shared_ptr<const CompiledCodeRequirement>, std::string>
    compile(std::string_view text);

    const std::string& text() const override { return text_; }
    const std::vector<Clause>& clauses() const { return clauses_; }

    bool isSatisfiedBy(const SignedFacts& facts) const;

private:
    CompiledCodeRequirement(std::string text, std::vector<Clause> clauses);

    std::string text_;
    std::vector<Clause> clauses_;
};

} // namespace aerivo
