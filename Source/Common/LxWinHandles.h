#pragma once

// Windows only: owners for system handles, so that every way out of a function closes them.
#include "LxTypes.h"
#include "LxWinText.h"

#include <utility>
#include <windows.h>
// After <windows.h>: the COM task allocator.
#include <objbase.h>

// TTraits gives the handle type, its empty value, what counts as valid and how to close it.
template <class TTraits>
class TUniqueHandle {
public:
    using THandle = typename TTraits::THandle;

    TUniqueHandle() = default;
    explicit TUniqueHandle(THandle Handle) : FHandle(Handle) {}
    ~TUniqueHandle() { Reset(); }
    TUniqueHandle(const TUniqueHandle&) = delete;
    TUniqueHandle& operator=(const TUniqueHandle&) = delete;
    TUniqueHandle(TUniqueHandle&& Other) noexcept : FHandle(Other.Release()) {}
    TUniqueHandle& operator=(TUniqueHandle&& Other) noexcept {
        if (this != &Other) Reset(Other.Release());
        return *this;
    }

    THandle Get() const { return FHandle; }
    // For pointer handles (COM interfaces).
    THandle operator->() const { return FHandle; }
    bool Valid() const { return TTraits::IsValid(FHandle); }
    explicit operator bool() const { return Valid(); }
    // For calls that return a handle through a pointer; whatever was held is closed first.
    THandle* Receive() {
        Reset();
        return &FHandle;
    }
    THandle Release() { return std::exchange(FHandle, TTraits::Empty()); }
    void Reset(THandle Handle = TTraits::Empty()) {
        if (TTraits::IsValid(FHandle)) TTraits::Close(FHandle);
        FHandle = Handle;
    }

private:
    THandle FHandle = TTraits::Empty();
};

// Kernel objects: processes, threads, pipes, files, snapshots. Both null and
// INVALID_HANDLE_VALUE mean "none", since the API uses either for failure.
struct TKernelHandleTraits {
    using THandle = HANDLE;
    static THandle Empty() { return nullptr; }
    static bool IsValid(THandle Handle) {
        return Handle != nullptr && Handle != INVALID_HANDLE_VALUE;
    }
    static void Close(THandle Handle) { CloseHandle(Handle); }
};
using TKernelHandle = TUniqueHandle<TKernelHandleTraits>;

// Handles for which null alone means "none", closed by one call.
template <class THandleType, auto CloseFunction>
struct TNullHandleTraits {
    using THandle = THandleType;
    static THandle Empty() { return nullptr; }
    static bool IsValid(THandle Handle) { return Handle != nullptr; }
    static void Close(THandle Handle) { CloseFunction(Handle); }
};

inline void ReleaseInterface(IUnknown* Pointer) {
    Pointer->Release();
}

using TLibraryHandle = TUniqueHandle<TNullHandleTraits<HMODULE, FreeLibrary>>;
using TRegistryKeyHandle = TUniqueHandle<TNullHandleTraits<HKEY, RegCloseKey>>;
// Movable global memory, as the clipboard takes it; owned until the clipboard accepts it.
using TGlobalMemory = TUniqueHandle<TNullHandleTraits<HGLOBAL, GlobalFree>>;
// Memory of the COM task allocator, which the shell hands out.
template <class T>
using TTaskMemory = TUniqueHandle<TNullHandleTraits<T*, CoTaskMemFree>>;
// A COM interface pointer: released once.
template <class TInterface>
using TComPtr = TUniqueHandle<TNullHandleTraits<TInterface*, ReleaseInterface>>;

// A DLL of the system folder, named by its full path so that no copy planted in the program's
// folder or the search path is ever loaded. Empty when it is missing.
TLibraryHandle LoadSystemLibrary(WideStringView Name);
// Resolves Name in a DLL loaded at run time into a typed function pointer; false when the DLL
// lacks it.
template <class TFunction>
bool Bind(HMODULE Module, TFunction& Function, const char* Name) {
    Function = reinterpret_cast<TFunction>(reinterpret_cast<void*>(GetProcAddress(Module, Name)));
    return Function != nullptr;
}
