#pragma once

#include "app/helperclient/BundledPrivilegedHelperClient.h"

#include <memory>

namespace aerivo {

// The helper client the app and the command line use: the helper socket of the label under the
// system root, code signing over the root's trust anchors, and the installer of the machine the
// app runs on — the simulated Mac's when its socket answers, else systemd's through pkexec on a
// Linux host.
std::shared_ptr<BundledPrivilegedHelperClient>
makeStandardPrivilegedHelperClient(const ApplicationBundle& bundle, const SystemPaths& paths);

} // namespace aerivo
