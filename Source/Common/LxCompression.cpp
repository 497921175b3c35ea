#include "LxCompression.h"

#include "LxExceptions.h"
#include "LxStreams.h"

#include <algorithm>
#include <climits>
#include <vector>
#include <zlib.h>

namespace {

// zlib counts in 32-bit units; larger buffers go in slices.
constexpr size_t MaxSlice = UINT_MAX / 2;

uInt Slice(size_t Size) { return static_cast<uInt>(std::min(Size, MaxSlice)); }

// The source's whole content from its beginning, without a copy when it is already in memory.
struct TSourceBytes {
    std::vector<uint8_t> Copy;
    const uint8_t* Data = nullptr;
    size_t Size = 0;

    explicit TSourceBytes(TStream& Source) {
        const int64_t Length = Source.GetSize();
        if (Length <= 0) return;
        if (auto* Memory = dynamic_cast<TCustomMemoryStream*>(&Source)) {
            Data = Memory->Memory();
        } else {
            Copy.resize(static_cast<size_t>(Length));
            Source.SetPosition(0);
            Source.ReadBuffer(Copy.data(), Length);
            Data = Copy.data();
        }
        Size = static_cast<size_t>(Length);
    }
};

void Deliver(std::vector<uint8_t>&& Bytes, TStream& Dest) {
    if (auto* Memory = dynamic_cast<TMemoryStream*>(&Dest)) {
        Memory->Adopt(std::move(Bytes));
        Memory->Seek(0, soEnd);
    } else {
        Dest.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
    }
}

void Empty(TStream& Dest) {
    Dest.SetPosition(0);
    Dest.SetSize(0);
}

} // namespace

void TLxSysfn::CompressStream(TStream* Source, TStream* Dest) {
    LX_ASSERT(Source != nullptr && Dest != nullptr);
    Empty(*Dest);
    const TSourceBytes Input(*Source);
    if (Input.Size == 0) return;

    z_stream Z{};
    if (deflateInit2(&Z, Z_BEST_COMPRESSION, Z_DEFLATED, MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        RaiseCompressionError();
    std::vector<uint8_t> Output;
    try {
        Output.resize(static_cast<size_t>(deflateBound(&Z, static_cast<uLong>(Input.Size))) + 64);
        size_t InDone = 0;
        size_t OutDone = 0;
        for (;;) {
            if (Z.avail_in == 0 && InDone < Input.Size) {
                Z.next_in = const_cast<Bytef*>(Input.Data + InDone);
                Z.avail_in = Slice(Input.Size - InDone);
                InDone += Z.avail_in;
            }
            if (OutDone == Output.size()) Output.resize(Output.size() + Output.size() / 8 + 256);
            Z.next_out = Output.data() + OutDone;
            Z.avail_out = Slice(Output.size() - OutDone);
            const uInt Room = Z.avail_out;
            const int Result = deflate(&Z, InDone == Input.Size ? Z_FINISH : Z_NO_FLUSH);
            OutDone += Room - Z.avail_out;
            if (Result == Z_STREAM_END) break;
            if (Result != Z_OK && Result != Z_BUF_ERROR) RaiseCompressionError();
        }
        Output.resize(OutDone);
    } catch (...) {
        deflateEnd(&Z);
        throw;
    }
    deflateEnd(&Z);
    Deliver(std::move(Output), *Dest);
}

void TLxSysfn::DecompressStream(TStream* Source, TStream* Dest) {
    LX_ASSERT(Source != nullptr && Dest != nullptr);
    Empty(*Dest);
    const TSourceBytes Input(*Source);
    if (Input.Size == 0) return;

    z_stream Z{};
    if (inflateInit(&Z) != Z_OK) RaiseDecompressionError();
    std::vector<uint8_t> Output;
    try {
        Output.resize(std::max<size_t>((Input.Size + 255) / 256 * 256 * 4, 4096));
        size_t InDone = 0;
        size_t OutDone = 0;
        for (;;) {
            if (Z.avail_in == 0 && InDone < Input.Size) {
                Z.next_in = const_cast<Bytef*>(Input.Data + InDone);
                Z.avail_in = Slice(Input.Size - InDone);
                InDone += Z.avail_in;
            }
            if (OutDone == Output.size()) Output.resize(Output.size() * 2);
            Z.next_out = Output.data() + OutDone;
            Z.avail_out = Slice(Output.size() - OutDone);
            const uInt Room = Z.avail_out;
            const int Result = inflate(&Z, Z_NO_FLUSH);
            OutDone += Room - Z.avail_out;
            if (Result == Z_STREAM_END) break;
            // Out of input before the end means the stream was cut short.
            const bool Starved = Result == Z_BUF_ERROR && Z.avail_in == 0 && InDone == Input.Size;
            if ((Result != Z_OK && Result != Z_BUF_ERROR) || Starved) RaiseDecompressionError();
        }
        Output.resize(OutDone);
    } catch (...) {
        inflateEnd(&Z);
        throw;
    }
    inflateEnd(&Z);
    Deliver(std::move(Output), *Dest);
}

struct TZInflater::TState {
    z_stream Z{};
    std::unique_ptr<uint8_t[]> Buffer{new uint8_t[OutputChunk]};
};

TZInflater::TZInflater() : FState(std::make_unique<TState>()) {
    if (inflateInit(&FState->Z) != Z_OK) RaiseDecompressionError();
}

TZInflater::~TZInflater() { inflateEnd(&FState->Z); }

bool TZInflater::Push(const uint8_t* Data, size_t Size, TByteSink Sink) {
    z_stream& Z = FState->Z;
    while (!FFinished && Size > 0) {
        Z.next_in = const_cast<Bytef*>(Data);
        Z.avail_in = Slice(Size);
        const size_t Given = Z.avail_in;
        // Drain everything this slice produces before taking more input.
        for (;;) {
            Z.next_out = FState->Buffer.get();
            Z.avail_out = OutputChunk;
            const int Result = inflate(&Z, Z_NO_FLUSH);
            const size_t Produced = OutputChunk - Z.avail_out;
            if (Result == Z_STREAM_END) FFinished = true;
            else if (Result != Z_OK && Result != Z_BUF_ERROR)
                RaiseDecompressionError();
            if (Produced > 0) Sink(FState->Buffer.get(), Produced);
            if (FFinished || (Z.avail_in == 0 && Z.avail_out != 0)) break;
            if (Result == Z_BUF_ERROR && Produced == 0) break;
        }
        const size_t Used = Given - Z.avail_in;
        Data += Used;
        Size -= Used;
        if (Used == 0 && !FFinished) break;
    }
    return FFinished;
}
