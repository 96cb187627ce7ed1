// Thread object: Execute runs on a new thread; an end event then runs on the main thread. Synchronize hands
// a call to the main thread and waits for it; what the call throws is rethrown on the worker. Nothing that
// Execute throws leaves the thread procedure: it is kept in FatalException and reported on the main thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>

#include "platform/handle.h"

namespace platform {

class TThread {
public:
    TThread() = default;
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;
    // Waits for a running thread (serving synchronous calls meanwhile) unless it frees itself.
    virtual ~TThread();

    // Starts the thread; false when the platform refuses.
    bool Start();
    bool Started() const noexcept { return static_cast<bool>(handle_); }
    HANDLE Handle() const noexcept { return handle_.Get(); }
    DWORD ThreadId() const noexcept { return threadId_; }

    // A THREAD_PRIORITY_* value; may be set before or after Start.
    int Priority() const noexcept { return priority_; }
    void SetPriority(int priority);

    // Runs on the main thread after Execute has returned, before the thread ends.
    std::function<void()> OnTerminate;
    // Set before Start: the object deletes itself after the end event.
    bool FreeOnTerminate = false;

    void Terminate() noexcept { terminated_ = 1; }
    bool Terminated() const noexcept { return terminated_ != 0; }
    bool Finished() const noexcept { return finished_ != 0; }

    void Suspend();
    void Resume();
    bool Suspended() const noexcept { return suspended_ != 0; }

    // Waits for the end of the thread while serving synchronous calls of the waiting thread.
    void WaitFor();

    std::exception_ptr FatalException;

protected:
    virtual void Execute() = 0;
    void Synchronize(const std::function<void()>& fn);

private:
    static DWORD WINAPI ThreadProc(LPVOID self);

    UniqueKernelHandle handle_;
    DWORD threadId_ = 0;
    int priority_ = THREAD_PRIORITY_NORMAL;
    std::atomic<uint8_t> terminated_{0};
    std::atomic<uint8_t> finished_{0};
    std::atomic<uint8_t> suspended_{0};
};

// Waits for a kernel object while the calling thread serves messages sent to it; true when signalled.
bool WaitServingMessages(HANDLE object, DWORD timeoutMs = INFINITE);

// Dispatches every message pending for the calling thread's windows.
void DispatchPendingMessages();

// DispatchPendingMessages at most once every `intervalMs`, for a caller that runs very often (a library's
// progress reports): each look at the queue is a call into the system, about 50 us under Wine.
class TThrottledPump {
public:
    explicit TThrottledPump(DWORD intervalMs) : interval_(intervalMs), last_(::GetTickCount() - intervalMs) {}
    void Serve() {
        const DWORD now = ::GetTickCount();
        if (now - last_ < interval_) return;
        last_ = now;
        DispatchPendingMessages();
    }

private:
    DWORD interval_;
    DWORD last_;
};

}  // namespace platform
