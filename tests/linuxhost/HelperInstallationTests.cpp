// Installing the helper on a Linux host, end to end in a temporary root: the app's installer runs
// the real aerivo-install-helper through a stand-in for pkexec (which approves, or answers as an
// administrator who dismissed or refused the dialog), and that one drives a stand-in systemctl
// that keeps the enablement links as systemd does.

#include "platform/codesign/OpenSSLCodeSigning.h"
#include "platform/hardware/SystemHardware.h"
#include "platform/linuxhost/HelperJobPlacement.h"
#include "platform/linuxhost/PkexecJobInstaller.h"
#include "platform/linuxhost/SystemdHelperUnits.h"
#include "tests/codesign/SigningFixture.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

namespace aerivo {
namespace {

namespace fs = std::filesystem;
using testing::fileText;
using testing::writeText;

constexpr const char* label = "com.example.aerivo.Helper";

void writeScript(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    writeText(file, text);
    fs::permissions(file, fs::perms::owner_all);
}

// A temporary root with the two stand-ins, and a signed app bundle beside it.
class HostRoot {
public:
    explicit HostRoot(SystemPaths::Layout layout = SystemPaths::Layout::mac)
        : paths(rootFolder.path(), layout) {
        const std::string quotedRoot = "'" + root().string() + "'";
        // pkexec: the administrator's answer is <root>/pkexec.answer (approve when missing); the
        // program runs in this root, told who asked, as pkexec tells it.
        writeScript(paths.pkexec(),
                    "#!/bin/sh\nroot=" + quotedRoot +
                        "\nprintf '%s\\n' \"$*\" >> \"$root/pkexec.log\"\n"
                        "case \"$(cat \"$root/pkexec.answer\" 2>/dev/null)\" in\n"
                        "dismiss) exit 126;; deny) exit 127;;\nesac\n"
                        "AERIVO_SYSTEM_ROOT=\"$root\" PKEXEC_UID=$(id -u) exec \"$@\"\n");
        writeScript(
            paths.systemctl(),
            "#!/bin/sh\nroot=" + quotedRoot +
                "\nunits=\"$root/etc/systemd/system\"; wants=\"$units/sockets.target.wants\"\n"
                "printf '%s\\n' \"$*\" >> \"$root/systemctl.log\"\n"
                "command=$1; shift; [ \"$1\" = --now ] && shift\n"
                "case \"$command\" in\n"
                "daemon-reload) ;;\n"
                "enable) mkdir -p \"$wants\"; for unit; do\n"
                "  [ -f \"$units/$unit\" ] || { echo \"Unit file $unit does not exist.\" >&2; "
                "exit 1; }\n  ln -sf \"../$unit\" \"$wants/$unit\"; done;;\n"
                "disable) for unit; do rm -f \"$wants/$unit\"; done;;\n"
                "is-enabled) if [ -L \"$wants/$1\" ]; then echo enabled; else echo "
                "disabled; exit 1; fi;;\n"
                "*) exit 1;;\nesac\n");
        makeBundle();
    }

    const fs::path& root() const { return rootFolder.path(); }
    fs::path installed() const { return paths.privilegedHelperTools() / label; }
    fs::path bundledHelper() const { return bundle / "Contents/Library/LaunchServices" / label; }
    std::string log(const std::string& name) const {
        return fs::exists(root() / name) ? fileText(root() / name) : "";
    }
    std::string requirementText() const {
        return std::string("anchor apple generic and identifier \"") + label +
               "\" and certificate leaf[subject.OU] = \"" + testing::SigningFixture::team + "\"";
    }

    // A signed app bundle holding a helper for `label`, its requirement and the team's anchor.
    void makeBundle() {
        fs::create_directories(bundledHelper().parent_path());
        fs::create_directories(bundle / "Contents/Resources/TrustAnchors");
        fs::copy_file(signing.anchors() / "TestAnchor.pem",
                      bundle / "Contents/Resources/TrustAnchors/TestAnchor.pem");
        writeText(bundle / "Contents/Info.json",
                  nlohmann::json{{"CFBundleIdentifier", "com.example.aerivo"},
                                 {"SMPrivilegedExecutables", {{label, requirementText()}}}}
                      .dump());
        writeText(bundledHelper(), "#!/bin/sh\necho helper\n");
        SigningRequest request = signing.teamRequest(label);
        request.launchdPlist = nlohmann::json{{"Label", label}, {"MachServices", {{label, true}}}};
        CodeSigner::signFile(bundledHelper(), request);
    }

    // Approval, then the removal the app always sends first, then the installation.
    std::optional<PrivilegedJobError> install() {
        EXPECT_EQ(installer.createAuthorization(), 0);
        if (const int rights = installer.copyBlessRights(); rights != 0) {
            return PrivilegedJobError{rights, "not approved"};
        }
        const auto removed = installer.removeJob(label);
        EXPECT_TRUE(!removed || removed->code == PrivilegedJobError::noSuchJob)
            << removed->description;
        auto blessed = installer.blessJob(label, bundle);
        installer.freeAuthorization();
        return blessed;
    }

