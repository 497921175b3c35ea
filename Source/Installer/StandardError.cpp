#include "StandardError.h"

#include "LxStrUtils.h"

#include <windows.h>

void WriteStandardError(WideStringView Text) {
    const HANDLE Handle = GetStdHandle(STD_ERROR_HANDLE);
    if (!Handle || Handle == INVALID_HANDLE_VALUE) return;
    const RawByteString Line = WideToUtf8(Text) + "\r\n";
    DWORD Written = 0;
    WriteFile(Handle, Line.data(), DWORD(Line.size()), &Written, nullptr);
}
