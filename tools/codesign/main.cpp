// aerivo-codesign: the build's and the developer's signing tool (keygen, sign, verify, display).

#include "tools/codesign/CodesignTool.h"

#include <iostream>

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return aerivo::runCodesignTool(arguments, std::cout, std::cerr);
}
