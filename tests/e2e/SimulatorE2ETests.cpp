#include "tests/e2e/SimulatorProcess.h"

#include "app/hardware/MacHardwareModel.h"
#include "app/hardware/SMCReadOnlyClient.h"
#include "platform/services/IOKitSMCConnection.h"
#include "platform/services/SMCServiceConnection.h"
#include "platform/simulator/SimulatorConnection.h"
#include "platform/simulator/SimulatorHIDEventSystem.h"
#include "platform/simulator/SimulatorIOKit.h"
#include "shared/SimulatorWire.h"
#include "shared/smcwrite/SMCValueWriter.h"

#include <asio.hpp>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace aerivo {
namespace {

using testing::ProgramRun;
using testing::SimulatorProcess;
using testing::TemporarySystemRoot;

constexpr const char* writerRootVariable = "AERIVO_E2E_WRITER_ROOT";

bool hasLine(const std::string& text, const std::string& line) {
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

class Simulator : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(simulator.isServing()); }

    TemporarySystemRoot root;
    SimulatorProcess simulator{root.path(), {"--seed", "5"}};
    SimulatorIOKit io{root.path()};
};

TEST_F(Simulator, ServesKeysRegistryAndCapabilitiesThroughTheIOKitPort) {
    const auto opened = openSMCService(io);
    ASSERT_TRUE(opened.has_value());
    EXPECT_EQ(opened->serviceClassName, "AppleSMCKeysEndpoint");
    {
        IOKitSMCConnection smc(io, opened->connection);
        const auto count = smc.readValue("FNum");
        ASSERT_TRUE(count.has_value());
        EXPECT_EQ(count->bytes, std::vector<std::uint8_t>{2});
        const auto actual = smc.readValue("F0Ac");
        ASSERT_TRUE(actual.has_value());
        EXPECT_NEAR(actual->rpmValue().value_or(0), 1200, 30);
        EXPECT_EQ(smc.readKeyInfo("Zzz9").output.result, 132);
        EXPECT_EQ(smc.key(0), "#KEY");
        // Reads are open to everyone; writes are not.
        const auto mode = smc.readValue("F0md");
        ASSERT_TRUE(mode.has_value());
        EXPECT_EQ(writeSMCValue(smc, mode->replacingBytes({1})).kernelResult,
                  kIOReturnNotPrivileged);
    }
    EXPECT_EQ(io.closeService(opened->connection), kIOReturnSuccess);
    EXPECT_EQ(io.closeService(opened->connection), kIOReturnBadArgument);

    const MacHardwareModel model = MacHardwareModel::current(io);
    EXPECT_EQ(model.identifier, "Mac15,9");
    EXPECT_EQ(model.productName, "MacBook Pro (16-inch, Nov 2023)");
    const auto raw = io.registryProperty(RegistryEntry::deviceTreeRoot, "model");
    ASSERT_TRUE(raw.has_value());
    EXPECT_EQ(raw->back(), 0);
    EXPECT_FALSE(io.registryStringProperty(RegistryEntry::deviceTreeRoot, "model").has_value());

    auto client = SMCReadOnlyClient::create(io);
    ASSERT_NE(client, nullptr);
    const FanHardwareCapabilities capabilities = client->readFanCapabilities();
    EXPECT_EQ(capabilities.fanCount, 2);
    ASSERT_EQ(capabilities.fans.size(), 2u);
    EXPECT_EQ(capabilities.fans[0].minimumRPM, 1200);
    EXPECT_EQ(capabilities.fans[1].maximumRPM, 5500);
    EXPECT_EQ(capabilities.minimumRPM, 1000);
    EXPECT_EQ(capabilities.maximumRPM, 6000);
    EXPECT_EQ(capabilities.supportStatus, FanHardwareSupportStatus::supported);
    const auto matrix = SMCReadOnlyClient::debugConnectionMatrix(io);
    EXPECT_NE(std::find(matrix.begin(), matrix.end(), "  type=1 open=notPrivileged(-536870207)"),
              matrix.end());
}

