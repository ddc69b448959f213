#pragma once

#include "platform/crypto/Ed25519Key.h"
#include "platform/posix/FileIdentity.h"

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace aerivo {

// The trust anchors of a system: a folder of "*.pem" files, each one Ed25519 public key
// (SystemPaths::trustAnchors()). Files that are not a single such key are skipped, so one damaged
// file does not take the others with it. Read afresh on every lookup: an anchor removed from the
// folder stops counting at once.
class TrustAnchorStore {
public:
    struct Anchor {
        Ed25519PublicKey key;
        std::filesystem::path path;
        FileIdentity identity;
    };

    static constexpr std::size_t maximumAnchorFileBytes = 64 * 1024;

    explicit TrustAnchorStore(std::filesystem::path folder);

    const std::filesystem::path& folder() const { return folder_; }

    // The anchor whose key identifier is `keyIdentifier`, if the folder holds one.
    std::optional<Anchor> find(std::string_view keyIdentifier) const;
    // Every readable anchor, in file-name order.
    std::vector<Anchor> all() const;

private:
    std::filesystem::path folder_;
};

} // namespace aerivo
