#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// The simulated Mac's device socket. A client process keeps one connection open and sends
// request frames; every request gets exactly one reply frame with the same operation code, in
// order. A frame is an 8-byte header followed by the payload:
//
//   offset 0  u32  payload size (at most simulatorMaxPayloadSize)
//   offset 4  u16  operation (SimulatorOp)
//   offset 6  u16  reserved, 0
//
// All integers are little-endian; a double is its IEEE-754 bit pattern as a u64; a string or a
// byte blob is a u32 length followed by that many bytes. Payloads per operation (request ->
// reply):
//
//   matchingService     str class                          -> u32 service (0 = none)
//   matchingServices    str class                          -> i32 kern, u32 n, n x u32 service
//   stringProperty      u32 object, str name               -> u8 present, [str value]
//   openService         u32 service, u32 type              -> i32 kern, u32 connection
//   callStructMethod    u32 connection, u32 selector, 80 B -> i32 kern, 80 B output
//   closeService        u32 connection                     -> i32 kern
//   releaseObject       u32 object                         -> i32 kern
//   registryProperty    u8 SimulatorRegistryEntry, str name -> u8 SimulatorPropertyKind,
//                                                             [blob bytes | str text | i64]
//   hidCopyServices     u32 usage page, u32 usage          -> u8 present, u32 n, n x u32 id
//   hidProduct          u32 id                             -> u8 present, [str product]
//   hidTemperature      u32 id                             -> u8 present, [f64 celsius]
//   ctlStatus           (empty)                            -> str key=value lines, '\n'-separated
//   ctlWorkload         str name, str script text          -> u8 ok, str message
//   ctlFaults           str fault plan JSON                -> u8 ok, str message
//   ctlClearFaults, ctlTakeBack, ctlQuit (empty)           -> u8 ok, str message
//   ctlApprove          u8 SimulatorApprovalPolicy         -> u8 ok, str message
//   approvalRequest     str who, str right, str detail     -> u8 SimulatorApprovalAnswer,
//                                                             str message
//   serviceJobStatus    str label, u8 rescan               -> u8 SimulatorJobState, i32 pid
//                                                             (0 = not running), u32 starts,
//                                                             str last exit, str detail
//
// An approval request is answered when the approval agent has an answer, which may take as long
// as the agent's bounded wait; the connection carries nothing else meanwhile. A job status with
// rescan 1 first reads the daemon folder again, so a definition written just before is loaded
// (or reported damaged) in the reply.
//
// A header with an unknown operation, a non-zero reserved field or an oversized payload, and a
// payload that does not decode exactly, close the connection; other clients are unaffected.
enum class SimulatorOp : std::uint16_t {
    matchingService = 1,
    matchingServices = 2,
    stringProperty = 3,
    openService = 4,
    callStructMethod = 5,
    closeService = 6,
    releaseObject = 7,
    registryProperty = 8,
    hidCopyServices = 20,
    hidProduct = 21,
    hidTemperature = 22,
    // The matching services with each one's product and temperature event, in one round trip.
    hidCopyServiceSnapshot = 23,
    ctlStatus = 40,
    ctlWorkload = 41,
    ctlFaults = 42,
    ctlClearFaults = 43,
    ctlTakeBack = 44,
    ctlQuit = 45,
    ctlApprove = 46,
    approvalRequest = 50,
    serviceJobStatus = 51,
};

// How the approval agent answers administrator approvals.
enum class SimulatorApprovalPolicy : std::uint8_t { yes = 0, no = 1, askFile = 2 };
// The agent's answer to one request; only `approved` grants anything.
enum class SimulatorApprovalAnswer : std::uint8_t {
    approved = 0,
    refused = 1,
    canceled = 2,
    timedOut = 3
};
// A job as the service manager knows it: no definition, loaded (its socket is served), or a
// definition that is present but not loaded (damaged, or its socket cannot be bound).
enum class SimulatorJobState : std::uint8_t { undefined = 0, loaded = 1, notLoaded = 2 };

enum class SimulatorRegistryEntry : std::uint8_t { deviceTreeRoot = 0, platformExpert = 1 };
enum class SimulatorPropertyKind : std::uint8_t { absent = 0, data = 1, string = 2, number = 3 };

inline constexpr std::size_t simulatorFrameHeaderSize = 8;
inline constexpr std::uint32_t simulatorMaxPayloadSize = 64 * 1024;
inline constexpr std::size_t simulatorCallRecordSize = 80;

struct SimulatorFrameHeader {
    std::uint32_t payloadSize = 0;
    SimulatorOp op = SimulatorOp::ctlStatus;

    bool operator==(const SimulatorFrameHeader&) const = default;
};

bool isSimulatorOp(std::uint16_t value);
std::array<std::uint8_t, simulatorFrameHeaderSize> encodeSimulatorHeader(SimulatorFrameHeader);
// Nothing for an unknown operation, a non-zero reserved field or an oversized payload.
std::optional<SimulatorFrameHeader>
decodeSimulatorHeader(std::span<const std::uint8_t, simulatorFrameHeaderSize> bytes);

// The device socket under a system root: <root>/var/run/aerivo-sim-mac.sock.
std::filesystem::path simulatorSocketPath(const std::filesystem::path& systemRoot);

// Builds frames into a buffer: `begin` writes a header, the field calls append the payload and
// `finish` fills in the payload size.
class SimulatorWireWriter {
public:
    explicit SimulatorWireWriter(std::vector<std::uint8_t>& buffer) : buffer_(buffer) {}

    void begin(SimulatorOp op);
    // Writes the header's payload size; false when the payload is too large to send.
    bool finish();

    void u8(std::uint8_t value);
    void u16(std::uint16_t value);
    void u32(std::uint32_t value);
    void i32(std::int32_t value) { u32(static_cast<std::uint32_t>(value)); }
    void u64(std::uint64_t value);
    void i64(std::int64_t value) { u64(static_cast<std::uint64_t>(value)); }
    void f64(double value);
    void bytes(std::span<const std::uint8_t> data);
    void string(std::string_view text);
    void raw(std::span<const std::uint8_t> data);

private:
    std::vector<std::uint8_t>& buffer_;
    std::size_t start_ = 0;
};

// Reads payload fields. A read past the end marks the reader failed and yields zero values;
// `finished()` is true only when every read succeeded and every byte was consumed.
class SimulatorWireReader {
public:
    explicit SimulatorWireReader(std::span<const std::uint8_t> payload) : data_(payload) {}

    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    std::uint64_t u64();
    std::int64_t i64() { return static_cast<std::int64_t>(u64()); }
    double f64();
    std::vector<std::uint8_t> bytes();
    std::string string();
    // Exactly out.size() bytes.
    void raw(std::span<std::uint8_t> out);

    bool failed() const { return failed_; }
    bool finished() const { return !failed_ && offset_ == data_.size(); }

private:
    bool take(std::size_t count);

    std::span<const std::uint8_t> data_;
    std::size_t offset_ = 0;
    bool failed_ = false;
};

} // namespace aerivo
