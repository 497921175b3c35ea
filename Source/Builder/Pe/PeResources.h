#pragma once

#include "LxSysUtils.h"
#include "LxTypes.h"

#include <cstdint>
#include <functional>
#include <vector>

// Resource types the builder writes or keeps.
inline constexpr uint16_t RT_ICON_ID = 3;
inline constexpr uint16_t RT_RCDATA_ID = 10;
inline constexpr uint16_t RT_GROUP_ICON_ID = 14;
inline constexpr uint16_t RT_VERSION_ID = 16;
inline constexpr uint16_t RT_MANIFEST_ID = 24;
inline constexpr uint16_t LANG_NEUTRAL_ID = 0;

// A resource type or name: a 16-bit ID, or a string stored in upper case, as the system
// looks string names up after upper-casing them.
struct TResourceKey {
    uint16_t Id = 0;
    WideString Name;

    static TResourceKey FromId(uint16_t Id) { return {Id, {}}; }
    static TResourceKey FromName(WideStringView Name); // upper-cases
    bool IsId() const { return Name.empty(); }
    bool operator==(const TResourceKey&) const = default;
};

struct TResource {
    TResourceKey Type;
    TResourceKey Name;
    uint16_t Language = LANG_NEUTRAL_ID;
    uint32_t CodePage = 0;
    std::vector<uint8_t> Data;
    // Data too large to hold: its size and what writes it to the image; Data stays empty.
    uint64_t StreamedSize = 0;
    std::function<void(TByteSink)> Stream = {};

    uint64_t Size() const { return Stream ? StreamedSize : Data.size(); }
};

// The resources of one image as a flat list; order does not matter, the writer sorts.
class TResourceTree {
public:
    std::vector<TResource> Items;

    const TResource* Find(const TResourceKey& Type, const TResourceKey& Name) const;
    // Replaces every language of Type/Name by this one resource.
    void Set(const TResourceKey& Type, const TResourceKey& Name, uint16_t Language,
             std::vector<uint8_t> Data);
    void RemoveType(const TResourceKey& Type);
    void Remove(const TResourceKey& Type, const TResourceKey& Name);
};
