#include "helper/core/AerivoPrivilegedHelperXPCListener.h"

#include "platform/codesign/OpenSSLCodeSigning.h"
#include "shared/AerivoPrivilegedHelperXPC.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <thread>

namespace aerivo {
namespace {

using nlohmann::json;
using Listener = AerivoPrivilegedHelperXPCListener;
using testing::TemporaryDirectory;

// Answers nothing: these tests never get past admission.
class SilentService final : public AerivoPrivilegedHelperXPCProtocol {
public:
    void readStatus(Reply) override {}
    void resetToSystem(Reply) override {}
    void holdManualTargetLease(nlohmann::json, Reply) override {}
};

TEST(HelperListenerRequirement, IsTheFirstStringOfTheAuthorizedClients) {
    struct Row {
        json info;
        std::optional<std::string> requirement;
    };
    const std::vector<Row> rows{
        {{{"SMAuthorizedClients", {"identifier \"a\"", "identifier \"b\""}}}, "identifier \"a\""},
        {{{"CFBundleIdentifier", "x"}}, std::nullopt},
        {{{"SMAuthorizedClients", "identifier \"a\""}}, std::nullopt},
        {{{"SMAuthorizedClients", json::array()}}, std::nullopt},
        {{{"SMAuthorizedClients", {"identifier \"a\"", 7}}}, std::nullopt},
        {json::array({"identifier \"a\""}), std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Listener::authorizedClientRequirement(row.info), row.requirement) << row.info;
    }
    // The embedded list names the app and its team.
    const std::optional<std::string> embedded =
        Listener::authorizedClientRequirement(helperInfoPropertyList());
    ASSERT_TRUE(embedded);
    EXPECT_NE(embedded->find("identifier \"" AERIVO_BUNDLE_IDENTIFIER "\""), std::string::npos);
}

TEST(HelperListenerAdmission, RefusesAPeerThatIsNotTheSignedAppWithTheReason) {
    TemporaryDirectory anchors("aerivo-anchors");
    struct Row {
        json info;
        std::string logged;
    };
    const std::vector<Row> rows{
        {helperInfoPropertyList(), "refused client"},
        {json::object(), "no client requirement"},
        {{{"SMAuthorizedClients", {"anchor apple generic or identifier \"x\""}}},
         "does not compile"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> log;
        const Listener listener(std::make_shared<SilentService>(),
                                std::make_shared<OpenSSLCodeSigning>(anchors.path()), row.info,
                                [&](const std::string& message) { log.push_back(message); });
        // This test program carries no signature.
        EXPECT_FALSE(listener.isAuthorizedClient({getpid(), getuid(), getgid()})) << row.logged;
        ASSERT_FALSE(log.empty()) << row.logged;
        EXPECT_NE(log.back().find(row.logged), std::string::npos) << log.back();
    }
}

TEST(HelperListenerDeathTest, StopsTheHelperWhenServingEverEnds) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TemporaryDirectory root("aerivo-root");
    const SystemPaths paths(root.path());
    EXPECT_DEATH(
        {
            Listener listener(std::make_shared<SilentService>(),
                              std::make_shared<OpenSSLCodeSigning>(paths.trustAnchors()),
                              helperInfoPropertyList(), [](const std::string&) {});
            std::thread stopper([&] { listener.stop(); });
            stopper.detach();
            listener.run(paths);
        },
        "PrivilegedHelperXPCListener: Fatal error: XPC listener run loop exited");
}

} // namespace
} // namespace aerivo
