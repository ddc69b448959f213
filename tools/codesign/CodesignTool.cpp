#include "tools/codesign/CodesignTool.h"

#include "platform/codesign/CodeSigner.h"
#include "platform/codesign/OpenSSLCodeSigning.h"
#include "platform/posix/BoundedJson.h"
#include "platform/posix/FileContents.h"
#include "platform/posix/SystemPaths.h"

#include <charconv>
#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <sstream>

namespace aerivo {

namespace {

constexpr const char* usageText =
    "usage:\n"
    "  aerivo-codesign keygen anchor --key FILE --public FILE [--force | --reuse]\n"
    "  aerivo-codesign keygen team --team ID --anchor-key FILE --key FILE --certificate FILE\n"
    "                              [--valid-days N] [--force | --reuse]\n"
    "  aerivo-codesign sign FILE --identifier ID (--team-key FILE --certificate FILE | --adhoc)\n"
    "                       [--info FILE] [--launchd FILE]\n"
    "  aerivo-codesign verify FILE [--requirement TEXT] [--anchors DIR]\n"
    "  aerivo-codesign display FILE [--anchors DIR]\n";

constexpr int exitDone = 0;
constexpr int exitFailed = 1;
constexpr int exitUsage = 2;

struct UsageError {
    std::string message;
};

// The words after a command: positional values and "--name value" / "--flag" options, each at
// most once and only from the command's own list.
class Arguments {
public:
    Arguments(const std::vector<std::string>& words, std::size_t first,
              const std::set<std::string>& valueOptions, const std::set<std::string>& flags) {
        for (std::size_t index = first; index < words.size(); ++index) {
            const std::string& word = words[index];
            if (word.rfind("--", 0) != 0) {
                positional_.push_back(word);
                continue;
            }
            if (options_.count(word) != 0 || flags_.count(word) != 0) {
                throw UsageError{word + " is given twice"};
            }
            if (flags.count(word) != 0) {
                flags_.insert(word);
            } else if (valueOptions.count(word) != 0) {
                if (index + 1 >= words.size()) {
                    throw UsageError{word + " needs a value"};
                }
                options_[word] = words[++index];
            } else {
                throw UsageError{"unknown option " + word};
            }
        }
    }

