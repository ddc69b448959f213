#include "app/distribution/ApplicationInstallLocationGuard.h"
#include "platform/desktop/SystemApplicationProcesses.h"
#include "platform/desktop/SystemFileOperations.h"
#include "platform/posix/FileContents.h"
#include "tests/support/ManualMainLoop.h"
#include "tests/support/ScriptedInstallLocationPrompt.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <map>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace aerivo {
namespace {

namespace fs = std::filesystem;
using testing::ScriptedInstallLocationPrompt;
using testing::TemporaryDirectory;

// The real file operations, with every change written down and the read-only answer scripted
// (no test can mount a read-only file system).
class RecordingFileOperations final : public FileOperations {
public:
    RecordingFileOperations(fs::path temporary, FreedesktopTrash trash)
        : real_(std::move(temporary), std::move(trash)) {}

    std::vector<std::string> log;
    std::map<fs::path, std::optional<bool>> readOnly;

    fs::path temporaryDirectory() const override { return real_.temporaryDirectory(); }
    bool itemExists(const fs::path& item) const override { return real_.itemExists(item); }
    fs::path resolvedPath(const fs::path& item) const override { return real_.resolvedPath(item); }
    std::optional<bool> isOnReadOnlyVolume(const fs::path& item) const override {
        const auto found = readOnly.find(item);
        return found == readOnly.end() ? std::optional(false) : found->second;
    }
    void copyItem(const fs::path& from, const fs::path& to) override {
        log.push_back("copy " + from.filename().string() + " -> " + place(to));
        real_.copyItem(from, to);
    }
    void moveItem(const fs::path& from, const fs::path& to) override {
        log.push_back("move " + place(from) + " -> " + place(to));
        real_.moveItem(from, to);
    }
    void trashItem(const fs::path& item) override {
        log.push_back("trash " + place(item));
        real_.trashItem(item);
    }
    void removeItem(const fs::path& item) override {
        log.push_back("remove " + place(item));
        real_.removeItem(item);
    }
    void createFolder(const fs::path& folder) override {
        log.push_back("create " + place(folder));
        real_.createFolder(folder);
    }

private:
    // Staging copies carry a fresh identifier; the log names them by their place only.
    std::string place(const fs::path& item) const {
        return item.parent_path() == real_.temporaryDirectory() ? "staging" : item.string();
    }
    SystemFileOperations real_;
};

class RecordingProcesses final : public ApplicationProcesses {
public:
    std::vector<int> launched;
    std::optional<int> pretendOwnIdentifier;

    int currentProcessIdentifier() const override {
        return pretendOwnIdentifier.value_or(real_.currentProcessIdentifier());
    }
    std::vector<RunningProcess> runningProcesses() const override {
        return real_.runningProcesses();
    }
    int launchDetached(const fs::path& executable) override {
        launched.push_back(real_.launchDetached(executable));
        return launched.back();
    }

private:
    SystemApplicationProcesses real_;
};

// A child process that ends with the test.
class ChildProcess {
public:
    ChildProcess(const fs::path& program, const std::vector<std::string>& arguments) {
        std::vector<std::string> storage{program.string()};
        storage.insert(storage.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& argument : storage) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
    }
    ~ChildProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    int pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

std::string read(const fs::path& file) {
    return readBoundedFile(file, 1 << 20).value_or("<missing>");
}

void write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

// AERIVO_SYSTEM_ROOT for as long as it lives: the running application's guard reads it.
class SystemRootVariable {
public:
    explicit SystemRootVariable(const fs::path& root) {
        ::setenv("AERIVO_SYSTEM_ROOT", root.c_str(), 1);
    }
    ~SystemRootVariable() { ::unsetenv("AERIVO_SYSTEM_ROOT"); }
    SystemRootVariable(const SystemRootVariable&) = delete;
    SystemRootVariable& operator=(const SystemRootVariable&) = delete;
};

// A system root with a disk image mounted under Volumes/, an Applications folder, a temporary
// folder for staging copies and a data home holding the Trash.
class InstallLocationGuard : public ::testing::Test {
protected:
    InstallLocationGuard() {
        fs::create_directories(root() / "Applications");
        fs::create_directories(temporary());
        makeBundle(diskImageBundle(), "new");
    }

    fs::path root() const { return folder_.path() / "root"; }
    fs::path temporary() const { return folder_.path() / "tmp"; }
    fs::path trash() const { return folder_.path() / "data" / "Trash"; }
    fs::path diskImageBundle() const {
        return root() / "Volumes" / "Aerivo Mac" / "Aerivo Mac.app";
    }
    fs::path installed() const { return root() / "Applications" / "Aerivo Mac.app"; }

