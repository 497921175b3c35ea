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

namespace {

struct TDeflater {
    z_stream Stream{};
    explicit TDeflater(int Level) {
        // The most memory zlib can use for its matches: a little smaller for a little time.
        if (deflateInit2(&Stream, Level, Z_DEFLATED, 15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
            RaiseCompressionError();
    }
    ~TDeflater() { deflateEnd(&Stream); }
    TDeflater(const TDeflater&) = delete;
    TDeflater& operator=(const TDeflater&) = delete;
};

} // namespace

void TPackageEncoder::EncodePieces(TFunctionRef<size_t(uint8_t*, size_t)> Read, TByteSink Sink) {
    // zlib's best: a lower level gives larger files than other installers' zlib streams.
    TDeflater Deflater(9);
    z_stream& Z = Deflater.Stream;
    uint8_t* In = Reserve(2 * PieceSize);
    uint8_t* Out = In + PieceSize;
    uint64_t Written = 0;
    int Flush = Z_NO_FLUSH;
    do {
        const size_t Got = Read(In, PieceSize);
        Flush = Got == 0 ? Z_FINISH : Z_NO_FLUSH;
        Z.next_in = In;
        Z.avail_in = uInt(Got);
        do {
            Z.next_out = Out;
            Z.avail_out = uInt(PieceSize);
            const int Result = deflate(&Z, Flush);
            if (Result == Z_STREAM_ERROR) RaiseCompressionError();
            const size_t Length = PieceSize - Z.avail_out;
            TSetupfn::ScrambleBytes(Out, Length, Written);
            Written += Length;
            if (Length) Sink(Out, Length);
        } while (Z.avail_out == 0);
    } while (Flush != Z_FINISH);
}

TPackageEncoder::~TPackageEncoder() = default;
