// The Debian package as a user meets it: dpkg installs it into an empty root, its launcher runs
// the app against the simulated Mac (installing the helper through the app, leasing the fan,
// starting the tray app), the packaged installer writes systemd units that systemd accepts, and
// purging the package leaves nothing but dpkg's own records.

#include "app/helperclient/PrivilegedHelperHealth.h"
#include "tests/e2e/SimulatorProcess.h"
#include "tests/support/RunningProcess.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

namespace aerivo {
namespace {

namespace fs = std::filesystem;
using testing::fieldValue;
using testing::ProgramRun;
using testing::RunningProcess;
using testing::SimulatorProcess;
using testing::TemporaryDirectory;
using testing::TemporarySystemRoot;

const fs::path packageFile = AERIVO_PACKAGE_FILE;
// dpkg wants ldconfig and start-stop-daemon on the PATH, which a test's PATH may lack.
const std::string adminPath = "PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";

// The next line starting with `prefix`; empty when the output ended first.
std::string nextLine(RunningProcess& program, const std::string& prefix) {
    for (std::string line = program.readLine(); !line.empty(); line = program.readLine()) {
        if (line.starts_with(prefix)) {
            return line;
        }
    }
    return {};
}

// An empty dpkg database in a fresh root: nothing is installed there, so the package's
// dependencies are the host's (--force-depends) and its maintainer scripts run on the host's
// shell with DPKG_ROOT set (--force-script-chrootless), as the root holds no shell of its own.
class PackageRoot {
public:
    PackageRoot() {
        fs::create_directories(database() / "info");
        fs::create_directories(database() / "updates");
        std::ofstream(database() / "status");
        std::ofstream(database() / "available");
    }

    const fs::path& path() const { return folder_.path(); }
    fs::path database() const { return path() / "var/lib/dpkg"; }

    ProgramRun dpkg(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {"--root=" + path().string(), "--force-depends",
                                             "--force-script-chrootless"});
        if (::geteuid() != 0) {
            arguments.insert(arguments.begin(), "dpkg");
            return testing::runProgram("/usr/bin/fakeroot", arguments, {adminPath});
        }
        return testing::runProgram("/usr/bin/dpkg", arguments, {adminPath});
    }

    // Every path under the root that is neither dpkg's database nor a folder holding it.
    std::vector<std::string> leftovers() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(path())) {
            const std::string relative = entry.path().lexically_relative(path()).string();
            if (relative != "var" && relative != "var/lib" &&
                !relative.starts_with("var/lib/dpkg")) {
                found.push_back(relative);
            }
        }
        return found;
    }

private:
    TemporaryDirectory folder_{"aerivo-package-root"};
};

class DebianPackage : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(packageFile)) << packageFile << " (the package.build test makes it)";
        const ProgramRun installed = package.dpkg({"--install", packageFile.string()});
        ASSERT_EQ(installed.exitCode, 0) << installed.output;
    }

    fs::path launcher() const { return package.path() / "usr/bin/aerivo-mac"; }
    fs::path installedBundle() const {
        return package.path() / "usr/lib/aerivo-mac/Aerivo Mac.app";
    }
    // The app against the simulated Mac under `root`, with its settings and runtime files there.
    static std::vector<std::string> simulatedMac(const fs::path& root) {
        fs::create_directories(root / "runtime");
        fs::permissions(root / "runtime", fs::perms::owner_all);
        return {"AERIVO_SYSTEM_ROOT=" + root.string(),
                "XDG_CONFIG_HOME=" + (root / "config").string(),
                "XDG_RUNTIME_DIR=" + (root / "runtime").string()};
    }

    PackageRoot package;
};

TEST_F(DebianPackage, ItsLauncherDrivesTheSimulatedFanAndThePurgeLeavesNothing) {
    ASSERT_TRUE(fs::is_symlink(launcher()));
    TemporarySystemRoot mac;
    SimulatorProcess simulator(mac.path(), {"--workload", "idle"});
    ASSERT_TRUE(simulator.isServing());
    const std::vector<std::string> environment = simulatedMac(mac.path());

    // The packaged bundle (its programs stripped and signed again) installs its helper, which
    // the simulated Mac verifies against the team's anchor.
    const ProgramRun install = testing::runProgram(launcher(), {"--install-helper"}, environment);
    ASSERT_EQ(testing::lineValue(install.output, "helperFanWritesEnabled"), "true")
        << install.output;
    EXPECT_TRUE(fs::exists(mac.path() / "Library/PrivilegedHelperTools" /
                           PrivilegedHelperHealth::expectedLabel()));

    {
        RunningProcess app(launcher(), {"--headless", "--curve"}, environment);
        const std::string lease = nextLine(app, "lease=");
        ASSERT_EQ(fieldValue(lease, "success"), "true") << lease;
        EXPECT_EQ(simulator.status("fan0Mode"), "1 (manual)");
        EXPECT_EQ(simulator.status("fan0TargetRPM"), fieldValue(lease, "targetRPM")) << lease;
    }

    // The menu-bar app shows its status item at once: nothing asks it to move first. (No
    // display: Qt's offscreen platform; the trace goes to standard error.)
    {
        std::vector<std::string> uiEnvironment = environment;
        uiEnvironment.insert(uiEnvironment.end(),
                             {"QT_QPA_PLATFORM=offscreen", "AERIVO_UI_TRACE=1"});
        RunningProcess app("/bin/sh", {"-c", "exec \"$0\" 2>&1", launcher().string()},
                           uiEnvironment);
        EXPECT_FALSE(nextLine(app, "ui: statusItem text=").empty())
            << "the app ended without a status item";
    }

    // What a helper installation on this root would have added beside the package's files: the
    // purge forgets those as well.
    for (const char* added : {"var/lib/aerivo-mac/helpers/com.example.Helper",
                              "etc/aerivo-mac/trust-anchors/OtherTeam.pem"}) {
        fs::create_directories((package.path() / added).parent_path());
        std::ofstream(package.path() / added) << "added\n";
    }
    const ProgramRun purged = package.dpkg({"--purge", "aerivo-mac"});
    ASSERT_EQ(purged.exitCode, 0) << purged.output;
    EXPECT_EQ(package.leftovers(), std::vector<std::string>{});
}

TEST_F(DebianPackage, ThePackagedInstallerWritesUnitsThatSystemdAccepts) {
    // The packaged aerivo-install-helper, as pkexec runs it, in a host root of its own with a
    // systemctl that agrees to everything.
    TemporaryDirectory host("aerivo-package-host");
    const fs::path systemctl = host.path() / "usr/bin/systemctl";
    fs::create_directories(systemctl.parent_path());
    std::ofstream(systemctl) << "#!/bin/sh\nexit 0\n";
    fs::permissions(systemctl, fs::perms::owner_all);
    const std::string label = PrivilegedHelperHealth::expectedLabel();
    const ProgramRun install =
        testing::runProgram(package.path() / "usr/libexec/aerivo-mac/aerivo-install-helper",
                            {"install", label, installedBundle().string()},
                            {"AERIVO_SYSTEM_ROOT=" + host.path().string()});
    ASSERT_EQ(install.exitCode, 0) << install.output;

    const fs::path units = host.path() / "etc/systemd/system";
    const ProgramRun verified = testing::runProgram(
        "/usr/bin/systemd-analyze", {"verify", (units / (label + ".socket")).string(),
                                     (units / (label + ".service")).string()});
    EXPECT_EQ(verified.exitCode, 0) << verified.output;
    EXPECT_EQ(verified.output, "");
}

} // namespace
} // namespace aerivo
