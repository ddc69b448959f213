#include "app/distribution/AppUpdateChecker.h"
#include "platform/net/CurlURLLoader.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/TestHTTPSServer.h"

#include <gtest/gtest.h>

#include <fstream>

namespace aerivo {
namespace {

using json = nlohmann::json;
using Status = AppUpdateCheckResult::Status;
using testing::TemporaryDirectory;
using testing::TestCertificate;
using testing::TestHTTPSServer;

// A server with a fresh certificate for 127.0.0.1, trusted by this test's loader alone.
class UpdateCheckOverHTTPS : public ::testing::Test {
protected:
    static constexpr std::size_t cap = 64 * 1024;

    UpdateCheckOverHTTPS()
        : certificate_(TestCertificate::selfSigned({"IP:127.0.0.1"})), server_(certificate_) {
        options_.certificateAuthorityFile = trust(certificate_, "trusted.pem");
        options_.maximumBodyBytes = cap;
        options_.connectTimeout = std::chrono::milliseconds(2000);
        options_.totalTimeout = std::chrono::milliseconds(2000);
    }

    std::filesystem::path trust(const TestCertificate& certificate, const std::string& name) {
        const auto file = folder_.path() / name;
        std::ofstream(file) << certificate.certificatePEM;
        return file;
    }

    AppUpdateCheckResult check(const std::string& path, CurlURLLoader::Options options) {
        const std::string url = server_.url(path);
        AppUpdateChecker checker(
            {{"CFBundleShortVersionString", "2.0.9"}},
            [url](std::string_view name) -> std::optional<std::string> {
                if (name == "AERIVO_UPDATE_CHECK_URL") {
                    return url;
                }
                return std::nullopt;
            },
            CurlURLLoader(options));
        return checker.checkForUpdates();
    }
    AppUpdateCheckResult check(const std::string& path) { return check(path, options_); }

