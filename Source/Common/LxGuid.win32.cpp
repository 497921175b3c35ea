#include "LxGuid.h"
#include "LxSysUtils.h"

#include <objbase.h>

WideString TLxStrfn::NewGUIDString() {
    GUID Guid{};
    if (FAILED(CoCreateGuid(&Guid))) return {};
    uint8_t Bytes[16];
    for (int K = 0; K < 4; ++K)
        Bytes[K] = uint8_t(Guid.Data1 >> (24 - 8 * K));
    Bytes[4] = uint8_t(Guid.Data2 >> 8);
    Bytes[5] = uint8_t(Guid.Data2);
    Bytes[6] = uint8_t(Guid.Data3 >> 8);
    Bytes[7] = uint8_t(Guid.Data3);
    for (int K = 0; K < 8; ++K)
        Bytes[8 + K] = Guid.Data4[K];
    return FormatGuidText(Bytes);
}
