// The audio library's event loop for tests: Debian's Async::CppApplication can run its loop
// only once per process (and only one application object may ever exist), while each test
// case needs to run it for a while and look at the result. This class replaces the loop,
// the file-descriptor watches and the timers with a poll() loop that can be run any number
// of times; DNS look-ups stay the base class's. Make one, first thing in main().
#pragma once

#include <AsyncCppApplication.h>

#include <chrono>
#include <functional>
#include <vector>

class AsyncTestLoop : public Async::CppApplication {
public:
    void exec() override;
    void quit() override;

    // Runs the loop until `done` answers true or `timeoutMs` has passed; returns done().
    bool runUntil(const std::function<bool()> &done, int timeoutMs);
    void runFor(int ms);

private:
    using Clock = std::chrono::steady_clock;
    struct PendingTimer {
        Async::Timer *timer;
        Clock::time_point due;
    };

    void addFdWatch(Async::FdWatch *watch) override;
    void delFdWatch(Async::FdWatch *watch) override;
    void addTimer(Async::Timer *timer) override;
    void delTimer(Async::Timer *timer) override;

    void runOnce(Clock::time_point until);
    void fireDueTimers();

    std::vector<Async::FdWatch *> m_watches;
    std::vector<PendingTimer> m_timers;
    bool m_quit = false;
};

// A test's main() for audio tests: the loop first, then the test object, which is given it.
#define ASYNC_AUDIO_TEST_MAIN(TestObject)          \
    int main(int argc, char *argv[])               \
    {                                              \
        AsyncTestLoop loop;                        \
        TestObject test(loop);                     \
        return QTest::qExec(&test, argc, argv);    \
    }
