#include "helper/core/HelperPropertyLists.h"

#include "helper/HelperPropertyListText.h"

namespace aerivo {

// The texts were checked to be JSON objects when the build was configured, so parsing them
// cannot fail; a copy per call keeps callers from sharing a mutable object.
nlohmann::json helperInfoPropertyList() {
    static const nlohmann::json list = nlohmann::json::parse(generated::helperInfoPropertyListText);
    return list;
}

nlohmann::json helperLaunchdPropertyList() {
    static const nlohmann::json list =
        nlohmann::json::parse(generated::helperLaunchdPropertyListText);
    return list;
}

} // namespace aerivo
