#include "sim/daemon/SimDaemonServer.h"

#include "shared/SimulatorWire.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <deque>
#include <stdexcept>

namespace aerivo {

namespace {

using stream = asio::local::stream_protocol;

// The running image of a peer process: /proc/<pid>/exe, resolved by the kernel.
std::optional<std::filesystem::path> peerImage(int fd, pid_t& pid) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
        credentials.pid <= 0) {
        return std::nullopt;
    }
    pid = credentials.pid;
    std::error_code error;
    auto image =
        std::filesystem::read_symlink("/proc/" + std::to_string(credentials.pid) + "/exe", error);
    if (error) {
        return std::nullopt;
    }
    return image;
}

} // namespace

// One client connection: reads a frame, answers it, reads the next. Any malformed frame ends
// this connection and its session, nothing else.
class SimDaemonServer::Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(SimDaemonServer& server, stream::socket socket)
        : server_(server), alive_(server.alive_), socket_(std::move(socket)),
          delay_(socket_.get_executor()) {}

    ~Connection() {
        // Handlers still queued when the server went away are destroyed with the io_context.
        if (opened_ && *alive_) {
            server_.machine().closeSession(session_);
        }
    }

    void start() {
        pid_t pid = 0;
        const auto image = peerImage(socket_.native_handle(), pid);
        const bool privileged = image && server_.isPrivilegedImage(*image);
        const std::string name = (image ? image->filename().string() : std::string("unknown")) +
                                 "[" + std::to_string(pid) + "]" +
                                 (privileged ? " privileged" : "");
        session_ = server_.machine().openSession(name, privileged);
        peerName_ = name;
        opened_ = true;
        readHeader();
    }

