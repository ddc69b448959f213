#pragma once

#include <nlohmann/json.hpp>

namespace aerivo {

// The helper's embedded information property list (CFBundleIdentifier = the helper label,
// SMAuthorizedClients = the requirement a client must satisfy) and its launchd property list
// (Label, AssociatedBundleIdentifiers, MachServices). Compiled in from the templates
// helper/HelperInfo.json.in and helper/HelperLaunchd.json.in, which the build also signs into the
// bundled helper's signature, so what the helper enforces is what its signature shows.
nlohmann::json helperInfoPropertyList();
nlohmann::json helperLaunchdPropertyList();

} // namespace aerivo
