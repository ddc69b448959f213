#pragma once

#include <string>

namespace aerivo {

// With AERIVO_UI_TRACE=1 in the environment, the interface writes one line per event a user
// would see ("statusItem text=42% width=62", "panel shown ...", "mode=curve") to standard error,
// so a test on a real desktop can tell what happened on screen. Silent otherwise.
bool isUiTraceEnabled();
void uiTrace(const std::string& line);

} // namespace aerivo
