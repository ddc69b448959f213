// Signing and verifying files: the round trip, and which status each kind of damage gives.

#include "platform/codesign/CodeSignatureDocument.h"
#include "platform/crypto/Sha256.h"
#include "tests/codesign/SigningFixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>

namespace aerivo {
namespace {

using testing::fileText;
using testing::secondsNow;
using testing::SigningFixture;
using testing::writeText;

void editSignature(const std::filesystem::path& file,
                   const std::function<void(nlohmann::json&)>& edit) {
    const auto signaturePath = CodeSignatureDocument::pathFor(file);
    nlohmann::json document = nlohmann::json::parse(fileText(signaturePath));
    edit(document);
    writeText(signaturePath, document.dump(2));
}

TEST(CodeSignature, RoundTripCarriesIdentifierTeamAndBothPropertyLists) {
    SigningFixture fixture;
    const auto file = fixture.path("helper");
    writeText(file, "helper image");
    SigningRequest request = fixture.teamRequest("com.example.client.Helper");
    request.infoPlist = {{"SMAuthorizedClients", {"identifier \"com.example.client\""}}};
    request.launchdPlist = nlohmann::json{{"Label", "com.example.client.Helper"}};
    CodeSigner::signFile(file, request);

    CodeSigningFacts expected;
    expected.hasCodeObject = true;
    expected.validityStatus = CodeSigningStatus::success;
    expected.identifier = "com.example.client.Helper";
    expected.teamIdentifier = SigningFixture::team;
    expected.infoPlist = request.infoPlist;
    expected.launchdPlist = request.launchdPlist;
    EXPECT_EQ(fixture.signing().inspect(file), expected);

    // What is signed is the canonical form, not the file's layout.
    editSignature(file, [](nlohmann::json&) {});
    writeText(CodeSignatureDocument::pathFor(file),
              nlohmann::json::parse(fileText(CodeSignatureDocument::pathFor(file))).dump());
    EXPECT_EQ(fixture.signing().inspect(file), expected);
}

TEST(CodeSignature, RequirementOfAnotherImplementationIsInvalid) {
    struct ForeignRequirement final : CodeRequirement {
        std::string text_ = "anchor apple generic";
        const std::string& text() const override { return text_; }
    };
    SigningFixture fixture;
    const auto file = fixture.path("program");
    writeText(file, "program");
    CodeSigner::signFile(file, fixture.teamRequest());
    EXPECT_EQ(fixture.signing().checkFile(file, ForeignRequirement{}),
              CodeSigningStatus::requirementInvalid);
}

struct StatusCase {
    const char* name;
    // Applied to a file team-signed as SigningFixture::identifier by SigningFixture::team.
    std::function<void(SigningFixture&, const std::filesystem::path&)> alter;
    int inspectStatus;
    // Against SigningFixture::clientRequirementText().
    int checkStatus;
    // What inspection still reports: the identifier and team, when the signature was readable.
    std::optional<std::string> identifier = SigningFixture::identifier;
    std::optional<std::string> team = SigningFixture::team;
    bool hasCodeObject = true;
};

void resign(const std::filesystem::path& file, SigningRequest request) {
    CodeSigner::signFile(file, request);
}

std::vector<StatusCase> statusCases() {
    using S = CodeSigningStatus;
    const std::string other = "com.example.other";
    return {
        {"valid", [](auto&, auto&) {}, S::success, S::success},
        {"one byte of the file changed",
         [](auto&, auto& file) {
             std::string bytes = fileText(file);
             bytes[3] ^= 0x01;
             writeText(file, bytes);
         },
         S::signatureFailed, S::signatureFailed},
        {"identifier in the signature changed",
         [other](auto&, auto& file) {
             editSignature(file, [&](auto& json) { json["identifier"] = other; });
         },
         S::signatureFailed, S::signatureFailed, other},
        {"digest in the signature set to a changed file's",
         [](auto&, auto& file) {
             writeText(file, "another program");
             editSignature(
                 file, [](auto& json) { json["sha256"] = lowerHex(sha256("another program")); });
         },
         S::signatureFailed, S::signatureFailed},
        {"team in the certificate changed",
         [](auto&, auto& file) {
             editSignature(file, [](auto& json) {
                 json["certificate"]["teamIdentifier"] = SigningFixture::otherTeam;
             });
         },
         S::notTrusted, S::notTrusted},
        {"document names another team than its certificate",
         [](SigningFixture& fixture, auto& file) {
             const TeamSigningIdentity team = fixture.teamIdentity();
             CodeSignatureDocument document = CodeSigner::signFile(file, fixture.teamRequest());
             document.certificate = team.certificate;
             document.teamIdentifier = SigningFixture::otherTeam;
             document.signature = team.key.sign(document.signedMessage());
             writeText(CodeSignatureDocument::pathFor(file), document.json().dump());
         },
         S::signatureFailed, S::signatureFailed, SigningFixture::identifier,
         SigningFixture::otherTeam},
        {"signed by a key other than the certificate's",
         [](SigningFixture& fixture, auto& file) {
             const TeamCertificate foreign = fixture.teamIdentity().certificate;
             editSignature(file, [&](auto& json) { json["certificate"] = foreign.json(); });
         },
         S::signatureFailed, S::signatureFailed},
        {"signed by another team",
         [](SigningFixture& fixture, auto& file) {
             SigningRequest request = fixture.teamRequest();
             request.team = fixture.teamIdentity(SigningFixture::otherTeam);
             resign(file, request);
         },
         S::success, S::requirementFailed, SigningFixture::identifier, SigningFixture::otherTeam},
        {"signed under another identifier",
         [other](SigningFixture& fixture, auto& file) { resign(file, fixture.teamRequest(other)); },
         S::success, S::requirementFailed, other},
        {"ad hoc",
         [](SigningFixture& fixture, auto& file) {
             SigningRequest request = fixture.teamRequest();
             request.team.reset();
             resign(file, request);
         },
         S::success, S::requirementFailed, SigningFixture::identifier, std::nullopt},
        {"unsigned",
         [](auto&, auto& file) { std::filesystem::remove(CodeSignatureDocument::pathFor(file)); },
         S::unsigned_, S::unsigned_, std::nullopt, std::nullopt},
        {"signature is not JSON",
         [](auto&, auto& file) { writeText(CodeSignatureDocument::pathFor(file), "{\"format\""); },
         S::signatureFormatInvalid, S::signatureFormatInvalid, std::nullopt, std::nullopt},
        {"unknown signature format",
         [](auto&, auto& file) {
             editSignature(file, [](auto& json) { json["format"] = "aerivo-codesig-2"; });
         },
         S::signatureFormatInvalid, S::signatureFormatInvalid, std::nullopt, std::nullopt},
        {"signature nested beyond the bound",
         [](auto&, auto& file) {
             editSignature(file, [](auto& json) {
                 nlohmann::json deep = nlohmann::json::array();
                 for (int level = 0; level < 100; ++level) {
                     deep = nlohmann::json::array({deep});
                 }
                 json["infoPlist"]["deep"] = deep;
             });
         },
         S::signatureFormatInvalid, S::signatureFormatInvalid, std::nullopt, std::nullopt},
        {"signature larger than the bound",
         [](auto&, auto& file) {
             const std::string padding(CodeSignatureDocument::maximumFileBytes, ' ');
             writeText(CodeSignatureDocument::pathFor(file),
                       padding + fileText(CodeSignatureDocument::pathFor(file)));
         },
         S::signatureFormatInvalid, S::signatureFormatInvalid, std::nullopt, std::nullopt},
        {"anchor missing from the trust store",
         [](SigningFixture& fixture, auto&) {
             std::filesystem::remove(fixture.anchors() / "TestAnchor.pem");
         },
         S::notTrusted, S::notTrusted},
        {"certificate from an unknown anchor",
         [](SigningFixture& fixture, auto& file) {
             const Ed25519PrivateKey stranger = CodeSigner::makeKey();
             SigningRequest request = fixture.teamRequest();
             request.team = fixture.teamIdentity(SigningFixture::team, secondsNow() - 3600,
                                                 secondsNow() + 3600, &stranger);
             resign(file, request);
         },
         S::notTrusted, S::notTrusted},
        {"expired certificate",
         [](SigningFixture& fixture, auto& file) {
             SigningRequest request = fixture.teamRequest();
             request.team = fixture.teamIdentity(SigningFixture::team, secondsNow() - 7200,
                                                 secondsNow() - 3600);
             resign(file, request);
         },
         S::certificateExpired, S::certificateExpired},
        {"certificate not valid yet",
         [](SigningFixture& fixture, auto& file) {
             SigningRequest request = fixture.teamRequest();
             request.team = fixture.teamIdentity(SigningFixture::team, secondsNow() + 3600,
                                                 secondsNow() + 7200);
             resign(file, request);
         },
         S::certificateNotYetValid, S::certificateNotYetValid},
        {"file missing", [](auto&, auto& file) { std::filesystem::remove(file); },
         S::staticCodeNotFound, S::staticCodeNotFound, std::nullopt, std::nullopt, false},
        {"a FIFO where the file was (never read to its end)",
         [](auto&, auto& file) {
             std::filesystem::remove(file);
             ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
         },
         S::staticCodeNotFound, S::staticCodeNotFound, std::nullopt, std::nullopt, false},
    };
}

TEST(CodeSignature, EachKindOfDamageGivesItsStatus) {
    for (const StatusCase& row : statusCases()) {
        SCOPED_TRACE(row.name);
        SigningFixture fixture;
        const auto file = fixture.path("program");
        writeText(file, "program bytes");
        CodeSigner::signFile(file, fixture.teamRequest());
        row.alter(fixture, file);

        const OpenSSLCodeSigning signing = fixture.signing();
        const CodeSigningFacts facts = signing.inspect(file);
        EXPECT_EQ(facts.hasCodeObject, row.hasCodeObject);
        EXPECT_EQ(facts.validityStatus, row.inspectStatus);
        EXPECT_EQ(facts.identifier, row.identifier);
        EXPECT_EQ(facts.teamIdentifier, row.team);
        EXPECT_EQ(
            signing.checkFile(file, *fixture.requirement(SigningFixture::clientRequirementText())),
            row.checkStatus);
    }
}

} // namespace
} // namespace aerivo