    // A bundle whose executable leaves a mark in the bundle when it runs.
    static void makeBundle(const fs::path& bundle, const std::string& version,
                           const std::string& identifier = "com.aerivo.test") {
        write(bundle / "Contents" / "Info.json", R"({"CFBundleIdentifier": ")" + identifier +
                                                     R"(", "CFBundleShortVersionString": ")" +
                                                     version + R"("})");
        const fs::path executable = bundle / "Contents" / "MacOS" / "AerivoMac";
        write(executable, "#!/bin/sh\necho ran > \"$(dirname \"$0\")/../../ran\"\n");
        fs::permissions(executable, fs::perms::owner_all);
        write(bundle / "Contents" / "Resources" / "version", version);
    }

    ApplicationInstallLocationGuard guard(fs::path bundle, std::string allowValue = "",
                                          SystemPaths::Layout layout = SystemPaths::Layout::mac,
                                          std::optional<fs::path> home = std::nullopt) {
        const SystemPaths paths(root(), layout);
        const UserDirectories user([home](std::string_view name) -> std::optional<std::string> {
            return name == "HOME" && home ? std::optional(home->string()) : std::nullopt;
        });
        return ApplicationInstallLocationGuard(
            std::move(bundle), "AerivoMac", "com.aerivo.test", paths,
            ApplicationInstallLocationGuard::applicationsDirectoryFor(paths, user), files_,
            processes_,
            [allowValue](std::string_view name) -> std::optional<std::string> {
                if (name == "AERIVO_ALLOW_RUN_FROM_DMG" && !allowValue.empty()) {
                    return allowValue;
                }
                return std::nullopt;
            },
            [this] { return language_; });
    }

    bool stagingIsEmpty() const { return fs::is_empty(temporary()); }

    TemporaryDirectory folder_{"aerivo-guard"};
    std::shared_ptr<RecordingFileOperations> files_ =
        std::make_shared<RecordingFileOperations>(temporary(), FreedesktopTrash(trash()));
    std::shared_ptr<RecordingProcesses> processes_ = std::make_shared<RecordingProcesses>();
    AppLanguage language_ = AppLanguage::english;
    ScriptedInstallLocationPrompt prompt_;
};

TEST_F(InstallLocationGuard, LocationRules) {
    const fs::path r = root();
    constexpr auto mac = SystemPaths::Layout::mac;
    constexpr auto linuxHost = SystemPaths::Layout::linuxHost;
    const struct {
        fs::path bundle;
        std::string allow;
        std::optional<bool> readOnly;
        bool handled;
        SystemPaths::Layout layout = SystemPaths::Layout::mac;
    } rows[] = {
        {r / "Applications/Aerivo Mac.app", "", true, false},
        {r / "Applications/Tools/Other.app", "", true, false},
        {r / "Volumes/Aerivo Mac/Aerivo Mac.app", "", false, true},
        {r / "Volumes/Aerivo Mac/Aerivo Mac.app", "", true, true},
        {r / "Volumes/Aerivo Mac/Aerivo Mac.app", "1", true, false},
        {r / "Volumes/Aerivo Mac/Aerivo Mac.app", "true", false, true},
        {r / "Volumes/Aerivo Mac/Aerivo Mac.app", "yes", false, true},
        {"/private/var/folders/x/AppTranslocation/AB-12/d/Aerivo Mac.app", "", false, true},
        {r / "Applications/AppTranslocation/Aerivo Mac.app", "", false, false},
        {r / "Applications/../Volumes/x/Aerivo Mac.app", "", false, true},
        {r / "Volumes/../Applications/Aerivo Mac.app", "", true, false},
        {"/home/u/Downloads/Aerivo Mac.app", "", false, false},
        {"/home/u/Downloads/Aerivo Mac.app", "", true, true},
        {"/home/u/Downloads/Aerivo Mac.app", "", std::nullopt, false},
        {"/home/u/Downloads/Aerivo Mac.app", "1", true, false},
        {"/home/u/Applications/Aerivo Mac.app", "", false, false},
        {r / "ApplicationsOld/Aerivo Mac.app", "", true, true},
        {r / "VolumesOld/Aerivo Mac.app", "", false, false},
        // A Linux host: a mounted image only, never a read-only /usr where packages live, the
        // user's own copy, nor a Mac's places.
        {r / "media/u/AERIVO/Aerivo Mac.app", "", false, true, linuxHost},
        {r / "run/media/u/AERIVO/Aerivo Mac.app", "", true, true, linuxHost},
        {r / "run/media/u/AERIVO/Aerivo Mac.app", "1", true, false, linuxHost},
        {r / "run/media/../lib/Aerivo Mac.app", "", true, false, linuxHost},
        {r / "usr/lib/aerivo-mac/Aerivo Mac.app", "", true, false, linuxHost},
        {"/home/u/.local/lib/aerivo-mac/Aerivo Mac.app", "", true, false, linuxHost},
        {r / "Volumes/Aerivo Mac/Aerivo Mac.app", "", false, false, linuxHost},
        {"/tmp/AppTranslocation/AB-12/d/Aerivo Mac.app", "", false, false, linuxHost},
        {r / "mediaOld/Aerivo Mac.app", "", false, false, linuxHost},
        {r / "usr/lib/aerivo-mac/Aerivo Mac.app", "", true, true, mac},
    };
    for (const auto& row : rows) {
        files_->readOnly = {{row.bundle, row.readOnly}};
        EXPECT_EQ(guard(row.bundle, row.allow, row.layout).shouldHandleLaunch(), row.handled)
            << row.bundle << " allow=" << row.allow << " mac=" << (row.layout == mac);
    }
}

