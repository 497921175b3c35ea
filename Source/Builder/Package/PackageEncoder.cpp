#include "PackageEncoder.h"

#include "LxExceptions.h"
#include "LxStreams.h"
#include "MySetupUtils.h"

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

std::vector<uint8_t> TPackageEncoder::Encode(const uint8_t* Data, size_t Size) {
    std::vector<uint8_t> Encoded;
    if (Size == 0) return Encoded;
    Encoded.resize(libdeflate_zlib_compress_bound(FState->Compressor, Size));
    const size_t Length =
        libdeflate_zlib_compress(FState->Compressor, Data, Size, Encoded.data(), Encoded.size());
    if (Length == 0) RaiseCompressionError();
    Encoded.resize(Length);
    TSetupfn::ScrambleBytes(Encoded.data(), Encoded.size(), 0);
    return Encoded;
}

std::string TPackageEncoder::Engine() const {
    return "libdeflate level " + std::to_string(FState->Level);
}

#else

struct TPackageEncoder::TState {};

TPackageEncoder::TPackageEncoder(int) : FState(std::make_unique<TState>()) {}

std::vector<uint8_t> TPackageEncoder::Encode(const uint8_t* Data, size_t Size) {
    TMemoryStream Stream;
    Stream.WriteBuffer(Data, static_cast<int64_t>(Size));
    TSetupfn::EncodeStream(Stream);
    return Stream.Bytes();
}

std::string TPackageEncoder::Engine() const {
    return "zlib level 9";
}

#endif

TPackageEncoder::~TPackageEncoder() = default;
