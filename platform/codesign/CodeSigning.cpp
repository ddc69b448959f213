#include "platform/codesign/CodeSigning.h"

namespace aerivo {

std::string helperRefusalReason(int status) {
    switch (status) {
    case CodeSigningStatus::unsigned_:
        return "it is not signed";
    case CodeSigningStatus::signatureFailed:
        return "its signature does not verify";
    case CodeSigningStatus::requirementFailed:
        return "its signature does not satisfy the app's requirement for it";
    case CodeSigningStatus::staticCodeNotFound:
        return "it cannot be read";
    default:
        return "code signing refused it";
    }
}

std::string codeSigningStatusMeaning(int status) {
    switch (status) {
    case CodeSigningStatus::success:
        return "valid";
    case CodeSigningStatus::unsigned_:
        return "not signed at all";
    case CodeSigningStatus::signatureFailed:
        return "the file or its signature was changed after signing";
    case CodeSigningStatus::signatureFormatInvalid:
        return "the signature file is damaged or of an unknown format";
    case CodeSigningStatus::notTrusted:
        return "the team certificate does not chain to a trusted anchor";
    case CodeSigningStatus::certificateExpired:
        return "the team certificate has expired";
    case CodeSigningStatus::certificateNotYetValid:
        return "the team certificate is not valid yet";
    case CodeSigningStatus::requirementFailed:
        return "the signature does not satisfy the requirement";
    case CodeSigningStatus::requirementInvalid:
        return "the requirement is invalid";
    case CodeSigningStatus::staticCodeNotFound:
        return "the file cannot be found or read";
    case CodeSigningStatus::guestNotFound:
        return "no such process, or its image cannot be read";
    default:
        return "unknown status";
    }
}

} // namespace aerivo