TEST_F(Simulator, RefusesWritesFromAnUnprivilegedProcessAndRecordsNoWriter) {
    const auto opened = openSMCService(io);
    ASSERT_TRUE(opened.has_value());
    IOKitSMCConnection smc(io, opened->connection);
    const auto target = smc.readValue("F0Tg");
    ASSERT_TRUE(target.has_value());
    EXPECT_EQ(writeSMCValue(smc, target->replacingRPM(4000)),
              (FanTargetWriteResult{kIOReturnNotPrivileged, 0}));
    const ProgramRun status = simulator.ctl({"status"});
    EXPECT_EQ(status.exitCode, 0);
    EXPECT_TRUE(hasLine(status.output, "fan0Mode=0 (system)")) << status.output;
    EXPECT_TRUE(hasLine(status.output, "fan0LastWriter=none")) << status.output;
    io.closeService(opened->connection);
}

// Run by the test below from a copy of this program inside the privileged helper tools folder.
TEST(SimulatorWriter, WritesManualModeAndTarget) {
    const char* root = std::getenv(writerRootVariable);
    if (root == nullptr) {
        GTEST_SKIP() << "runs only as the privileged writer of another test";
    }
    SimulatorIOKit port{std::filesystem::path(root)};
    const auto opened = openSMCService(port);
    ASSERT_TRUE(opened.has_value());
    IOKitSMCConnection smc(port, opened->connection);
    EXPECT_TRUE(writeSMCValue(smc, smc.readValue("F0md")->replacingBytes({1})).isSuccess());
    EXPECT_TRUE(writeSMCValue(smc, smc.readValue("F0Tg")->replacingRPM(3000)).isSuccess());
    port.closeService(opened->connection);
}

TEST_F(Simulator, AcceptsWritesFromAProcessInThePrivilegedHelperToolsFolder) {
    const auto folder = root.path() / "Library" / "PrivilegedHelperTools";
    std::filesystem::create_directories(folder);
    const auto writer = folder / "aerivo-e2e-writer";
    std::filesystem::copy_file(std::filesystem::read_symlink("/proc/self/exe"), writer);
    const ProgramRun run =
        testing::runProgram(writer, {"--gtest_filter=SimulatorWriter.WritesManualModeAndTarget"},
                            {std::string(writerRootVariable) + "=" + root.path().string()});
    EXPECT_EQ(run.exitCode, 0) << run.output;

    const ProgramRun status = simulator.ctl({"status"});
    EXPECT_TRUE(hasLine(status.output, "fan0Mode=1 (manual)")) << status.output;
    EXPECT_TRUE(hasLine(status.output, "fan0TargetRPM=3000")) << status.output;
    EXPECT_NE(status.output.find("fan0LastWriter=aerivo-e2e-writer["), std::string::npos)
        << status.output;
    EXPECT_TRUE(hasLine(status.output, "fan1LastWriter=none")) << status.output;
}

TEST_F(Simulator, AMalformedFrameClosesOnlyThatConnection) {
    using stream = asio::local::stream_protocol;
    asio::io_context context;
    const std::string socketPath = simulatorSocketPath(root.path()).string();
    auto expectClosed = [&](const std::vector<std::uint8_t>& bytes, bool shutdownAfter) {
        stream::socket raw(context);
        raw.connect(stream::endpoint(socketPath));
        asio::write(raw, asio::buffer(bytes));
        if (shutdownAfter) {
            raw.shutdown(stream::socket::shutdown_send);
        }
        std::array<std::uint8_t, 64> answer{};
        std::error_code error;
        const std::size_t got = raw.read_some(asio::buffer(answer), error);
        EXPECT_EQ(error, asio::error::eof) << got;
    };
    // Unknown operation, oversized payload, non-zero reserved bytes, a truncated payload.
    expectClosed({0, 0, 0, 0, 0xE7, 0x03, 0, 0}, false);
    expectClosed({0xFF, 0xFF, 0x01, 0, 1, 0, 0, 0}, false);
    expectClosed({0, 0, 0, 0, 40, 0, 1, 0}, false);
    expectClosed({100, 0, 0, 0, 1, 0, 0, 0, 'A', 'p'}, true);
    // A payload that does not decode as its operation's request.
    expectClosed({3, 0, 0, 0, 1, 0, 0, 0, 9, 9, 9}, false);

    // This process's own connection, opened before, still works.
    EXPECT_NE(io.matchingService("AppleSMC"), 0u);
    const ProgramRun status = simulator.ctl({"status"});
    EXPECT_EQ(status.exitCode, 0);
    EXPECT_TRUE(hasLine(status.output, "clients=2")) << status.output;
}

