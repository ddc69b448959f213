// aerivo-install-helper: installs or removes the privileged helper and its systemd units, as root,
// after the administrator approved (the app runs it through pkexec).

#include "platform/codesign/OpenSSLCodeSigning.h"
#include "platform/linuxhost/HelperInstallCommand.h"
#include "platform/posix/ProcessEnvironment.h"
#include "platform/posix/ProcessRunner.h"
#include "platform/posix/SystemPaths.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace aerivo;
    try {
        const SystemPaths paths = SystemPaths::fromEnvironment();
        const OpenSSLCodeSigning signing(paths.trustAnchors());
        PosixProcessRunner runner;
        HelperJobPlacement placement(paths, signing, runner);
        return HelperInstallCommand::run(
            std::vector<std::string>(argv, argv + argc), placement, currentProcessEnvironment(),
            [](const std::string& line) { std::cerr << line << '\n'; });
    } catch (const std::exception& error) {
        std::cerr << "aerivo-install-helper: " << error.what() << '\n';
        return HelperJobPlacement::internalFailure;
    }
}
