#include "platform/qt/SingleInstance.h"

#include <QByteArray>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QString>

#include <chrono>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace aerivo {

namespace {

const QByteArray activationRequest = "activate\n";

QString qtPath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

} // namespace

SingleInstance::SingleInstance(std::filesystem::path folder, std::string name)
    : folder_(std::move(folder)), lockPath_(folder_ / (name + ".lock")),
      socketPath_(folder_ / (name + ".socket")) {}

SingleInstance::~SingleInstance() {
    if (server_) {
        server_->close();
    }
}

std::filesystem::path SingleInstance::standardFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        std::error_code error;
        if (std::filesystem::is_directory(runtime, error)) {
            return runtime;
        }
    }
    return QDir::tempPath().toStdString();
}

std::string SingleInstance::standardName() {
    return std::string(AERIVO_BUNDLE_IDENTIFIER) + ".menubar-" + std::to_string(::getuid());
}

SingleInstance::Claim SingleInstance::claim(std::function<void()> activationRequested) {
    std::error_code ignored;
    std::filesystem::create_directories(folder_, ignored);
    lock_ = std::make_unique<QLockFile>(qtPath(lockPath_));
    // Held for the life of the process: never stale by age, only when its process is gone.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        lock_.reset();
        return forwardToRunningInstance() ? Claim::forwarded : Claim::unreachable;
    }
    activationRequested_ = std::move(activationRequested);
    // A socket file left by a process that died would make listen() fail.
    QLocalServer::removeServer(qtPath(socketPath_));
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                // One request per connection; anything else is ignored.
                if (socket->bytesAvailable() >= activationRequest.size()) {
                    const bool asked = socket->read(activationRequest.size()) == activationRequest;
                    socket->disconnectFromServer();
                    if (asked && activationRequested_) {
                        activationRequested_();
                    }
                }
            });
        }
    });
    // Without the socket the process still runs alone (the lock guarantees that); later starts
    // then only report that they could not reach it.
    server_->listen(qtPath(socketPath_));
    return Claim::primary;
}

bool SingleInstance::forwardToRunningInstance() const {
    // The running process may have taken the lock a moment ago and not be listening yet.
    for (int attempt = 0; attempt < 20; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(qtPath(socketPath_));
        if (socket.waitForConnected(500)) {
            socket.write(activationRequest);
            const bool sent = socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            return sent;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

} // namespace aerivo