TEST_F(InstallLocationGuard, OnlyARealBundleIsEverHandled) {
    // A program outside "<name>.app/Contents/MacOS/" (a build tree, /usr/bin, or a folder that
    // merely ends in ".app") stands for its own folder, which holds other programs too: never
    // moved, not even from a disk image. The running application's guard, on this root.
    const SystemRootVariable variable(root());
    const fs::path volume = root() / "Volumes/Aerivo Mac";
    for (const fs::path& executable : {volume / "AerivoMac", volume / "Aerivo Mac.app/AerivoMac",
                                       volume / "Aerivo/Contents/MacOS/AerivoMac"}) {
        write(executable, "");
        const ApplicationBundle bundle = ApplicationBundle::forExecutable(executable);
        EXPECT_FALSE(bundle.isBundle()) << executable;
        EXPECT_FALSE(ApplicationInstallLocationGuard::standard(bundle).shouldHandleLaunch())
            << executable;
    }
    for (const fs::path folder : {"/usr/bin", "/home/u/aerivo/build/dev/app"}) {
        files_->readOnly = {{folder, true}};
        EXPECT_FALSE(guard(folder).shouldHandleLaunch()) << folder;
    }
    const ApplicationBundle mounted =
        ApplicationBundle::forExecutable(diskImageBundle() / "Contents/MacOS/AerivoMac");
    ASSERT_TRUE(mounted.isBundle());
    EXPECT_TRUE(ApplicationInstallLocationGuard::standard(mounted).shouldHandleLaunch());
}

TEST_F(InstallLocationGuard, OnALinuxHostTheMoveGoesToTheUsersOwnFolder) {
    const fs::path home = folder_.path() / "home";
    const fs::path mounted = root() / "run/media/u/AERIVO/Aerivo Mac.app";
    makeBundle(mounted, "new");
    const ApplicationInstallLocationGuard fromImage =
        guard(mounted, "", SystemPaths::Layout::linuxHost, home);
    const fs::path installed = home / ".local/lib/aerivo-mac/Aerivo Mac.app";
    ASSERT_EQ(fromImage.destination(), installed);
    prompt_.answers = {0};
    fromImage.showMovePrompt(prompt_);

    EXPECT_EQ(read(installed / "Contents/Resources/version"), "new");
    ASSERT_EQ(processes_->launched.size(), 1u);
    ASSERT_EQ(::waitpid(processes_->launched[0], nullptr, 0), processes_->launched[0]);
    EXPECT_EQ(read(installed / "ran"), "ran\n");
    EXPECT_EQ(prompt_.terminations, 1);
    EXPECT_FALSE(fs::exists(root() / "Applications/Aerivo Mac.app"));

    // Without a home folder there is nowhere to go: the failure alert, nothing left behind.
    ScriptedInstallLocationPrompt homeless;
    ApplicationInstallLocationGuard(mounted, "AerivoMac", "com.aerivo.test",
                                    SystemPaths(root(), SystemPaths::Layout::linuxHost), fs::path(),
                                    files_, processes_,
                                    [](std::string_view) { return std::nullopt; })
        .moveAndRelaunch(homeless);
    ASSERT_EQ(homeless.alerts.size(), 1u);
    EXPECT_EQ(homeless.alerts[0].style, InstallLocationAlert::Style::warning);
    EXPECT_TRUE(stagingIsEmpty());
    EXPECT_EQ(processes_->launched.size(), 1u);
    EXPECT_EQ(homeless.terminations, 1);
}