private:
    void readHeader() {
        asio::async_read(socket_, asio::buffer(header_),
                         [self = shared_from_this()](std::error_code error, std::size_t) {
                             if (!error) {
                                 self->readPayload();
                             }
                         });
    }

    void readPayload() {
        const auto header = decodeSimulatorHeader(header_);
        if (!header) {
            return; // dropping the last reference closes the socket
        }
        op_ = header->op;
        payload_.resize(header->payloadSize);
        asio::async_read(socket_, asio::buffer(payload_),
                         [self = shared_from_this()](std::error_code error, std::size_t) {
                             if (!error) {
                                 self->answer();
                             }
                         });
    }

    void answer() {
        server_.catchUp();
        reply_.clear();
        SimulatorWireWriter writer(reply_);
        writer.begin(op_);
        std::chrono::microseconds delay{0};
        if (!handle(writer, delay)) {
            return;
        }
        if (deferred_) {
            deferred_ = false; // the reply is written when it is known
            return;
        }
        if (!writer.finish()) {
            return;
        }
        if (delay.count() > 0) {
            delay_.expires_at(server_.reserveDelay(delay));
            delay_.async_wait([self = shared_from_this()](std::error_code error) {
                if (!error) {
                    self->write();
                }
            });
            return;
        }
        write();
    }

    void write() {
        asio::async_write(socket_, asio::buffer(reply_),
                          [self = shared_from_this()](std::error_code error, std::size_t) {
                              if (error) {
                                  return;
                              }
                              if (self->quitAfterReply_) {
                                  self->server_.stop();
                                  return;
                              }
                              self->readHeader();
                          });
    }

    // A presence byte, then the value when there is one.
    static void optionalReply(SimulatorWireWriter& writer, const std::optional<std::string>& text) {
        writer.u8(text ? 1 : 0);
        if (text) {
            writer.string(*text);
        }
    }
    static void optionalReply(SimulatorWireWriter& writer, const std::optional<double>& value) {
        writer.u8(value ? 1 : 0);
        if (value) {
            writer.f64(*value);
        }
    }

    static void okReply(SimulatorWireWriter& writer, bool ok, std::string_view message) {
        writer.u8(ok ? 1 : 0);
        writer.string(message);
    }

    void replyToApproval(SimulatorApprovalAnswer answer) {
        reply_.clear();
        SimulatorWireWriter writer(reply_);
        writer.begin(SimulatorOp::approvalRequest);
        writer.u8(static_cast<std::uint8_t>(answer));
        writer.string(SimApprovalAgent::answerName(answer));
        if (writer.finish()) {
            write();
        }
    }

    // Decodes one request and writes its reply payload; false for a payload that does not
    // decode exactly, which closes the connection.
    bool handle(SimulatorWireWriter& writer, std::chrono::microseconds& delay) {
        SimulatedMac& mac = server_.machine();
        SimulatorWireReader reader(payload_);
        switch (op_) {
        case SimulatorOp::matchingService: {
            const std::string name = reader.string();
            if (!reader.finished()) {
                return false;
            }
            writer.u32(mac.matchingService(session_, name));
            return true;
        }
        case SimulatorOp::matchingServices: {
            const std::string name = reader.string();
            if (!reader.finished()) {
                return false;
            }
            const SimServiceMatches matches = mac.matchingServices(session_, name);
            writer.i32(matches.result);
            writer.u32(static_cast<std::uint32_t>(matches.services.size()));
            for (const std::uint32_t service : matches.services) {
                writer.u32(service);
            }
            return true;
        }
        case SimulatorOp::stringProperty: {
            const std::uint32_t object = reader.u32();
            const std::string name = reader.string();
            if (!reader.finished()) {
                return false;
            }
            const auto value = mac.stringProperty(session_, object, name);
            writer.u8(value ? 1 : 0);
            if (value) {
                writer.string(*value);
            }
            return true;
        }
        case SimulatorOp::openService: {
            const std::uint32_t service = reader.u32();
            const std::uint32_t type = reader.u32();
            if (!reader.finished()) {
                return false;
            }
            const SimOpenResult opened = mac.openService(session_, service, type);
            writer.i32(opened.result);
            writer.u32(opened.connection);
            return true;
        }
        case SimulatorOp::callStructMethod: {
            const std::uint32_t connection = reader.u32();
            const std::uint32_t selector = reader.u32();
            SMCKeyDataImage image{};
            reader.raw(image);
            if (!reader.finished()) {
                return false;
            }
            SMCKeyData output;
            const KernReturn result = mac.callStructMethod(session_, connection, selector,
                                                           SMCKeyData::fromImage(image), output);
            writer.i32(result);
            const SMCKeyDataImage answer = output.image();
            writer.raw(answer);
            delay = std::chrono::microseconds(mac.callDelayMicroseconds());
            return true;
        }
        case SimulatorOp::closeService:
        case SimulatorOp::releaseObject: {
            const std::uint32_t handle = reader.u32();
            if (!reader.finished()) {
                return false;
            }
            writer.i32(op_ == SimulatorOp::closeService ? mac.closeService(session_, handle)
                                                        : mac.releaseObject(session_, handle));
            return true;
        }
        case SimulatorOp::registryProperty: {
            const std::uint8_t entry = reader.u8();
            const std::string name = reader.string();
            if (!reader.finished() || entry > 1) {
                return false;
            }
            const auto value =
                entry == 0 ? mac.deviceTreeProperty(name) : mac.platformExpertProperty(name);
            if (!value) {
                writer.u8(static_cast<std::uint8_t>(SimulatorPropertyKind::absent));
            } else if (const auto* data = std::get_if<std::vector<std::uint8_t>>(&*value)) {
                writer.u8(static_cast<std::uint8_t>(SimulatorPropertyKind::data));
                writer.bytes(*data);
            } else if (const auto* text = std::get_if<std::string>(&*value)) {
                writer.u8(static_cast<std::uint8_t>(SimulatorPropertyKind::string));
                writer.string(*text);
            } else {
                writer.u8(static_cast<std::uint8_t>(SimulatorPropertyKind::number));
                writer.i64(std::get<std::int64_t>(*value));
            }
            return true;
        }
        case SimulatorOp::hidCopyServices: {
            const std::uint32_t page = reader.u32();
            const std::uint32_t usage = reader.u32();
            if (!reader.finished()) {
                return false;
            }
            const auto services = mac.hidServices(page, usage);
            writer.u8(1);
            writer.u32(static_cast<std::uint32_t>(services.size()));
            for (const std::uint32_t id : services) {
                writer.u32(id);
            }
            return true;
        }
        case SimulatorOp::hidProduct: {
            const std::uint32_t id = reader.u32();
            if (!reader.finished()) {
                return false;
            }
            optionalReply(writer, mac.hidProduct(id));
            return true;
        }
        case SimulatorOp::hidTemperature: {
            const std::uint32_t id = reader.u32();
            if (!reader.finished()) {
                return false;
            }
            optionalReply(writer, mac.hidTemperature(id));
            return true;
        }
        case SimulatorOp::hidCopyServiceSnapshot: {
            // Per service: id, product (flag, text), temperature (flag, value), all read at the
            // same instant of the machine.
            const std::uint32_t page = reader.u32();
            const std::uint32_t usage = reader.u32();
            if (!reader.finished()) {
                return false;
            }
            const auto services = mac.hidServices(page, usage);
            writer.u8(1);
            writer.u32(static_cast<std::uint32_t>(services.size()));
            for (const std::uint32_t id : services) {
                writer.u32(id);
                optionalReply(writer, mac.hidProduct(id));
                optionalReply(writer, mac.hidTemperature(id));
            }
            return true;
        }
        case SimulatorOp::ctlStatus: {
            if (!reader.finished()) {
                return false;
            }
            std::string text;
            for (const std::string& line : server_.statusLines()) {
                text += line;
                text += '\n';
            }
            writer.string(text);
            return true;
        }
        case SimulatorOp::ctlWorkload: {
            const std::string name = reader.string();
            const std::string script = reader.string();
            if (!reader.finished()) {
                return false;
            }
            if (name.starts_with("script:")) {
                auto parsed = SimWorkload::parseScript(script, name.substr(7));
                if (auto* error = std::get_if<std::string>(&parsed)) {
                    okReply(writer, false, "workload script " + name.substr(7) + ": " + *error);
                    return true;
                }
                mac.setWorkload(std::move(std::get<SimWorkload>(parsed)));
            } else if (auto named = SimWorkload::named(name)) {
                mac.setWorkload(std::move(*named));
            } else {
                okReply(writer, false, "unknown workload \"" + name + "\"");
                return true;
            }
            okReply(writer, true, "workload=" + mac.workload().name());
            return true;
        }
        case SimulatorOp::ctlFaults: {
            const std::string json = reader.string();
            if (!reader.finished()) {
                return false;
            }
            auto parsed = SimFaultPlan::fromJSON(json);
            if (auto* error = std::get_if<std::string>(&parsed)) {
                okReply(writer, false, *error);
                return true;
            }
            mac.mergeFaults(std::get<SimFaultPlan>(parsed));
            std::string text;
            for (const std::string& line : mac.faults().describe()) {
                text += (text.empty() ? "" : "\n") + line;
            }
            okReply(writer, true, text);
            return true;
        }
        case SimulatorOp::ctlApprove: {
            const std::uint8_t policy = reader.u8();
            if (!reader.finished() || policy > 2) {
                return false;
            }
            server_.approvals().setPolicy(static_cast<SimulatorApprovalPolicy>(policy));
            okReply(writer, true,
                    "approvalPolicy=" +
                        std::string(SimApprovalAgent::policyName(server_.approvals().policy())));
            return true;
        }
        case SimulatorOp::approvalRequest: {
            SimApprovalAgent::Request request;
            request.who = reader.string();
            request.right = reader.string();
            request.detail = reader.string();
            if (!reader.finished()) {
                return false;
            }
            request.via = peerName_;
            deferred_ = true;
            server_.approvals().request(std::move(request),
                                        [self = shared_from_this()](SimulatorApprovalAnswer a) {
                                            if (*self->alive_) {
                                                self->replyToApproval(a);
                                            }
                                        });
            return true;
        }
        case SimulatorOp::serviceJobStatus: {
            const std::string label = reader.string();
            const std::uint8_t rescan = reader.u8();
            if (!reader.finished() || rescan > 1) {
                return false;
            }
            if (rescan == 1) {
                server_.services().rescan();
            }
            const SimServiceManager::JobReport report = server_.services().report(label);
            writer.u8(static_cast<std::uint8_t>(report.state));
            writer.i32(report.pid);
            writer.u32(report.starts);
            writer.string(report.lastExit);
            writer.string(report.detail);
            return true;
        }
        case SimulatorOp::ctlClearFaults:
        case SimulatorOp::ctlTakeBack:
        case SimulatorOp::ctlQuit: {
            if (!reader.finished()) {
                return false;
            }
            if (op_ == SimulatorOp::ctlClearFaults) {
                mac.setFaults({});
                okReply(writer, true, "faults=none");
            } else if (op_ == SimulatorOp::ctlTakeBack) {
                mac.takeBack("command");
                okReply(writer, true, "lastTakeBack=" + mac.lastTakeBack());
            } else {
                quitAfterReply_ = true;
                okReply(writer, true, "stopping");
            }
            return true;
        }
        }
        return false;
    }

    SimDaemonServer& server_;
    std::shared_ptr<bool> alive_;
    stream::socket socket_;
    asio::steady_timer delay_;
    SimSessionId session_ = 0;
    bool opened_ = false;
    bool quitAfterReply_ = false;
    bool deferred_ = false;
    std::string peerName_;
    std::array<std::uint8_t, simulatorFrameHeaderSize> header_{};
    SimulatorOp op_ = SimulatorOp::ctlStatus;
    std::vector<std::uint8_t> payload_;
    std::vector<std::uint8_t> reply_;
};

