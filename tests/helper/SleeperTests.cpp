#include "helper/core/Sleeper.h"

#include <gtest/gtest.h>

#include <limits>

namespace aerivo {
namespace {

// Pauses that make no sense return at once instead of reaching sleep_for with a value whose
// conversion would be undefined (a NaN) or that would block for ever.
TEST(ThreadSleeper, ReturnsAtOnceForPausesThatAreNotPositiveFinite) {
    const Sleeper sleep = threadSleeper();
    ASSERT_TRUE(sleep);
    for (const double seconds : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN(),
                                 -std::numeric_limits<double>::infinity()}) {
        sleep(std::chrono::duration<double>(seconds));
    }
    SUCCEED();
}

} // namespace
} // namespace aerivo
