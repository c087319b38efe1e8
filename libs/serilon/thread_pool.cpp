#include "libs/serilon/thread_pool.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <map>
#include <mutex>
#include <pthread.h>
#include <sys/resource.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace serilon {

// One thread of the pool and the loops handed to it, numbered from 1.
struct PooledWorker {
    explicit PooledWorker(std::size_t stack) : stackBytes(stack) {}
    const std::size_t stackBytes;
    std::mutex mutex;
    std::condition_variable changed; // a loop handed over or finished
    pthread_t handle{};              // guarded by mutex
    bool retire = false;             // parked and told to end; guarded by mutex
    std::function<void()> job;       // the loop to run next; guarded by mutex
    sigset_t jobMask{};              // its signal mask; guarded by mutex
    std::uint64_t started = 0;       // guarded by mutex
    std::uint64_t finished = 0;      // guarded by mutex
};

namespace {

using Clock = std::chrono::steady_clock;

class Pool {
public:
    // Never destroyed: parked threads wait on it while the process exits.
    static Pool& instance() {
        static Pool* pool = new Pool();
        return *pool;
    }

    // A parked worker with that stack, taken out of the pool; null when none.
    std::shared_ptr<PooledWorker> takeIdle(std::size_t stackBytes) {
        std::lock_guard lock(mutex_);
        auto& list = (*idle_)[stackBytes];
        if (list.empty()) {
            return nullptr;
        }
        std::shared_ptr<PooledWorker> worker = std::move(list.back());
        list.pop_back();
        return worker;
    }

    // Parks worker; false when enough of its size are parked (its thread ends).
    bool park(const std::shared_ptr<PooledWorker>& worker) {
        std::lock_guard lock(mutex_);
        auto& list = (*idle_)[worker->stackBytes];
        if (list.size() >= std::size_t(PooledThread::kMaxIdle)) {
            return false;
        }
        list.push_back(worker);
        return true;
    }

    // Takes every parked worker out of the pool.
    std::vector<std::shared_ptr<PooledWorker>> takeAll() {
        std::lock_guard lock(mutex_);
        std::vector<std::shared_ptr<PooledWorker>> all;
        for (auto& [size, list] : *idle_) {
            for (auto& worker : list) {
                all.push_back(std::move(worker));
            }
            list.clear();
        }
        return all;
    }

    // Takes worker out of the pool when it is still parked (true: its thread ends);
    // false when someone has taken it meanwhile and is handing it a loop.
    bool forget(const PooledWorker* worker) {
        std::lock_guard lock(mutex_);
        auto& list = (*idle_)[worker->stackBytes];
        for (auto it = list.begin(); it != list.end(); ++it) {
            if (it->get() == worker) {
                list.erase(it);
                return true;
            }
        }
        return false;
    }

private:
    using IdleLists = std::map<std::size_t, std::vector<std::shared_ptr<PooledWorker>>>;

    Pool() {
        // A child of fork() has none of the parked threads: it starts with an empty
        // pool (the old lists are left alone; their mutexes may have been held).
        ::pthread_atfork([] { instance().mutex_.lock(); }, [] { instance().mutex_.unlock(); },
                         [] {
                             Pool& pool = instance();
                             pool.idle_ = new IdleLists();
                             pool.mutex_.unlock();
                         });
    }

    std::mutex mutex_;
    IdleLists* idle_ = new IdleLists(); // replaced, never freed, in a child of fork()
};

// The signal mask of the calling thread.
sigset_t currentMask() {
    sigset_t mask;
    sigemptyset(&mask);
    ::pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    return mask;
}

// Compared signal by signal: the bytes of a sigset_t past the kernel's signals are not
// all defined.
bool sameMask(const sigset_t& a, const sigset_t& b) {
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sigismember(&a, sig) != sigismember(&b, sig)) {
            return false;
        }
    }
    return true;
}

