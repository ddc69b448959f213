#include "platform/codesign/TrustAnchorStore.h"

#include "platform/posix/BoundedJson.h"
#include "platform/posix/FileContents.h"

#include <algorithm>

namespace aerivo {

TrustAnchorStore::TrustAnchorStore(std::filesystem::path folder) : folder_(std::move(folder)) {}

std::vector<TrustAnchorStore::Anchor> TrustAnchorStore::all() const {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder_, error), end; !error && entry != end;
         entry.increment(error)) {
        if (entry->path().extension() == ".pem") {
            files.push_back(entry->path());
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<Anchor> anchors;
    for (const auto& file : files) {
        // Identity first: if the file changes after it was read, the identity no longer matches
        // and whoever kept it looks again.
        auto identity = FileIdentity::ofPath(file);
        auto text = readBoundedFile(file, maximumAnchorFileBytes);
        auto key = text ? Ed25519PublicKey::fromPem(*text) : std::nullopt;
        if (identity && key) {
            anchors.push_back({std::move(*key), file, *identity});
        }
    }
    return anchors;
}

std::optional<TrustAnchorStore::Anchor>
TrustAnchorStore::find(std::string_view keyIdentifier) const {
    for (auto& anchor : all()) {
        if (anchor.key.keyIdentifier() == keyIdentifier) {
            return std::move(anchor);
        }
    }
    return std::nullopt;
}

} // namespace aerivo
