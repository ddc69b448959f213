#include "app/model/AerivoPreferences.h"
#include "app/model/CurvePreset.h"
#include "platform/qt/QSettingsUserDefaults.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/resource.h>

namespace aerivo {
namespace {

namespace fs = std::filesystem;

class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern = (fs::temp_directory_path() / "aerivo-settings-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary folder");
        }
        path_ = pattern;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

UserDefaults::Data bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

class QSettingsUserDefaultsTest : public testing::Test {
protected:
    TemporaryFolder folder;
    // A folder that does not exist yet: the first write must create it.
    fs::path settingsFolder = folder.path() / "config" / "AerivoMac";
};

TEST_F(QSettingsUserDefaultsTest, ValuesSurviveARestartThroughAFreshInstance) {
    {
        QSettingsUserDefaults writer(settingsFolder);
        ASSERT_TRUE(writer.setData("AerivoMac.profile.v1", bytes("{\"name\":\"A\"}")));
        ASSERT_TRUE(writer.setString("AerivoMac.language.v1", "ko"));
    }
    EXPECT_TRUE(fs::is_regular_file(settingsFolder / QSettingsUserDefaults::defaultFileName()));

    const QSettingsUserDefaults reader(settingsFolder);
    EXPECT_EQ(reader.data("AerivoMac.profile.v1"), bytes("{\"name\":\"A\"}"));
    EXPECT_EQ(reader.string("AerivoMac.language.v1"), "ko");
    EXPECT_EQ(reader.data("missing"), std::nullopt);
    EXPECT_EQ(reader.string("missing"), std::nullopt);
}

TEST_F(QSettingsUserDefaultsTest, EachKeyKeepsItsKind) {
    QSettingsUserDefaults defaults(settingsFolder);
    ASSERT_TRUE(defaults.setString("text", "@ByteArray(looks like data)"));
    ASSERT_TRUE(defaults.setData("blob", bytes("plain")));

    const QSettingsUserDefaults reader(settingsFolder);
    EXPECT_EQ(reader.string("text"), "@ByteArray(looks like data)");
    EXPECT_EQ(reader.data("text"), std::nullopt);
    EXPECT_EQ(reader.data("blob"), bytes("plain"));
    EXPECT_EQ(reader.string("blob"), std::nullopt);
}

TEST_F(QSettingsUserDefaultsTest, BinaryDataAndUnicodeTextRoundTripExactly) {
    UserDefaults::Data all;
    for (int i = 0; i < 256; ++i) {
        all.push_back(static_cast<std::uint8_t>(i));
    }
    {
        QSettingsUserDefaults defaults(settingsFolder);
        ASSERT_TRUE(defaults.setData("all bytes", all));
        ASSERT_TRUE(defaults.setData("empty", {}));
        ASSERT_TRUE(defaults.setString("unicode, \"quoted\" = ; #", "简体中文, 한국어 = \"x\"\n"));
    }
    const QSettingsUserDefaults reader(settingsFolder);
    EXPECT_EQ(reader.data("all bytes"), all);
    EXPECT_EQ(reader.data("empty"), UserDefaults::Data{});
    EXPECT_EQ(reader.string("unicode, \"quoted\" = ; #"), "简体中文, 한국어 = \"x\"\n");
}

TEST_F(QSettingsUserDefaultsTest, ReplaceAndRemove) {
    QSettingsUserDefaults defaults(settingsFolder);
    ASSERT_TRUE(defaults.setString("key", "first"));
    ASSERT_TRUE(defaults.setData("key", bytes("second")));
    EXPECT_EQ(QSettingsUserDefaults(settingsFolder).string("key"), std::nullopt);
    EXPECT_EQ(QSettingsUserDefaults(settingsFolder).data("key"), bytes("second"));

    ASSERT_TRUE(defaults.remove("key"));
    EXPECT_EQ(QSettingsUserDefaults(settingsFolder).data("key"), std::nullopt);
    EXPECT_TRUE(defaults.remove("never there"));
}

// Caps the size of files this process may write, so that writing a larger value fails the way a
// full disk does (root ignores permissions, but not this limit).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
};