TEST_F(InstallLocationGuard, PromptIsQueuedOnTheMainLoopOnlyForAHandledLaunch) {
    ManualMainLoop loop;
    auto prompt = std::make_shared<ScriptedInstallLocationPrompt>();
    EXPECT_FALSE(guard(diskImageBundle(), "1").handleDiskImageLaunchIfNeeded(loop, prompt));
    EXPECT_EQ(loop.pendingEventCount(), 0u);

    language_ = AppLanguage::spanish;
    EXPECT_TRUE(guard(diskImageBundle()).handleDiskImageLaunchIfNeeded(loop, prompt));
    EXPECT_TRUE(prompt->alerts.empty());
    loop.runUntilIdle();
    ASSERT_EQ(prompt->alerts.size(), 1u);
    EXPECT_EQ(prompt->alerts[0].style, InstallLocationAlert::Style::informational);
    EXPECT_EQ(prompt->alerts[0].buttons, (std::vector<std::string>{"Mover y reabrir", "Salir"}));
    // The script answered "Salir": nothing moved, the application ends.
    EXPECT_EQ(prompt->terminations, 1);
    EXPECT_TRUE(files_->log.empty());
}

TEST_F(InstallLocationGuard, MoveReplacesTheOldCopyThroughTheTrashAndRelaunches) {
    makeBundle(installed(), "old");
    prompt_.answers = {0};
    guard(diskImageBundle()).showMovePrompt(prompt_);

    EXPECT_EQ(files_->log, (std::vector<std::string>{
                               "copy Aerivo Mac.app -> staging",
                               "trash " + installed().string(),
                               "move staging -> " + installed().string(),
                           }));
    EXPECT_EQ(read(installed() / "Contents/Resources/version"), "new");
    EXPECT_EQ(read(diskImageBundle() / "Contents/Resources/version"), "new");
    EXPECT_EQ(read(trash() / "files/Aerivo Mac.app/Contents/Resources/version"), "old");
    const std::string info = read(trash() / "info/Aerivo Mac.app.trashinfo");
    EXPECT_NE(info.find("[Trash Info]\nPath=" +
                        FreedesktopTrash::escapedPath(installed().string()) + "\nDeletionDate="),
              std::string::npos)
        << info;
    EXPECT_TRUE(stagingIsEmpty());

    // The installed executable was started, without the guard waiting for it.
    ASSERT_EQ(processes_->launched.size(), 1u);
    int status = -1;
    ASSERT_EQ(::waitpid(processes_->launched[0], &status, 0), processes_->launched[0]);
    EXPECT_EQ(read(installed() / "ran"), "ran\n");
    EXPECT_FALSE(fs::exists(diskImageBundle() / "ran"));
    EXPECT_EQ(prompt_.terminations, 1);
    EXPECT_TRUE(prompt_.shownFolders.empty());
}

TEST_F(InstallLocationGuard, TrashFailureKeepsTheOldCopyAndRemovesTheStagingCopy) {
    makeBundle(installed(), "old");
    // The data home is a regular file, so no Trash can be made in it (for root as well).
    write(folder_.path() / "data", "not a folder");
    language_ = AppLanguage::japanese;
    prompt_.answers = {0};
    guard(diskImageBundle()).showMovePrompt(prompt_);

    EXPECT_EQ(read(installed() / "Contents/Resources/version"), "old");
    EXPECT_TRUE(stagingIsEmpty());
    ASSERT_EQ(files_->log.size(), 3u);
    EXPECT_EQ(files_->log[2], "remove staging");
    EXPECT_TRUE(processes_->launched.empty());
    ASSERT_EQ(prompt_.alerts.size(), 2u);
    const InstallLocationAlert& failure = prompt_.alerts[1];
    EXPECT_EQ(failure.style, InstallLocationAlert::Style::warning);
    EXPECT_EQ(failure.messageText, "Aerivo Mac を移動できませんでした");
    EXPECT_EQ(failure.buttons, std::vector<std::string>{"終了"});
    EXPECT_NE(failure.informativeText.find("Aerivo Mac.app"), std::string::npos);
    EXPECT_NE(failure.informativeText.find("to the Trash: Not a directory"), std::string::npos)
        << failure.informativeText;
    EXPECT_EQ(failure.informativeText.find("%@"), std::string::npos);
    EXPECT_EQ(prompt_.shownFolders, std::vector<fs::path>{root() / "Applications"});
    EXPECT_EQ(prompt_.terminations, 1);
}

