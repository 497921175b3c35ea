#include "LxGuid.h"
#include "LxSysUtils.h"

#include <random>

WideString TLxStrfn::NewGUIDString() {
    static std::random_device Source;
    uint8_t Bytes[16];
    for (int I = 0; I < 16; I += 4) {
        const uint32_t Random = Source();
        for (int K = 0; K < 4; ++K)
            Bytes[I + K] = uint8_t(Random >> (8 * K));
    }
    Bytes[6] = uint8_t((Bytes[6] & 0x0F) | 0x40); // version 4
    Bytes[8] = uint8_t((Bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    return FormatGuidText(Bytes);
}
