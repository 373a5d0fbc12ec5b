// Worker threads for the page imaging: they only halftone and compress into
// memory; the job's control flow, every send and every report stay on the
// thread that owns the pool.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The most threads a job uses: a page has few bands to share out, and the
// pages in flight are two at most.
constexpr int kMaxWorkerThreads = 4;

// Threads the job runs with: `setting` (NORVEX_THREADS) when it is a number
// from 1 to kMaxWorkerThreads, else the cores the process may run on, capped
// at kMaxWorkerThreads. 1 is the sequential path.
int WorkerThreadsWanted(const char* setting);

// Tasks posted together and waited for together (a page's bands, a page).
struct WorkGroup {
    int pending = 0;  // guarded by the pool's mutex
};

struct WorkerPool {
    std::mutex mutex;
    std::condition_variable work;  // a task was queued, or the pool stops
    std::condition_variable done;  // a task of some group finished
    std::deque<std::pair<WorkGroup*, std::function<void()>>> queue;
    std::vector<std::thread> threads;
    bool stopping = false;

    WorkerPool() = default;
    ~WorkerPool();  // finishes the queued tasks and joins the threads
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;
};

// Starts `threads` workers with SIGTERM and SIGALRM blocked, so that the job's
// handlers always run on the calling thread. nullptr when not even one thread
// can be had: the caller takes the sequential path.
std::unique_ptr<WorkerPool> StartWorkers(int threads);

// Queues `task` for a worker; false when it cannot be queued (no memory), in
// which case the caller runs it itself.
bool PostWork(WorkerPool* pool, WorkGroup* group, std::function<void()> task);

// Returns when every task posted in `group` has finished.
void WaitForWork(WorkerPool* pool, WorkGroup* group);
// Whether every task posted in `group` has finished, without waiting.
bool WorkDone(WorkerPool* pool, WorkGroup* group);
