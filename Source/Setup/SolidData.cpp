#include "SolidData.h"

#include "LxExceptions.h"
#include "LxStreams.h"
#include "MySetupUtils.h"

// Linked statically everywhere: the experimental parameters are ours to use.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

namespace {

// Reads the index's fields in order; any read past its end is the read error.
class TIndexReader {
public:
    explicit TIndexReader(const std::vector<uint8_t>& Bytes)
        : FAt(Bytes.data()), FEnd(FAt + Bytes.size()) {}
    uint64_t Next(int Length) {
        if (FEnd - FAt < Length) RaiseReadError();
        uint64_t Value = 0;
        for (int I = Length - 1; I >= 0; --I)
            Value = Value << 8 | FAt[I];
        FAt += Length;
        return Value;
    }
    bool AtEnd() const { return FAt == FEnd; }

private:
    const uint8_t* FAt;
    const uint8_t* FEnd;
};

} // namespace

void TSolidIndex::LoadFromResource(const uint8_t* Data, size_t Size) {
    FData = Data;
    Blocks.clear();
    Files.clear();
    if (Size < 4) RaiseReadError();
    const size_t IndexEnd = Size - 4;
    const uint32_t Stored = uint32_t(Data[IndexEnd]) | uint32_t(Data[IndexEnd + 1]) << 8 |
                            uint32_t(Data[IndexEnd + 2]) << 16 | uint32_t(Data[IndexEnd + 3]) << 24;
    if (Stored > IndexEnd) RaiseReadError();
    const size_t FramesEnd = IndexEnd - Stored;
    TMemoryStream Decoded;
    TSetupfn::DecodeBounded(Data + FramesEnd, Stored, Decoded);
    const std::vector<uint8_t> Plain = Decoded.Release();
    TIndexReader Reader(Plain);
    // Each entry takes at least 16 bytes: no count can ask for more than the index holds.
    const uint64_t BlockCount = Reader.Next(4);
    if (BlockCount > Plain.size() / 16) RaiseReadError();
    uint64_t End = 0;
    for (uint64_t I = 0; I < BlockCount; ++I) {
        TSolidBlock Block;
        Block.Offset = uint32_t(Reader.Next(4));
        Block.Bytes = uint32_t(Reader.Next(4));
        Block.PlainBytes = Reader.Next(8);
        // Frames lie in order before the index.
        if (Block.Offset < End || Block.Bytes == 0 ||
            uint64_t(Block.Offset) + Block.Bytes > FramesEnd)
            RaiseReadError();
        End = uint64_t(Block.Offset) + Block.Bytes;
        Blocks.push_back(Block);
    }
    const uint64_t FileCount = Reader.Next(4);
    if (FileCount > Plain.size() / 16) RaiseReadError();
    for (uint64_t I = 0; I < FileCount; ++I) {
        TSolidFile File;
        File.Block = uint32_t(Reader.Next(4));
        File.Offset = Reader.Next(8);
        File.Bytes = Reader.Next(8);
        for (uint64_t Length = Reader.Next(2); Length > 0; --Length)
            File.GUID += char16_t(Reader.Next(2));
        if (File.Block >= Blocks.size() || File.Offset > Blocks[File.Block].PlainBytes ||
            File.Bytes > Blocks[File.Block].PlainBytes - File.Offset)
            RaiseReadError();
        Files.push_back(std::move(File));
    }
    if (!Reader.AtEnd()) RaiseReadError();
}

const TSolidFile* TSolidIndex::FindByGUID(WideStringView GUID) const {
    for (const TSolidFile& File : Files)
        if (File.GUID == GUID) return &File;
    return nullptr;
}

// zstd's buffer-less decoding: the decoded bytes stay in a round buffer of our own, the window
// the frames refer back to. Smaller than its streaming layer, which the installer would carry
// for nothing.
struct TSolidDecoder::TState {
    ZSTD_DCtx* Context = ZSTD_createDCtx();
    std::unique_ptr<uint8_t[]> Ring; // made at the first frame, for the largest window
    size_t RingSize = 0;
    TState() {
        if (!Context) throw std::bad_alloc();
        // The digest record guards the frames; the shipped programs carry no checksum code.
        ZSTD_DCtx_setParameter(Context, ZSTD_d_forceIgnoreChecksum, ZSTD_d_ignoreChecksum);
    }
    ~TState() { ZSTD_freeDCtx(Context); }
};

TSolidDecoder::TSolidDecoder() : FState(std::make_unique<TState>()) {}
TSolidDecoder::~TSolidDecoder() = default;

void TSolidDecoder::Decode(const TSolidIndex& Index, size_t Block, TByteSink Sink) {
    TState& S = *FState;
    const TSolidBlock& Entry = Index.Blocks[Block];
    const uint8_t* In = Index.Frame(Block);
    size_t Left = Entry.Bytes;
    ZSTD_frameHeader Header;
    if (ZSTD_getFrameHeader(&Header, In, Left) != 0 ||
        Header.windowSize > (uint64_t(1) << MaxWindowLog) ||
        ZSTD_isError(ZSTD_decompressBegin(S.Context)))
        RaiseDecompressionError();
    if (!S.Ring) {
        S.RingSize =
            ZSTD_decodingBufferSize_min(uint64_t(1) << MaxWindowLog, ZSTD_CONTENTSIZE_UNKNOWN);
        S.Ring = std::make_unique_for_overwrite<uint8_t[]>(S.RingSize);
    }
    uint64_t Produced = 0;
    size_t At = 0;
    // A frame ends when the decoder asks for nothing more; the input must end there too.
    for (size_t Want; (Want = ZSTD_nextSrcSizeToDecompress(S.Context)) != 0;) {
        if (Want > Left) RaiseDecompressionError();
        // A block always fits where the next one starts; at the end the ring starts again.
        if (S.RingSize - At < ZSTD_BLOCKSIZE_MAX) At = 0;
        const size_t Got =
            ZSTD_decompressContinue(S.Context, S.Ring.get() + At, S.RingSize - At, In, Want);
        if (ZSTD_isError(Got)) RaiseDecompressionError();
        In += Want;
        Left -= Want;
        Produced += Got;
        if (Produced > Entry.PlainBytes) RaiseDecompressionError();
        if (Got > 0) Sink(S.Ring.get() + At, Got);
        At += Got;
    }
    if (Left != 0 || Produced != Entry.PlainBytes) RaiseDecompressionError();
}