TEST_F(Simulator, ServesSeveralClientsAtOnce) {
    SimulatorConnection first(simulatorSocketPath(root.path()));
    SimulatorConnection second(simulatorSocketPath(root.path()));
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    auto match = [](SimulatorConnection& connection, std::uint32_t& out) {
        return connection.exchange(
            SimulatorOp::matchingService, [](SimulatorWireWriter& w) { w.string("AppleSMC"); },
            [&](SimulatorWireReader& r) { out = r.u32(); });
    };
    ASSERT_TRUE(match(first, a));
    ASSERT_TRUE(match(second, b));
    EXPECT_NE(a, 0u);
    EXPECT_NE(b, 0u);
    // Handles belong to the connection that was given them.
    KernReturn result = kIOReturnSuccess;
    ASSERT_TRUE(second.exchange(
        SimulatorOp::releaseObject, [&](SimulatorWireWriter& w) { w.u32(a); },
        [&](SimulatorWireReader& r) { result = r.i32(); }));
    EXPECT_EQ(result, kIOReturnBadArgument);
    ASSERT_TRUE(first.exchange(
        SimulatorOp::releaseObject, [&](SimulatorWireWriter& w) { w.u32(a); },
        [&](SimulatorWireReader& r) { result = r.i32(); }));
    EXPECT_EQ(result, kIOReturnSuccess);
}

TEST_F(Simulator, ServesHIDTemperatureServices) {
    SimulatorHIDEventSystem hid(root.path());
    const auto services = hid.copyServices(0xFF00, 5);
    ASSERT_TRUE(services.has_value());
    EXPECT_GE(services->size(), 14u);
    int unnamed = 0;
    int processor = 0;
    for (const HIDServiceHandle service : *services) {
        const auto product = hid.copyStringProperty(service, "Product");
        if (!product) {
            ++unnamed;
            continue;
        }
        const auto value = hid.copyEventFloatValue(service, 15, 0xF0000);
        if (product->starts_with("PMU tdie") && value && *value < 150) {
            ++processor;
            EXPECT_GT(*value, 25);
        }
    }
    EXPECT_EQ(unnamed, 1);
    EXPECT_EQ(processor, 6);
    EXPECT_FALSE(hid.copyEventFloatValue(services->front(), 3, 0).has_value());
    EXPECT_EQ(hid.copyServices(0xFF00, 99), std::vector<HIDServiceHandle>{});
}

