#include "app/ui/UiTrace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace aerivo {

bool isUiTraceEnabled() {
    static const bool enabled = [] {
        const char* value = std::getenv("AERIVO_UI_TRACE");
        return value != nullptr && std::strcmp(value, "1") == 0;
    }();
    return enabled;
}

void uiTrace(const std::string& line) {
    if (isUiTraceEnabled()) {
        std::fprintf(stderr, "ui: %s\n", line.c_str());
        std::fflush(stderr);
    }
}

} // namespace aerivo
