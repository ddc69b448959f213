#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace aerivo {

// A URL could not be loaded; what() says why (libcurl's own description of a transport error).
class URLLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Loads one HTTPS address and returns the body, over libcurl. Built so that a hostile or broken
// endpoint can neither hang the caller nor flood its memory: HTTPS only, also after a redirect;
// the certificate and the host name are verified; connecting and the whole transfer have
// time-outs; the body has a size cap. The HTTP status is not looked at: the body is the answer.
// Blocking; call it off the main loop. Any number of loads may run at once.
class CurlURLLoader {
public:
    struct Options {
        std::chrono::milliseconds connectTimeout{10'000};
        std::chrono::milliseconds totalTimeout{30'000};
        std::size_t maximumBodyBytes = 1024 * 1024;
        long maximumRedirects = 5;
        // Trust only the certificates in this PEM file instead of the system's (tests).
        std::optional<std::filesystem::path> certificateAuthorityFile;
    };

    CurlURLLoader() : CurlURLLoader(Options{}) {}
    explicit CurlURLLoader(Options options);

    // Throws URLLoadError.
    std::string load(const std::string& url) const;
    std::string operator()(const std::string& url) const { return load(url); }

    const Options& options() const { return options_; }

private:
    Options options_;
};

} // namespace aerivo
