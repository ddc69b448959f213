#pragma once

#include <chrono>
#include <functional>

namespace aerivo {

// The pause a helper operation takes between fan samples. Production blocks the calling thread;
// tests advance a virtual clock instead, so a ten-second hold costs no real time.
using Sleeper = std::function<void(std::chrono::duration<double> seconds)>;

// Blocks the calling thread for the given time (a negative or non-finite time does not block).
Sleeper threadSleeper();

} // namespace aerivo
