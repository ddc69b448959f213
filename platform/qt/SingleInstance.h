#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

class QLocalServer;
class QLockFile;

namespace aerivo {

// One running menu-bar application per user, so two stores never lease the same fan. The first
// process takes a lock file (QLockFile: a lock left by a process that died is taken over) and
// listens on a local socket beside it; a later process finds the lock held, asks the running
// one over the socket to bring its panel forward, and ends.
class SingleInstance {
public:
    enum class Claim {
        primary,     // this process runs the application
        forwarded,   // another one runs it and was asked to show itself
        unreachable, // another one holds the lock but did not answer
    };

    // The lock "<folder>/<name>.lock" and the socket "<folder>/<name>.socket".
    SingleInstance(std::filesystem::path folder, std::string name);
    ~SingleInstance();

    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // $XDG_RUNTIME_DIR when it is an existing folder (private to the user by definition),
    // otherwise the temporary folder.
    static std::filesystem::path standardFolder();
    // The bundle identifier and the user id: "com.aerivo.mac.menubar-1000".
    static std::string standardName();

    // Takes the lock or reaches the process that holds it. As primary, `activationRequested` is
    // called on the event loop's thread for every later start. Requires a QCoreApplication.
    Claim claim(std::function<void()> activationRequested);

    // Asks the process listening on the socket to show itself; whether it took the request.
    bool forwardToRunningInstance() const;

    const std::filesystem::path& socketPath() const { return socketPath_; }

private:
    std::filesystem::path folder_;
    std::filesystem::path lockPath_;
    std::filesystem::path socketPath_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
    std::function<void()> activationRequested_;
};

} // namespace aerivo
