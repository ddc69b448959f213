#include "app/distribution/DesktopEntry.h"
#include "app/distribution/SystemLoginItemController.h"
#include "platform/posix/FileContents.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

namespace aerivo {
namespace {

using testing::TemporaryDirectory;

const std::filesystem::path executable = "/Applications/Aerivo Mac.app/Contents/MacOS/AerivoMac";

std::string read(const std::filesystem::path& file) {
    return readBoundedFile(file, 1 << 20).value_or("<missing>");
}

class LoginItem : public ::testing::Test {
protected:
    std::filesystem::path configHome() const { return folder_.path() / "config"; }
    std::filesystem::path entryFile() const {
        return configHome() / "autostart" / "com.aerivo.test.desktop";
    }
    SystemLoginItemController controller(std::map<std::string, std::string> environment) const {
        return SystemLoginItemController(
            "com.aerivo.test", executable,
            [environment](std::string_view name) -> std::optional<std::string> {
                const auto found = environment.find(std::string(name));
                if (found == environment.end()) {
                    return std::nullopt;
                }
                return found->second;
            });
    }
    SystemLoginItemController controller() const {
        return controller({{"XDG_CONFIG_HOME", configHome().string()}, {"HOME", "/nonexistent"}});
    }
    void writeEntry(const std::string& text) const {
        std::filesystem::create_directories(entryFile().parent_path());
        std::ofstream(entryFile()) << text;
    }

