#include "app/ui/MainThreadStallTrace.h"

#include "app/ui/UiTrace.h"

#include <algorithm>
#include <string>

namespace aerivo {

MainThreadStallTrace::MainThreadStallTrace() {
    clock_.start();
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(tickMilliseconds);
    QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    timer_.start();
}

void MainThreadStallTrace::watch(AerivoStore& store) {
    HelperActivity current = store.helperActivity();
    finished_ = current;
    observation_ = store.observe([this, &store, current](AerivoStoreProperty property) mutable {
        if (property != AerivoStoreProperty::helperActivity) {
            return;
        }
        const HelperActivity next = store.helperActivity();
        if (current == HelperActivity::none && next != HelperActivity::none) {
            // A new piece of helper work: measured from here (the click that asked for it
            // shows in the gap the next tick closes).
            longestStall_ = 0;
            reportPending_ = false;
        }
        if (next == HelperActivity::none && current != HelperActivity::none) {
            // Reported on the next tick, so the gap of applying the result counts too.
            finished_ = current;
            reportPending_ = true;
        }
        current = next;
    });
}

void MainThreadStallTrace::tick() {
    const qint64 now = clock_.elapsed();
    longestStall_ = std::max(longestStall_, now - lastTick_ - tickMilliseconds);
    lastTick_ = now;
    if (reportPending_) {
        reportPending_ = false;
        uiTrace("helper idle after=" + std::string(rawValue(finished_)) +
                " longestStall=" + std::to_string(longestStall_) + "ms");
        longestStall_ = 0;
    }
}

} // namespace aerivo
