#include "platform/hwmon/HwmonAttribute.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string_view>

namespace aerivo {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::string_view trimmedBlanks(std::string_view text) {
    constexpr std::string_view blanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

} // namespace

std::variant<std::string, int> HwmonAttribute::readText(const std::filesystem::path& file) {
    const Descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) {
        return errno;
    }
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) {
        return errno;
    }
    if (!S_ISREG(status.st_mode)) {
        return EINVAL;
    }
    std::string text(maximumBytes + 1, '\0');
    std::size_t filled = 0;
    while (filled < text.size()) {
        const ssize_t count = ::read(fd.get(), text.data() + filled, text.size() - filled);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (count == 0) {
            break;
        }
        filled += static_cast<std::size_t>(count);
    }
    if (filled > maximumBytes) {
        return EFBIG;
    }
    text.resize(filled);
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

std::optional<std::int64_t> HwmonAttribute::readInteger(const std::filesystem::path& file) {
    const auto read = readText(file);
    const auto* text = std::get_if<std::string>(&read);
    if (text == nullptr) {
        return std::nullopt;
    }
    return parseInteger(*text);
}

std::optional<std::int64_t> HwmonAttribute::parseInteger(std::string_view text) {
    std::string_view digits = trimmedBlanks(text);
    if (digits.starts_with('+')) {
        digits.remove_prefix(1);
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return value;
}

int HwmonAttribute::writeInteger(const std::filesystem::path& file, std::int64_t value) {
    const Descriptor fd(::open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        return errno;
    }
    const std::string text = std::to_string(value) + "\n";
    ssize_t written = 0;
    do {
        written = ::write(fd.get(), text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    if (written < 0) {
        return errno;
    }
    // The kernel takes an attribute in one call; a short write is a refusal of the rest.
    return static_cast<std::size_t>(written) == text.size() ? 0 : EIO;
}

bool HwmonAttribute::exists(const std::filesystem::path& file) {
    std::error_code error;
    return std::filesystem::is_regular_file(file, error);
}

bool HwmonAttribute::hasWriteBit(const std::filesystem::path& file) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) {
        return false;
    }
    return S_ISREG(status.st_mode) && (status.st_mode & S_IWUSR) != 0;
}

std::optional<std::int64_t>
HwmonAttributeFiles::readInteger(const std::filesystem::path& file) const {
    const auto read = readText(file);
    const auto* text = std::get_if<std::string>(&read);
    return text == nullptr ? std::nullopt : HwmonAttribute::parseInteger(*text);
}

const HwmonAttributeFiles& HwmonAttributeFiles::kernel() {
    static const HwmonAttributeFiles files;
    return files;
}

} // namespace aerivo
