#pragma once

#include "app/l10n/AppLanguage.h"
#include "platform/hardware/SystemHardware.h"
#include "platform/posix/SystemPaths.h"

namespace aerivo {

// The menu-bar application: one instance per user, the store on the Qt event loop, the status
// item once the loop runs, and the fan handed back to the system on every way out (Quit, the
// session ending, SIGTERM, SIGINT, SIGHUP). Returns the process's exit code.
int runMenuBarApplication(int& argc, char** argv, SystemHardware& hardware,
                          const SystemPaths& paths);

// The standard about panel: the application's name, version and purpose, titled in `language`.
void showAboutPanel(AppLanguage language);

} // namespace aerivo
