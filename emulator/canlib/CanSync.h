// Portable: the lock and the wait of the emulated CAN library, named here so that each platform
// gives its own. On Windows they are the system's slim lock and condition variable, which need
// nothing made or freed: the updater loads and frees the library once a second, and the thread
// library behind std::mutex and std::condition_variable would leave a thread record (two
// handles and a thread-local slot) in the caller's process at every release.
#pragma once

#include <chrono>
#include <mutex>

namespace vg730emu {

class CanLock {
public:
    CanLock();
    ~CanLock();
    CanLock(const CanLock&) = delete;
    CanLock& operator=(const CanLock&) = delete;

    void lock();
    void unlock();

private:
    friend class CanSignal;
    void* FState; // Windows: the lock itself; elsewhere: a std::mutex
};

class CanSignal {
public:
    CanSignal();
    ~CanSignal();
    CanSignal(const CanSignal&) = delete;
    CanSignal& operator=(const CanSignal&) = delete;

    void notify_all();
    // Lets go of the lock until notified (or woken spuriously) and takes it again.
    void wait(std::unique_lock<CanLock>& lock);
    // The same for at most the time given; false when it was up.
    bool wait_for(std::unique_lock<CanLock>& lock, std::chrono::milliseconds timeout);

private:
    void* FState; // Windows: the condition variable itself; elsewhere: a standard one
};

} // namespace vg730emu
