#include "TestSupport.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

std::vector<uint8_t> ReadFixture(const std::string& Name) {
    const std::string Path = std::string(ONESETUP_FIXTURES) + "/" + Name;
    std::FILE* File = std::fopen(Path.c_str(), "rb");
    if (!File) throw std::runtime_error("missing fixture " + Path);
    std::vector<uint8_t> Content;
    uint8_t Buffer[4096];
    size_t Count;
    while ((Count = std::fread(Buffer, 1, sizeof(Buffer), File)) > 0)
        Content.insert(Content.end(), Buffer, Buffer + Count);
    std::fclose(File);
    return Content;
}

std::vector<uint8_t> Bytes(std::string_view Text) {
    return std::vector<uint8_t>(Text.begin(), Text.end());
}

std::vector<uint8_t> SampleContent(size_t Size, uint32_t Seed) {
    std::vector<uint8_t> Content(Size);
    uint32_t State = Seed * 2654435761u + 1;
    for (size_t I = 0; I < Size; ++I) {
        State = State * 1103515245u + 12345u;
        // Mostly a small alphabet with runs, sometimes noise.
        const uint32_t R = State >> 16;
        Content[I] = (R & 7) == 0 ? uint8_t(R >> 3) : uint8_t('a' + (R % 13));
    }
    return Content;
}

std::vector<uint8_t> TMutator::Damage(std::vector<uint8_t> Data) {
    const uint32_t Edits = 1 + Next(4);
    for (uint32_t E = 0; E < Edits && !Data.empty(); ++E) {
        const size_t At = Next(static_cast<uint32_t>(Data.size()));
        switch (Next(4)) {
        case 0:
            Data[At] ^= uint8_t(1u << Next(8));
            break;
        case 1:
            Data[At] = uint8_t("<>/=\"'&;!?["[Next(11)]);
            break;
        case 2:
            Data.resize(At);
            break;
        default:
            Data.insert(Data.begin() + At, Data.begin() + At,
                        Data.begin() + std::min(Data.size(), At + 1 + Next(16)));
        }
    }
    return Data;
}
