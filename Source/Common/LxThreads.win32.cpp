#include "LxThreads.h"

#include "LxExceptions.h"
#include "LxPlatform.h"
#include "LxSysUtils.h"
#include "LxWinHandles.h"

#include <windows.h>

TLxLock::TLxLock() : FLock(nullptr) {
    static_assert(sizeof(SRWLOCK) == sizeof(void*));
}

void TLxLock::Acquire() {
    AcquireSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&FLock));
}

void TLxLock::Release() {
    ReleaseSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&FLock));
}

TLxCondition::TLxCondition() : FCondition(nullptr) {
    static_assert(sizeof(CONDITION_VARIABLE) == sizeof(void*));
}

void TLxCondition::Wait(TLxLock& Held) {
    SleepConditionVariableSRW(reinterpret_cast<PCONDITION_VARIABLE>(&FCondition),
                              reinterpret_cast<PSRWLOCK>(&Held.FLock), INFINITE, 0);
}

void TLxCondition::WakeAll() {
    WakeAllConditionVariable(reinterpret_cast<PCONDITION_VARIABLE>(&FCondition));
}

TLxSignal::TLxSignal() : FEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (!FEvent) throw Exception(TLxSysfn::SysErrorMessage(GetLastError()));
}

TLxSignal::~TLxSignal() {
    CloseHandle(FEvent);
}

void TLxSignal::Signal() {
    SetEvent(FEvent);
}

void TLxSignal::WaitPainting() {
    TLxWinfn::WaitPainting(FEvent, INFINITE);
}

struct TLxWorkers::TThread {
    TWork Work;
    void* Context;
    TKernelHandle Handle;
};

namespace {

DWORD WINAPI RunWorker(void* Parameter) {
    const auto* Thread = static_cast<const TLxWorkers::TThread*>(Parameter);
    Thread->Work(Thread->Context);
    return 0;
}

} // namespace

TLxWorkers::TLxWorkers(int Count, TWork Work, void* Context) {
    for (int I = 0; I < Count; ++I) {
        auto Thread = std::make_unique<TThread>(TThread{Work, Context, {}});
        // A small stack: the work streams through heap buffers.
        Thread->Handle.Reset(CreateThread(nullptr, 256 * 1024, RunWorker, Thread.get(),
                                          STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
        // Fewer threads than asked for still do all of the work.
        if (!Thread->Handle) break;
        FThreads.push_back(std::move(Thread));
    }
}

TLxWorkers::~TLxWorkers() {
    Join();
}

void TLxWorkers::Join() {
    for (const auto& Thread : FThreads)
        WaitForSingleObject(Thread->Handle.Get(), INFINITE);
    FThreads.clear();
}

int TLxWorkers::ProcessorCount() {
    return PlatformProcessorCount();
}
