// The Qt backends that face the rest of the system: termination signals delivered on the event
// loop, and the one-instance-per-user lock and socket.

#include "platform/qt/SingleInstance.h"
#include "platform/qt/TerminationSignalNotifier.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLockFile>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace aerivo {
namespace {

class QtProcessServices : public ::testing::Test {
protected:
    // Processes events until `done` holds, for at most a generous bound.
    template <typename Predicate> bool processEventsUntil(Predicate done) {
        QElapsedTimer elapsed;
        elapsed.start();
        while (!done() && elapsed.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return done();
    }

    int argc = 1;
    char name[16] = "qtservices";
    char* argv[2] = {name, nullptr};
    QCoreApplication application{argc, argv};
};

TEST_F(QtProcessServices, TerminationSignalsArriveOnTheEventLoopAndDispositionsComeBack) {
    for (const int number : TerminationSignalNotifier::defaultSignals()) {
        struct sigaction before {};
        ::sigaction(number, nullptr, &before);
        {
            std::vector<int> received;
            TerminationSignalNotifier notifier([&](int signal) { received.push_back(signal); });
            EXPECT_THROW(TerminationSignalNotifier([](int) {}), std::logic_error);
            ASSERT_EQ(::kill(::getpid(), number), 0);
            ASSERT_TRUE(processEventsUntil([&] { return !received.empty(); })) << number;
            EXPECT_EQ(received, std::vector<int>{number});
        }
        struct sigaction after {};
        ::sigaction(number, nullptr, &after);
        EXPECT_EQ(after.sa_handler, before.sa_handler) << number;
    }
}

TEST_F(QtProcessServices, ALaterStartAsksTheRunningInstanceToShowItself) {
    testing::TemporaryDirectory folder;
    SingleInstance first(folder.path(), "aerivo-test");
    int activations = 0;
    ASSERT_EQ(first.claim([&] { ++activations; }), SingleInstance::Claim::primary);

    SingleInstance second(folder.path(), "aerivo-test");
    EXPECT_EQ(second.claim([] { FAIL() << "a second instance never serves"; }),
              SingleInstance::Claim::forwarded);
    EXPECT_TRUE(processEventsUntil([&] { return activations == 1; }));
}

TEST_F(QtProcessServices, ALockLeftByADeadProcessIsTakenOver) {
    testing::TemporaryDirectory folder;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        QLockFile lock(QString::fromStdString((folder.path() / "aerivo-test.lock").string()));
        ::_exit(lock.tryLock(0) ? 0 : 1); // dies holding the lock
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_TRUE(std::filesystem::exists(folder.path() / "aerivo-test.lock"));

    SingleInstance instance(folder.path(), "aerivo-test");
    EXPECT_EQ(instance.claim([] {}), SingleInstance::Claim::primary);
}

} // namespace
} // namespace aerivo
