// Windows side: worker threads for one long job at a time. The window thread starts the job and
// waits for it in a loop that keeps processing its window messages, so the caller sees an
// ordinary blocking call while the windows stay responsive.
#pragma once

#include "UniversalTypesUnit.h"
#include "WinHandles.h"

#include <cstdint>
#include <functional>

// The operation a thread runs, bound to its object; Data is handed to it as given.
using TThreadMethod = std::function<void(void* Data)>;

// Dispatches every message waiting in the calling thread's queue; false once a quit message has
// come, which is left in the queue for the caller's message loop. The program's windows hand
// theirs (TApplication::ProcessMessages), so that a wait treats every key as they do.
using TMessageDispatch = std::function<bool()>;
// Called on the waiting thread before each wait, with the worker thread: takes whatever action
// is due and returns the longest the next wait may last, in milliseconds (INFINITE: until the
// thread ends).
using TWaitWatch = std::function<DWORD(HANDLE Worker)>;

// The plain dispatch, for a thread without windows of its own layer: every waiting message
// translated and dispatched; a quit message is posted again and ends the dispatch (false).
bool DispatchWaitingMessages();

// A system thread that runs ThreadMethod(Data) once and then frees itself. An error the method
// raises ends the thread only: it is caught and traced there.
class TSimpleThread {
public:
    TSimpleThread(const TSimpleThread&) = delete;
    TSimpleThread& operator=(const TSimpleThread&) = delete;

    // Creates the thread, suspended or running. The object belongs to the thread: once the
    // thread runs it may be gone at any moment, so the result may only be used while the
    // thread is still suspended.
    static TSimpleThread* CreateSimple(bool CreateSuspended, TThreadMethod Action, void* Data);
    // Starts a suspended thread. The object may be gone as soon as this returns.
    void Resume();

protected:
    TSimpleThread(TThreadMethod Action, void* Data);
    virtual ~TSimpleThread() = default;

    // Creates the system thread; on failure raises Exception and the object is freed.
    static void Start(TSimpleThread* Thread, bool CreateSuspended);
    // The thread body.
    virtual void Execute();
    HANDLE Handle() const noexcept { return FHandle.get(); }

    TThreadMethod ThreadMethod;
    void* Data = nullptr;

private:
    static DWORD WINAPI ThreadProc(void* Parameter);

    UniqueHandle FHandle;
};

// A thread that does not run until MsgWaitFor starts it.
class TWaitThread : public TSimpleThread {
public:
    static TWaitThread* CreateWait(TThreadMethod Action, void* Data);

    // Starts the thread and returns when it has ended, dispatching the calling thread's window
    // messages through Dispatch meanwhile (none: it only waits), until Dispatch says a quit
    // message came, and keeping Watch's time-outs. The object is gone when this returns.
    void MsgWaitFor(const TMessageDispatch& Dispatch = DispatchWaitingMessages,
                    const TWaitWatch& Watch = nullptr);

private:
    using TSimpleThread::TSimpleThread;
};

// A job that runs on a worker thread while the window thread waits for it. The job object
// belongs to the caller of RunInBackground and outlives the thread.
class T_UniqueBackgroundObject {
public:
    virtual ~T_UniqueBackgroundObject() = default;

    // Runs `run` on a TWaitThread and returns theResult, this thread dispatching its window
    // messages through Dispatch meanwhile. Raises EThreadInUse ("Thread in use") when a
    // background job already exists; only one may exist in the whole program. Without Dispatch
    // the caller only waits, and no message handler can start another job meanwhile.
    int32_t RunInBackground(const TMessageDispatch& Dispatch = DispatchWaitingMessages);

    // The job's body; runs on the worker thread.
    virtual void run(void* Data) = 0;

protected:
    // What the waiting side does while the job runs (see TWaitWatch); by default it only waits.
    virtual DWORD Watch(HANDLE /*Worker*/) { return INFINITE; }

    int32_t theResult = 0;
};

// A second background job while one exists.
class EThreadInUse : public Exception {
public:
    using Exception::Exception;
};

// Whether a background job exists now (the program-wide marker is set).
bool BackgroundJobRunning() noexcept;
