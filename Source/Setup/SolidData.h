#pragma once

// Solid file data: the package's files compressed together with zstd, in blocks that each
// decode on their own, so that similar files share their matches and every processor can take
// a block. The resource holds the blocks' frames back to back, then the index (encoded with the
// package codec), then the index's encoded length as a 32-bit little-endian integer, as the
// file-data block does. A package carries this resource or the file-data resource, never both.
//
// The index, little-endian: the number of blocks, then for each its frame's offset and length
// (32 bits each) and what it decodes to (64 bits); the number of files, then for each its block
// (32 bits), its offset in the block's decoded bytes and its length (64 bits each), and its GUID
// as a 16-bit count of UTF-16 units and the units.
#include "LxSysUtils.h"

#include <memory>
#include <vector>

inline constexpr WideStringView SolidDataResName = u"{9C3B6E21-4F8A-4D17-B2E5-7A0C1D9E4F58}";

struct TSolidBlock {
    uint32_t Offset = 0;     // of the frame, from the start of the resource
    uint32_t Bytes = 0;      // the frame's length
    uint64_t PlainBytes = 0; // what it decodes to: its files one after the other
};

// Where a file item's bytes are: a range of a block's decoded bytes. Identical files share one.
struct TSolidFile {
    WideString GUID; // the item's ResID
    uint32_t Block = 0;
    uint64_t Offset = 0;
    uint64_t Bytes = 0;
};

class TSolidIndex {
public:
    std::vector<TSolidBlock> Blocks;
    std::vector<TSolidFile> Files;

    // Reads the index of a resource that must outlive this object. Raises the read error for a
    // short or malformed index, blocks outside the resource or out of order, and files outside
    // their block; the codec's error for an index that does not decode.
    void LoadFromResource(const uint8_t* Data, size_t Size);
    const uint8_t* Frame(size_t Block) const { return FData + Blocks[Block].Offset; }
    // The file of that GUID (case-sensitive, the first), or none.
    const TSolidFile* FindByGUID(WideStringView GUID) const;

private:
    const uint8_t* FData = nullptr;
};

// Decodes one block after another with the same decoder and window, made at the first, handing
// the decoded bytes on in pieces. A damaged frame, or one that decodes to more or fewer bytes
// than its block says, raises the decompression error (EZDecompressionError).
class TSolidDecoder {
public:
    TSolidDecoder();
    ~TSolidDecoder();
    TSolidDecoder(const TSolidDecoder&) = delete;
    TSolidDecoder& operator=(const TSolidDecoder&) = delete;
    // Sink may raise to stop early; the decoder is ready for the next block all the same.
    void Decode(const TSolidIndex& Index, size_t Block, TByteSink Sink);
    // The largest window a frame may ask for: a bound on the decoder's memory.
    static constexpr int MaxWindowLog = 24;

private:
    struct TState;
    std::unique_ptr<TState> FState;
};
