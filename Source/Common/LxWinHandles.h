#pragma once

// Windows only: owners for system handles, so that every way out of a function closes them.
#include "LxTypes.h"

#include <utility>
#include <windows.h>

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

struct TModuleHandleTraits {
    using THandle = HMODULE;
    static THandle Empty() { return nullptr; }
    static bool IsValid(THandle Handle) { return Handle != nullptr; }
    static void Close(THandle Handle) { FreeLibrary(Handle); }
};
using TLibraryHandle = TUniqueHandle<TModuleHandleTraits>;

// A COM interface pointer: released once.
template <class TInterface>
struct TComTraits {
    using THandle = TInterface*;
    static THandle Empty() { return nullptr; }
    static bool IsValid(THandle Pointer) { return Pointer != nullptr; }
    static void Close(THandle Pointer) { Pointer->Release(); }
};
template <class TInterface>
using TComPtr = TUniqueHandle<TComTraits<TInterface>>;

inline const wchar_t* WinText(const WideString& Text) {
    return reinterpret_cast<const wchar_t*>(Text.c_str());
}
inline wchar_t* WinText(WideString& Text) {
    return reinterpret_cast<wchar_t*>(Text.data());
}
inline WideString FromWinText(const wchar_t* Text) {
    return Text ? WideString(reinterpret_cast<const char16_t*>(Text)) : WideString();
}
