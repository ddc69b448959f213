#pragma once

#include <functional>

namespace aerivo {

// Runs `task` on a thread of its own that nobody waits for, like a detached background task: the
// caller never blocks on it, not even when the caller goes away. The task must own everything it
// uses. When no thread can be started the task runs on the calling thread instead, so it is never
// lost.
void startDetachedTask(std::function<void()> task);

// Ends the process with `exitCode` once its own work is done (the fan handed back, the windows
// gone). While a detached task still runs, the exit handlers and static destructors are skipped:
// they free library state the task may be using at that moment (OpenSSL's cleanup at exit under a
// helper call that outlasted the quit), which would crash the ending process. Standard output and
// error are flushed either way.
[[noreturn]] void endProcess(int exitCode);

} // namespace aerivo
