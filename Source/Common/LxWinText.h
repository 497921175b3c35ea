#pragma once

// Windows only: UTF-16 text handed to and taken from the wide system calls, without copies.
#include "LxTypes.h"

#include "LxFunctionRef.h"

#include <cstdint>

inline const wchar_t* W(const WideString& Text) {
    return reinterpret_cast<const wchar_t*>(Text.c_str());
}
// For calls that write into a buffer the caller sized.
inline wchar_t* W(WideString& Text) {
    return reinterpret_cast<wchar_t*>(Text.data());
}
inline WideString FromW(const wchar_t* Text) {
    return Text ? WideString(reinterpret_cast<const char16_t*>(Text)) : WideString();
}
inline WideString FromW(const wchar_t* Text, size_t Length) {
    return WideString(reinterpret_cast<const char16_t*>(Text), Length);
}

// Text that a system call writes into the caller's buffer, grown until the text fits. Read
// returns the length written, 0 on failure, or (when the buffer is too small) its size or the
// size it needs.
WideString ReadWinText(TFunctionRef<uint32_t(wchar_t* Buffer, uint32_t Size)> Read);
