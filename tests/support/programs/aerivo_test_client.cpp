// A stand-in client for the admission tests: a small program to sign, copy and alter. It prints
// "ready" once it runs its own image and then waits to be killed. Started as
// `aerivo_test_client PROGRAM`, it execs PROGRAM when it receives SIGUSR1, which lets a test
// change a process's image at a moment of its choosing.

#include <signal.h>
#include <unistd.h>

#include <cstdio>

namespace {

// Tests find this text in the image and change one letter of it: the copy runs exactly as
// before but no longer matches its signature.
volatile const char marker[] = "aerivo-test-client-marker";

volatile sig_atomic_t execRequested = 0;

void requestExec(int) {
    execRequested = 1;
}

} // namespace

int main(int argc, char** argv) {
    // SIGUSR1 stays blocked except inside sigsuspend, so one that arrives before the wait
    // begins is not lost.
    sigset_t usr1;
    sigset_t waiting;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    sigprocmask(SIG_BLOCK, &usr1, &waiting);
    sigdelset(&waiting, SIGUSR1);
    struct sigaction action {};
    action.sa_handler = requestExec;
    sigaction(SIGUSR1, &action, nullptr);
    std::printf("ready %c\n", marker[0]);
    std::fflush(stdout);
    for (;;) {
        sigsuspend(&waiting);
        if (execRequested != 0 && argc > 1) {
            sigprocmask(SIG_UNBLOCK, &usr1, nullptr);
            execv(argv[1], argv + 1);
            return 127;
        }
    }
}
