#include "shared/SimulatorWire.h"
#include "sim/daemon/SimCommandLine.h"
#include "sim/daemon/SimDaemonServer.h"
#include "sim/daemon/SimRootSetup.h"

#include <asio.hpp>

#include <csignal>
#include <cstdlib>
#include <iostream>

namespace aerivo {
namespace {

int serve(const SimServeOptions& options) {
    auto machine = std::make_unique<SimulatedMac>(options.preset, options.seed, options.workload);
    machine->setFaults(options.faults);
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    for (const std::string& note : prepareSimulatedRoot(options, self.parent_path())) {
        std::cerr << "aerivo-sim-mac: " << note << "\n";
    }
    asio::io_context io;
    SimDaemonServer server(io, options.root, std::move(machine),
                           SimDaemonSettings{options.approvalPolicy, options.approvalTimeout});
    // Before the socket appears: a stop asked for at any moment after that is a clean stop that
    // removes the sockets, never the default death that leaves them behind.
    asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&server](std::error_code error, int) {
        if (!error) {
            server.stop();
        }
    });
    try {
        server.start();
    } catch (const std::exception& error) {
        std::cerr << "aerivo-sim-mac: " << error.what() << "\n";
        return 1;
    }
    std::cout << "aerivo-sim-mac: serving " << server.socketPath().string() << " (model "
              << options.preset.name << ", seed " << options.seed << ", workload "
              << options.workload.name() << ")" << std::endl;
    io.run();
    return 0;
}

int control(const SimCtlOptions& options) {
    using stream = asio::local::stream_protocol;
    asio::io_context io;
    stream::socket socket(io);
    const std::string path = simulatorSocketPath(options.root).string();
    std::error_code error;
    socket.connect(stream::endpoint(path), error);
    if (error) {
        std::cerr << "aerivo-sim-mac: no simulator at " << path << ": " << error.message() << "\n";
        return 1;
    }
    std::vector<std::uint8_t> frame;
    SimulatorWireWriter writer(frame);
    SimulatorOp op = SimulatorOp::ctlStatus;
    switch (options.command) {
    case SimCtlOptions::Command::status:
        op = SimulatorOp::ctlStatus;
        writer.begin(op);
        break;
    case SimCtlOptions::Command::workload:
        op = SimulatorOp::ctlWorkload;
        writer.begin(op);
        writer.string(options.workloadName);
        writer.string(options.script);
        break;
    case SimCtlOptions::Command::faults:
        op = SimulatorOp::ctlFaults;
        writer.begin(op);
        writer.string(options.faultsJSON);
        break;
    case SimCtlOptions::Command::clearFaults:
        op = SimulatorOp::ctlClearFaults;
        writer.begin(op);
        break;
    case SimCtlOptions::Command::takeBack:
        op = SimulatorOp::ctlTakeBack;
        writer.begin(op);
        break;
    case SimCtlOptions::Command::quit:
        op = SimulatorOp::ctlQuit;
        writer.begin(op);
        break;
    case SimCtlOptions::Command::approve:
        op = SimulatorOp::ctlApprove;
        writer.begin(op);
        writer.u8(static_cast<std::uint8_t>(options.approvalPolicy));
        break;
    }
    if (!writer.finish()) {
        std::cerr << "aerivo-sim-mac: request too large\n";
        return 2;
    }
    std::array<std::uint8_t, simulatorFrameHeaderSize> header{};
    asio::write(socket, asio::buffer(frame), error);
    if (!error) {
        asio::read(socket, asio::buffer(header), error);
    }
    const auto decoded = error ? std::nullopt : decodeSimulatorHeader(header);
    std::vector<std::uint8_t> payload(decoded ? decoded->payloadSize : 0);
    if (decoded) {
        asio::read(socket, asio::buffer(payload), error);
    }
    if (error || !decoded || decoded->op != op) {
        std::cerr << "aerivo-sim-mac: no valid answer from " << path << "\n";
        return 1;
    }
    SimulatorWireReader reader(payload);
    if (op == SimulatorOp::ctlStatus) {
        const std::string text = reader.string();
        if (!reader.finished()) {
            std::cerr << "aerivo-sim-mac: malformed status answer\n";
            return 1;
        }
        std::cout << text;
        return 0;
    }
    const bool ok = reader.u8() == 1;
    const std::string message = reader.string();
    if (!reader.finished()) {
        std::cerr << "aerivo-sim-mac: malformed answer\n";
        return 1;
    }
    (ok ? std::cout : std::cerr) << (ok ? "" : "aerivo-sim-mac: ") << message << "\n";
    return ok ? 0 : 2;
}

} // namespace
} // namespace aerivo

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    const char* rootVariable = std::getenv("AERIVO_SYSTEM_ROOT");
    const std::filesystem::path defaultRoot =
        rootVariable != nullptr && *rootVariable != '\0' ? rootVariable : "/";
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto parsed = aerivo::parseSimCommandLine(arguments, defaultRoot);
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        std::cerr << "aerivo-sim-mac: " << *error << " (see aerivo-sim-mac --help)\n";
        return 2;
    }
    if (std::holds_alternative<aerivo::SimHelpRequest>(parsed)) {
        std::cout << aerivo::simUsageText;
        return 0;
    }
    if (const auto* ctl = std::get_if<aerivo::SimCtlOptions>(&parsed)) {
        return aerivo::control(*ctl);
    }
    return aerivo::serve(std::get<aerivo::SimServeOptions>(parsed));
}
