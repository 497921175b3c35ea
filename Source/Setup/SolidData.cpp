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

struct TSolidDecoder::TState {
    ZSTD_DStream* Stream = ZSTD_createDStream();
    size_t OutSize = ZSTD_DStreamOutSize();
    std::unique_ptr<uint8_t[]> Out;
    TState() : Out(std::make_unique_for_overwrite<uint8_t[]>(OutSize)) {
        if (!Stream) throw std::bad_alloc();
        ZSTD_DCtx_setParameter(Stream, ZSTD_d_windowLogMax, MaxWindowLog);
        // The digest record guards the frames; the shipped programs carry no checksum code.
        ZSTD_DCtx_setParameter(Stream, ZSTD_d_forceIgnoreChecksum, ZSTD_d_ignoreChecksum);
    }
    ~TState() { ZSTD_freeDStream(Stream); }
};

TSolidDecoder::TSolidDecoder() : FState(std::make_unique<TState>()) {}
TSolidDecoder::~TSolidDecoder() = default;

void TSolidDecoder::Decode(const TSolidIndex& Index, size_t Block, TByteSink Sink) {
    TState& S = *FState;
    const TSolidBlock& Entry = Index.Blocks[Block];
    ZSTD_DCtx_reset(S.Stream, ZSTD_reset_session_only);
    ZSTD_inBuffer In{Index.Frame(Block), size_t(Entry.Bytes), 0};
    uint64_t Produced = 0;
    size_t Result = 1;
    // A frame ends when the decoder says so; the input must end there too.
    while (Result != 0) {
        ZSTD_outBuffer Out{S.Out.get(), S.OutSize, 0};
        Result = ZSTD_decompressStream(S.Stream, &Out, &In);
        if (ZSTD_isError(Result)) RaiseDecompressionError();
        Produced += Out.pos;
        if (Produced > Entry.PlainBytes) RaiseDecompressionError();
        if (Out.pos > 0) Sink(S.Out.get(), Out.pos);
        if (Result != 0 && In.pos == In.size && Out.pos < Out.size) RaiseDecompressionError();
    }
    if (In.pos != In.size || Produced != Entry.PlainBytes) RaiseDecompressionError();
}
