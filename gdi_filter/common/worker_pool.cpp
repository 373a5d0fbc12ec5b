// Worker threads for the page imaging: they only halftone and compress into
// memory; the job's control flow, every send and every report stay on the
// thread that owns the pool.
#include "common/worker_pool.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <new>
#include <pthread.h>
#include <sched.h>
#include <system_error>

namespace {

void RunWorker(WorkerPool* pool) {
    std::unique_lock<std::mutex> lock(pool->mutex);
    for (;;) {
        pool->work.wait(lock, [pool] { return pool->stopping || !pool->queue.empty(); });
        if (pool->queue.empty()) return;  // stopping, and nothing left to do
        auto [group, task] = std::move(pool->queue.front());
        pool->queue.pop_front();
        lock.unlock();
        task();
        task = nullptr;  // whatever the task holds goes before the group is done
        lock.lock();
        if (--group->pending == 0) pool->done.notify_all();
    }
}

int CoresAvailable() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
    return std::max(1, CPU_COUNT(&set));
}

}  // namespace

int WorkerThreadsWanted(const char* setting) {
    if (setting != nullptr && *setting != '\0') {
        char* end = nullptr;
        const long n = std::strtol(setting, &end, 10);
        if (*end == '\0' && n >= 1 && n <= kMaxWorkerThreads) return static_cast<int>(n);
    }
    return std::min(CoresAvailable(), kMaxWorkerThreads);
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    work.notify_all();
    for (std::thread& t : threads) t.join();
}

std::unique_ptr<WorkerPool> StartWorkers(int threads) {
    std::unique_ptr<WorkerPool> pool(new (std::nothrow) WorkerPool);
    if (!pool) return nullptr;
    // A new thread starts with its creator's signal mask: blocked here, the
    // signals can never be delivered to a worker, not even as it starts.
    sigset_t blocked, saved;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGALRM);
    pthread_sigmask(SIG_BLOCK, &blocked, &saved);
    try {
        pool->threads.reserve(static_cast<std::size_t>(threads));
        for (int i = 0; i < threads; ++i) pool->threads.emplace_back(RunWorker, pool.get());
    } catch (const std::system_error&) {
        // Fewer threads than asked for still work; none is the sequential path.
    } catch (const std::bad_alloc&) {
    }
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    if (pool->threads.empty()) return nullptr;
    return pool;
}

bool PostWork(WorkerPool* pool, WorkGroup* group, std::function<void()> task) {
    try {
        std::lock_guard<std::mutex> lock(pool->mutex);
        pool->queue.emplace_back(group, std::move(task));
        ++group->pending;
    } catch (const std::bad_alloc&) {
        return false;
    }
    pool->work.notify_one();
    return true;
}

void WaitForWork(WorkerPool* pool, WorkGroup* group) {
    std::unique_lock<std::mutex> lock(pool->mutex);
    pool->done.wait(lock, [group] { return group->pending == 0; });
}

bool WorkDone(WorkerPool* pool, WorkGroup* group) {
    std::lock_guard<std::mutex> lock(pool->mutex);
    return group->pending == 0;
}
