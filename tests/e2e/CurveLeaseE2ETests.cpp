// Curve mode end to end: the simulated Mac, the helper it starts on demand, and the headless app
// holding the curve's target under leases, ending them by quitting, by being killed and by
// macOS taking the fan back.

#include "app/model/AerivoPreferences.h"
#include "app/model/AerivoProfile.h"
#include "platform/qt/QSettingsUserDefaults.h"
#include "tests/e2e/SimulatorProcess.h"
#include "tests/support/RunningProcess.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <fstream>
#include <functional>
#include <sstream>

namespace aerivo {
namespace {

using testing::RunningProcess;
using testing::SimulatorProcess;
using testing::TemporarySystemRoot;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const fs::path bundledApp = fs::path(AERIVO_APP_BUNDLE_PATH) / "Contents" / "MacOS" / "AerivoMac";

using testing::fieldValue;

class CurveLeaseOnSimulator : public ::testing::Test {
protected:
    void SetUp() override {
        simulator = std::make_unique<SimulatorProcess>(
            root.path(), std::vector<std::string>{"--workload", "idle"}, errorLog());
        ASSERT_TRUE(simulator->isServing());
        const testing::ProgramRun install =
            testing::runProgram(bundledApp, {"--install-helper"}, environment());
        ASSERT_EQ(testing::lineValue(install.output, "helperFanWritesEnabled"), "true")
            << install.output;
    }

    std::vector<std::string> environment() const {
        return {"AERIVO_SYSTEM_ROOT=" + root.path().string(),
                "XDG_CONFIG_HOME=" + (root.path() / "config").string()};
    }
    fs::path errorLog() const { return root.path() / "simulator.log"; }
    std::string errors() const {
        std::ifstream stream(errorLog());
        std::ostringstream text;
        text << stream.rdbuf();
        return text.str();
    }
    std::string fan(const std::string& key) const {
        return simulator->status("fan0" + key).value_or("missing");
    }

    std::unique_ptr<RunningProcess> startCurveMode() {
        auto app = std::make_unique<RunningProcess>(
            bundledApp, std::vector<std::string>{"--headless", "--curve"}, environment());
        EXPECT_GT(app->pid(), 0);
        return app;
    }
    // The next line starting with `prefix`; empty when the output ended first.
    static std::string nextLine(RunningProcess& app, const std::string& prefix) {
        for (std::string line = app.readLine(); !line.empty(); line = app.readLine()) {
            if (line.starts_with(prefix)) {
                return line;
            }
        }
        return {};
    }

    TemporarySystemRoot root;
    std::unique_ptr<SimulatorProcess> simulator;
};

TEST_F(CurveLeaseOnSimulator, TheFanFollowsTheCurveIsRetakenAfterTheSystemAndReturnsOnQuit) {
    const auto app = startCurveMode();
    const std::string lease = nextLine(*app, "lease=");
    ASSERT_EQ(fieldValue(lease, "success"), "true") << lease;
    EXPECT_EQ(fan("Mode"), "1 (manual)");
    EXPECT_EQ(fan("TargetRPM"), fieldValue(lease, "targetRPM")) << lease;

    // macOS takes the fan back; the next renewal takes it again and the helper says so.
    ASSERT_EQ(simulator->ctl({"take-back"}).exitCode, 0);
    EXPECT_EQ(fan("Mode"), "0 (system)");
    const std::string renewal = nextLine(*app, "lease=");
    ASSERT_EQ(fieldValue(renewal, "success"), "true") << renewal;
    EXPECT_EQ(fan("Mode"), "1 (manual)");
    EXPECT_NE(errors().find("curveLeaseRetaken=true"), std::string::npos) << errors();

    // Quitting hands the fan back before the process ends.
    ASSERT_EQ(::kill(app->pid(), SIGTERM), 0);
    const std::string reset = nextLine(*app, "reset=");
    EXPECT_EQ(fieldValue(reset, "success"), "true") << reset;
    EXPECT_TRUE(nextLine(*app, "never").empty()); // the output ended: the app exited
    EXPECT_EQ(fan("Mode"), "0 (system)");
}

TEST_F(CurveLeaseOnSimulator, AKilledAppsLeaseRunsOutAndTheFanGoesBack) {
    const auto app = startCurveMode();
    ASSERT_EQ(fieldValue(nextLine(*app, "lease="), "success"), "true");
    app->stop(); // SIGKILL: no quit, no reset
    const auto killed = Clock::now();
    EXPECT_EQ(fan("Mode"), "1 (manual)");
    // The store leases for 15 s and renews every 5 s: the last lease runs out within 15 s.
    EXPECT_TRUE(
        testing::waitUntil([&] { return fan("Mode") == "0 (system)"; }, std::chrono::seconds(17)));
    EXPECT_LE(Clock::now() - killed, std::chrono::seconds(16));
}

TEST_F(CurveLeaseOnSimulator, EachStayBelowTheFanOffThresholdHandsTheFanBackOnce) {
    AerivoProfile profile = AerivoProfile::balanced();
    profile.isFanOffThresholdEnabled = true;
    profile.fanOffThresholdC = 38.0; // the idle machine sits near 35 C
    const auto defaults =
        std::make_shared<QSettingsUserDefaults>(root.path() / "config" / "AerivoMac");
    ASSERT_TRUE(AerivoPreferences(defaults).saveProfile(profile).isSuccess);

    const auto app = startCurveMode();
    int fanOffResets = 0;
    int leases = 0;
    // Reads at most `limit` lines, counting, until `done` holds for a line.
    const auto readUntil = [&](const std::function<bool(const std::string&)>& done, int limit) {
        for (int read = 0; read < limit; ++read) {
            const std::string line = app->readLine();
            if (line.empty()) {
                return false;
            }
            fanOffResets += line.starts_with("reset=fanOffRange") ? 1 : 0;
            leases += line.starts_with("lease=") ? 1 : 0;
            if (done(line)) {
                return true;
            }
        }
        return false;
    };
    int refreshes = 0;
    const auto refreshesSeen = [&refreshes](int count) {
        return [&refreshes, count](const std::string& line) {
            return line.starts_with("refresh=") && ++refreshes >= count;
        };
    };

    // The first stay: one hand-back, then refreshes without any lease.
    ASSERT_TRUE(readUntil(refreshesSeen(5), 40));
    EXPECT_EQ(fanOffResets, 1);
    EXPECT_EQ(leases, 0);
    EXPECT_EQ(fan("Mode"), "0 (system)");

    // Load warms the die past the threshold: the curve leases again.
    ASSERT_EQ(simulator->ctl({"workload", "load"}).exitCode, 0);
    ASSERT_TRUE(readUntil([](const std::string& line) { return line.starts_with("lease="); }, 60));
    EXPECT_EQ(fan("Mode"), "1 (manual)");

    // Idle again: cooling back below the threshold is a second stay with a single hand-back.
    ASSERT_EQ(simulator->ctl({"workload", "idle"}).exitCode, 0);
    ASSERT_TRUE(readUntil(
        [](const std::string& line) { return line.starts_with("reset=fanOffRange"); }, 200));
    refreshes = 0;
    ASSERT_TRUE(readUntil(refreshesSeen(3), 40));
    EXPECT_EQ(fanOffResets, 2);
    EXPECT_EQ(fan("Mode"), "0 (system)");
}

} // namespace
} // namespace aerivo
