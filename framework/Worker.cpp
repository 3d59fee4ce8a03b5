#include "framework/Worker.h"

#include "framework/Host.h"

namespace fw {

void InlineWorker::Submit(std::function<void()> work, std::function<void()> done) {
    work();
    if (done) done();
}

ThreadWorker::ThreadWorker(Host& host) : m_Host(host), m_Thread([this] { Run(); }) {}

ThreadWorker::~ThreadWorker() {
    {
        std::lock_guard lock(m_Mailbox->mutex);
        m_Mailbox->gone = true;
        m_Mailbox->done.clear();
    }
    {
        std::lock_guard lock(m_Mutex);
        m_Stopping = true;
    }
    m_Wake.notify_one();
    m_Thread.join();
}

void ThreadWorker::Submit(std::function<void()> work, std::function<void()> done) {
    {
        std::lock_guard lock(m_Mutex);
        m_Queue.emplace_back(std::move(work), std::move(done));
    }
    m_Wake.notify_one();
}

void ThreadWorker::Run() {
    for (;;) {
        std::pair<std::function<void()>, std::function<void()>> next;
        {
            std::unique_lock lock(m_Mutex);
            m_Wake.wait(lock, [this] { return m_Stopping || !m_Queue.empty(); });
            // Stopping, what is queued still runs: it may hold a close.
            if (m_Queue.empty()) return;
            next = std::move(m_Queue.front());
            m_Queue.pop_front();
        }
        next.first();
        if (!next.second) continue;
        {
            std::lock_guard lock(m_Mailbox->mutex);
            if (m_Mailbox->gone) continue;
            m_Mailbox->done.push_back(std::move(next.second));
        }
        // One delivery per result, each taking the oldest: the results keep
        // their order whatever order the host runs posted tasks in.
        m_Host.Post([mailbox = m_Mailbox] { Deliver(mailbox); });
    }
}

void ThreadWorker::Deliver(const std::shared_ptr<Mailbox>& mailbox) {
    std::function<void()> done;
    {
        std::lock_guard lock(mailbox->mutex);
        if (mailbox->gone || mailbox->done.empty()) return;
        done = std::move(mailbox->done.front());
        mailbox->done.pop_front();
    }
    done();
}

}  // namespace fw