    int status() { return installer.daemonServiceStatus(std::string(label) + ".plist"); }

    testing::TemporaryDirectory rootFolder{"aerivo-host-root"};
    testing::TemporaryDirectory bundleFolder{"aerivo-host-bundle"};
    SystemPaths paths;
    fs::path bundle = bundleFolder.path() / "Aerivo Mac.app";
    testing::SigningFixture signing;
    PosixProcessRunner runner;
    PkexecJobInstaller installer{paths, runner, AERIVO_INSTALL_HELPER_PATH};
};

TEST(HostInstallation, InstallsTheVerifiedHelperItsAnchorAndUnitsThenEnablesTheSocket) {
    HostRoot host;
    auto& paths = host.paths;
    auto& installer = host.installer;
    const auto installed = [&] { return host.installed(); };
    const auto bundledHelper = [&] { return host.bundledHelper(); };
    EXPECT_EQ(host.status(),
              static_cast<int>(PrivilegedJobInstaller::DaemonServiceStatus::notFound));
    const auto error = host.install();
    ASSERT_FALSE(error) << error->code << " " << error->description;

    // The helper and its signature, as the bundle had them, read-only.
    EXPECT_EQ(fileText(installed()), fileText(bundledHelper()));
    EXPECT_EQ(fs::status(installed()).permissions(), fs::perms::owner_read | fs::perms::owner_exec |
                                                         fs::perms::group_read |
                                                         fs::perms::others_read);
    EXPECT_EQ(fileText(installed().string() + ".codesig"),
              fileText(bundledHelper().string() + ".codesig"));
    // The host now trusts the app's team: the installed copy verifies against its requirement.
    const OpenSSLCodeSigning hostSigning(paths.trustAnchors());
    auto requirement = hostSigning.compileRequirement(host.requirementText());
    ASSERT_TRUE(std::holds_alternative<std::shared_ptr<const CodeRequirement>>(requirement));
    EXPECT_EQ(hostSigning.checkFile(installed(),
                                    *std::get<std::shared_ptr<const CodeRequirement>>(requirement)),
              CodeSigningStatus::success);

    // The units: the socket on the helper socket path for the installing user's group, the
    // service starting the installed helper in this root.
    const std::string socketUnit =
        fileText(paths.systemdUnits() / (std::string(label) + ".socket"));
    const std::string serviceUnit =
        fileText(paths.systemdUnits() / (std::string(label) + ".service"));
    EXPECT_NE(socketUnit.find("\nListenStream=" + paths.helperSocket(label).string() + "\n"),
              std::string::npos)
        << socketUnit;
    const group* mine = ::getgrgid(::getgid());
    ASSERT_NE(mine, nullptr);
    EXPECT_NE(socketUnit.find(std::string("\nSocketGroup=") + mine->gr_name + "\n"),
              std::string::npos)
        << socketUnit;
    EXPECT_NE(serviceUnit.find("\nExecStart=" + installed().string() + "\n"), std::string::npos)
        << serviceUnit;
    EXPECT_NE(serviceUnit.find("\nEnvironment=AERIVO_SYSTEM_ROOT=" + host.root().string() + "\n"),
              std::string::npos)
        << serviceUnit;

    // One approval, then the installer's two runs; systemd learns of the units before the socket
    // is enabled.
    EXPECT_EQ(host.log("pkexec.log"), std::string(AERIVO_INSTALL_HELPER_PATH) + " authorize\n" +
                                          AERIVO_INSTALL_HELPER_PATH + " remove " + label + "\n" +
                                          AERIVO_INSTALL_HELPER_PATH + " install " + label + " " +
                                          host.bundle.string() + "\n");
    EXPECT_EQ(host.log("systemctl.log"),
              "daemon-reload\nenable --now " + std::string(label) + ".socket\n");
    EXPECT_EQ(host.status(),
              static_cast<int>(PrivilegedJobInstaller::DaemonServiceStatus::enabled));

    // Removing stops and disables both units, then deletes them and the helper.
    ASSERT_EQ(installer.createAuthorization(), 0);
    ASSERT_EQ(installer.copyBlessRights(), 0);
    EXPECT_FALSE(installer.removeJob(label));
    EXPECT_FALSE(fs::exists(installed()));
    EXPECT_FALSE(fs::exists(installed().string() + ".codesig"));
    EXPECT_TRUE(fs::is_empty(paths.systemdUnits() / "sockets.target.wants"));
    EXPECT_EQ(host.status(),
              static_cast<int>(PrivilegedJobInstaller::DaemonServiceStatus::notFound));
}

TEST(HostInstallation, OnTheHostsOwnLayoutTheHelperItsAnchorAndSocketAreInFHSPlaces) {
    HostRoot host(SystemPaths::Layout::linuxHost);
    const OpenSSLCodeSigning signing(host.paths.trustAnchors());
    HelperJobPlacement placement(host.paths, signing, host.runner);
    const HelperJobPlacement::Outcome outcome = placement.install(label, host.bundle, std::nullopt);
    ASSERT_EQ(outcome.code, 0) << outcome.message;

    const fs::path installed = host.root() / "var/lib/aerivo-mac/helpers" / label;
    EXPECT_EQ(fileText(installed), fileText(host.bundledHelper()));
    EXPECT_TRUE(fs::exists(host.root() / "etc/aerivo-mac/trust-anchors/TestAnchor.pem"));
    EXPECT_FALSE(fs::exists(host.root() / "Library"));
    // Only the installed helper may write the fans, and systemd listens in /run.
    EXPECT_TRUE(SystemHardware::isPrivilegedHelperImage(host.paths, installed.string()));
    const std::string socketUnit = fileText(placement.unitFile(std::string(label) + ".socket"));
    EXPECT_NE(
        socketUnit.find("\nListenStream=" + (host.root() / "run" / label).string() + ".sock\n"),
        std::string::npos)
        << socketUnit;
}

struct Refusal {
    const char* name;
    std::function<void(HostRoot&)> arrange;
    int code;
};

TEST(HostInstallation, ARefusedInstallationLeavesNothingInstalledAndNothingEnabled) {
    const std::vector<Refusal> refusals{
        {"the administrator dismisses the dialog",
         [](HostRoot& host) { writeText(host.root() / "pkexec.answer", "dismiss"); },
         PrivilegedJobInstaller::authorizationCanceled},
        {"polkit refuses", [](HostRoot& host) { writeText(host.root() / "pkexec.answer", "deny"); },
         PkexecJobInstaller::authorizationDenied},
        {"the helper was changed after signing",
         [](HostRoot& host) {
             std::ofstream(host.bundledHelper(), std::ios::app) << "# changed\n";
         },
         HelperJobPlacement::invalidSignature},
        {"the app names no requirement for the helper",
         [](HostRoot& host) {
             writeText(host.bundle / "Contents/Info.json", R"({"CFBundleIdentifier": "x"})");
         },
         HelperJobPlacement::toolNotValid},
        {"the helper's signature carries no launchd property list",
         [](HostRoot& host) {
             CodeSigner::signFile(host.bundledHelper(), host.signing.teamRequest(label));
         },
         HelperJobPlacement::jobPlistNotFound},
        {"the bundled helper is a link to another file",
         [](HostRoot& host) {
             fs::remove(host.bundledHelper());
             fs::create_symlink("/etc/hostname", host.bundledHelper());
         },
         HelperJobPlacement::toolNotValid},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        HostRoot host;
        refusal.arrange(host);
        const auto error = host.install();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code, refusal.code) << error->description;
        EXPECT_FALSE(error->description.empty());
        // Nothing staged is left behind and systemd was never asked to do anything.
        EXPECT_TRUE(!fs::exists(host.paths.privilegedHelperTools()) ||
                    fs::is_empty(host.paths.privilegedHelperTools()));
        EXPECT_FALSE(fs::exists(host.paths.systemdUnits()));
        EXPECT_EQ(host.log("systemctl.log"), "");
    }
}

TEST(HelperUnits, OnlyLabelsPathsAndGroupsAUnitFileReadsAsWrittenAreAccepted) {
    const SystemdHelperUnits good{label, "/Library/PrivilegedHelperTools/x", "/var/run/x.sock",
                                  "staff"};
    EXPECT_FALSE(good.problem());
    // On a real host the socket's path is written as systemd wants it, below /run.
    EXPECT_NE(good.socketUnit().find("\nListenStream=/run/x.sock\n"), std::string::npos);
    EXPECT_EQ(good.serviceUnit().find("AERIVO_SYSTEM_ROOT"), std::string::npos);

    const std::vector<std::function<void(SystemdHelperUnits&)>> bad{
        [](SystemdHelperUnits& units) { units.label = ".hidden"; },
        [](SystemdHelperUnits& units) { units.label = "a/b"; },
        [](SystemdHelperUnits& units) { units.label = "a b"; },
        [](SystemdHelperUnits& units) { units.helper = "/Library/Helper Tools/x"; },
        [](SystemdHelperUnits& units) { units.helper = "/opt/%h/x"; },
        [](SystemdHelperUnits& units) { units.socket = "relative.sock"; },
        [](SystemdHelperUnits& units) { units.socketGroup = "wheel\nUser=nobody"; },
        [](SystemdHelperUnits& units) { units.socketGroup = "1staff"; },
    };
    for (const auto& spoil : bad) {
        SystemdHelperUnits units = good;
        spoil(units);
        EXPECT_TRUE(units.problem()) << units.socketUnit();
    }
}

} // namespace
} // namespace aerivo