    TemporaryDirectory folder_{"aerivo-login"};
};

TEST_F(LoginItem, StatusAndChangesFromEveryState) {
    const std::string ours = controller().entryText();
    const std::string oursWithComment = ours + "Comment=kept\n";
    const std::string hidden = ours + "Hidden=true\n";
    const std::string switchedOff = "[Desktop Entry]\nType=Application\nExec=\"" +
                                    executable.string() + "\"\nX-GNOME-Autostart-enabled=false\n";
    const std::string otherProgram = "[Desktop Entry]\nType=Application\nExec=/usr/bin/other\n";
    const std::string otherGroupOnly = "[Other]\nExec=\"" + executable.string() + "\"\n";
    enum class Change { none, enable, disable };
    const struct {
        const char* name;
        std::optional<std::string> before;
        LoginItemStatus status;
        Change change;
        std::optional<std::string> after; // none: no file
    } rows[] = {
        {"no entry stays off", std::nullopt, LoginItemStatus::disabled, Change::disable,
         std::nullopt},
        {"no entry registers", std::nullopt, LoginItemStatus::disabled, Change::enable, ours},
        {"enabled is left alone", oursWithComment, LoginItemStatus::enabled, Change::enable,
         oursWithComment},
        {"enabled unregisters", oursWithComment, LoginItemStatus::enabled, Change::disable,
         std::nullopt},
        {"hidden registers again", hidden, LoginItemStatus::requiresApproval, Change::enable, ours},
        {"switched off registers again", switchedOff, LoginItemStatus::requiresApproval,
         Change::enable, ours},
        {"awaiting approval unregisters", switchedOff, LoginItemStatus::requiresApproval,
         Change::disable, std::nullopt},
        {"another program's entry is not ours", otherProgram, LoginItemStatus::disabled,
         Change::disable, otherProgram},
        {"another program's entry is replaced", otherProgram, LoginItemStatus::disabled,
         Change::enable, ours},
        {"only the Desktop Entry group counts", otherGroupOnly, LoginItemStatus::disabled,
         Change::none, otherGroupOnly},
    };
    for (const auto& row : rows) {
        std::filesystem::remove_all(configHome());
        if (row.before) {
            writeEntry(*row.before);
        }
        SystemLoginItemController item = controller();
        EXPECT_EQ(item.status(), row.status) << row.name;
        if (row.change != Change::none) {
            item.setEnabled(row.change == Change::enable);
        }
        EXPECT_EQ(read(entryFile()), row.after.value_or("<missing>")) << row.name;
        if (row.change == Change::enable) {
            EXPECT_EQ(item.status(), LoginItemStatus::enabled) << row.name;
        }
    }
    // Nothing but the entry itself is left in the folder (no temporary files).
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(entryFile().parent_path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(LoginItem, EntryFolderFollowsTheBaseDirectoryRules) {
    const std::string home = (folder_.path() / "home").string();
    const struct {
        std::map<std::string, std::string> environment;
        std::optional<std::filesystem::path> expected;
    } rows[] = {
        {{{"XDG_CONFIG_HOME", "/cfg"}, {"HOME", home}}, "/cfg/autostart/com.aerivo.test.desktop"},
        {{{"XDG_CONFIG_HOME", ""}, {"HOME", home}},
         home + "/.config/autostart/com.aerivo.test.desktop"},
        {{{"XDG_CONFIG_HOME", "relative/cfg"}, {"HOME", home}},
         home + "/.config/autostart/com.aerivo.test.desktop"},
        {{{"HOME", home}}, home + "/.config/autostart/com.aerivo.test.desktop"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(controller(row.environment).entryPath(), row.expected);
    }
    controller({{"HOME", home}}).setEnabled(true);
    EXPECT_EQ(read(home + "/.config/autostart/com.aerivo.test.desktop"), controller().entryText());
}

TEST_F(LoginItem, ExecQuotingRoundTripsEveryReservedCharacter) {
    const struct {
        std::string program;
        std::string execLine; // as it stands in the file
    } rows[] = {
        {"/opt/AerivoMac", "Exec=/opt/AerivoMac"},
        {"/Applications/Aerivo Mac.app/Contents/MacOS/AerivoMac",
         "Exec=\"/Applications/Aerivo Mac.app/Contents/MacOS/AerivoMac\""},
        {"/opt/A \"b\" $c\\d%/AerivoMac",
         "Exec=\"/opt/A \\\\\"b\\\\\" \\\\$c\\\\\\\\d%%/AerivoMac\""},
        {"/opt/100%/AerivoMac", "Exec=/opt/100%%/AerivoMac"},
        {"/opt/it's `here` (1);&|<>~*?#\t/AerivoMac", ""},
    };
    for (const auto& row : rows) {
        SystemLoginItemController item("com.aerivo.test", row.program,
                                       [this](std::string_view name) -> std::optional<std::string> {
                                           return name == "XDG_CONFIG_HOME"
                                                      ? std::optional(configHome().string())
                                                      : std::nullopt;
                                       });
        std::filesystem::remove_all(configHome());
        item.setEnabled(true);
        const std::string text = read(entryFile());
        if (!row.execLine.empty()) {
            EXPECT_NE(text.find("\n" + row.execLine + "\n"), std::string::npos) << text;
        }
        const auto arguments = DesktopEntry::parse(text).execArguments();
        ASSERT_TRUE(arguments.has_value()) << text;
        EXPECT_EQ(*arguments, std::vector<std::string>{row.program}) << text;
        EXPECT_EQ(item.status(), LoginItemStatus::enabled) << row.program;
    }
}

TEST_F(LoginItem, AFailedWriteThrowsNamingTheFileAndLeavesNothing) {
    // The autostart "folder" is a regular file, so nothing can be created in it. This fails for
    // root too, which permission bits would not stop.
    std::filesystem::create_directories(configHome());
    std::ofstream(configHome() / "autostart") << "not a folder";
    SystemLoginItemController item = controller();
    try {
        item.setEnabled(true);
        FAIL() << "registered";
    } catch (const FileWriteError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find(entryFile().string()), std::string::npos) << message;
        EXPECT_NE(message.find("Not a directory"), std::string::npos) << message;
    }
    EXPECT_EQ(item.status(), LoginItemStatus::disabled);
    EXPECT_EQ(read(configHome() / "autostart"), "not a folder");
}

TEST(LoginItemWithoutExecutable, ReadsDisabledAndRefusesToRegister) {
    SystemLoginItemController item("com.aerivo.test", std::nullopt, [](std::string_view) {
        return std::optional<std::string>("/x");
    });
    EXPECT_EQ(item.status(), LoginItemStatus::disabled);
    EXPECT_THROW(item.setEnabled(true), std::runtime_error);
    EXPECT_NO_THROW(item.setEnabled(false));
}

} // namespace
} // namespace aerivo
