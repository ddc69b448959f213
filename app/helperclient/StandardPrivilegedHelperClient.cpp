#include "app/helperclient/StandardPrivilegedHelperClient.h"

#include "platform/codesign/OpenSSLCodeSigning.h"
#include "platform/hardware/SystemHardware.h"
#include "platform/linuxhost/PkexecJobInstaller.h"
#include "platform/posix/ProcessRunner.h"
#include "platform/simulator/SimulatorJobInstaller.h"

namespace aerivo {

namespace {

// The pkexec installer runs its programs through a runner it does not own.
struct HostInstaller {
    PosixProcessRunner runner;
    PkexecJobInstaller installer;

    HostInstaller(const SystemPaths& paths, const ApplicationBundle& bundle)
        : installer(paths, runner, PkexecJobInstaller::defaultInstaller(paths, bundle.bundlePath)) {
    }
};

} // namespace

std::shared_ptr<BundledPrivilegedHelperClient>
makeStandardPrivilegedHelperClient(const ApplicationBundle& bundle, const SystemPaths& paths) {
    BundledPrivilegedHelperClient::Platform platform;
    platform.bundle = bundle;
    platform.paths = paths;
    platform.transport = std::make_shared<UnixSocketHelperTransport>(
        paths.helperSocket(PrivilegedHelperHealth::expectedLabel()).string());
    auto signing = std::make_shared<OpenSSLCodeSigning>(paths.trustAnchors());
    platform.codeSigning = signing;
    if (SystemHardware::isSimulatorReachable(paths.root())) {
        // The installer refers to the code signing it was given: the pair lives together.
        struct SimulatorInstaller {
            std::shared_ptr<const CodeSigning> signing;
            SimulatorJobInstaller installer;
        };
        auto owner = std::make_shared<SimulatorInstaller>(
            SimulatorInstaller{signing, SimulatorJobInstaller(paths, *signing)});
        platform.installer = std::shared_ptr<PrivilegedJobInstaller>(owner, &owner->installer);
    } else {
        auto owner = std::make_shared<HostInstaller>(paths, bundle);
        platform.installer = std::shared_ptr<PrivilegedJobInstaller>(owner, &owner->installer);
    }
    return std::make_shared<BundledPrivilegedHelperClient>(std::move(platform));
}

} // namespace aerivo
