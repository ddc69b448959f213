// The requirement language: what compiles, what each clause demands, and what never compiles.

#include "platform/codesign/CompiledCodeRequirement.h"

#include <gtest/gtest.h>

namespace aerivo {
namespace {

using Facts = CompiledCodeRequirement::SignedFacts;

const Facts teamSigned{true, "com.example.client", "TESTTEAMA1"};
const Facts adHoc{false, "com.example.client", std::nullopt};

struct SatisfactionCase {
    const char* text;
    Facts facts;
    bool satisfied;
};

TEST(CodeRequirementLanguage, ClausesDemandWhatTheySay) {
    const std::vector<SatisfactionCase> cases = {
        {R"(anchor apple generic and identifier "com.example.client" and certificate leaf[subject.OU] = "TESTTEAMA1")",
         teamSigned, true},
        {R"(anchor apple generic and identifier "com.example.client")", adHoc, false},
        {R"(identifier "com.example.client")", adHoc, true},
        {R"(identifier "com.example")", teamSigned, false},
        {R"(identifier "com.example.client.")", teamSigned, false},
        {R"(certificate leaf[subject.OU] = "TESTTEAMA1")", adHoc, false},
        {R"(certificate leaf[subject.OU]="TESTTEAMB2")", teamSigned, false},
        {"\tanchor  apple\ngeneric\r\nand certificate leaf[subject.OU]=\"TESTTEAMA1\" ", teamSigned,
         true},
        {R"(identifier "a\"b\\c")", Facts{true, "a\"b\\c", std::nullopt}, true},
        {R"(identifier "a" and identifier "b")", Facts{true, "a", std::nullopt}, false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.text);
        auto compiled = CompiledCodeRequirement::compile(row.text);
        ASSERT_TRUE(
            std::holds_alternative<std::shared_ptr<const CompiledCodeRequirement>>(compiled))
            << std::get<std::string>(compiled);
        const auto& requirement =
            *std::get<std::shared_ptr<const CompiledCodeRequirement>>(compiled);
        EXPECT_EQ(requirement.text(), row.text);
        EXPECT_EQ(requirement.isSatisfiedBy(row.facts), row.satisfied);
    }
}

struct CompileErrorCase {
    std::string text;
    // A part of the error text: the token or construct it names.
    const char* names;
};

TEST(CodeRequirementLanguage, AnythingElseDoesNotCompileAndTheErrorNamesIt) {
    const std::vector<CompileErrorCase> cases = {
        {"", "empty requirement"},
        {"   ", "empty requirement"},
        {"anchor apple", "expected \"generic\", found the end"},
        {"anchor apple generic or identifier \"a\"", "expected \"and\" or the end, found \"or\""},
        {"anchor apple generic and", "a clause must follow \"and\""},
        {"and identifier \"a\"", "unknown clause \"and\""},
        {"identifier \"a\" identifier \"b\"", "found \"identifier\" at offset 15"},
        {"identifier com.example.client", "expected a quoted string after \"identifier\""},
        {"identifier \"com.example", "unterminated string at offset 11"},
        {"identifier \"a\\nb\"", "unknown escape"},
        {"cdhash H\"0123\"", "unknown clause \"cdhash\""},
        {"anchor trusted", "expected \"apple\", found \"trusted\""},
        {"certificate leaf[subject.CN] = \"x\"", "found \"leaf[subject.CN]\""},
        {"certificate leaf[subject.OU] \"x\"", "expected \"=\" after \"leaf[subject.OU]\""},
        {"certificate leaf[subject.OU] = TEAM", "expected a quoted string after \"=\""},
        {"identifier \"a\" and (identifier \"b\")", "unknown clause \"(identifier\""},
        {"identifier \"a\" and !identifier \"b\"", "unknown clause \"!identifier\""},
        {"Identifier \"a\"", "unknown clause \"Identifier\""},
        {std::string("identifier \"a\xff\""), "not UTF-8"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.text);
        auto compiled = CompiledCodeRequirement::compile(row.text);
        ASSERT_TRUE(std::holds_alternative<std::string>(compiled));
        EXPECT_NE(std::get<std::string>(compiled).find(row.names), std::string::npos)
            << std::get<std::string>(compiled);
    }
}

} // namespace
} // namespace aerivo
