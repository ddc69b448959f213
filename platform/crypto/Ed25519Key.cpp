#include "platform/crypto/Ed25519Key.h"

#include "platform/crypto/Sha256.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <climits>

namespace aerivo {

void detail::PKeyFree::operator()(evp_pkey_st* key) const {
    EVP_PKEY_free(key);
}

namespace {

using detail::PKey;

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using Bio = std::unique_ptr<BIO, BioFree>;

struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextFree>;

PKey owned(EVP_PKEY* key) {
    return key != nullptr ? PKey(key, detail::PKeyFree{}) : PKey();
}

Bio memoryReader(std::string_view text) {
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        return nullptr;
    }
    return Bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
}

std::string textOf(BIO* bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return length > 0 ? std::string(data, static_cast<std::size_t>(length)) : std::string();
}

// PEM_read_* reads the first block and ignores what follows; a key file must hold one block and
// nothing else but white space, so a second key appended to it cannot go unnoticed.
bool onlyWhiteSpaceLeft(BIO* bio) {
    char byte = 0;
    while (BIO_read(bio, &byte, 1) == 1) {
        if (byte != ' ' && byte != '\n' && byte != '\r' && byte != '\t') {
            return false;
        }
    }
    return true;
}

std::optional<std::string> rawPublicKey(EVP_PKEY* key) {
    std::string raw(Ed25519PublicKey::rawLength, '\0');
    std::size_t length = raw.size();
    if (EVP_PKEY_get_raw_public_key(key, reinterpret_cast<unsigned char*>(raw.data()), &length) !=
            1 ||
        length != raw.size()) {
        return std::nullopt;
    }
    return raw;
}

} // namespace

Ed25519PublicKey::Ed25519PublicKey(PKey key, std::string raw)
    : key_(std::move(key)), raw_(std::move(raw)) {}

std::optional<Ed25519PublicKey> Ed25519PublicKey::fromRaw(std::string_view bytes) {
    if (bytes.size() != rawLength) {
        return std::nullopt;
    }
    PKey key = owned(EVP_PKEY_new_raw_public_key_ex(
        nullptr, "ED25519", nullptr, reinterpret_cast<const unsigned char*>(bytes.data()),
        bytes.size()));
    if (!key) {
        return std::nullopt;
    }
    return Ed25519PublicKey(std::move(key), std::string(bytes));
}

std::optional<Ed25519PublicKey> Ed25519PublicKey::fromPem(std::string_view text) {
    Bio bio = memoryReader(text);
    if (!bio) {
        return std::nullopt;
    }
    PKey key = owned(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
    if (!key || EVP_PKEY_is_a(key.get(), "ED25519") != 1 || !onlyWhiteSpaceLeft(bio.get())) {
        return std::nullopt;
    }
    auto raw = rawPublicKey(key.get());
    if (!raw) {
        return std::nullopt;
    }
    return Ed25519PublicKey(std::move(key), std::move(*raw));
}

std::string Ed25519PublicKey::pem() const {
    Bio bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PUBKEY(bio.get(), key_.get()) != 1) {
        return {};
    }
    return textOf(bio.get());
}

std::string Ed25519PublicKey::keyIdentifier() const {
    return lowerHex(sha256(raw_));
}

bool Ed25519PublicKey::verify(std::string_view message, std::string_view signature) const {
    if (signature.size() != signatureLength) {
        return false;
    }
    DigestContext context(EVP_MD_CTX_new());
    if (!context ||
        EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key_.get()) != 1) {
        return false;
    }
    return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                            signature.size(),
                            reinterpret_cast<const unsigned char*>(message.data()),
                            message.size()) == 1;
}

Ed25519PrivateKey::Ed25519PrivateKey(PKey key, Ed25519PublicKey publicKey)
    : key_(std::move(key)), publicKey_(std::move(publicKey)) {}

std::optional<Ed25519PrivateKey> Ed25519PrivateKey::withPublicHalf(PKey key) {
    if (!key || EVP_PKEY_is_a(key.get(), "ED25519") != 1) {
        return std::nullopt;
    }
    auto raw = rawPublicKey(key.get());
    auto publicKey = raw ? Ed25519PublicKey::fromRaw(*raw) : std::nullopt;
    if (!publicKey) {
        return std::nullopt;
    }
    return Ed25519PrivateKey(std::move(key), std::move(*publicKey));
}

std::optional<Ed25519PrivateKey> Ed25519PrivateKey::generate() {
    return withPublicHalf(owned(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519")));
}

std::optional<Ed25519PrivateKey> Ed25519PrivateKey::fromPem(std::string_view text) {
    Bio bio = memoryReader(text);
    if (!bio) {
        return std::nullopt;
    }
    // No password callback: an encrypted key is refused rather than prompting on the terminal.
    PKey key = owned(PEM_read_bio_PrivateKey(
        bio.get(), nullptr, [](char*, int, int, void*) { return 0; }, nullptr));
    if (!onlyWhiteSpaceLeft(bio.get())) {
        return std::nullopt;
    }
    return withPublicHalf(std::move(key));
}

std::string Ed25519PrivateKey::pem() const {
    Bio bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key_.get(), nullptr, nullptr, 0, nullptr,
                                         nullptr) != 1) {
        return {};
    }
    return textOf(bio.get());
}

std::optional<std::string> Ed25519PrivateKey::sign(std::string_view message) const {
    DigestContext context(EVP_MD_CTX_new());
    if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key_.get()) != 1) {
        return std::nullopt;
    }
    std::string signature(Ed25519PublicKey::signatureLength, '\0');
    std::size_t length = signature.size();
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                       reinterpret_cast<const unsigned char*>(message.data()),
                       message.size()) != 1 ||
        length != signature.size()) {
        return std::nullopt;
    }
    return signature;
}

} // namespace aerivo
