#include "engine/new_file_copier.h"

#include <utility>

namespace vestrand {

NewFileCopier::NewFileCopier(int threads, const std::atomic<bool>* stop, CopyFunction copy)
    : m_stop(stop), m_copy(copy) {
    for (int i = 0; i < threads; ++i)
        m_threads.emplace_back(&NewFileCopier::Work, this);
}

NewFileCopier::~NewFileCopier() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closing = true;
    }
    m_changed.notify_all();
    for (auto& thread : m_threads)
        thread.join();
}

void NewFileCopier::Add(std::wstring source, std::wstring target, int32_t attr, int64_t size,
                        int64_t written) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_copies.push_back(Copy{std::move(source), std::move(target), attr, size, written});
    ++m_unstarted;
    m_changed.notify_all();
}

size_t NewFileCopier::Outstanding() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_copies.size();
}

bool NewFileCopier::TakeFinished(Copy& copy, bool wait) {
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto finished = [&] { return m_copies.front().Result != Outcome::Waiting; };
    if (m_copies.empty() || (!wait && !finished()))
        return false;
    m_changed.wait(lock, finished);
    copy = std::move(m_copies.front());
    m_copies.pop_front();
    return true;
}

void NewFileCopier::Work() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [&] { return m_closing || m_unstarted > 0; });
        if (m_closing)
            return;
        // A deque's elements stay where they are while others are added or taken at its ends, and
        // this one is not taken before it has its outcome.
        Copy& copy = m_copies[m_copies.size() - m_unstarted--];
        lock.unlock();
        const Outcome outcome = StopSet() ? Outcome::NotStarted : m_copy(copy);
        lock.lock();
        copy.Result = outcome;
        m_changed.notify_all();
    }
}

} // namespace vestrand
