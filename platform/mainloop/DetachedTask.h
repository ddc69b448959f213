#pragma once

#include <functional>

namespace aerivo {

// Runs `task` on a thread of its own that nobody waits for, like a detached background task: the
// caller never blocks on it, not even when the caller goes away. The task must own everything it
// uses. When no thread can be started the task runs on the calling thread instead, so it is never
// lost.
void startDetachedTask(std::function<void()> task);

} // namespace aerivo
