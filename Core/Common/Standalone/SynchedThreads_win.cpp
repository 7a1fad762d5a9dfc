// Windows side: worker threads and the message-processing wait.
#include "SynchedThreads.h"

#include <exception>
#include <string>

namespace {

// The wait thread of the background job now running, or none: the program-wide marker that a
// job exists. Only the window thread reads and writes it. The thread may free itself while the
// marker is still set, so it is compared only, never followed.
TWaitThread* UniqueWaitThread = nullptr;

// Nobody waits for the job's error: the debugger output is where it can still be seen.
void TraceJobError(const std::wstring& text) {
    DebugTrace(L"Background job ended with an error: " + text, true);
}

} // namespace

bool DispatchWaitingMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

// ---- TSimpleThread -----------------------------------------------------------------------------

TSimpleThread::TSimpleThread(TThreadMethod Action, void* aData)
    : ThreadMethod(std::move(Action)), Data(aData) {}

TSimpleThread* TSimpleThread::CreateSimple(bool CreateSuspended, TThreadMethod Action, void* Data) {
    auto* thread = new TSimpleThread(std::move(Action), Data);
    Start(thread, CreateSuspended);
    return thread;
}

void TSimpleThread::Start(TSimpleThread* Thread, bool CreateSuspended) {
    // Always created suspended: a running thread could end and free the object before its
    // handle is stored.
    HANDLE handle =
        CreateThread(nullptr, 0, &TSimpleThread::ThreadProc, Thread, CREATE_SUSPENDED, nullptr);
    if (!handle) {
        const DWORD error = GetLastError();
        delete Thread;
        throw Exception(L"Cannot create a thread (error " + std::to_wstring(error) + L")");
    }
    Thread->FHandle.reset(handle);
    if (!CreateSuspended && ResumeThread(handle) == static_cast<DWORD>(-1)) {
        const DWORD error = GetLastError();
        TerminateThread(handle, 0);
        delete Thread;
        throw Exception(L"Cannot start a thread (error " + std::to_wstring(error) + L")");
    }
}

void TSimpleThread::Resume() {
    // The thread cannot run (and free this object) before the call has taken the handle.
    if (ResumeThread(FHandle.get()) == static_cast<DWORD>(-1)) {
        throw Exception(L"Cannot start a thread (error " + std::to_wstring(GetLastError()) + L")");
    }
}

void TSimpleThread::Execute() {
    if (ThreadMethod) {
        ThreadMethod(Data);
    }
}

DWORD WINAPI TSimpleThread::ThreadProc(void* Parameter) {
    auto* thread = static_cast<TSimpleThread*>(Parameter);
    try {
        thread->Execute();
    } catch (const Exception& error) {
        TraceJobError(error.Message());
    } catch (const std::exception& error) {
        TraceJobError(Utf8ToWide(error.what()));
    } catch (...) {
        TraceJobError(L"unknown error");
    }
    delete thread;
    return 0;
}

// ---- TWaitThread -------------------------------------------------------------------------------

TWaitThread* TWaitThread::CreateWait(TThreadMethod Action, void* Data) {
    auto* thread = new TWaitThread(std::move(Action), Data);
    Start(thread, true);
    return thread;
}

void TWaitThread::MsgWaitFor(const TMessageDispatch& Dispatch, const TWaitWatch& Watch) {
    // Once resumed, the thread may end and free this object at any moment: take an own handle
    // to wait on first, and touch no member from the resume on.
    UniqueHandle thread;
    if (!DuplicateHandle(GetCurrentProcess(), Handle(), GetCurrentProcess(), thread.put(), 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        const DWORD error = GetLastError();
        // Never started, so the object is still ours to free.
        TerminateThread(Handle(), 0);
        delete this;
        throw Exception(L"Cannot wait for a thread (error " + std::to_wstring(error) + L")");
    }
    if (ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
        const DWORD error = GetLastError();
        TerminateThread(thread.get(), 0);
        delete this;
        throw Exception(L"Cannot start a thread (error " + std::to_wstring(error) + L")");
    }

    // The job's data must outlive the thread: however the dispatching ends (a quit message, a
    // handler's error), the wait goes on until the thread has ended.
    bool dispatching = static_cast<bool>(Dispatch);
    std::exception_ptr handlerError;
    HANDLE handles[] = {thread.get()};
    for (;;) {
        const DWORD timeout = Watch ? Watch(thread.get()) : INFINITE;
        const DWORD result =
            dispatching ? MsgWaitForMultipleObjects(1, handles, FALSE, timeout, QS_ALLINPUT)
                        : WaitForSingleObject(thread.get(), timeout);
        if (result == WAIT_OBJECT_0) {
            break;
        }
        if (result == WAIT_TIMEOUT) {
            continue;
        }
        if (dispatching && result == WAIT_OBJECT_0 + 1) {
            try {
                dispatching = Dispatch();
            } catch (...) {
                handlerError = std::current_exception();
                dispatching = false;
            }
            continue;
        }
        // The wait itself failed. Returning now would let the caller free a job the thread still
        // works on: wait without anything else instead.
        WaitForSingleObject(thread.get(), INFINITE);
        break;
    }
    if (handlerError) {
        std::rethrow_exception(handlerError);
    }
}

// ---- T_UniqueBackgroundObject ------------------------------------------------------------------

int32_t T_UniqueBackgroundObject::RunInBackground(const TMessageDispatch& Dispatch) {
    if (UniqueWaitThread) {
        throw EThreadInUse(L"Thread in use");
    }
    TWaitThread* thread = TWaitThread::CreateWait([this](void* Data) { run(Data); }, nullptr);
    // Only a wait that dispatches messages lets a handler try a second job.
    if (Dispatch) {
        UniqueWaitThread = thread;
    }
    ScopeGuard clearMarker([] { UniqueWaitThread = nullptr; });
    thread->MsgWaitFor(Dispatch, [this](HANDLE worker) { return Watch(worker); });
    return theResult;
}

bool BackgroundJobRunning() noexcept {
    return UniqueWaitThread != nullptr;
}
