// Work that may block (a driver's call) kept off the GUI thread: one piece
// after another, each followed by its continuation on the GUI thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace fw {

class Host;

class Worker {
public:
    virtual ~Worker() = default;
    // Runs `work` after everything submitted before it, then `done` on the
    // GUI thread, in the order submitted. `work` may run on another thread:
    // it touches only what it was handed. A `done` still to come when the
    // worker is destroyed never runs.
    virtual void Submit(std::function<void()> work, std::function<void()> done) = 0;
};

// Both at once, in the caller: for hosts without threads, whose virtual
// clock stays deterministic because nothing happens behind its back.
class InlineWorker final : public Worker {
public:
    void Submit(std::function<void()> work, std::function<void()> done) override;
};

// A thread of its own, whose results reach the GUI thread through the host's
// Post (which must be safe from any thread). The host outlives it. Its
// destructor waits for the piece of work in progress and the ones queued
// (a descriptor is closed by the last of them), runs none of their `done`,
// and joins the thread.
class ThreadWorker final : public Worker {
public:
    explicit ThreadWorker(Host& host);
    ~ThreadWorker() override;
    ThreadWorker(const ThreadWorker&) = delete;
    ThreadWorker& operator=(const ThreadWorker&) = delete;

    void Submit(std::function<void()> work, std::function<void()> done) override;

private:
    // What the posted deliveries share with the worker: they may run after
    // it has gone, and then do nothing.
    struct Mailbox {
        std::mutex mutex;
        std::deque<std::function<void()>> done;
        bool gone = false;
    };
    void Run();
    static void Deliver(const std::shared_ptr<Mailbox>& mailbox);

    Host& m_Host;
    std::shared_ptr<Mailbox> m_Mailbox = std::make_shared<Mailbox>();
    std::mutex m_Mutex;
    std::condition_variable m_Wake;
    std::deque<std::pair<std::function<void()>, std::function<void()>>> m_Queue;
    bool m_Stopping = false;
    std::thread m_Thread;
};

}  // namespace fw