SimDaemonServer::SimDaemonServer(asio::io_context& io, std::filesystem::path systemRoot,
                                 std::unique_ptr<SimulatedMac> machine, SimDaemonSettings settings)
    : io_(io), root_(std::move(systemRoot)), socketPath_(simulatorSocketPath(root_)),
      machine_(std::move(machine)), services_(io, root_),
      approvals_(io, approvalAnswerFile(root_), settings.approvalPolicy, settings.approvalTimeout),
      acceptor_(io), tick_(io), retry_(io), started_(std::chrono::steady_clock::now()),
      busyUntil_(started_) {
    std::error_code error;
    privilegedFolder_ =
        std::filesystem::weakly_canonical(root_ / "Library" / "PrivilegedHelperTools", error);
    if (error) {
        privilegedFolder_ = root_ / "Library" / "PrivilegedHelperTools";
    }
}

SimDaemonServer::~SimDaemonServer() {
    stop();
    *alive_ = false;
}

std::filesystem::path SimDaemonServer::approvalAnswerFile(const std::filesystem::path& systemRoot) {
    return systemRoot / "var" / "run" / "aerivo-sim-mac.approval";
}

std::vector<std::string> SimDaemonServer::statusLines() const {
    std::vector<std::string> lines = machine_->statusLines();
    for (const auto& part : {approvals_.statusLines(), services_.statusLines()}) {
        lines.insert(lines.end(), part.begin(), part.end());
    }
    return lines;
}

