#pragma once

// Windows only: the RCDATA resources of a loaded module, read in place.
#include "LxStreams.h"
#include "LxSysUtils.h"

// Where a resource's bytes lie in the loaded module; valid while the module stays loaded.
struct TResourceBytes {
    const uint8_t* Data = nullptr;
    size_t Size = 0;
};

// The module's RCDATA resource of that name, ignoring letter case as the system does. False
// when there is none.
bool FindRcData(TModuleHandle Module, WideStringView Name, TResourceBytes& Bytes);
bool RcDataExists(TModuleHandle Module, WideStringView Name);

// Read-only stream over the resource's memory, without a copy.
class TResourceStream : public TMemoryViewStream {
public:
    // Raises the resource-not-found error "Resource %s not found" when the module has none.
    TResourceStream(TModuleHandle Module, WideStringView Name);
};
