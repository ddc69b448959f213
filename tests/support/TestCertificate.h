#pragma once

#include <string>
#include <vector>

namespace aerivo::testing {

// A self-signed certificate and its private key (P-256), made fresh for one test with the
// OpenSSL API, so no key material lives in the tree and nothing outside the test trusts it.
struct TestCertificate {
    std::string certificatePEM;
    std::string privateKeyPEM;

    // Valid for an hour either side of now, for the given subject-alternative names
    // ("IP:127.0.0.1", "DNS:localhost").
    static TestCertificate selfSigned(const std::vector<std::string>& subjectAlternativeNames);
};

} // namespace aerivo::testing
