// Portable: the emulated CAN library's lock and wait on the standard library, for the native
// build of the bus core and its tests.
#include "CanSync.h"

#include <condition_variable>

namespace vg730emu {

namespace {

std::mutex& mutex_of(void* state) {
    return *static_cast<std::mutex*>(state);
}

std::condition_variable_any& condition_of(void* state) {
    return *static_cast<std::condition_variable_any*>(state);
}

} // namespace

CanLock::CanLock() : FState(new std::mutex) {}
CanLock::~CanLock() {
    delete &mutex_of(FState);
}

void CanLock::lock() {
    mutex_of(FState).lock();
}

void CanLock::unlock() {
    mutex_of(FState).unlock();
}

CanSignal::CanSignal() : FState(new std::condition_variable_any) {}
CanSignal::~CanSignal() {
    delete &condition_of(FState);
}

void CanSignal::notify_all() {
    condition_of(FState).notify_all();
}

void CanSignal::wait(std::unique_lock<CanLock>& lock) {
    condition_of(FState).wait(lock);
}

bool CanSignal::wait_for(std::unique_lock<CanLock>& lock, std::chrono::milliseconds timeout) {
    return condition_of(FState).wait_for(lock, timeout) == std::cv_status::no_timeout;
}

} // namespace vg730emu