bool SimDaemonServer::isPrivilegedImage(const std::filesystem::path& image) const {
    const std::string folder = privilegedFolder_.string() + "/";
    return image.string().starts_with(folder);
}

void SimDaemonServer::catchUp() {
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started_;
    machine_->advanceTo(elapsed.count());
}

std::chrono::steady_clock::time_point
SimDaemonServer::reserveDelay(std::chrono::microseconds delay) {
    busyUntil_ = std::max(busyUntil_, std::chrono::steady_clock::now()) + delay;
    return busyUntil_;
}

void SimDaemonServer::start() {
    const std::string path = socketPath_.string();
    // The staged name it is bound under first is at most 12 bytes longer.
    if (path.size() + 12 >= sizeof(sockaddr_un{}.sun_path)) {
        throw std::runtime_error("socket path is too long for a Unix socket: " + path);
    }
    std::error_code error;
    std::filesystem::create_directories(socketPath_.parent_path(), error);
    if (error) {
        throw std::runtime_error("cannot create " + socketPath_.parent_path().string() + ": " +
                                 error.message());
    }
    if (std::filesystem::is_socket(socketPath_, error)) {
        stream::socket probe(io_);
        probe.connect(stream::endpoint(path), error);
        if (!error) {
            throw std::runtime_error("another simulator is already serving " + path);
        }
        std::filesystem::remove(socketPath_, error);
    } else if (std::filesystem::exists(socketPath_, error)) {
        throw std::runtime_error(path + " exists and is not a socket");
    }
    // The helper jobs first: once the device socket appears, the root is complete.
    services_.start();
    // Bound and listening under a temporary name, then renamed into place: a client that sees
    // the socket can connect at once.
    const std::string staged = (socketPath_.parent_path() / ("." + socketPath_.filename().string() +
                                                             "." + std::to_string(::getpid())))
                                   .string();
    std::filesystem::remove(staged, error);
    acceptor_.open(stream());
    acceptor_.bind(stream::endpoint(staged), error);
    if (!error) {
        acceptor_.listen(asio::socket_base::max_listen_connections, error);
    }
    // Every local user may connect; only the privileged image may write.
    if (!error && ::chmod(staged.c_str(), 0666) != 0) {
        error = std::error_code(errno, std::generic_category());
    }
    if (!error) {
        std::filesystem::rename(staged, socketPath_, error);
    }
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(staged, ignored);
        throw std::runtime_error("cannot bind " + path + ": " + error.message());
    }
    accept();
    scheduleTick();
}

void SimDaemonServer::stop() {
    if (stopped_) {
        return;
    }
    stopped_ = true;
    approvals_.cancelAll();
    services_.stop();
    std::error_code error;
    if (acceptor_.is_open()) {
        acceptor_.close(error);
        std::filesystem::remove(socketPath_, error);
    }
    tick_.cancel();
    retry_.cancel();
    io_.stop();
}

void SimDaemonServer::accept() {
    acceptor_.async_accept([this](std::error_code error, stream::socket socket) {
        if (stopped_ || error == asio::error::operation_aborted) {
            return;
        }
        if (error) {
            // Out of descriptors or similar: try again shortly instead of spinning.
            retry_.expires_after(std::chrono::milliseconds(100));
            retry_.async_wait([this](std::error_code waitError) {
                if (!waitError && !stopped_) {
                    accept();
                }
            });
            return;
        }
        std::make_shared<Connection>(*this, std::move(socket))->start();
        accept();
    });
}

void SimDaemonServer::scheduleTick() {
    // Scripted events and emergencies happen on time even when nobody is asking.
    tick_.expires_after(std::chrono::milliseconds(250));
    tick_.async_wait([this](std::error_code error) {
        if (error || stopped_) {
            return;
        }
        catchUp();
        scheduleTick();
    });
}

} // namespace aerivo