    TemporaryDirectory folder_{"aerivo-https"};
    TestCertificate certificate_;
    TestHTTPSServer server_;
    CurlURLLoader::Options options_;
};

TEST_F(UpdateCheckOverHTTPS, AnswersOfTheEndpoint) {
    const std::string page = server_.url("/release");
    const std::string fitsExactly =
        R"({"version": "2.2", "padding": ")" + std::string(cap - 33, 'x') + R"("})";
    ASSERT_EQ(fitsExactly.size(), cap);
    server_.route("/newer",
                  TestHTTPSServer::ok(R"({"tag_name": "v2.1", "html_url": ")" + page + R"("})"));
    server_.route("/same", TestHTTPSServer::ok(R"({"version": "2.0.9"})"));
    server_.route("/no-version", TestHTTPSServer::ok(R"({"version": 3})"));
    server_.route("/array", TestHTTPSServer::ok(R"(["2.1"])"));
    server_.route("/http-page",
                  TestHTTPSServer::ok(R"({"version": "2.1", "html_url": "http://x.example/r"})"));
    server_.route("/moved", TestHTTPSServer::redirect(server_.url("/newer")));
    server_.route("/to-http", TestHTTPSServer::redirect("http://127.0.0.1:9/newer"));
    server_.route("/at-cap", TestHTTPSServer::okWithoutLength(fitsExactly));
    server_.route("/too-long", TestHTTPSServer::ok(fitsExactly + " "));
    server_.route("/too-long-unannounced", TestHTTPSServer::okWithoutLength(fitsExactly + " "));

    const struct {
        const char* path;
        Status status;
        std::optional<std::string> latest;
        std::optional<std::string> releaseURL;
        std::string detailPart;
    } rows[] = {
        {"/newer", Status::updateAvailable, "2.1", page, ""},
        {"/same", Status::upToDate, "2.0.9", std::nullopt, ""},
        {"/no-version", Status::failed, std::nullopt, std::nullopt, "did not include a version"},
        {"/array", Status::failed, std::nullopt, std::nullopt, "was not a JSON object"},
        {"/http-page", Status::updateAvailable, "2.1", std::nullopt, ""},
        {"/moved", Status::updateAvailable, "2.1", page, ""},
        {"/to-http", Status::failed, std::nullopt, std::nullopt, "Protocol \"http\" not supported"},
        {"/at-cap", Status::updateAvailable, "2.2", std::nullopt, ""},
        {"/too-long", Status::failed, std::nullopt, std::nullopt, "larger than 65536 bytes"},
        {"/too-long-unannounced", Status::failed, std::nullopt, std::nullopt,
         "larger than 65536 bytes"},
    };
    for (const auto& row : rows) {
        const AppUpdateCheckResult result = check(row.path);
        EXPECT_EQ(result.status, row.status) << row.path << ": " << result.detail.value_or("");
        EXPECT_EQ(result.localVersion, "2.0.9");
        EXPECT_EQ(result.latestVersion, row.latest) << row.path;
        EXPECT_EQ(result.releaseURL, row.releaseURL) << row.path;
        if (row.detailPart.empty()) {
            EXPECT_EQ(result.detail, std::nullopt) << row.path;
        } else {
            ASSERT_TRUE(result.detail.has_value()) << row.path;
            EXPECT_NE(result.detail->find(row.detailPart), std::string::npos)
                << row.path << ": " << *result.detail;
        }
    }
}

TEST_F(UpdateCheckOverHTTPS, OnlyAVerifiedServerIsBelieved) {
    server_.route("/newer", TestHTTPSServer::ok(R"({"version": "9"})"));
    // A certificate the loader does not trust, and a trusted one issued for another host.
    CurlURLLoader::Options strangerTrusted = options_;
    strangerTrusted.certificateAuthorityFile =
        trust(TestCertificate::selfSigned({"IP:127.0.0.1"}), "stranger.pem");
    const TestCertificate otherHost = TestCertificate::selfSigned({"DNS:updates.example"});
    TestHTTPSServer wrongHostServer(otherHost);
    wrongHostServer.route("/newer", TestHTTPSServer::ok(R"({"version": "9"})"));
    CurlURLLoader::Options wrongHostTrusted = options_;
    wrongHostTrusted.certificateAuthorityFile = trust(otherHost, "other-host.pem");

    const AppUpdateCheckResult untrusted = check("/newer", strangerTrusted);
    EXPECT_EQ(untrusted.status, Status::failed);
    EXPECT_NE(untrusted.detail.value_or("").find("certificate"), std::string::npos)
        << untrusted.detail.value_or("");

    const AppUpdateCheckResult wrongHost =
        AppUpdateChecker(
            {}, [&](std::string_view) { return wrongHostServer.url("/newer"); },
            CurlURLLoader(wrongHostTrusted))
            .checkForUpdates();
    EXPECT_EQ(wrongHost.status, Status::failed);
    EXPECT_NE(wrongHost.detail.value_or("").find("127.0.0.1"), std::string::npos)
        << wrongHost.detail.value_or("");

    EXPECT_EQ(check("/newer").status, Status::updateAvailable);
}

TEST_F(UpdateCheckOverHTTPS, AServerThatNeverAnswersEndsInTheTimeOut) {
    server_.route("/silent", TestHTTPSServer::silent());
    CurlURLLoader::Options quick = options_;
    quick.totalTimeout = std::chrono::milliseconds(150);
    const AppUpdateCheckResult result = check("/silent", quick);
    EXPECT_EQ(result.status, Status::failed);
    EXPECT_NE(result.detail.value_or("").find("timed out"), std::string::npos)
        << result.detail.value_or("");
}

TEST(CurlURLLoader, RefusesEveryProtocolButHTTPS) {
    const CurlURLLoader loader;
    for (const char* url :
         {"http://127.0.0.1:9/u.json", "file:///etc/hostname", "ftp://127.0.0.1:9/u.json"}) {
        try {
            loader.load(url);
            ADD_FAILURE() << url << " loaded";
        } catch (const URLLoadError& error) {
            EXPECT_NE(std::string(error.what()).find("not supported"), std::string::npos)
                << url << ": " << error.what();
        }
    }
}

} // namespace
} // namespace aerivo
