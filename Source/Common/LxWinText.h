#pragma once

// Windows only: UTF-16 text handed to and taken from the wide system calls, without copies.
#include "LxTypes.h"

#include <algorithm>
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
template <class TRead>
WideString ReadWinText(TRead Read) {
    WideString Text(260, u'\0');
    for (;;) {
        const size_t Length = Read(W(Text), uint32_t(Text.size()));
        if (Length == 0) return {};
        if (Length < Text.size()) {
            Text.resize(Length);
            return Text;
        }
        Text.resize(std::max(Length, Text.size() * 2));
    }
}
