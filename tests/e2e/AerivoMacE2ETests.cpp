// AerivoMac as a program against the simulated Mac daemon: the hardware print with its reports
// for several models, and the headless control loop reading live temperatures.

#include "platform/simulator/SimulatorConnection.h"
#include "platform/simulator/SimulatorHIDEventSystem.h"
#include "shared/SimulatorWire.h"
#include "tests/e2e/SimulatorProcess.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <regex>
#include <sstream>

namespace aerivo {
namespace {

using testing::hasLine;
using testing::linesOf;

using testing::ProgramRun;
using testing::SimulatorProcess;
using testing::TemporarySystemRoot;

std::size_t indexOf(const std::vector<std::string>& lines, const std::string& prefix) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].starts_with(prefix)) {
            return i;
        }
    }
    return lines.size();
}

class AerivoMacOnSimulator : public ::testing::Test {
protected:
    void start(const std::string& model, const std::string& workload = "idle") {
        simulator = std::make_unique<SimulatorProcess>(
            root.path(),
            std::vector<std::string>{"--model", model, "--seed", "3", "--workload", workload});
        ASSERT_TRUE(simulator->isServing());
    }

    ProgramRun app(const std::vector<std::string>& arguments) const {
        return testing::runProgram(AERIVO_MAC_PATH, arguments,
                                   {"AERIVO_SYSTEM_ROOT=" + root.path().string(),
                                    "XDG_CONFIG_HOME=" + (root.path() / "config").string()});
    }

    // A stand-in for the system's smcDiagnose that prints the fan's range keys in its form.
    void installSMCDiagnose(const std::string& output) const {
        const auto folder = root.path() / "usr" / "libexec";
        std::filesystem::create_directories(folder);
        const auto tool = folder / "smcDiagnose";
        std::ofstream(tool) << "#!/bin/sh\nprintf '" << output << "'\n";
        std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
    }

    TemporarySystemRoot root;
    std::unique_ptr<SimulatorProcess> simulator;
};

