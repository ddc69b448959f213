#include "helper/core/Sleeper.h"

#include <cmath>
#include <thread>

namespace aerivo {

Sleeper threadSleeper() {
    return [](std::chrono::duration<double> seconds) {
        // A day is far beyond any helper pause; it also keeps the cast below in range.
        constexpr double longestPause = 86400.0;
        const double count = seconds.count();
        if (!std::isfinite(count) || count <= 0.0) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(std::fmin(count, longestPause)));
    };
}

} // namespace aerivo
