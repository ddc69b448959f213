#include "tests/support/TestCertificate.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>

namespace aerivo::testing {

namespace {

template <auto Free> struct Deleter {
    template <typename T> void operator()(T* object) const { Free(object); }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Deleter<X509_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO_free>>;
using Extension = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION_free>>;

void require(bool condition, const char* what) {
    if (!condition) {
        throw std::runtime_error(std::string("test certificate: ") + what);
    }
}

void addExtension(X509* certificate, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    Extension extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str()));
    require(extension != nullptr, "extension");
    require(X509_add_ext(certificate, extension.get(), -1) == 1, "add extension");
}

template <typename Write> std::string pem(Write write) {
    Bio bio(BIO_new(BIO_s_mem()));
    require(bio && write(bio.get()) == 1, "PEM");
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

} // namespace

TestCertificate TestCertificate::selfSigned(const std::vector<std::string>& names) {
    Key key(EVP_EC_gen("P-256"));
    require(key != nullptr, "key");
    Certificate certificate(X509_new());
    require(certificate != nullptr, "certificate");
    X509* x509 = certificate.get();
    require(X509_set_version(x509, 2) == 1, "version");
    ASN1_INTEGER_set(X509_get_serialNumber(x509), 1);
    X509_gmtime_adj(X509_getm_notBefore(x509), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x509), 3600);
    X509_NAME* subject = X509_get_subject_name(x509);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Aerivo test server"), -1, -1,
                               0);
    require(X509_set_issuer_name(x509, subject) == 1, "issuer");
    require(X509_set_pubkey(x509, key.get()) == 1, "public key");
    std::string alternativeNames;
    for (const std::string& name : names) {
        alternativeNames += (alternativeNames.empty() ? "" : ",") + name;
    }
    addExtension(x509, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(x509, NID_subject_alt_name, alternativeNames);
    require(X509_sign(x509, key.get(), EVP_sha256()) > 0, "signature");

    TestCertificate result;
    result.certificatePEM = pem([&](BIO* bio) { return PEM_write_bio_X509(bio, x509); });
    result.privateKeyPEM = pem([&](BIO* bio) {
        return PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
    return result;
}

} // namespace aerivo::testing
