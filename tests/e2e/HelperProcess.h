#pragma once

#include "platform/codesign/CodeSigner.h"

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace aerivo::testing {

// A signing identity for one system root: a fresh anchor in the root's trust-anchor folder and a
// team with the build's team identifier, so a copy signed here as the app satisfies the
// helper's client requirement under that root (and nowhere else).
class RootSigningIdentity {
public:
    explicit RootSigningIdentity(const std::filesystem::path& root);

    // `source` copied to `destination` and signed with the app's bundle identifier.
    std::filesystem::path signedAppCopy(const std::filesystem::path& source,
                                        const std::filesystem::path& destination) const;

private:
    Ed25519PrivateKey anchorKey_;
    TeamSigningIdentity team_;
};

// AerivoMacHelper installed in a root's privileged helper tools folder (named after its label,
// so the simulated Mac lets it write) and running as the service manager would start it: with
// no arguments, serving the helper socket. Standard output and error go to a log file. Stopped
// (SIGTERM) and reaped when destroyed.
class HelperProcess {
public:
    // Binds the socket itself, or, when `activated`, is handed a listening socket on descriptor 3
    // with LISTEN_PID and LISTEN_FDS, as a service manager does.
    HelperProcess(const std::filesystem::path& helperProgram, const std::filesystem::path& root,
                  bool activated = false);
    ~HelperProcess();
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    static std::filesystem::path install(const std::filesystem::path& helperProgram,
                                         const std::filesystem::path& root);
    static std::filesystem::path socketPath(const std::filesystem::path& root);

    // Whether the socket accepted a connection within the bounded wait of the constructor.
    bool isServing() const { return serving_; }
    pid_t pid() const { return pid_; }
    // Everything the helper wrote so far.
    std::string log() const;

private:
    std::filesystem::path logPath_;
    pid_t pid_ = -1;
    bool serving_ = false;
};

} // namespace aerivo::testing
