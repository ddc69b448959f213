#include "platform/BoundedJson.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace aerivo {

namespace {

void report(std::string* error, std::string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
}

class Descriptor {
public:
    explicit Descriptor(int value) : value_(value) {}
    ~Descriptor() {
        if (value_ >= 0) {
            ::close(value_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return value_; }

private:
    int value_;
};

} // namespace

std::optional<std::string> readBoundedFile(const std::filesystem::path& path,
                                           std::size_t maximumBytes, std::string* error) {
    // O_NONBLOCK: opening a FIFO for reading must not wait for a writer.
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (file.get() < 0) {
        report(error, std::strerror(errno));
        return std::nullopt;
    }
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        report(error, "not a regular file");
        return std::nullopt;
    }
    if (static_cast<std::uintmax_t>(status.st_size) > maximumBytes) {
        report(error, "larger than " + std::to_string(maximumBytes) + " bytes");
        return std::nullopt;
    }
    // Read to the end rather than trusting fstat's size, so a file that grew since is still
    // held to the bound.
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(status.st_size));
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t count = ::read(file.get(), chunk, sizeof chunk);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            report(error, std::strerror(errno));
            return std::nullopt;
        }
        if (count == 0) {
            break;
        }
        if (bytes.size() + static_cast<std::size_t>(count) > maximumBytes) {
            report(error, "larger than " + std::to_string(maximumBytes) + " bytes");
            return std::nullopt;
        }
        bytes.append(chunk, static_cast<std::size_t>(count));
    }
    return bytes;
}

std::optional<nlohmann::json> parseBoundedJson(std::string_view text, std::size_t maximumDepth,
                                               std::string* error) {
    bool tooDeep = false;
    try {
        // Returning false from the callback drops the value being built, so a deep tree is never
        // materialised; the parser itself keeps its state on the heap, not the stack.
        nlohmann::json document = nlohmann::json::parse(
            text,
            [&](int depth, nlohmann::json::parse_event_t, nlohmann::json&) {
                if (static_cast<std::size_t>(depth) > maximumDepth) {
                    tooDeep = true;
                }
                return !tooDeep;
            },
            false);
        if (tooDeep) {
            report(error, "nested deeper than " + std::to_string(maximumDepth) + " levels");
            return std::nullopt;
        }
        if (document.is_discarded()) {
            report(error, "not a JSON document");
            return std::nullopt;
        }
        return document;
    } catch (const std::exception& failure) {
        // Parse errors are reported through is_discarded; this catches allocation failures.
        report(error, failure.what());
        return std::nullopt;
    }
}

} // namespace aerivo
