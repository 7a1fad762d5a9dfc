// Windows side: the emulated CAN library's lock and wait on the system's slim reader/writer lock
// and condition variable. Both start as a zero pointer and hold nothing to free.
#include "CanSync.h"

#include "WinApi.h"

namespace vg730emu {

namespace {

static_assert(sizeof(SRWLOCK) == sizeof(void*) && sizeof(CONDITION_VARIABLE) == sizeof(void*));

PSRWLOCK srw(void** state) {
    return reinterpret_cast<PSRWLOCK>(state);
}

PCONDITION_VARIABLE condition(void** state) {
    return reinterpret_cast<PCONDITION_VARIABLE>(state);
}

} // namespace

CanLock::CanLock() : FState(nullptr) {} // SRWLOCK_INIT
CanLock::~CanLock() = default;

void CanLock::lock() {
    AcquireSRWLockExclusive(srw(&FState));
}

void CanLock::unlock() {
    ReleaseSRWLockExclusive(srw(&FState));
}

CanSignal::CanSignal() : FState(nullptr) {} // CONDITION_VARIABLE_INIT
CanSignal::~CanSignal() = default;

void CanSignal::notify_all() {
    WakeAllConditionVariable(condition(&FState));
}

void CanSignal::wait(std::unique_lock<CanLock>& lock) {
    SleepConditionVariableSRW(condition(&FState), srw(&lock.mutex()->FState), INFINITE, 0);
}

bool CanSignal::wait_for(std::unique_lock<CanLock>& lock, std::chrono::milliseconds timeout) {
    const auto ms = timeout.count() <= 0          ? 0
                    : timeout.count() >= INFINITE ? INFINITE - 1
                                                  : timeout.count();
    return SleepConditionVariableSRW(condition(&FState), srw(&lock.mutex()->FState),
                                     static_cast<DWORD>(ms), 0) != FALSE ||
           GetLastError() != ERROR_TIMEOUT;
}

} // namespace vg730emu
