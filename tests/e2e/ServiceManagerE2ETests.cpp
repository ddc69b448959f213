#include "tests/e2e/SimulatorProcess.h"
#include "tests/e2e/SocketJob.h"

#include "platform/posix/SystemPaths.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <fstream>

namespace aerivo {
namespace {

using testing::SimulatorProcess;
using testing::SocketJob;
using testing::TemporarySystemRoot;

constexpr const char* label = "com.aerivo.test.Job";

class ServiceManager : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(simulator.isServing()); }

    std::string key(const std::string& field) const {
        return "job." + std::string(label) + "." + field;
    }
    std::optional<std::string> job(const std::string& field) const {
        return simulator.status(key(field));
    }
    // Defines the job and waits until the service manager has noticed.
    void define(const std::optional<std::string>& tag) {
        SocketJob::writeDefinition(root.path(),
                                   SocketJob::definition(label, SocketJob::program(), tag));
        ASSERT_TRUE(simulator.waitForStatus(key("program"), SocketJob::program().string()));
    }
    std::filesystem::path socket() const { return SystemPaths(root.path()).helperSocket(label); }

    TemporarySystemRoot root;
    SimulatorProcess simulator{root.path(), {"--trust-anchor", "none"}};
};

TEST_F(ServiceManager, StartsTheJobOnTheFirstConnectionAndAgainAfterItIsKilled) {
    define("first");
    EXPECT_EQ(job("loaded"), "true");
    EXPECT_EQ(job("pid"), "none");
    struct stat info {};
    ASSERT_EQ(::stat(socket().c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0660u);

    const auto first = SocketJob::hello(socket());
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->tag, "first");
    EXPECT_EQ(std::filesystem::path(first->root), std::filesystem::absolute(root.path()));
    EXPECT_EQ(job("pid"), std::to_string(first->pid));
    EXPECT_EQ(job("starts"), "1");
    // A running job serves later connections itself.
    EXPECT_EQ(SocketJob::hello(socket())->pid, first->pid);

    ASSERT_EQ(::kill(first->pid, SIGKILL), 0);
    ASSERT_TRUE(simulator.waitForStatus(key("lastExit"), "signal 9"));
    EXPECT_EQ(job("pid"), "none");
    const auto second = SocketJob::hello(socket());
    ASSERT_TRUE(second.has_value());
    EXPECT_NE(second->pid, first->pid);
    EXPECT_EQ(job("starts"), "2");

    // A job that ends by itself is started again just the same.
    EXPECT_EQ(SocketJob::ask(socket(), "exit 4"), "bye");
    ASSERT_TRUE(simulator.waitForStatus(key("lastExit"), "exit 4"));
    EXPECT_TRUE(SocketJob::hello(socket()).has_value());
    EXPECT_EQ(job("starts"), "3");
}

TEST_F(ServiceManager, AReplacedDefinitionRestartsTheJobAndARemovedOneStopsIt) {
    define("first");
    const auto first = SocketJob::hello(socket());
    ASSERT_TRUE(first.has_value());

    SocketJob::writeDefinition(root.path(),
                               SocketJob::definition(label, SocketJob::program(), "second"));
    ASSERT_TRUE(simulator.waitForStatus(key("lastExit"), "signal 15"));
    EXPECT_FALSE(testing::isProcessRunning(first->pid));
    const auto second = SocketJob::hello(socket());
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->tag, "second");

    std::filesystem::remove(root.path() / "Library" / "LaunchDaemons" /
                            (std::string(label) + ".plist"));
    ASSERT_TRUE(simulator.waitForStatus("jobs", "0"));
    EXPECT_TRUE(testing::waitUntil([&] { return !testing::isProcessRunning(second->pid); }));
    EXPECT_FALSE(std::filesystem::exists(socket()));
}

TEST_F(ServiceManager, ADamagedDefinitionIsReportedAndTheOthersAreServed) {
    std::ofstream(root.path() / "Library" / "LaunchDaemons" / "com.aerivo.test.Broken.plist")
        << "{\"Label\": \"com.aerivo.test.Broken\", \"Program\": \"relative/path\"}";
    define(std::nullopt);
    EXPECT_EQ(simulator.status("job.com.aerivo.test.Broken.loaded"), "false");
    EXPECT_EQ(simulator.status("job.com.aerivo.test.Broken.error"),
              "Program must be an absolute path");
    EXPECT_FALSE(
        std::filesystem::exists(SystemPaths(root.path()).helperSocket("com.aerivo.test.Broken")));
    EXPECT_TRUE(SocketJob::hello(socket()).has_value());
}

TEST_F(ServiceManager, AJobThatNeverTakesItsConnectionIsThrottledAndTheClientLetGo) {
    SocketJob::writeDefinition(root.path(), SocketJob::definition(label, "/nonexistent/job"));
    ASSERT_TRUE(simulator.waitForStatus(key("loaded"), "true"));
    // The client is not held forever: after three failed starts its connection is closed.
    EXPECT_EQ(SocketJob::ask(socket(), "hello"), std::nullopt);
    EXPECT_EQ(job("starts"), "3");
    EXPECT_EQ(job("lastExit"), "exit 127");
    EXPECT_EQ(job("droppedConnections"), "1");
}

TEST(ServiceManagerLifetime, KillingTheSimulatorLeavesNoJobRunning) {
    TemporarySystemRoot root;
    SimulatorProcess simulator(root.path(), {"--trust-anchor", "none"});
    ASSERT_TRUE(simulator.isServing());
    SocketJob::writeDefinition(root.path(), SocketJob::definition(label, SocketJob::program()));
    ASSERT_TRUE(simulator.waitForStatus("job." + std::string(label) + ".loaded", "true"));
    const auto job = SocketJob::hello(SystemPaths(root.path()).helperSocket(label));
    ASSERT_TRUE(job.has_value());
    ASSERT_TRUE(testing::isProcessRunning(job->pid));

    ASSERT_EQ(::kill(simulator.pid(), SIGKILL), 0);
    EXPECT_EQ(simulator.waitForExit(), 128 + SIGKILL);
    EXPECT_TRUE(testing::waitUntil([&] { return !testing::isProcessRunning(job->pid); }));
    if (testing::isProcessRunning(job->pid)) {
        ::kill(job->pid, SIGKILL); // a stray would hold the test's output open
    }
}

} // namespace
} // namespace aerivo
