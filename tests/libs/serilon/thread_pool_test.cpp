// The pool that runs the channels' loops: a finished loop's thread runs the next one,
// with nothing the finished loop changed on it.
#include "libs/serilon/thread_pool.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using serilon::PooledThread;

namespace {

// A size no other test asks for, so that these loops meet only each other's threads.
constexpr std::size_t kStack = 96 * 1024;

bool blocked(int sig) {
    sigset_t mask;
    sigemptyset(&mask);
    ::pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    return sigismember(&mask, sig) == 1;
}

void setBlocked(int sig, bool on) {
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, sig);
    ::pthread_sigmask(on ? SIG_BLOCK : SIG_UNBLOCK, &one, nullptr);
}

std::atomic<int> caught{0};
void countSignal(int) {
    caught.fetch_add(1);
}

} // namespace

TEST(SerilonThreadPool, TheNextLoopRunsOnTheSameThreadWithItsStartersMask) {
    pid_t first = 0;
    bool firstBlocked = false;
    // Started from a thread that blocks SIGUSR2: the loop blocks it too, as a new
    // thread would, and unblocks it for itself before it ends.
    std::thread starter([&] {
        setBlocked(SIGUSR2, true);
        PooledThread t;
        t.start(kStack, [&] {
            first = ::gettid();
            firstBlocked = blocked(SIGUSR2);
            setBlocked(SIGUSR1, true);
        });
        t.join();
        EXPECT_FALSE(t.joinable());
    });
    starter.join();
    EXPECT_TRUE(firstBlocked);

    ASSERT_FALSE(blocked(SIGUSR2));
    pid_t second = 0;
    bool usr1 = true, usr2 = true;
    PooledThread t;
    t.start(kStack, [&] {
        second = ::gettid();
        usr1 = blocked(SIGUSR1);
        usr2 = blocked(SIGUSR2);
    });
    t.join();
    EXPECT_EQ(second, first) << "the parked thread was not handed the next loop";
    EXPECT_FALSE(usr1) << "the mask the last loop set stayed on the thread";
    EXPECT_FALSE(usr2) << "the loop did not get its starter's mask";
}

TEST(SerilonThreadPool, ANiceValueALoopChangedDoesNotReachTheNext) {
    errno = 0;
    const int base = ::getpriority(PRIO_PROCESS, 0);
    ASSERT_EQ(errno, 0);
    PooledThread t;
    t.start(kStack, [] { ::setpriority(PRIO_PROCESS, 0, 19); });
    t.join();
    int next = 0;
    t.start(kStack, [&] { next = ::getpriority(PRIO_PROCESS, 0); });
    t.join();
    // Put back where that is allowed, else the thread ended and a new one ran this.
    EXPECT_EQ(next, base);
}

TEST(SerilonThreadPool, SignalReachesOnlyARunningLoop) {
    const int sig = SIGRTMIN + 5;
    struct sigaction action {
    }, old{};
    action.sa_handler = countSignal;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(::sigaction(sig, &action, &old), 0);
    caught = 0;
    std::atomic<bool> release{false};
    PooledThread t;
    t.start(kStack, [&] {
        // The running loop the signal is for, idling until the test lets it end.
        while (!release.load()) {
            ::usleep(1000);
        }
    });
    EXPECT_TRUE(t.signal(sig));
    EXPECT_TRUE(vort::test::waitFor([] { return caught.load() == 1; }));
    release = true;
    t.join();
    EXPECT_FALSE(t.signal(sig)); // the thread is parked or runs another loop now
    EXPECT_EQ(caught.load(), 1);
    ::sigaction(sig, &old, nullptr);
}

TEST(SerilonThreadPool, ReleasingTheIdleThreadsEndsThemBeforeItReturns) {
    pid_t tid = 0;
    PooledThread t;
    t.start(kStack, [&] { tid = ::gettid(); });
    t.join();
    const std::string task = "/proc/self/task/" + std::to_string(tid);
    ASSERT_EQ(::access(task.c_str(), F_OK), 0) << "the thread was not kept";
    PooledThread::releaseIdle();
    // Joined; the kernel may show the task a moment longer while it reaps it.
    EXPECT_TRUE(vort::test::waitFor([&] { return ::access(task.c_str(), F_OK) != 0; }))
        << "a released thread still lives";
    // The pool still makes threads afterwards.
    pid_t next = 0;
    t.start(kStack, [&] { next = ::gettid(); });
    t.join();
    EXPECT_NE(next, 0);
    PooledThread::releaseIdle();
}
