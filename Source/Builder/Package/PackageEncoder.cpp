#include "PackageEncoder.h"

#include "LxExceptions.h"
#include "LxStreams.h"
#include "MySetupUtils.h"

#include <algorithm>
#include <cstring>
#include <zlib.h>

uint8_t* TPackageEncoder::Reserve(size_t Size) {
    if (Size > FCapacity) {
        FBuffer.reset();
        FBuffer = std::make_unique_for_overwrite<uint8_t[]>(Size);
        FCapacity = Size;
    }
    return FBuffer.get();
}

#ifdef ONESETUP_HAVE_LIBDEFLATE
#include <libdeflate.h>

struct TPackageEncoder::TState {
    int Level;
    libdeflate_compressor* Compressor;
    explicit TState(int Level) : Level(Level), Compressor(libdeflate_alloc_compressor(Level)) {}
    ~TState() { libdeflate_free_compressor(Compressor); }
};

TPackageEncoder::TPackageEncoder(int Level) : FState(std::make_unique<TState>(Level)) {
    if (!FState->Compressor) throw std::bad_alloc();
}

std::span<const uint8_t> TPackageEncoder::Encode(const uint8_t* Data, size_t Size) {
    if (Size == 0) return {};
    const size_t Bound = libdeflate_zlib_compress_bound(FState->Compressor, Size);
    uint8_t* Out = Reserve(Bound);
    const size_t Length = libdeflate_zlib_compress(FState->Compressor, Data, Size, Out, Bound);
    if (Length == 0) RaiseCompressionError();
    TSetupfn::ScrambleBytes(Out, Length, 0);
    return {Out, Length};
}

std::string TPackageEncoder::Engine() const {
    return "libdeflate level " + std::to_string(FState->Level);
}

#else

struct TPackageEncoder::TState {};

TPackageEncoder::TPackageEncoder(int) : FState(std::make_unique<TState>()) {}

std::span<const uint8_t> TPackageEncoder::Encode(const uint8_t* Data, size_t Size) {
    if (Size == 0) return {};
    TMemoryStream Stream;
    Stream.WriteBuffer(Data, static_cast<int64_t>(Size));
    TSetupfn::EncodeStream(Stream);
    const size_t Length = size_t(Stream.GetSize());
    uint8_t* Out = Reserve(Length);
    std::memcpy(Out, Stream.Memory(), Length);
    return {Out, Length};
}

std::string TPackageEncoder::Engine() const {
    return "zlib level 9";
}

#endif

struct TPackageEncoder::TChunkDeflater {
    z_stream Stream{};
    TChunkDeflater() {
        // zlib's best with the most memory it can use for its matches: a lower level gives larger
        // files than other builders' zlib streams.
        if (deflateInit2(&Stream, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
            RaiseCompressionError();
    }
    ~TChunkDeflater() { deflateEnd(&Stream); }
    TChunkDeflater(const TChunkDeflater&) = delete;
    TChunkDeflater& operator=(const TChunkDeflater&) = delete;
};

size_t TPackageEncoder::EncodeChunk(const uint8_t* Data, size_t Primed, size_t Size, bool Last,
                                    std::vector<uint8_t>& Out) {
    if (!FChunkDeflater) FChunkDeflater = std::make_unique<TChunkDeflater>();
    z_stream& Z = FChunkDeflater->Stream;
    if (deflateReset(&Z) != Z_OK) RaiseCompressionError();
    if (Primed && deflateSetDictionary(&Z, Data, uInt(Primed)) != Z_OK) RaiseCompressionError();
    // The bound leaves out the flush's empty stored block.
    const size_t Bound = deflateBound(&Z, uLong(Size)) + 16;
    if (Out.size() < Bound) Out.resize(Bound);
    Z.next_in = const_cast<uint8_t*>(Data + Primed);
    Z.avail_in = uInt(Size);
    const int Flush = Last ? Z_FINISH : Z_SYNC_FLUSH;
    size_t Length = 0;
    for (;;) {
        Z.next_out = Out.data() + Length;
        Z.avail_out = uInt(Out.size() - Length);
        const int Result = deflate(&Z, Flush);
        if (Result != Z_OK && Result != Z_STREAM_END && Result != Z_BUF_ERROR)
            RaiseCompressionError();
        Length = Out.size() - Z.avail_out;
        if (Last ? Result == Z_STREAM_END : Z.avail_out != 0) return Length;
        Out.resize(Out.size() * 2);
    }
}

std::array<uint8_t, 2> TPackageEncoder::StreamHead() {
    // What zlib writes for a 32 KiB window at level 9.
    return {0x78, 0xDA};
}

std::array<uint8_t, 4> TPackageEncoder::StreamTail(uint32_t Adler) {
    return {uint8_t(Adler >> 24), uint8_t(Adler >> 16), uint8_t(Adler >> 8), uint8_t(Adler)};
}

TPackageEncoder::~TPackageEncoder() = default;
