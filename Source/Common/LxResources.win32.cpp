#include "LxResources.h"

#include "LxExceptions.h"

#include <windows.h>

bool FindRcData(TModuleHandle Module, WideStringView Name, TResourceBytes& Bytes) {
    Bytes = {};
    const WideString NameText(Name);
    const HMODULE Handle = static_cast<HMODULE>(Module);
    const HRSRC Info =
        FindResourceW(Handle, reinterpret_cast<const wchar_t*>(NameText.c_str()), RT_RCDATA);
    if (!Info) return false;
    // Loaded resources stay mapped with the module; nothing is released here.
    const HGLOBAL Loaded = LoadResource(Handle, Info);
    const void* Memory = Loaded ? LockResource(Loaded) : nullptr;
    if (!Memory) return false;
    Bytes.Data = static_cast<const uint8_t*>(Memory);
    Bytes.Size = SizeofResource(Handle, Info);
    return true;
}

bool RcDataExists(TModuleHandle Module, WideStringView Name) {
    TResourceBytes Bytes;
    return FindRcData(Module, Name, Bytes);
}

TResourceStream::TResourceStream(TModuleHandle Module, WideStringView Name)
    : TMemoryViewStream(nullptr, 0) {
    TResourceBytes Bytes;
    if (!FindRcData(Module, Name, Bytes)) RaiseResNotFound(Name);
    SetPointer(Bytes.Data, static_cast<int64_t>(Bytes.Size));
}
