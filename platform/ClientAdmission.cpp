#include "platform/ClientAdmission.h"

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
    const std::string image = "/proc/" + std::to_string(pid) + "/exe";
    const auto before = ProcessFacts::read(pid, watchedVariables_);
    const auto imageBefore = FileIdentity::ofPath(image);
    if (!before || !imageBefore) {
        return refused(processName(pid) + " is gone or cannot be inspected");
    }
    if (before->effectiveUserId != uid || before->effectiveGroupId != gid) {
        return refused(processName(pid) + " runs as another user or group than the one that " +
                       "connected");
    }
    if (before->tracerPid != 0) {
        return refused(processName(pid) + " is being traced by process " +
                       std::to_string(before->tracerPid));
    }
    if (!before->watchedVariablesSet.empty()) {
        return refused(processName(pid) + " preloads code (" + joined(before->watchedVariablesSet) +
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
    }

    // The same process, image and state afterwards: otherwise the pid was reused, or the
    // process exec'd or was attached to while it was being checked.
    const auto after = ProcessFacts::read(pid, watchedVariables_);
    const auto imageAfter = FileIdentity::ofPath(image);
    if (after != before || imageAfter != imageBefore ||
        (evidence && evidence->image != *imageBefore)) {
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