TEST_F(QSettingsUserDefaultsTest, AFailedWriteReportsFailureAndKeepsThePreviousValue) {
    QSettingsUserDefaults defaults(settingsFolder);
    ASSERT_TRUE(defaults.setData("AerivoMac.profile.v1", bytes("previous")));
    ASSERT_TRUE(defaults.setString("AerivoMac.language.v1", "ko"));
    const std::string large(16 * 1024, 'x');
    {
        const FileSizeLimit limit(4096);
        EXPECT_FALSE(defaults.setData("AerivoMac.profile.v1", bytes(large)));
        EXPECT_FALSE(defaults.setString("AerivoMac.language.v1", large));
        EXPECT_FALSE(defaults.setString("new key", large));
        // Neither this instance nor a fresh one in this process serves the refused values.
        EXPECT_EQ(defaults.data("AerivoMac.profile.v1"), bytes("previous"));
        EXPECT_EQ(QSettingsUserDefaults(settingsFolder).string("AerivoMac.language.v1"), "ko");
        EXPECT_EQ(defaults.string("new key"), std::nullopt);
    }
    // Nor does the file, nor the next successful write, which must not carry them along.
    ASSERT_TRUE(defaults.setString("other", "written"));
    EXPECT_LT(fs::file_size(defaults.filePath()), 4096u);
    const QSettingsUserDefaults afterwards(settingsFolder);
    EXPECT_EQ(afterwards.data("AerivoMac.profile.v1"), bytes("previous"));
    EXPECT_EQ(afterwards.string("AerivoMac.language.v1"), "ko");
    EXPECT_EQ(afterwards.string("new key"), std::nullopt);
    EXPECT_EQ(afterwards.string("other"), "written");
}

TEST_F(QSettingsUserDefaultsTest, AnUnwritableLocationReportsFailure) {
    // The settings file's path is taken by a directory.
    fs::create_directories(settingsFolder / QSettingsUserDefaults::defaultFileName() / "x");
    QSettingsUserDefaults defaults(settingsFolder);
    EXPECT_FALSE(defaults.setString("AerivoMac.language.v1", "ja"));
    EXPECT_EQ(defaults.string("AerivoMac.language.v1"), std::nullopt);
}

TEST_F(QSettingsUserDefaultsTest, ADamagedFileReadsAsEmptyAndIsReplacedByTheNextWrite) {
    fs::create_directories(settingsFolder);
    const fs::path file = settingsFolder / QSettingsUserDefaults::defaultFileName();
    for (const char* damage : {"{\"AerivoMac.language.v1\": \"ko\"", "[section\nkey=%zz\n",
                               "{\"AerivoMac.profile.v1\": {\"data\": \"***not base64***\"}}"}) {
        std::ofstream(file, std::ios::trunc) << damage;
        QSettingsUserDefaults defaults(settingsFolder);
        EXPECT_EQ(defaults.string("AerivoMac.language.v1"), std::nullopt) << damage;
        EXPECT_EQ(defaults.data("AerivoMac.profile.v1"), std::nullopt) << damage;
        ASSERT_TRUE(defaults.setString("AerivoMac.language.v1", "es")) << damage;
        EXPECT_EQ(QSettingsUserDefaults(settingsFolder).string("AerivoMac.language.v1"), "es");
        fs::remove(file);
    }
}

TEST_F(QSettingsUserDefaultsTest, PreferencesSurviveARestart) {
    const AerivoProfile profile = aerivo::profile(CurvePreset::quiet);
    {
        AerivoPreferences preferences(std::make_shared<QSettingsUserDefaults>(settingsFolder));
        ASSERT_TRUE(preferences.saveProfile(profile).isSuccess);
        ASSERT_TRUE(preferences.saveLanguage(AppLanguage::chineseSimplified).isSuccess);
    }
    const AerivoPreferences restarted(std::make_shared<QSettingsUserDefaults>(settingsFolder));
    EXPECT_EQ(restarted.loadProfile(), profile);
    EXPECT_EQ(restarted.loadLanguage(), AppLanguage::chineseSimplified);
}

TEST(QSettingsUserDefaults, StandardLocationIsTheUserConfigurationFolder) {
    const char* previous = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = previous ? previous : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/aerivo-xdg-config", 1);
    const fs::path folder = QSettingsUserDefaults::standardFolder();
    if (previous) {
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
    EXPECT_EQ(folder, fs::path("/tmp/aerivo-xdg-config/AerivoMac"));
    EXPECT_EQ(QSettingsUserDefaults::defaultFileName(),
              std::string(AERIVO_BUNDLE_IDENTIFIER) + ".json");
}

} // namespace
} // namespace aerivo
