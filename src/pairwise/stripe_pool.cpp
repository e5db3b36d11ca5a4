#include "pairwise/stripe_pool.h"

#include <immintrin.h>
#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace vorbex {

namespace {

// Pauses before sleeping. A stripe usually waits less than a block of steps
// for the one above, when both threads run; when the processor is shared with
// other work, sleeping gives it to the thread that is waited for.
constexpr int STRIPE_SPIN_ROUNDS = 1000;
// Pauses an idle pool thread and the caller spin before sleeping
constexpr int IDLE_SPIN_ROUNDS = 100;

class StripePool {
  public:
    // Starts threads until `threads` can run; fewer when the system refuses more.
    int prepare(int threads) {
        std::lock_guard<std::mutex> lock(mutex_);
        while (started_ < threads - 1) {
            try {
                // Never joined: the pool lives until the process ends
                std::thread(&StripePool::serve, this, started_ + 1, generation_.load()).detach();
            } catch (const std::system_error&) {
                break;
            }
            ++started_;
        }
        return started_ + 1 < threads ? started_ + 1 : threads;
    }

    void run(int threads, void (*task)(void*, int), void* context) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            task_ = task;
            context_ = context;
            active_ = threads;
            pending_.store(threads - 1, std::memory_order_relaxed);
            generation_.fetch_add(1, std::memory_order_release);
            if (sleepers_ > 0)
                wake_.notify_all();
        }
        task(context, 0);
        for (int round = 0; round < IDLE_SPIN_ROUNDS && pending_.load(std::memory_order_acquire) != 0;
             ++round)
            _mm_pause();
        for (int left = pending_.load(std::memory_order_acquire); left != 0;
             left = pending_.load(std::memory_order_acquire))
            pending_.wait(left, std::memory_order_acquire);
    }

  private:
    void serve(int index, unsigned long seen) {
        for (;;) {
            for (int round = 0;
                 round < IDLE_SPIN_ROUNDS && generation_.load(std::memory_order_acquire) == seen; ++round)
                _mm_pause();
            void (*task)(void*, int);
            void* context;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                if (generation_.load(std::memory_order_relaxed) == seen) {
                    ++sleepers_;
                    wake_.wait(lock, [&] { return generation_.load(std::memory_order_relaxed) != seen; });
                    --sleepers_;
                }
                seen = generation_.load(std::memory_order_relaxed);
                // A pool thread the last request did not need goes back to waiting
                if (index >= active_)
                    continue;
                task = task_;
                context = context_;
            }
            task(context, index);
            if (pending_.fetch_sub(1, std::memory_order_acq_rel) == 1)
                pending_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<unsigned long> generation_{0};
    std::atomic<int> pending_{0};
    // Under mutex_
    int started_ = 0;
    int sleepers_ = 0;
    int active_ = 0;
    void (*task_)(void*, int) = nullptr;
    void* context_ = nullptr;
};

// Static storage, never destroyed: the threads are parked, not joined, when
// the process exits, and a forked child (in which they do not exist) builds a
// new pool over the old one without touching it.
alignas(StripePool) unsigned char poolStorage[sizeof(StripePool)];
StripePool* pool = nullptr;

void forgetPoolInChild() {
    pool = nullptr;
}

struct alignas(64) StripeProgress {
    std::atomic<int> columns;
};
// Grown with the tallest alignment shared so far
StripeProgress* stripeProgress = nullptr;
int stripeProgressRoom = 0;

} // namespace

int preparePool(int threads) {
    if (threads > MAX_ALIGNMENT_THREADS)
        threads = MAX_ALIGNMENT_THREADS;
    if (threads <= 1)
        return 1;
    if (pool == nullptr) {
        // Without the handler a forked child would wait on threads it does not have
        static const bool registered = pthread_atfork(nullptr, nullptr, forgetPoolInChild) == 0;
        if (!registered)
            return 1;
        pool = new (poolStorage) StripePool;
    }
    return pool->prepare(threads);
}

void runOnPool(int threads, void (*task)(void*, int), void* context) {
    if (threads <= 1)
        task(context, 0);
    else
        pool->run(threads, task, context);
}

bool resetStripeProgress(int stripes) {
    if (stripes > stripeProgressRoom) {
        auto* grown = new (std::nothrow) StripeProgress[static_cast<std::size_t>(stripes)];
        if (grown == nullptr)
            return false;
        delete[] stripeProgress;
        stripeProgress = grown;
        stripeProgressRoom = stripes;
    }
    for (int k = 0; k < stripes; ++k)
        stripeProgress[k].columns.store(0, std::memory_order_relaxed);
    return true;
}

void publishStripeProgress(int stripe, int columns) {
    std::atomic<int>& progress = stripeProgress[stripe].columns;
    progress.store(columns, std::memory_order_release);
    // A system call only when the stripe below sleeps
    progress.notify_all();
}

void waitForStripeProgress(int stripe, int columns) {
    const std::atomic<int>& progress = stripeProgress[stripe].columns;
    for (int round = 0; round < STRIPE_SPIN_ROUNDS; ++round) {
        if (progress.load(std::memory_order_acquire) >= columns)
            return;
        _mm_pause();
    }
    for (int seen = progress.load(std::memory_order_acquire); seen < columns;
         seen = progress.load(std::memory_order_acquire))
        progress.wait(seen, std::memory_order_acquire);
}

} // namespace vorbex
