// Worker threads over CreateThread, with the end event and synchronous calls served by the main thread.
#include "platform/thread.h"

#include "platform/application.h"

namespace platform {

bool WaitServingMessages(HANDLE object, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        DWORD left = INFINITE;
        if (timeoutMs != INFINITE) {
            DWORD spent = ::GetTickCount() - start;
            if (spent >= timeoutMs) return false;
            left = timeoutMs - spent;
        }
        DWORD r = ::MsgWaitForMultipleObjects(1, &object, FALSE, left, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0) return true;
        if (r != WAIT_OBJECT_0 + 1) return false;
        // Peeking serves the messages sent to this thread, the synchronous calls among them.
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

void DispatchPendingMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

TThread::~TThread() {
    if (handle_ && ::GetCurrentThreadId() != threadId_) {
        if (suspended_) Resume();
        WaitFor();
    }
}

bool TThread::Start() {
    if (handle_) return false;
    Application.Initialize();
    handle_.Reset(::CreateThread(nullptr, 0, ThreadProc, this, CREATE_SUSPENDED, &threadId_));
    if (!handle_) return false;
    ::SetThreadPriority(handle_.Get(), priority_);
    ::ResumeThread(handle_.Get());
    return true;
}

void TThread::SetPriority(int priority) {
    priority_ = priority;
    if (handle_) ::SetThreadPriority(handle_.Get(), priority);
}

void TThread::Suspend() {
    if (!handle_ || suspended_ || finished_) return;
    if (::SuspendThread(handle_.Get()) != static_cast<DWORD>(-1)) suspended_ = 1;
}

void TThread::Resume() {
    if (!handle_ || !suspended_) return;
    ::ResumeThread(handle_.Get());
    suspended_ = 0;
}

void TThread::WaitFor() {
    if (!handle_) return;
    if (Application.OnMainThread()) {
        WaitServingMessages(handle_.Get());
    } else {
        ::WaitForSingleObject(handle_.Get(), INFINITE);
    }
}

void TThread::Synchronize(const std::function<void()>& fn) { Application.Synchronize(fn); }

DWORD WINAPI TThread::ThreadProc(LPVOID param) {
    auto* self = static_cast<TThread*>(param);
    try {
        self->Execute();
    } catch (...) {
        self->FatalException = std::current_exception();
    }
    try {
        Application.Synchronize([self] {
            try {
                if (self->FatalException) {
                    try {
                        std::rethrow_exception(self->FatalException);
                    } catch (...) {
                        Application.HandleException();
                    }
                }
                if (self->OnTerminate) self->OnTerminate();
            } catch (...) {
                Application.HandleException();
            }
        });
    } catch (...) {
        // The main thread is gone; nothing is left to tell.
    }
    self->finished_ = 1;
    if (self->FreeOnTerminate) {
        // Nobody waits for a thread that frees itself: drop the handle so the destructor does not wait.
        self->handle_.Reset();
        delete self;
    }
    return 0;
}

}  // namespace platform
