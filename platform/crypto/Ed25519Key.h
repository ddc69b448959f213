#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct evp_pkey_st;

namespace aerivo {

namespace detail {
struct PKeyFree {
    void operator()(evp_pkey_st* key) const;
};
using PKey = std::shared_ptr<evp_pkey_st>;
} // namespace detail

// An Ed25519 public key (OpenSSL). Raw form: the 32 key bytes; PEM form: a "PUBLIC KEY"
// (SubjectPublicKeyInfo) block.
class Ed25519PublicKey {
public:
    static constexpr std::size_t rawLength = 32;
    static constexpr std::size_t signatureLength = 64;

    static std::optional<Ed25519PublicKey> fromRaw(std::string_view bytes);
    // Nothing for text that is not exactly one PEM public key of type Ed25519.
    static std::optional<Ed25519PublicKey> fromPem(std::string_view text);

    const std::string& raw() const { return raw_; }
    std::string pem() const;
    // The key's name in documents: the lower-case hex SHA-256 of its raw bytes.
    std::string keyIdentifier() const;

    bool verify(std::string_view message, std::string_view signature) const;

private:
    Ed25519PublicKey(detail::PKey key, std::string raw);

    detail::PKey key_;
    std::string raw_;
};

// An Ed25519 private key. PEM form: an unencrypted PKCS #8 "PRIVATE KEY" block.
class Ed25519PrivateKey {
public:
    // A fresh key from the system's random source; nothing if OpenSSL cannot make one.
    static std::optional<Ed25519PrivateKey> generate();
    static std::optional<Ed25519PrivateKey> fromPem(std::string_view text);

    std::string pem() const;
    const Ed25519PublicKey& publicKey() const { return publicKey_; }
    // The 64-byte signature, or nothing when OpenSSL fails.
    std::optional<std::string> sign(std::string_view message) const;

private:
    Ed25519PrivateKey(detail::PKey key, Ed25519PublicKey publicKey);
    static std::optional<Ed25519PrivateKey> withPublicHalf(detail::PKey key);

    detail::PKey key_;
    Ed25519PublicKey publicKey_;
};

} // namespace aerivo
