#pragma once

#include "sim/daemon/SimApprovalAgent.h"
#include "sim/daemon/SimServiceManager.h"
#include "sim/model/SimulatedMac.h"

#include <asio.hpp>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

namespace aerivo {

// How the daemon's approval agent answers.
struct SimDaemonSettings {
    SimulatorApprovalPolicy approvalPolicy = SimulatorApprovalPolicy::yes;
    std::chrono::milliseconds approvalTimeout{30000};
};

// Serves one simulated Mac on its device socket. Single-threaded: every client's calls run one
// after another on the io_context, as the SMC driver serialises them, and simulated time follows
// the real clock from the moment the server was made. A client whose running image lies in the
// root's privileged helper tools folder may write SMC keys; every other client may only read.
// The same loop runs the service manager (the helper jobs) and the approval agent.
class SimDaemonServer {
public:
    SimDaemonServer(asio::io_context& io, std::filesystem::path systemRoot,
                    std::unique_ptr<SimulatedMac> machine, SimDaemonSettings settings = {});
    ~SimDaemonServer();

    // Binds the socket (removing a stale one) and starts accepting. Throws std::runtime_error
    // with a readable reason when the socket cannot be served.
    void start();
    void stop();

    const std::filesystem::path& socketPath() const { return socketPath_; }
    SimulatedMac& machine() { return *machine_; }
    SimServiceManager& services() { return services_; }
    SimApprovalAgent& approvals() { return approvals_; }
    // The machine's, the approval agent's and the service manager's status lines.
    std::vector<std::string> statusLines() const;
    // The approval agent's answer file under a system root.
    static std::filesystem::path approvalAnswerFile(const std::filesystem::path& systemRoot);
    // Brings the machine's clock up to now.
    void catchUp();
    // Whether a process image path lies in the privileged helper tools folder.
    bool isPrivilegedImage(const std::filesystem::path& image) const;
    // The instant the next delayed reply may go out: delayed calls queue behind each other.
    std::chrono::steady_clock::time_point reserveDelay(std::chrono::microseconds delay);

private:
    class Connection;

    void accept();
    void scheduleTick();

    asio::io_context& io_;
    std::filesystem::path root_;
    std::filesystem::path socketPath_;
    std::filesystem::path privilegedFolder_;
    std::unique_ptr<SimulatedMac> machine_;
    SimServiceManager services_;
    SimApprovalAgent approvals_;
    asio::local::stream_protocol::acceptor acceptor_;
    asio::steady_timer tick_;
    asio::steady_timer retry_;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point busyUntil_;
    bool stopped_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace aerivo
