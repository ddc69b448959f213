#include "tests/e2e/HelperProcess.h"

#include "platform/posix/SystemPaths.h"
#include "shared/AerivoPrivilegedHelperXPC.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace aerivo::testing {

namespace {

std::int64_t secondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

int unixSocket(const std::filesystem::path& path, bool listening) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    if (text.size() >= sizeof(address.sun_path)) {
        return -1;
    }
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    const int descriptor = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const auto* generic = reinterpret_cast<const sockaddr*>(&address);
    const bool ready =
        listening ? bind(descriptor, generic, sizeof(address)) == 0 && listen(descriptor, 16) == 0
                  : connect(descriptor, generic, sizeof(address)) == 0;
    if (!ready) {
        close(descriptor);
        return -1;
    }
    return descriptor;
}

} // namespace

RootSigningIdentity::RootSigningIdentity(const std::filesystem::path& root)
    : anchorKey_(CodeSigner::makeKey()), team_{CodeSigner::makeKey(), {}} {
    const std::filesystem::path anchors = SystemPaths(root).trustAnchors();
    std::filesystem::create_directories(anchors);
    CodeSigner::writePublicKeyFile(anchors / "TestAnchor.pem", anchorKey_.publicKey(), true);
    team_.certificate =
        CodeSigner::makeTeamCertificate(AERIVO_TEAM_IDENTIFIER, team_.key.publicKey(), anchorKey_,
                                        secondsNow() - 3600, secondsNow() + 3600);
}

std::filesystem::path
RootSigningIdentity::signedAppCopy(const std::filesystem::path& source,
                                   const std::filesystem::path& destination) const {
    std::filesystem::create_directories(destination.parent_path());
    std::filesystem::copy_file(source, destination,
                               std::filesystem::copy_options::overwrite_existing);
    SigningRequest request;
    request.identifier = AERIVO_BUNDLE_IDENTIFIER;
    request.infoPlist = {{"CFBundleIdentifier", AERIVO_BUNDLE_IDENTIFIER}};
    request.team = team_;
    CodeSigner::signFile(destination, request);
    return destination;
}

std::filesystem::path HelperProcess::install(const std::filesystem::path& helperProgram,
                                             const std::filesystem::path& root) {
    const std::filesystem::path folder = SystemPaths(root).privilegedHelperTools();
    std::filesystem::create_directories(folder);
    const std::filesystem::path installed =
        folder / std::string(AerivoPrivilegedHelperXPC::serviceName);
    // Copied aside and renamed into place: a helper still running from the old file keeps it.
    const std::filesystem::path incoming = installed.string() + ".new";
    std::filesystem::copy_file(helperProgram, incoming,
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::rename(incoming, installed);
    return installed;
}

std::filesystem::path HelperProcess::socketPath(const std::filesystem::path& root) {
    return SystemPaths(root).helperSocket(AerivoPrivilegedHelperXPC::serviceName);
}

HelperProcess::HelperProcess(const std::filesystem::path& helperProgram,
                             const std::filesystem::path& root, bool activated)
    : logPath_(root / ("helper-" + std::to_string(secondsNow()) + ".log")) {
    const std::filesystem::path installed = install(helperProgram, root);
    const std::filesystem::path socket = socketPath(root);
    std::filesystem::create_directories(socket.parent_path());

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath_.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    int listening = -1;
    std::vector<std::string> argv;
    if (activated) {
        listening = unixSocket(socket, true);
        if (listening < 0) {
            throw std::runtime_error("cannot make the activation socket");
        }
        posix_spawn_file_actions_adddup2(&actions, listening, 3);
        // The shell's own pid is the helper's after exec, so LISTEN_PID names it.
        argv = {"/bin/sh", "-c", "LISTEN_PID=$$ LISTEN_FDS=1 exec \"$0\"", installed.string()};
    } else {
        argv = {installed.string()};
    }
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        environment.emplace_back(*entry);
    }
    environment.push_back("AERIVO_SYSTEM_ROOT=" + root.string());
    std::vector<char*> argvPointers;
    for (std::string& text : argv) {
        argvPointers.push_back(text.data());
    }
    argvPointers.push_back(nullptr);
    std::vector<char*> environmentPointers;
    for (std::string& text : environment) {
        environmentPointers.push_back(text.data());
    }
    environmentPointers.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, argv[0].c_str(), &actions, nullptr, argvPointers.data(),
                                    environmentPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    if (listening >= 0) {
        close(listening);
    }
    if (spawned != 0) {
        pid_ = -1;
        return;
    }
    for (int attempt = 0; attempt < 500 && !serving_; ++attempt) {
        const int probe = unixSocket(socket, false);
        if (probe >= 0) {
            close(probe);
            serving_ = true;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
}

HelperProcess::~HelperProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
}

std::string HelperProcess::log() const {
    std::ifstream in(logPath_);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace aerivo::testing
