// Copies of source files to mirror names that hold nothing yet, made by a few threads at once.
// One CopyFileW call of a small file spends most of its time in the file system's calls (opening,
// creating, closing, setting the time), not in moving bytes, so two copies in flight take little
// longer than one: a first pass of many small files takes about half the time. The copies come
// back in the order they were asked for, so that the pass writes its lines in its own order.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vestrand {

class NewFileCopier {
public:
    enum class Outcome : uint8_t {
        Waiting,    // not made yet
        Done,       // the copy stands under its name
        Failed,     // nothing was left under the name
        Gone,       // the source was not there any more: nothing was left under the name
        NameTaken,  // something else stood under the name after all: left for the caller
        NotStarted, // the stop came first
    };
    struct Copy {
        std::wstring Source, Target; // extended-length paths
        int32_t Attr;                // the source's, as the pass read them at the file's turn
        int64_t Size;                // (the copy gives these what it copied)
        int64_t Written;             // the source's last write, to tell a file written while copied
        Outcome Result = Outcome::Waiting;
        uint32_t Error = 0; // the system's error code of a failed copy
    };
    // Makes one copy on a copier's thread; must not throw.
    using CopyFunction = Outcome (*)(Copy&);

    // Copies that have not started once `stop` is set are not made.
    NewFileCopier(int threads, const std::atomic<bool>* stop, CopyFunction copy);
    // Copies not started are dropped, those under way finish; then the threads are joined.
    ~NewFileCopier();
    NewFileCopier(const NewFileCopier&) = delete;
    NewFileCopier& operator=(const NewFileCopier&) = delete;

    // Asks for a copy. How many may be outstanding (asked for and not taken back) is the caller's
    // to keep in bounds, by taking them back.
    void Add(std::wstring source, std::wstring target, int32_t attr, int64_t size, int64_t written = 0);
    size_t Outstanding();
    // Hands back the oldest outstanding copy once it has its outcome, waiting for it when `wait`;
    // false when none is outstanding, or (without `wait`) the oldest is not finished.
    bool TakeFinished(Copy& copy, bool wait);

private:
    void Work();
    bool StopSet() const { return m_stop && m_stop->load(std::memory_order_relaxed); }

    const std::atomic<bool>* m_stop;
    const CopyFunction m_copy;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Copy> m_copies; // outstanding, oldest first (a deque keeps them in place)
    size_t m_unstarted = 0;    // m_copies[size - m_unstarted ..] have not been picked up
    bool m_closing = false;
    std::vector<std::thread> m_threads;
};

} // namespace vestrand
