#pragma once

// Windows only: threads for work that runs beside the user interface. The toolchain's threads
// are the system's own, so these wrap the system's primitives directly.
#include "LxTypes.h"

#include <memory>
#include <vector>

// A slim lock; not recursive.
class TLxLock {
public:
    TLxLock();
    TLxLock(const TLxLock&) = delete;
    TLxLock& operator=(const TLxLock&) = delete;
    void Acquire();
    void Release();

private:
    void* FLock;
};

class TLxLockGuard {
public:
    explicit TLxLockGuard(TLxLock& Lock) : FLock(Lock) { FLock.Acquire(); }
    ~TLxLockGuard() { FLock.Release(); }
    TLxLockGuard(const TLxLockGuard&) = delete;
    TLxLockGuard& operator=(const TLxLockGuard&) = delete;

private:
    TLxLock& FLock;
};

// An auto-reset event: each Signal wakes one wait, or the next one.
class TLxSignal {
public:
    TLxSignal();
    ~TLxSignal();
    TLxSignal(const TLxSignal&) = delete;
    TLxSignal& operator=(const TLxSignal&) = delete;
    void Signal();
    // Waits while the thread's windows keep painting (input is dropped meanwhile).
    void WaitPainting();

private:
    void* FEvent;
};

// Up to Count threads that each run Work(Context) once (fewer when the system refuses more: the
// work must not depend on their number); the destructor waits for all of them. Work must not
// throw.
class TLxWorkers {
public:
    struct TThread;
    using TWork = void (*)(void* Context);
    TLxWorkers(int Count, TWork Work, void* Context);
    ~TLxWorkers();
    TLxWorkers(const TLxWorkers&) = delete;
    TLxWorkers& operator=(const TLxWorkers&) = delete;
    int Count() const { return int(FThreads.size()); }
    void Join();

    // The processors this process may run on.
    static int ProcessorCount();

private:
    std::vector<std::unique_ptr<TThread>> FThreads;
};
