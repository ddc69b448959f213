#include "platform/crypto/Sha256.h"

#include <openssl/evp.h>

#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace aerivo {

namespace {

struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextFree>;

DigestContext startedSha256() {
    DigestContext context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        return nullptr;
    }
    return context;
}

std::optional<Sha256Digest> finished(EVP_MD_CTX* context) {
    Sha256Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context, digest.data(), &length) != 1 || length != digest.size()) {
        return std::nullopt;
    }
    return digest;
}

} // namespace

Sha256Digest sha256(std::string_view bytes) {
    // A one-shot digest in memory only fails when OpenSSL cannot allocate; a zero digest then
    // matches nothing anyone signed.
    DigestContext context = startedSha256();
    if (!context || EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1) {
        return {};
    }
    return finished(context.get()).value_or(Sha256Digest{});
}

std::optional<Sha256Digest> sha256OfDescriptor(int descriptor) {
    DigestContext context = startedSha256();
    if (!context) {
        return std::nullopt;
    }
    std::vector<unsigned char> buffer(256 * 1024);
    off_t offset = 0;
    for (;;) {
        const ssize_t count = ::pread(descriptor, buffer.data(), buffer.size(), offset);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        if (count == 0) {
            break;
        }
        if (EVP_DigestUpdate(context.get(), buffer.data(), static_cast<std::size_t>(count)) != 1) {
            return std::nullopt;
        }
        offset += count;
    }
    return finished(context.get());
}

std::string lowerHex(std::string_view bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        text.push_back(digits[value >> 4]);
        text.push_back(digits[value & 0x0f]);
    }
    return text;
}

std::optional<std::string> bytesFromLowerHex(std::string_view text, std::size_t length) {
    if (text.size() != length * 2) {
        return std::nullopt;
    }
    auto nibble = [](char digit) -> int {
        if (digit >= '0' && digit <= '9') {
            return digit - '0';
        }
        if (digit >= 'a' && digit <= 'f') {
            return digit - 'a' + 10;
        }
        return -1;
    };
    std::string bytes;
    bytes.reserve(length);
    for (std::size_t index = 0; index < text.size(); index += 2) {
        const int high = nibble(text[index]);
        const int low = nibble(text[index + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<char>((high << 4) | low));
    }
    return bytes;
}

} // namespace aerivo
