#include "ContentIds.h"

#include "LxGuid.h"
#include "LxStrUtils.h"

WideString GuidFromDigest(const TSha256::TDigest& Digest) {
    uint8_t Bytes[16];
    for (int I = 0; I < 16; ++I)
        Bytes[I] = Digest[I];
    // Marked as a name-based GUID so it can never equal a random one.
    Bytes[6] = uint8_t((Bytes[6] & 0x0F) | 0x50);
    Bytes[8] = uint8_t((Bytes[8] & 0x3F) | 0x80);
    return FormatGuidText(Bytes);
}

WideString ContentGuid(std::string_view Role, WideStringView Path,
                       const TSha256::TDigest& Content) {
    TSha256 Hash;
    Hash.Update(Role);
    Hash.Update("\0", 1);
    Hash.Update(WideToUtf8(WideUpperCase(Path)));
    Hash.Update("\0", 1);
    Hash.Update(Content.data(), Content.size());
    return GuidFromDigest(Hash.Finish());
}