void* workerMain(void* arg) {
    std::shared_ptr<PooledWorker> self;
    {
        auto* handed = static_cast<std::shared_ptr<PooledWorker>*>(arg);
        self = std::move(*handed);
        delete handed;
    }
    const pid_t tid = ::gettid();
    errno = 0;
    const int baseNice = ::getpriority(PRIO_PROCESS, id_t(tid));
    bool keepNice = errno == 0;
    sigset_t mask;
    {
        std::lock_guard lock(self->mutex);
        mask = self->jobMask;            // a new thread starts with its creator's mask
        self->handle = ::pthread_self(); // known before the thread can be parked
    }
    // A thread that ends by itself frees its own resources; one told to retire is
    // joined by whoever told it.
    const auto endAlone = [] {
        ::pthread_detach(::pthread_self());
        return nullptr;
    };
    for (;;) {
        std::function<void()> job;
        sigset_t wanted;
        std::uint64_t number = 0;
        {
            std::unique_lock lock(self->mutex);
            while (!self->job) {
                if (self->retire) {
                    return nullptr;
                }
                const auto until =
                    Clock::now() + std::chrono::seconds(PooledThread::kIdleTimeSeconds);
                if (self->changed.wait_until(lock, until) == std::cv_status::timeout &&
                    !self->job && !self->retire) {
                    lock.unlock();
                    if (Pool::instance().forget(self.get())) {
                        return endAlone();
                    }
                    lock.lock(); // taken meanwhile: its loop is on the way
                }
            }
            job.swap(self->job);
            wanted = self->jobMask;
            number = self->started;
        }
        if (!sameMask(mask, wanted)) {
            ::pthread_sigmask(SIG_SETMASK, &wanted, nullptr);
        }
        job();
        job = nullptr; // what the loop holds goes before its owner hears of the end

        // Undo what the loop changed on this thread.
        bool keep = keepNice;
        if (keep) {
            errno = 0;
            const int nice = ::getpriority(PRIO_PROCESS, id_t(tid));
            if (errno != 0 ||
                (nice != baseNice && ::setpriority(PRIO_PROCESS, id_t(tid), baseNice) != 0)) {
                keep = false; // raising it back needs a privilege we may not have
            }
        }
        mask = currentMask();
        if (!sameMask(mask, wanted)) {
            ::pthread_sigmask(SIG_SETMASK, &wanted, nullptr);
        }
        mask = wanted;
        // Parked before the owner hears of the end, so that the owner's next start finds
        // this thread; a loop handed over meanwhile waits in job for the next round.
        const bool parked = keep && Pool::instance().park(self);
        {
            std::lock_guard lock(self->mutex);
            self->finished = number;
            self->changed.notify_all();
        }
        if (!parked) {
            return endAlone();
        }
    }
}

std::size_t wholePages(std::size_t bytes) {
    const long page = ::sysconf(_SC_PAGESIZE);
    const std::size_t size = page > 0 ? std::size_t(page) : 4096;
    return (bytes + size - 1) / size * size;
}

} // namespace

PooledThread::~PooledThread() {
    if (worker_) {
        join();
    }
}

void PooledThread::start(std::size_t stackBytes, std::function<void()> fn) {
    const sigset_t mask = currentMask();
    if (std::shared_ptr<PooledWorker> worker = Pool::instance().takeIdle(stackBytes)) {
        std::lock_guard lock(worker->mutex);
        worker->job = std::move(fn);
        worker->jobMask = mask;
        job_ = ++worker->started;
        worker->changed.notify_all();
        worker_ = std::move(worker);
        return;
    }
    auto worker = std::make_shared<PooledWorker>(stackBytes);
    worker->job = std::move(fn);
    worker->jobMask = mask;
    worker->started = 1;
    pthread_attr_t attr;
    int err = ::pthread_attr_init(&attr);
    if (err == 0) {
        const bool sized = ::pthread_attr_setstacksize(&attr, wholePages(stackBytes)) == 0;
        auto* handed = new std::shared_ptr<PooledWorker>(worker);
        pthread_t handle{};
        err = ::pthread_create(&handle, &attr, workerMain, handed);
        if (err == EINVAL && sized) {
            pthread_attr_t plain;
            ::pthread_attr_init(&plain);
            err = ::pthread_create(&handle, &plain, workerMain, handed);
            ::pthread_attr_destroy(&plain);
        }
        ::pthread_attr_destroy(&attr);
        if (err != 0) {
            delete handed;
        } else {
            std::lock_guard lock(worker->mutex);
            worker->handle = handle;
        }
    }
    if (err != 0) {
        throw std::system_error(err, std::generic_category(), "pthread_create");
    }
    job_ = 1;
    worker_ = std::move(worker);
}

void PooledThread::releaseIdle() {
    for (const std::shared_ptr<PooledWorker>& worker : Pool::instance().takeAll()) {
        pthread_t handle{};
        {
            std::lock_guard lock(worker->mutex);
            worker->retire = true;
            handle = worker->handle;
            worker->changed.notify_all();
        }
        ::pthread_join(handle, nullptr);
    }
}

void PooledThread::join() {
    {
        std::unique_lock lock(worker_->mutex);
        worker_->changed.wait(lock, [this] { return worker_->finished >= job_; });
    }
    worker_.reset();
    job_ = 0;
}

bool PooledThread::signal(int sig) const {
    if (!worker_) {
        return false;
    }
    std::lock_guard lock(worker_->mutex);
    if (worker_->finished >= job_) {
        return false;
    }
    return ::pthread_kill(worker_->handle, sig) == 0;
}

void PooledThread::swap(PooledThread& other) noexcept {
    worker_.swap(other.worker_);
    std::swap(job_, other.job_);
}

} // namespace serilon
