#include "LxProcessExit.h"

#include "LxLog.h"
#include "LxSysUtils.h"
#include "LxWinText.h"

#include <windows.h>
#undef DeleteFile

namespace {

// The live temporary files, newest first. The file step's workers make them too.
TLxTemporaryFile* First = nullptr;
SRWLOCK ListLock = SRWLOCK_INIT;

struct TListGuard {
    TListGuard() { AcquireSRWLockExclusive(&ListLock); }
    ~TListGuard() { ReleaseSRWLockExclusive(&ListLock); }
};

} // namespace

TLxTemporaryFile::TLxTemporaryFile(WideString Path) : FPath(std::move(Path)) {
    const TListGuard Guard;
    FNext = First;
    if (First) First->FPrevious = this;
    First = this;
}

TLxTemporaryFile::~TLxTemporaryFile() {
    Release();
    const TListGuard Guard;
    if (FPrevious)
        FPrevious->FNext = FNext;
    else if (First == this)
        First = FNext;
    if (FNext) FNext->FPrevious = FPrevious;
}

void* TLxTemporaryFile::LoadResourceModule() {
    if (!FModule && !FReleased)
        FModule = LoadLibraryExW(W(FPath), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    return FModule;
}

void TLxTemporaryFile::Release() {
    if (FReleased) return;
    FReleased = true;
    if (FModule) FreeLibrary(static_cast<HMODULE>(FModule));
    FModule = nullptr;
    FLock.reset();
    if (FileExists(FPath)) DeleteFile(FPath);
}

void ExitProgram(uint32_t Code) {
    LxLog::End(Code);
    // Held to the end: a worker still running cannot add a file that would stay behind.
    AcquireSRWLockExclusive(&ListLock);
    for (TLxTemporaryFile* File = First; File; File = File->FNext)
        File->Release();
    ExitProcess(Code);
}
