#include "tests/support/FakeCodeSigning.h"

#include <fstream>
#include <sstream>

namespace aerivo::testing {

namespace {

std::optional<std::string> readBytes(const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}

// FNV-1a: enough to notice a changed byte; nothing here needs to resist an attacker.
std::string digestOf(const std::string& bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : bytes) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return std::to_string(hash);
}

struct Clause {
    enum class Kind { anchor, identifier, team } kind;
    std::string value;
};

class FakeRequirement final : public CodeRequirement {
public:
    FakeRequirement(std::string text, std::vector<Clause> clauses)
        : text_(std::move(text)), clauses_(std::move(clauses)) {}
    const std::string& text() const override { return text_; }
    const std::vector<Clause>& clauses() const { return clauses_; }

private:
    std::string text_;
    std::vector<Clause> clauses_;
};

std::optional<std::string> quotedValue(std::string_view text, std::string_view prefix) {
    if (!text.starts_with(prefix) || text.size() < prefix.size() + 2 || text.back() != '"' ||
        text[prefix.size()] != '"') {
        return std::nullopt;
    }
    return std::string(text.substr(prefix.size() + 1, text.size() - prefix.size() - 2));
}

} // namespace

void FakeCodeSigning::sign(const std::filesystem::path& file, const Signature& signature) {
    nlohmann::json document = {{"identifier", signature.identifier},
                               {"digest", digestOf(readBytes(file).value_or(""))},
                               {"infoPlist", signature.infoPlist}};
    if (signature.teamIdentifier) {
        document["teamIdentifier"] = *signature.teamIdentifier;
    }
    if (signature.launchdPlist) {
        document["launchdPlist"] = *signature.launchdPlist;
    }
    std::ofstream(file.string() + ".codesig") << document.dump();
}

CodeSigningFacts FakeCodeSigning::inspect(const std::filesystem::path& file) const {
    CodeSigningFacts facts;
    const auto bytes = readBytes(file);
    if (!bytes) {
        facts.validityStatus = CodeSigningStatus::staticCodeNotFound;
        return facts;
    }
    facts.hasCodeObject = true;
    const auto text = readBytes(file.string() + ".codesig");
    const nlohmann::json document =
        text ? nlohmann::json::parse(*text, nullptr, false) : nlohmann::json();
    if (!document.is_object()) {
        facts.validityStatus = CodeSigningStatus::unsigned_;
        return facts;
    }
    facts.identifier = document.value("identifier", "");
    if (document.contains("teamIdentifier")) {
        facts.teamIdentifier = document["teamIdentifier"].get<std::string>();
    }
    facts.infoPlist = document.value("infoPlist", nlohmann::json::object());
    if (document.contains("launchdPlist")) {
        facts.launchdPlist = document["launchdPlist"];
    }
    facts.validityStatus = document.value("digest", "") == digestOf(*bytes)
                               ? CodeSigningStatus::success
                               : CodeSigningStatus::signatureFailed;
    return facts;
}

std::variant<std::shared_ptr<const CodeRequirement>, std::string>
FakeCodeSigning::compileRequirement(std::string_view text) const {
    std::vector<Clause> clauses;
    std::string_view rest = text;
    while (!rest.empty()) {
        const auto split = rest.find(" and ");
        const std::string_view clause = rest.substr(0, split);
        rest = split == std::string_view::npos ? std::string_view() : rest.substr(split + 5);
        if (clause == "anchor apple generic") {
            clauses.push_back({Clause::Kind::anchor, {}});
        } else if (auto identifier = quotedValue(clause, "identifier ")) {
            clauses.push_back({Clause::Kind::identifier, *identifier});
        } else if (auto team = quotedValue(clause, "certificate leaf[subject.OU] = ")) {
            clauses.push_back({Clause::Kind::team, *team});
        } else {
            return "unknown clause \"" + std::string(clause) + "\"";
        }
    }
    if (clauses.empty()) {
        return std::string("empty requirement");
    }
    return std::make_shared<FakeRequirement>(std::string(text), std::move(clauses));
}

int FakeCodeSigning::checkFile(const std::filesystem::path& file,
                               const CodeRequirement& requirement) const {
    const CodeSigningFacts facts = inspect(file);
    if (facts.validityStatus != CodeSigningStatus::success) {
        return facts.validityStatus;
    }
    const auto* compiled = dynamic_cast<const FakeRequirement*>(&requirement);
    if (compiled == nullptr) {
        return CodeSigningStatus::requirementInvalid;
    }
    for (const Clause& clause : compiled->clauses()) {
        const bool met = clause.kind == Clause::Kind::anchor
                             ? facts.teamIdentifier && trustedTeams.contains(*facts.teamIdentifier)
                         : clause.kind == Clause::Kind::identifier
                             ? facts.identifier == clause.value
                             : facts.teamIdentifier == clause.value;
        if (!met) {
            return CodeSigningStatus::requirementFailed;
        }
    }
    return CodeSigningStatus::success;
}

int FakeCodeSigning::checkProcess(pid_t pid, const CodeRequirement& requirement) const {
    std::error_code error;
    const auto image =
        std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
    if (error) {
        return CodeSigningStatus::guestNotFound;
    }
    return checkFile(image, requirement);
}

} // namespace aerivo::testing
