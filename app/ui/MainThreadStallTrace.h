#pragma once

#include "app/model/AerivoStore.h"
#include "app/model/AerivoStoreObservation.h"
#include "app/model/HelperActivity.h"

#include <QElapsedTimer>
#include <QTimer>

namespace aerivo {

// For the interface trace: how long the main thread went without turning its event loop while
// the helper worked. A 10 ms tick notes the longest gap between two ticks (less the 10 ms); each
// time the helper goes idle the next tick writes "helper idle after=<activity>
// longestStall=<ms>ms", covering the work just finished from the moment it was asked for. The
// first covers the start-up too (the trace exists before the store), so the store's
// construction counts. Built only when the trace is on; main thread only.
class MainThreadStallTrace {
public:
    static constexpr int tickMilliseconds = 10;

    MainThreadStallTrace();

    void watch(AerivoStore& store);

private:
    void tick();

    QTimer timer_;
    QElapsedTimer clock_;
    qint64 lastTick_ = 0;
    qint64 longestStall_ = 0;
    HelperActivity finished_ = HelperActivity::none;
    bool reportPending_ = false;
    AerivoStoreObservation observation_;
};

} // namespace aerivo
