#include "app/distribution/AppUpdateChecker.h"
#include "app/distribution/AppUpdateCheckerError.h"

#include <gtest/gtest.h>

#include <map>

namespace aerivo {
namespace {

using json = nlohmann::json;
using Status = AppUpdateCheckResult::Status;

EnvironmentLookup environmentOf(std::map<std::string, std::string> values) {
    return [values = std::move(values)](std::string_view name) -> std::optional<std::string> {
        const auto found = values.find(std::string(name));
        if (found == values.end()) {
            return std::nullopt;
        }
        return found->second;
    };
}

TEST(AppUpdateChecker, CurrentVersionFromTheBundle) {
    const struct {
        json info;
        std::string expected;
    } rows[] = {
        {{{"CFBundleShortVersionString", "1.4.2"}, {"CFBundleVersion", "77"}}, "1.4.2"},
        {{{"CFBundleShortVersionString", ""}, {"CFBundleVersion", "77"}}, "77"},
        {{{"CFBundleShortVersionString", 3}, {"CFBundleVersion", "77"}}, "77"},
        {{{"CFBundleVersion", ""}}, "development"},
        {json::object(), "development"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(AppUpdateChecker::currentVersion(row.info), row.expected) << row.info;
    }
    EXPECT_EQ(AppUpdateChecker::versionComponents("development"), std::vector<std::int64_t>{0});
}

TEST(AppUpdateChecker, ConfiguredAddress) {
    const json bundleURL = {{"AerivoUpdateCheckURL", "https://bundle.example/u.json"}};
    const struct {
        std::map<std::string, std::string> environment;
        json info;
        std::optional<std::string> expected;
    } rows[] = {
        {{{"AERIVO_UPDATE_CHECK_URL", "https://env.example/u.json"}},
         bundleURL,
         "https://env.example/u.json"},
        {{}, bundleURL, "https://bundle.example/u.json"},
        // A blank environment value means none and hides the bundle's address.
        {{{"AERIVO_UPDATE_CHECK_URL", "  \n"}}, bundleURL, std::nullopt},
        // Configured, but surrounding spaces do not parse as an address.
        {{{"AERIVO_UPDATE_CHECK_URL", " https://env.example/u.json "}}, bundleURL, std::nullopt},
        {{{"AERIVO_UPDATE_CHECK_URL", "http://env.example/u.json"}}, bundleURL, std::nullopt},
        {{}, {{"AerivoUpdateCheckURL", 42}}, std::nullopt},
        {{}, json::object(), std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(AppUpdateChecker::updateURL(environmentOf(row.environment), row.info),
                  row.expected)
            << row.info;
    }
}

TEST(AppUpdateChecker, OnlyHTTPSAddressesWithAHost) {
    const struct {
        const char* text;
        bool accepted;
    } rows[] = {
        {"https://example.com/aerivo/update.json", true},
        {"HTTPS://Example.com:8443/u?channel=stable#top", true},
        {"https://user:pw@[2001:db8::1]:443/u%20x", true},
        {"https://127.0.0.1/u.json", true},
        {"http://example.com/u.json", false},
        {"file:///etc/passwd", false},
        {"https:///u.json", false},
        {"https://user@:443/u", false},
        {"https:example.com/u", false},
        {"https://exa mple.com/u", false},
        {"https://example.com/a b", false},
        {"https://example.com/%zz", false},
        {"https://example.com:80x/", false},
        {"https://[::1/", false},
        {"ftp://example.com/u", false},
        {"//example.com/u", false},
        {"", false},
    };
    for (const auto& row : rows) {
        const auto url = AppUpdateChecker::httpsURL(row.text);
        EXPECT_EQ(url.has_value(), row.accepted) << row.text;
        if (url) {
            EXPECT_EQ(*url, row.text);
        }
    }
}

TEST(AppUpdateChecker, MetadataDocument) {
    const struct {
        const char* document;
        std::optional<UpdateMetadata> expected;
        std::optional<AppUpdateCheckerError::Kind> error;
    } rows[] = {
        {R"({"tag_name": " v2.1\n", "html_url": "https://example.com/r/2.1"})",
         UpdateMetadata{"2.1", "https://example.com/r/2.1"}, std::nullopt},
        // The first key holding a string wins, for the version and for the page.
        {R"({"version": 3, "latestVersion": "1.9", "tag_name": "v9",
             "html_url": null, "release_url": "https://a.example/r", "url": "https://b.example/r"})",
         UpdateMetadata{"1.9", "https://a.example/r"}, std::nullopt},
        // A plain http page is dropped; the version still counts.
        {R"({"version": "2.0", "html_url": "http://example.com/r"})", UpdateMetadata{"2.0", {}},
         std::nullopt},
        {R"({"version": 3})", std::nullopt, AppUpdateCheckerError::Kind::missingVersion},
        {R"(["2.0"])", std::nullopt, AppUpdateCheckerError::Kind::invalidMetadata},
        {R"("2.0")", std::nullopt, AppUpdateCheckerError::Kind::invalidMetadata},
        {"<html>", std::nullopt, AppUpdateCheckerError::Kind::notJSON},
        {"", std::nullopt, AppUpdateCheckerError::Kind::notJSON},
        {"{\"version\": \"2.\xff\"}", std::nullopt, AppUpdateCheckerError::Kind::notJSON},
    };
    for (const auto& row : rows) {
        try {
            const UpdateMetadata metadata = AppUpdateChecker::metadata(row.document);
            ASSERT_TRUE(row.expected.has_value()) << row.document;
            EXPECT_EQ(metadata, *row.expected) << row.document;
        } catch (const AppUpdateCheckerError& error) {
            ASSERT_TRUE(row.error.has_value()) << row.document << ": " << error.what();
            EXPECT_EQ(error.kind(), *row.error) << row.document;
        }
    }
    EXPECT_STREQ(AppUpdateCheckerError::missingVersion().what(),
                 "The update response did not include a version.");
    EXPECT_STREQ(AppUpdateCheckerError::invalidMetadata().what(),
                 "The update response was not a JSON object.");
}

TEST(AppUpdateChecker, DeeplyNestedDocumentIsRefusedWithoutBuildingIt) {
    // Within the loader's cap a body of brackets alone could nest half a million levels.
    const std::string document = std::string(500'000, '[') + std::string(500'000, ']');
    try {
        AppUpdateChecker::metadata(document);
        FAIL() << "accepted";
    } catch (const AppUpdateCheckerError& error) {
        EXPECT_EQ(error.kind(), AppUpdateCheckerError::Kind::invalidMetadata);
    }
}

TEST(AppUpdateChecker, VersionOrder) {
    const struct {
        const char* a;
        const char* b;
        std::strong_ordering order;
    } rows[] = {
        {"2.1", "2.0.9", std::strong_ordering::greater},
        {"2.1", "2.1.0", std::strong_ordering::equal},
        {"v2.1", "V2.1.0.0", std::strong_ordering::equal},
        {"2.0-beta", "2.0", std::strong_ordering::equal},
        {"2.0-beta3", "2.0.2", std::strong_ordering::greater},
        {"1.10", "1.9", std::strong_ordering::greater},
        {"1.2", "1.10", std::strong_ordering::less},
        {"0010.1", "10.1", std::strong_ordering::equal},
        {"development", "0.0.1", std::strong_ordering::less},
        {"development", "", std::strong_ordering::equal},
        // A run too long for 64 bits is dropped, so the next run moves up.
        {"1.99999999999999999999.3", "1.3", std::strong_ordering::equal},
        {"9223372036854775807", "9223372036854775806", std::strong_ordering::greater},
        {"build 7 (2024)", "7.2024", std::strong_ordering::equal},
    };
    for (const auto& row : rows) {
        EXPECT_TRUE(AppUpdateChecker::compareVersions(row.a, row.b) == row.order)
            << row.a << " vs " << row.b;
    }
}

TEST(AppUpdateChecker, CheckOutcomes) {
    const json info = {{"CFBundleShortVersionString", "2.0.9"}};
    const auto environment = environmentOf({{"AERIVO_UPDATE_CHECK_URL", "https://u.example/m"}});
    const auto serving = [](std::string body) {
        return [body](const std::string& url) {
            EXPECT_EQ(url, "https://u.example/m");
            return body;
        };
    };

    AppUpdateChecker newer(info, environment, serving(R"({"tag_name": "v2.1",
        "html_url": "https://u.example/r"})"));
    EXPECT_EQ(newer.checkForUpdates(),
              (AppUpdateCheckResult{Status::updateAvailable, "2.0.9", "2.1", "https://u.example/r",
                                    std::nullopt}));

    AppUpdateChecker older(info, environment, serving(R"({"version": "2.0"})"));
    EXPECT_EQ(older.checkForUpdates(),
              (AppUpdateCheckResult{Status::upToDate, "2.0.9", "2.0", std::nullopt, std::nullopt}));

    AppUpdateChecker broken(info, environment, [](const std::string&) -> std::string {
        throw std::runtime_error("Could not resolve host: u.example");
    });
    EXPECT_EQ(broken.checkForUpdates(),
              (AppUpdateCheckResult{Status::failed, "2.0.9", std::nullopt, std::nullopt,
                                    "Could not resolve host: u.example"}));

    bool loaded = false;
    AppUpdateChecker unconfigured(info, environmentOf({}), [&](const std::string&) {
        loaded = true;
        return std::string();
    });
    EXPECT_EQ(unconfigured.checkForUpdates(),
              (AppUpdateCheckResult{Status::unavailable, "2.0.9", std::nullopt, std::nullopt,
                                    "No update check URL is configured."}));
    EXPECT_FALSE(loaded);
}

} // namespace
} // namespace aerivo
