#pragma once

#include "platform/admission/ProcessFacts.h"
#include "platform/codesign/CodeSigning.h"

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace aerivo {

struct AdmissionVerdict {
    bool admitted = false;
    // The image's verdict came from the cache (no re-hash).
    bool fromCache = false;
    // Why a peer was refused ("" when admitted), for the log.
    std::string reason;
};

// Decides whether a connecting peer may talk to the helper: its running image must satisfy the
// helper's client requirement, and nothing may run foreign code inside it: a peer that is being
// traced, or whose environment preloads code, is refused whatever its signature.
//
// Verdicts are kept per running image, keyed by its file identity, with the identities of its
// signature and anchor files; a repeat client costs two reads of /proc and four stats, and any
// change to one of those files means a fresh check. The process is pinned for the whole check
// (PinnedProcess), and a peer that ended (its pid may be reused), exec'd or was attached to in
// between is refused. Limits: docs/architecture.md, "Admission".
//
// Thread-safe: connections may be checked from several threads at once.
class ClientAdmission {
public:
    static constexpr std::size_t cacheCapacity = 32;

    // The loader's variables that put code into a process before its own.
    static std::vector<std::string> defaultWatchedVariables();

    ClientAdmission(std::shared_ptr<const CodeSigning> signing,
                    std::shared_ptr<const CodeRequirement> requirement,
                    std::vector<std::string> watchedVariables = defaultWatchedVariables());

    // The peer as SO_PEERCRED described it when it connected.
    AdmissionVerdict check(pid_t pid, uid_t uid, gid_t gid) const;
    bool operator()(pid_t pid, uid_t uid, gid_t gid) const { return check(pid, uid, gid).admitted; }

    std::size_t cachedImageCount() const;

private:
    struct CachedImage {
        CodeCheckEvidence evidence;
        std::uint64_t lastUse = 0;
    };
    using ImageKey = std::pair<std::uint64_t, std::uint64_t>; // device, inode

    bool cachedVerdictHolds(const FileIdentity& image) const;
    void remember(const CodeCheckEvidence& evidence) const;

    std::shared_ptr<const CodeSigning> signing_;
    std::shared_ptr<const CodeRequirement> requirement_;
    std::vector<std::string> watchedVariables_;

    mutable std::mutex mutex_;
    mutable std::map<ImageKey, CachedImage> cache_;
    mutable std::uint64_t useCounter_ = 0;
};

} // namespace aerivo