    const std::string& onlyPositional(const char* what) const {
        if (positional_.size() != 1) {
            throw UsageError{std::string("expected one ") + what};
        }
        return positional_.front();
    }
    void noPositional() const {
        if (!positional_.empty()) {
            throw UsageError{"unexpected argument " + positional_.front()};
        }
    }
    std::optional<std::string> option(const std::string& name) const {
        const auto found = options_.find(name);
        return found == options_.end() ? std::nullopt : std::optional(found->second);
    }
    const std::string& required(const std::string& name) const {
        const auto found = options_.find(name);
        if (found == options_.end()) {
            throw UsageError{name + " is required"};
        }
        return found->second;
    }
    bool flag(const std::string& name) const { return flags_.count(name) != 0; }

private:
    std::vector<std::string> positional_;
    std::map<std::string, std::string> options_;
    std::set<std::string> flags_;
};

std::int64_t nowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::filesystem::path anchorFolder(const Arguments& arguments) {
    if (auto folder = arguments.option("--anchors")) {
        return *folder;
    }
    return SystemPaths::fromEnvironment().trustAnchors();
}

std::string statusText(int status) {
    if (status == CodeSigningStatus::success) {
        return "valid";
    }
    return "signature invalid (" + std::to_string(status) +
           "): " + codeSigningStatusMeaning(status);
}

// How keygen treats files that exist: refuse (the default: keys are made once), replace
// (--force), or keep the private key and bring what derives from it up to date (--reuse: the
// build runs this on every build, and it changes no file unless something is missing or stale).
enum class ExistingFiles { refuse, replace, reuse };

ExistingFiles existingFiles(const Arguments& arguments) {
    if (arguments.flag("--force") && arguments.flag("--reuse")) {
        throw UsageError{"--force and --reuse exclude each other"};
    }
    return arguments.flag("--force")   ? ExistingFiles::replace
           : arguments.flag("--reuse") ? ExistingFiles::reuse
                                       : ExistingFiles::refuse;
}

// Without --force or --reuse nothing is written when any output exists, so a refusal never
// leaves a new key beside an old certificate.
void refuseExisting(ExistingFiles existing, std::initializer_list<std::filesystem::path> files) {
    for (const auto& file : files) {
        if (existing == ExistingFiles::refuse && std::filesystem::exists(file)) {
            throw CodeSigningError(file.string() + " exists already (--force replaces it)");
        }
    }
}

Ed25519PrivateKey privateKey(const std::filesystem::path& file, ExistingFiles existing) {
    if (existing == ExistingFiles::reuse && std::filesystem::exists(file)) {
        return CodeSigner::readPrivateKeyFile(file);
    }
    Ed25519PrivateKey key = CodeSigner::makeKey();
    CodeSigner::writePrivateKeyFile(file, key, existing == ExistingFiles::replace);
    return key;
}

// Writes a derived file unless it already holds exactly these bytes.
void writeDerived(const std::filesystem::path& file, const std::string& bytes,
                  ExistingFiles existing) {
    if (existing == ExistingFiles::reuse &&
        readBoundedFile(file, bytes.size() + 1) == std::optional(bytes)) {
        return;
    }
    CodeSigner::writeFileAtomically(file, bytes, 0644, existing != ExistingFiles::refuse);
}

// A kept certificate must still be the one for this team, key and anchor, and not run out
// within a month.
bool certificateStillFits(const std::filesystem::path& file, std::string_view team,
                          const Ed25519PrivateKey& teamKey, const Ed25519PrivateKey& anchorKey) {
    try {
        const TeamCertificate certificate = CodeSigner::readCertificateFile(file);
        const std::int64_t now = nowSeconds();
        return certificate.teamIdentifier == team &&
               certificate.teamPublicKey == teamKey.publicKey().raw() &&
               certificate.anchorKeyIdentifier == anchorKey.publicKey().keyIdentifier() &&
               anchorKey.publicKey().verify(certificate.signedMessage(),
                                            certificate.anchorSignature) &&
               certificate.validFrom <= now && certificate.validUntil > now + 30 * 86400;
    } catch (const CodeSigningError&) {
        return false;
    }
}

int keygen(const std::vector<std::string>& words, std::ostream& output) {
    if (words.size() < 2 || (words[1] != "anchor" && words[1] != "team")) {
        throw UsageError{"keygen makes an \"anchor\" or a \"team\""};
    }
    if (words[1] == "anchor") {
        const Arguments arguments(words, 2, {"--key", "--public"}, {"--force", "--reuse"});
        arguments.noPositional();
        const std::filesystem::path keyFile = arguments.required("--key");
        const std::filesystem::path publicFile = arguments.required("--public");
        const ExistingFiles existing = existingFiles(arguments);
        refuseExisting(existing, {keyFile, publicFile});
        const Ed25519PrivateKey key = privateKey(keyFile, existing);
        writeDerived(publicFile, key.publicKey().pem(), existing);
        output << "anchor " << key.publicKey().keyIdentifier() << "\n";
        return exitDone;
    }
    const Arguments arguments(words, 2,
                              {"--team", "--anchor-key", "--key", "--certificate", "--valid-days"},
                              {"--force", "--reuse"});
    arguments.noPositional();
    int validDays = 3650;
    if (auto days = arguments.option("--valid-days")) {
        const auto [end, failure] =
            std::from_chars(days->data(), days->data() + days->size(), validDays);
        if (failure != std::errc() || end != days->data() + days->size() || validDays < 1 ||
            validDays > 36500) {
            throw UsageError{"--valid-days takes a whole number from 1 to 36500"};
        }
    }
    const std::string& team = arguments.required("--team");
    if (!isValidTeamIdentifier(team)) {
        throw UsageError{"--team takes ten upper-case letters or digits"};
    }
    const ExistingFiles existing = existingFiles(arguments);
    const Ed25519PrivateKey anchorKey =
        CodeSigner::readPrivateKeyFile(arguments.required("--anchor-key"));
    const std::filesystem::path keyFile = arguments.required("--key");
    const std::filesystem::path certificateFile = arguments.required("--certificate");
    refuseExisting(existing, {keyFile, certificateFile});
    const Ed25519PrivateKey teamKey = privateKey(keyFile, existing);
    if (existing == ExistingFiles::reuse &&
        certificateStillFits(certificateFile, team, teamKey, anchorKey)) {
        output << "team " << team << " kept\n";
        return exitDone;
    }
    const std::int64_t now = nowSeconds();
    const TeamCertificate certificate = CodeSigner::makeTeamCertificate(
        team, teamKey.publicKey(), anchorKey, now, now + std::int64_t{validDays} * 86400);
    CodeSigner::writeCertificateFile(certificateFile, certificate,
                                     existing != ExistingFiles::refuse);
    output << "team " << team << " certified by anchor " << certificate.anchorKeyIdentifier << "\n";
    return exitDone;
}

int sign(const std::vector<std::string>& words, std::ostream& output) {
    const Arguments arguments(
        words, 1, {"--identifier", "--team-key", "--certificate", "--info", "--launchd"},
        {"--adhoc"});
    const std::filesystem::path file = arguments.onlyPositional("file to sign");
    const bool adHoc = arguments.flag("--adhoc");
    const auto teamKey = arguments.option("--team-key");
    const auto certificate = arguments.option("--certificate");
    if (adHoc == (teamKey || certificate) || (!adHoc && !(teamKey && certificate))) {
        throw UsageError{"sign takes either --team-key and --certificate, or --adhoc"};
    }
    SigningRequest request;
    request.identifier = arguments.required("--identifier");
    if (request.identifier.empty()) {
        throw UsageError{"--identifier must not be empty"};
    }
    if (auto info = arguments.option("--info")) {
        request.infoPlist = CodeSigner::readPropertyListFile(*info);
    }
    if (auto launchd = arguments.option("--launchd")) {
        request.launchdPlist = CodeSigner::readPropertyListFile(*launchd);
    }
    if (!adHoc) {
        request.team = TeamSigningIdentity{CodeSigner::readPrivateKeyFile(*teamKey),
                                           CodeSigner::readCertificateFile(*certificate)};
    }
    const CodeSignatureDocument document = CodeSigner::signFile(file, request);
    output << file.string() << ": signed as " << document.identifier << " ("
           << document.teamIdentifier.value_or("ad hoc") << ")\n";
    return exitDone;
}

int verify(const std::vector<std::string>& words, std::ostream& output, std::ostream& error) {
    const Arguments arguments(words, 1, {"--requirement", "--anchors"}, {});
    const std::filesystem::path file = arguments.onlyPositional("file to verify");
    const OpenSSLCodeSigning signing(anchorFolder(arguments));
    int status = CodeSigningStatus::success;
    if (auto text = arguments.option("--requirement")) {
        auto requirement = signing.compileRequirement(*text);
        if (auto* problem = std::get_if<std::string>(&requirement)) {
            throw UsageError{"the requirement does not compile: " + *problem};
        }
        status =
            signing.checkFile(file, *std::get<std::shared_ptr<const CodeRequirement>>(requirement));
    } else {
        const CodeSigningFacts facts = signing.inspect(file);
        status = facts.hasCodeObject ? facts.validityStatus : CodeSigningStatus::staticCodeNotFound;
    }
    if (status != CodeSigningStatus::success) {
        error << file.string() << ": " << statusText(status) << "\n";
        return exitFailed;
    }
    output << file.string() << ": valid"
           << (arguments.option("--requirement") ? ", satisfies the requirement" : "") << "\n";
    return exitDone;
}

void printPropertyList(std::ostream& output, const char* name, const nlohmann::json& list) {
    output << name << " entries=" << list.size() << "\n";
    output << name << "=" << list.dump(2) << "\n";
}

int display(const std::vector<std::string>& words, std::ostream& output) {
    const Arguments arguments(words, 1, {"--anchors"}, {});
    const std::filesystem::path file = arguments.onlyPositional("file to display");
    const OpenSSLCodeSigning signing(anchorFolder(arguments));
    const CodeSigningFacts facts = signing.inspect(file);
    output << "Executable=" << file.string() << "\n";
    if (!facts.hasCodeObject) {
        output << "Status=signature object unavailable\n";
        return exitFailed;
    }
    if (facts.identifier) {
        output << "Identifier=" << *facts.identifier << "\n";
        output << "Format=detached signature (" << CodeSignatureDocument::formatName << ", "
               << (facts.teamIdentifier ? "Ed25519" : "ad hoc") << ")\n";
        output << "TeamIdentifier=" << facts.teamIdentifier.value_or("not set") << "\n";
    }
    output << "Status=" << statusText(facts.validityStatus) << "\n";
    if (facts.infoPlist) {
        printPropertyList(output, "Info.plist", *facts.infoPlist);
    }
    if (facts.launchdPlist) {
        printPropertyList(output, "Launchd.plist", *facts.launchdPlist);
    }
    return facts.validityStatus == CodeSigningStatus::success ? exitDone : exitFailed;
}

} // namespace

int runCodesignTool(const std::vector<std::string>& arguments, std::ostream& output,
                    std::ostream& error) {
    try {
        if (arguments.empty()) {
            throw UsageError{"no command"};
        }
        const std::string& command = arguments.front();
        if (command == "keygen") {
            return keygen(arguments, output);
        }
        if (command == "sign") {
            return sign(arguments, output);
        }
        if (command == "verify") {
            return verify(arguments, output, error);
        }
        if (command == "display") {
            return display(arguments, output);
        }
        throw UsageError{"unknown command " + command};
    } catch (const UsageError& usage) {
        error << "aerivo-codesign: " << usage.message << "\n" << usageText;
        return exitUsage;
    } catch (const std::exception& failure) {
        error << "aerivo-codesign: " << failure.what() << "\n";
        return exitFailed;
    }
}

} // namespace aerivo