TEST_F(Simulator, CtlChangesWorkloadFaultsAndTakesTheFanBack) {
    EXPECT_EQ(simulator.ctl({"workload", "load"}).output, "workload=load\n");
    const ProgramRun fault = simulator.ctl({"fault", "read", "F0Ac", "kernel", "unsupported"});
    EXPECT_EQ(fault.exitCode, 0) << fault.output;
    const auto opened = openSMCService(io);
    ASSERT_TRUE(opened.has_value());
    IOKitSMCConnection smc(io, opened->connection);
    EXPECT_EQ(smc.readKeyInfo("F0Ac").kernelResult, kIOReturnUnsupported);
    EXPECT_TRUE(smc.readValue("F1Ac").has_value());
    EXPECT_EQ(simulator.ctl({"fault", "open", "AppleSMCKeysEndpoint"}).exitCode, 0);
    const auto fallback = openSMCService(io);
    ASSERT_TRUE(fallback.has_value());
    EXPECT_EQ(fallback->serviceClassName, "AppleSMC");
    io.closeService(fallback->connection);
    EXPECT_EQ(simulator.ctl({"fault", "clear"}).exitCode, 0);
    EXPECT_TRUE(smc.readValue("F0Ac").has_value());

    const ProgramRun takeBack = simulator.ctl({"take-back"});
    EXPECT_EQ(takeBack.exitCode, 0);
    EXPECT_TRUE(takeBack.output.starts_with("lastTakeBack=command at ")) << takeBack.output;
    const ProgramRun status = simulator.ctl({"status"});
    EXPECT_TRUE(hasLine(status.output, "workload=load")) << status.output;
    EXPECT_TRUE(hasLine(status.output, "takeBacks=1")) << status.output;
    EXPECT_TRUE(hasLine(status.output, "faults=none")) << status.output;

    const ProgramRun refused = simulator.ctl({"workload", "heavy"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.output.find("unknown workload \"heavy\""), std::string::npos);
    io.closeService(opened->connection);
}

TEST_F(Simulator, QuitStopsTheDaemonAndRemovesTheSocket) {
    EXPECT_EQ(simulator.ctl({"quit"}).output, "stopping\n");
    EXPECT_EQ(simulator.waitForExit(), 0);
    EXPECT_FALSE(std::filesystem::exists(simulatorSocketPath(root.path())));
    // A client of a simulator that is gone fails like a machine without the driver.
    EXPECT_EQ(io.matchingService("AppleSMC"), 0u);
    EXPECT_EQ(io.openService(1, 0).result, kIOReturnNoDevice);
    EXPECT_EQ(simulator.ctl({"status"}).exitCode, 1);
}

TEST(SimulatorRoot, StartingPutsTheChosenTrustAnchorAndTheOsascriptStandInIntoTheRoot) {
    TemporarySystemRoot root;
    const std::filesystem::path development = AERIVO_DEV_TRUST_ANCHOR;
    const auto anchor = root.path() / "TeamAnchor.pem";
    std::ofstream(anchor) << "anchor bytes\n";
    const auto anchors = root.path() / "Library" / "Aerivo" / "TrustAnchors";
    auto text = [](const std::filesystem::path& file) {
        std::ifstream in(file);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    // Nothing, another anchor, then by default the build's own.
    const std::vector<std::pair<std::vector<std::string>, std::filesystem::path>> cases = {
        {{"--trust-anchor", "none"}, ""},
        {{"--trust-anchor", anchor.string()}, anchor},
        {{}, development},
    };
    for (const auto& [arguments, source] : cases) {
        SimulatorProcess simulator(root.path(), arguments);
        ASSERT_TRUE(simulator.isServing());
        if (source.empty()) {
            EXPECT_FALSE(std::filesystem::exists(anchors));
        } else {
            EXPECT_EQ(text(anchors / source.filename()), text(source)) << source;
            EXPECT_FALSE(text(source).empty());
        }
        const auto osascript = root.path() / "usr" / "bin" / "osascript";
        EXPECT_EQ(::access(osascript.c_str(), X_OK), 0);
    }
}

TEST(SimulatorCommandLine, BadValuesGiveAClearErrorAndExitTwo) {
    TemporarySystemRoot root;
    std::ofstream(root.path() / "bad.json") << "{\"readFailures\": 3}";
    std::ofstream(root.path() / "bad.script") << "10 5\n5 6\n";
    const std::string base = root.path().string();
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--model", "laptop"}, "unknown model \"laptop\""},
        {{"--seed", "-3"}, "seed \"-3\" is not a non-negative integer"},
        {{"--seed"}, "--seed needs a value"},
        {{"--workload", "script:" + base + "/missing"}, "cannot read workload script"},
        {{"--workload", "script:" + base + "/bad.script"}, "line 2: times must not decrease"},
        {{"--faults", base + "/bad.json"}, "\"readFailures\" must be an object of keys"},
        {{"--bogus"}, "unknown argument \"--bogus\""},
        {{"ctl", "--root", base, "fault", "read", "F0"}, "four-character SMC key"},
        {{"ctl", "--root", base, "fault", "write", "F0Tg", "smc", "0"}, "must be from 1 to 255"},
        {{"ctl", "--root", base, "dance"}, "unknown ctl command \"dance\""},
        {{"--approve", "maybe"}, "--approve needs yes, no or ask-file"},
        {{"--approval-timeout", "0"}, "must be from 0.001 to 3600 seconds"},
        {{"--approval-timeout", "1e3"}, "must be from 0.001 to 3600 seconds"},
        {{"--trust-anchor", base + "/missing.pem"}, "cannot read trust anchor"},
        {{"ctl", "--root", base, "approve", "always"}, "approve needs yes, no or ask-file"},
    };
    for (const auto& [arguments, message] : cases) {
        std::vector<std::string> all = arguments;
        if (all.front() != "ctl") {
            all.insert(all.begin(), {"--root", base});
        }
        const ProgramRun run = testing::runProgram(SimulatorProcess::programPath(), all);
        EXPECT_EQ(run.exitCode, 2) << message;
        EXPECT_NE(run.output.find(message), std::string::npos) << run.output;
    }
    // Nothing was served.
    EXPECT_FALSE(std::filesystem::exists(simulatorSocketPath(root.path())));
}

} // namespace
} // namespace aerivo
