#include "platform/net/CurlURLLoader.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace aerivo {

namespace {

void initializeCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Body {
    std::string bytes;
    std::size_t limit = 0;
    bool overflowed = false;
};

std::size_t appendBody(char* data, std::size_t size, std::size_t count, void* context) {
    auto& body = *static_cast<Body*>(context);
    const std::size_t length = size * count;
    if (length > body.limit - body.bytes.size()) {
        body.overflowed = true;
        return 0; // aborts the transfer
    }
    body.bytes.append(data, length);
    return length;
}

struct EasyHandleDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

} // namespace

CurlURLLoader::CurlURLLoader(Options options) : options_(std::move(options)) {
    initializeCurlOnce();
}

std::string CurlURLLoader::load(const std::string& url) const {
    std::unique_ptr<CURL, EasyHandleDeleter> handle(curl_easy_init());
    if (!handle) {
        throw URLLoadError("Could not start a network request.");
    }
    CURL* curl = handle.get();
    char errorText[CURL_ERROR_SIZE] = {};
    Body body;
    body.limit = options_.maximumBodyBytes;

    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    // HTTPS and nothing else, for the first request and for every redirect.
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, options_.maximumRedirects);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    if (options_.certificateAuthorityFile) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, options_.certificateAuthorityFile->c_str());
        curl_easy_setopt(curl, CURLOPT_CAPATH, nullptr);
    }
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(options_.connectTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(options_.totalTimeout.count()));
    // Runs on worker threads: no signals for the resolver's time-out.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // Refused up front when the server announces a larger body; the write callback catches a
    // body that comes without its length.
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(options_.maximumBodyBytes));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "AerivoMac/" AERIVO_VERSION);

    const CURLcode result = curl_easy_perform(curl);
    if (result == CURLE_OK) {
        return std::move(body.bytes);
    }
    if (body.overflowed || result == CURLE_FILESIZE_EXCEEDED) {
        throw URLLoadError("The response is larger than " +
                           std::to_string(options_.maximumBodyBytes) + " bytes.");
    }
    throw URLLoadError(errorText[0] != '\0' ? errorText : curl_easy_strerror(result));
}

} // namespace aerivo