TEST_F(InstallLocationGuard, FailedCopyAndFailedRelaunchEndInTheFailureAlert) {
    // The bundle's executable cannot be run once installed: relaunching fails after the move.
    fs::permissions(diskImageBundle() / "Contents/MacOS/AerivoMac", fs::perms::owner_read);
    guard(diskImageBundle()).moveAndRelaunch(prompt_);
    EXPECT_EQ(read(installed() / "Contents/Resources/version"), "new");
    ASSERT_EQ(prompt_.alerts.size(), 1u);
    EXPECT_NE(prompt_.alerts[0].informativeText.find("could not be opened"), std::string::npos)
        << prompt_.alerts[0].informativeText;

    // A bundle that is gone cannot be copied: nothing reaches the Trash or Applications.
    ScriptedInstallLocationPrompt second;
    files_->log.clear();
    guard(root() / "Volumes/Gone/Aerivo Mac.app").moveAndRelaunch(second);
    EXPECT_EQ(files_->log, std::vector<std::string>{"copy Aerivo Mac.app -> staging"});
    EXPECT_TRUE(stagingIsEmpty());
    ASSERT_EQ(second.alerts.size(), 1u);
    EXPECT_EQ(second.terminations, 1);
    EXPECT_EQ(second.shownFolders.size(), 1u);
}

TEST_F(InstallLocationGuard, ARunningInstalledCopyIsActivatedInsteadOfCopying) {
    // Small real programs standing in for running copies: /bin/sleep placed as the executable.
    makeBundle(installed(), "old");
    const fs::path elsewhere = root() / "Volumes" / "Second" / "Aerivo Mac.app";
    makeBundle(elsewhere, "other");
    for (const fs::path& bundle : {installed(), elsewhere}) {
        fs::remove(bundle / "Contents/MacOS/AerivoMac");
        fs::copy_file("/bin/sleep", bundle / "Contents/MacOS/AerivoMac");
    }
    ApplicationInstallLocationGuard fromDiskImage = guard(diskImageBundle());

    // A copy with the same identifier elsewhere is not the installed one.
    ChildProcess second(elsewhere / "Contents/MacOS/AerivoMac", {"600"});
    ASSERT_GT(second.pid(), 0);
    EXPECT_EQ(fromDiskImage.runningInstalledApplication(), std::nullopt);

    ChildProcess installedCopy(installed() / "Contents/MacOS/AerivoMac", {"600"});
    ASSERT_GT(installedCopy.pid(), 0);
    EXPECT_EQ(fromDiskImage.runningInstalledApplication(), installedCopy.pid());
    // Not when it is this very process, nor when the installed bundle is another application.
    processes_->pretendOwnIdentifier = installedCopy.pid();
    EXPECT_EQ(fromDiskImage.runningInstalledApplication(), std::nullopt);
    processes_->pretendOwnIdentifier.reset();
    EXPECT_EQ(ApplicationInstallLocationGuard(diskImageBundle(), "AerivoMac", "com.other.app",
                                              SystemPaths(root()), root() / "Applications", files_,
                                              processes_,
                                              [](std::string_view) { return std::nullopt; })
                  .runningInstalledApplication(),
              std::nullopt);

    fromDiskImage.moveAndRelaunch(prompt_);
    EXPECT_EQ(prompt_.activated, std::vector<int>{installedCopy.pid()});
    EXPECT_EQ(prompt_.terminations, 1);
    EXPECT_TRUE(files_->log.empty());
    EXPECT_TRUE(processes_->launched.empty());
    EXPECT_EQ(read(installed() / "Contents/Resources/version"), "old");
}

TEST(InstallLocationText, EveryLanguageHasEveryTextAndOnePlaceholder) {
    for (AppLanguage language : allAppLanguages) {
        for (InstallLocationText text : allInstallLocationTexts) {
            const std::string_view value = localized(text, language);
            EXPECT_FALSE(value.empty());
            const std::size_t first = value.find("%@");
            if (text == InstallLocationText::failureMessage) {
                ASSERT_NE(first, std::string_view::npos) << rawValue(language);
                EXPECT_EQ(value.find("%@", first + 1), std::string_view::npos);
            } else {
                EXPECT_EQ(first, std::string_view::npos) << rawValue(language);
            }
            if (language != AppLanguage::english && text != InstallLocationText::quitButton) {
                EXPECT_NE(value, localized(text, AppLanguage::english)) << rawValue(language);
            }
        }
    }
}

} // namespace
} // namespace aerivo