TEST_F(AerivoMacOnSimulator, PrintsTwoFanLaptopWithReports) {
    start("laptop-2fan");
    const ProgramRun run = app({"--print-hardware", "--smc-debug", "--temperature-debug"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const auto lines = linesOf(run.output);
    EXPECT_EQ(lines.front(), "fanCount=2") << run.output;
    EXPECT_TRUE(hasLine(lines, "minimumRPM=1000")) << run.output;
    EXPECT_TRUE(hasLine(lines, "maximumRPM=6000")) << run.output;
    EXPECT_TRUE(hasLine(lines, "supportStatus=supported")) << run.output;
    EXPECT_TRUE(hasLine(lines, "fan0MinimumRPM=1200")) << run.output;
    EXPECT_TRUE(hasLine(lines, "fan1MaximumRPM=5500")) << run.output;
    EXPECT_EQ(indexOf(lines, "fallback="), lines.size()) << run.output;
    // The reports follow the probe block: SMC keys, then the temperature sensors.
    const std::size_t smc = indexOf(lines, "smcService=AppleSMCKeysEndpoint");
    const std::size_t telemetry = indexOf(lines, "temperatureTelemetry=IOHID sensors=");
    EXPECT_LT(indexOf(lines, "fan1Source="), smc) << run.output;
    EXPECT_LT(smc, telemetry) << run.output;
    EXPECT_TRUE(hasLine(lines, "smcStructSize=80")) << run.output;
    ASSERT_LT(telemetry + 1, lines.size());
    EXPECT_TRUE(std::regex_match(
        lines[telemetry + 1],
        std::regex(R"(temperaturePrimary=\d+ C source=IOHID PMU max \(PMU t(die|dev)\d+\))")))
        << lines[telemetry + 1];
    EXPECT_NE(indexOf(lines, "PMU tdie"), lines.size()) << run.output;
}

TEST_F(AerivoMacOnSimulator, Mac17_2UsesThePresetAndSMCDiagnoseOnRequest) {
    start("mac17-2");
    ProgramRun run = app({"--print-hardware", "--smc-debug", "--temperature-debug"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    auto lines = linesOf(run.output);
    EXPECT_TRUE(hasLine(lines, "source=Mac17,2 built-in fan preset")) << run.output;
    EXPECT_TRUE(hasLine(lines, "minimumRPM=2500")) << run.output;
    EXPECT_TRUE(hasLine(lines, "maximumRPM=6550")) << run.output;
    EXPECT_EQ(indexOf(lines, "fallback="), lines.size()) << run.output;
    // The SMC has no range keys on this model: the report shows them unknown (result 132).
    ASSERT_LT(indexOf(lines, "F0Mn: "), lines.size()) << run.output;
    EXPECT_NE(lines[indexOf(lines, "F0Mn: ")].find("result=132"), std::string::npos) << run.output;

    // Without the tool, the fallback fails with the reason.
    run = app({"--print-hardware", "--smc-diagnose-fallback"});
    lines = linesOf(run.output);
    ASSERT_LT(indexOf(lines, "fallback="), lines.size()) << run.output;
    EXPECT_TRUE(lines[indexOf(lines, "fallback=")].starts_with("fallback=smcDiagnose failed: "))
        << run.output;

    installSMCDiagnose("SMC diagnose\\nfRMN, 2500\\nfRMX = 6550 rpm\\nF0Ac, 2500\\n");
    run =
        app({"--print-hardware", "--smc-diagnose-fallback", "--smc-debug", "--temperature-debug"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    lines = linesOf(run.output);
    EXPECT_TRUE(hasLine(lines, "source=smcDiagnose fRMN/fRMX read-only")) << run.output;
    EXPECT_TRUE(hasLine(lines, "fallback=smcDiagnose applied")) << run.output;
    EXPECT_TRUE(hasLine(lines, "minimumRPM=2500")) << run.output;
    EXPECT_LT(indexOf(lines, "fallback="), indexOf(lines, "smcService=")) << run.output;
    EXPECT_LT(indexOf(lines, "smcService="), indexOf(lines, "temperatureTelemetry=")) << run.output;
}

TEST_F(AerivoMacOnSimulator, FanlessAirIsUnsupportedWithLiveSensors) {
    start("air-fanless");
    const ProgramRun run = app({"--print-hardware", "--smc-debug", "--temperature-debug"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const auto lines = linesOf(run.output);
    EXPECT_TRUE(hasLine(lines, "supportStatus=unsupportedNoFan")) << run.output;
    EXPECT_TRUE(hasLine(lines, "fanCount=0")) << run.output;
    EXPECT_EQ(indexOf(lines, "fan0Name="), lines.size()) << run.output;
    // The report ends the output: its header, the primary line, then one line per sensor.
    const std::size_t telemetry = indexOf(lines, "temperatureTelemetry=");
    ASSERT_LT(telemetry + 2, lines.size()) << run.output;
    const std::size_t sensorLines = lines.size() - telemetry - 2;
    EXPECT_EQ(lines[telemetry], "temperatureTelemetry=IOHID sensors=" + std::to_string(sensorLines))
        << run.output;
    EXPECT_TRUE(lines[telemetry + 1].starts_with("temperaturePrimary=")) << run.output;
    EXPECT_NE(lines[telemetry + 1], "temperaturePrimary=nil") << run.output;
}

TEST(AerivoMacWithoutSimulator, FallsBackHonestly) {
    TemporarySystemRoot root;
    const ProgramRun run = testing::runProgram(
        AERIVO_MAC_PATH, {"--print-hardware", "--smc-debug", "--temperature-debug"},
        {"AERIVO_SYSTEM_ROOT=" + root.path().string()});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const auto lines = linesOf(run.output);
    EXPECT_TRUE(hasLine(lines, "source=Hardware range unavailable")) << run.output;
    EXPECT_TRUE(hasLine(lines, "smcService=unavailable")) << run.output;
    EXPECT_TRUE(hasLine(lines, "temperatureTelemetry=unavailable")) << run.output;

    const ProgramRun helper = testing::runProgram(AERIVO_MAC_PATH, {"--helper-preflight"},
                                                  {"AERIVO_SYSTEM_ROOT=" + root.path().string()});
    // Outside its bundle the app has no helper to report.
    EXPECT_EQ(helper.exitCode, 0) << helper.output;
    EXPECT_TRUE(hasLine(linesOf(helper.output), "helperBundled=false")) << helper.output;
    EXPECT_TRUE(hasLine(linesOf(helper.output), "helperDetail=Helper executable is not bundled."));
}

TEST_F(AerivoMacOnSimulator, OneCallServiceCopyAgreesWithTheCallByCallAnswers) {
    start("desktop-1fan");
    SimulatorHIDEventSystem hid(root.path());
    // A connection of its own, asking each service by the single-value calls.
    SimulatorConnection direct(simulatorSocketPath(root.path()));
    const auto services = hid.copyServices(0xFF00, 5);
    ASSERT_TRUE(services);
    ASSERT_GE(services->size(), 16u);
    for (const HIDServiceHandle service : *services) {
        std::optional<std::string> product;
        ASSERT_TRUE(direct.exchange(
            SimulatorOp::hidProduct,
            [&](SimulatorWireWriter& out) { out.u32(static_cast<std::uint32_t>(service)); },
            [&](SimulatorWireReader& in) {
                if (in.u8() == 1) {
                    product = in.string();
                }
            }));
        std::optional<double> temperature;
        ASSERT_TRUE(direct.exchange(
            SimulatorOp::hidTemperature,
            [&](SimulatorWireWriter& out) { out.u32(static_cast<std::uint32_t>(service)); },
            [&](SimulatorWireReader& in) {
                if (in.u8() == 1) {
                    temperature = in.f64();
                }
            }));
        EXPECT_EQ(hid.copyStringProperty(service, "Product"), product);
        // The copied event (first request) and a fresh one (second) both match the machine,
        // within its per-reading jitter.
        for (int request = 0; request < 2; ++request) {
            const auto value = hid.copyEventFloatValue(service, 15, 0xF0000);
            ASSERT_EQ(value.has_value(), temperature.has_value()) << service;
            if (value) {
                EXPECT_NEAR(*value, *temperature, 1.0) << service;
            }
        }
    }
    // Other usage pairs list nothing.
    EXPECT_EQ(hid.copyServices(0xFF00, 6), std::vector<HIDServiceHandle>{});
}

struct RefreshLine {
    double temperatureC = 0;
    std::string source;
    bool live = false;
    std::string mode;
    std::string modeTitle;
    std::string writePlan;
};

std::vector<RefreshLine> refreshLines(const std::string& output) {
    static const std::regex pattern(
        R"(refresh=\d+ time=\S+Z temperatureC=([0-9.]+) source=(.*) live=(true|false) )"
        R"(actualRPM=\d+ targetRPM=\d+ mode=(.+) modeTitle=(.+) curveTargetRPM=\d+ )"
        R"(writePlan=(\w+) leaseInFlight=(true|false))");
    std::vector<RefreshLine> result;
    for (const std::string& line : linesOf(output)) {
        std::smatch match;
        if (std::regex_match(line, match, pattern)) {
            result.push_back(
                {std::stod(match[1]), match[2], match[3] == "true", match[4], match[5], match[6]});
        }
    }
    return result;
}

TEST_F(AerivoMacOnSimulator, HeadlessTemperatureIsLiveAndFollowsTheWorkload) {
    auto rise = [this](const std::string& workload) {
        start("laptop-2fan", workload);
        const ProgramRun run = app({"--headless", "--refreshes", "2"});
        EXPECT_EQ(run.exitCode, 0) << run.output;
        EXPECT_TRUE(run.output.starts_with("hardware=simulator ")) << run.output;
        const auto lines = refreshLines(run.output);
        EXPECT_EQ(lines.size(), 2u) << run.output;
        simulator.reset();
        if (lines.size() != 2u) {
            return 0.0;
        }
        for (const RefreshLine& line : lines) {
            EXPECT_TRUE(line.live) << run.output;
            EXPECT_TRUE(line.source.starts_with("IOHID PMU max (PMU t")) << run.output;
            EXPECT_EQ(line.mode, "System") << run.output;
        }
        return lines[1].temperatureC - lines[0].temperatureC;
    };
    const double underLoad = rise("load");
    const double atIdle = rise("idle");
    // Two seconds at full load heat the die by degrees; at idle it barely moves.
    EXPECT_GT(underLoad, 1.0) << "idle rise " << atIdle;
    EXPECT_GT(underLoad, atIdle + 1.0) << "load rise " << underLoad;
}

TEST_F(AerivoMacOnSimulator, HeadlessStopsOnSIGTERM) {
    start("desktop-1fan");
    // Without a limit the loop runs until a signal; `timeout` sends SIGTERM after a second and
    // passes the program's own exit status on.
    const ProgramRun run = testing::runProgram(
        "/usr/bin/timeout", {"--preserve-status", "-s", "TERM", "1", AERIVO_MAC_PATH, "--headless"},
        {"AERIVO_SYSTEM_ROOT=" + root.path().string(),
         "XDG_CONFIG_HOME=" + (root.path() / "config").string()});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(refreshLines(run.output).size(), 1u) << run.output;
    EXPECT_EQ(run.output.find("AerivoMac:"), std::string::npos) << run.output;
    // The signal ends the loop; the quit reset still runs (nothing to send without a helper).
    EXPECT_TRUE(run.output.ends_with(" sent=false\n")) << run.output;
    EXPECT_NE(run.output.find("\nreset=termination time="), std::string::npos) << run.output;
}

TEST_F(AerivoMacOnSimulator, HeadlessCurveModeStaysLockedWithoutAHelperAndSaysWhy) {
    start("laptop-2fan");
    const ProgramRun run = app({"--headless", "--curve", "--refreshes", "2"});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    const auto lines = refreshLines(run.output);
    ASSERT_EQ(lines.size(), 2u) << run.output;
    EXPECT_EQ(lines[0].mode, "System") << run.output;
    EXPECT_EQ(lines[1].mode, "Curve") << run.output;
    EXPECT_EQ(lines[1].modeTitle, "Curve") << run.output;
    EXPECT_EQ(lines[1].writePlan, "helperRequired") << run.output;
    EXPECT_NE(run.output.find("\nstatus=Fan writes remain locked. Missing: signed privileged "
                              "helper, "),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("\nlease="), std::string::npos) << run.output;

    const ProgramRun bad = app({"--headless", "--mode", "turbo"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.output.find("--mode needs system or curve"), std::string::npos) << bad.output;
}

TEST_F(AerivoMacOnSimulator, HeadlessRefusesABadRefreshCount) {
    start("laptop-2fan");
    const ProgramRun run = app({"--headless", "--refreshes", "zero"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.output.find("--refreshes needs a whole number of at least 1"), std::string::npos)
        << run.output;
}

} // namespace
} // namespace aerivo

namespace aerivo {
namespace {

TEST(AerivoMacWithoutDisplay, PointsAtHeadlessInsteadOfCrashing) {
    testing::TemporarySystemRoot root;
    // env(1) removes what a developer's own session may have set.
    const testing::ProgramRun run = testing::runProgram(
        "/usr/bin/env",
        {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM", AERIVO_MAC_PATH},
        {"AERIVO_SYSTEM_ROOT=" + root.path().string(),
         "XDG_CONFIG_HOME=" + (root.path() / "config").string(),
         "XDG_RUNTIME_DIR=" + root.path().string()});
    EXPECT_EQ(run.exitCode, 2) << run.output;
    EXPECT_NE(run.output.find("--headless"), std::string::npos) << run.output;
}

} // namespace
} // namespace aerivo
