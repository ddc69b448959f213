#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace aerivo {

// aerivo-codesign: makes development anchors and teams, signs files, and checks and shows
// signatures. `arguments` excludes the program name. Exit status: 0 done (or valid), 1 failed
// (or not valid), 2 bad arguments (the usage goes to `error`).
int runCodesignTool(const std::vector<std::string>& arguments, std::ostream& output,
                    std::ostream& error);

} // namespace aerivo
