#include "app/helperclient/CodeSigningInspector.h"

namespace aerivo {

CodeSigningInfo CodeSigningInspector::inspect(const CodeSigning& signing,
                                              const std::filesystem::path& file) {
    const CodeSigningFacts facts = signing.inspect(file);
    CodeSigningInfo info;
    if (!facts.hasCodeObject) {
        info.status = "signature object unavailable";
        return info;
    }
    info.isValid = facts.validityStatus == CodeSigningStatus::success;
    info.identifier = facts.identifier;
    info.teamIdentifier = facts.teamIdentifier;
    if (facts.infoPlist && facts.infoPlist->is_object()) {
        info.infoPlist = facts.infoPlist;
    }
    info.status = info.isValid ? "signature valid"
                               : "signature invalid (" + std::to_string(facts.validityStatus) + ")";
    return info;
}

} // namespace aerivo
