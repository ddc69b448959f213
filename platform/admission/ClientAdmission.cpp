#include "platform/admission/ClientAdmission.h"

#include "platform/admission/PinnedProcess.h"

#include <algorithm>

namespace aerivo {

namespace {

std::string processName(pid_t pid) {
    return "process " + std::to_string(pid);
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

AdmissionVerdict refused(std::string reason) {
    return {false, false, std::move(reason)};
}

} // namespace

std::vector<std::string> ClientAdmission::defaultWatchedVariables() {
    return {"LD_PRELOAD", "LD_AUDIT", "LD_LIBRARY_PATH"};
}

ClientAdmission::ClientAdmission(std::shared_ptr<const CodeSigning> signing,
                                 std::shared_ptr<const CodeRequirement> requirement,
                                 std::vector<std::string> watchedVariables)
    : signing_(std::move(signing)), requirement_(std::move(requirement)),
      watchedVariables_(std::move(watchedVariables)) {}

AdmissionVerdict ClientAdmission::check(pid_t pid, uid_t uid, gid_t gid) const {
    if (!signing_ || !requirement_) {
        return refused("no client requirement");
    }
    // Everything read below describes the pinned process, as long as it is still there at the
    // end: otherwise the peer ended and its pid may name another process by now.
    const auto pinned = PinnedProcess::pin(pid);
    const auto facts = pinned ? ProcessFacts::read(pid, watchedVariables_) : std::nullopt;
    const std::string image = "/proc/" + std::to_string(pid) + "/exe";
    const auto imageBefore = facts ? FileIdentity::ofPath(image) : std::nullopt;
    if (!imageBefore) {
        return refused(processName(pid) + " is gone or cannot be inspected");
    }
    if (facts->effectiveUserId != uid || facts->effectiveGroupId != gid) {
        return refused(processName(pid) + " runs as another user or group than the one that " +
                       "connected");
    }
    if (facts->tracerPid != 0) {
        return refused(processName(pid) + " is being traced by process " +
                       std::to_string(facts->tracerPid));
    }
    if (!facts->watchedVariablesSet.empty()) {
        return refused(processName(pid) + " preloads code (" + joined(facts->watchedVariablesSet) +
                       ")");
    }

    AdmissionVerdict verdict{true, cachedVerdictHolds(*imageBefore), ""};
    std::optional<CodeCheckEvidence> evidence;
    if (!verdict.fromCache) {
        ProcessCodeCheck checked = signing_->checkProcessImage(pid, *requirement_);
        if (checked.status != CodeSigningStatus::success) {
            return refused(processName(pid) + " does not satisfy the client requirement: " +
                           "signature invalid (" + std::to_string(checked.status) + "), " +
                           codeSigningStatusMeaning(checked.status));
        }
        evidence = std::move(checked.evidence);
        // Hashing takes milliseconds: long enough for a debugger to attach meanwhile.
        const auto status = ProcessFacts::readStatus(pid);
        if (!status || status->tracerPid != 0 || status->effectiveUserId != uid ||
            status->effectiveGroupId != gid) {
            return refused(processName(pid) + " changed while it was being checked");
        }
    }

    // The same image afterwards, and the one that was hashed: otherwise the process exec'd
    // while it was being checked.
    if (FileIdentity::ofPath(image) != imageBefore ||
        (evidence && evidence->image != *imageBefore) || !pinned->isStillThere()) {
        return refused(processName(pid) + " changed while it was being checked");
    }
    if (evidence) {
        remember(*evidence);
    }
    return verdict;
}

bool ClientAdmission::cachedVerdictHolds(const FileIdentity& image) const {
    const ImageKey key{image.device, image.inode};
    std::optional<CodeCheckEvidence> evidence;
    {
        const std::lock_guard lock(mutex_);
        const auto found = cache_.find(key);
        if (found == cache_.end()) {
            return false;
        }
        found->second.lastUse = ++useCounter_;
        evidence = found->second.evidence;
    }
    // The stats run outside the lock, so one slow file system does not hold up other peers.
    const bool holds =
        evidence->image == image &&
        FileIdentity::ofPath(evidence->signaturePath) == evidence->signature &&
        (!evidence->anchorPath || FileIdentity::ofPath(*evidence->anchorPath) == evidence->anchor);
    if (!holds) {
        const std::lock_guard lock(mutex_);
        const auto found = cache_.find(key);
        if (found != cache_.end() && found->second.evidence == *evidence) {
            cache_.erase(found);
        }
    }
    return holds;
}

void ClientAdmission::remember(const CodeCheckEvidence& evidence) const {
    const std::lock_guard lock(mutex_);
    const ImageKey key{evidence.image.device, evidence.image.inode};
    if (cache_.size() >= cacheCapacity && cache_.find(key) == cache_.end()) {
        const auto oldest =
            std::min_element(cache_.begin(), cache_.end(), [](const auto& left, const auto& right) {
                return left.second.lastUse < right.second.lastUse;
            });
        cache_.erase(oldest);
    }
    cache_[key] = CachedImage{evidence, ++useCounter_};
}

std::size_t ClientAdmission::cachedImageCount() const {
    const std::lock_guard lock(mutex_);
    return cache_.size();
}

} // namespace aerivo
