// The inflater against zlib's on any bytes, fed in pieces whose size comes from the input: both
// take or refuse the same streams and make the same bytes of those they take. And any content
// compressed by zlib, with a level and strategy from the input, inflates back to it.

#include "FuzzSupport.h"
#include "LxInflate.h"

#include <vector>
#include <zlib.h>

namespace {

bool ZlibInflate(const uint8_t* Data, size_t Size, std::vector<uint8_t>& Out) {
    z_stream Z{};
    if (inflateInit(&Z) != Z_OK) return false;
    Z.next_in = const_cast<Bytef*>(Data);
    Z.avail_in = uInt(Size);
    uint8_t Buffer[16384];
    int Result;
    do {
        Z.next_out = Buffer;
        Z.avail_out = sizeof Buffer;
        Result = inflate(&Z, Z_NO_FLUSH);
        Out.insert(Out.end(), Buffer, Buffer + (sizeof Buffer - Z.avail_out));
    } while (Result == Z_OK);
    inflateEnd(&Z);
    return Result == Z_STREAM_END;
}

bool Inflate(TZInflater& Inflater, const uint8_t* Data, size_t Size, size_t Piece,
             std::vector<uint8_t>& Out) {
    return OwnErrorsOnly([&] {
        Inflater.Reset();
        for (size_t Done = 0; Done < Size && !Inflater.Finished(); Done += Piece)
            Inflater.Push(Data + Done, std::min(Piece, Size - Done),
                          [&](const uint8_t* Bytes, size_t Count) {
                              FUZZ_CHECK(Count > 0 && Count <= TZInflater::OutputChunk);
                              Out.insert(Out.end(), Bytes, Bytes + Count);
                          });
        if (!Inflater.Finished()) RaiseDecompressionError();
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 2) return 0;
    // One byte each for the piece size and the compression's settings, the rest is the stream.
    static const size_t Pieces[] = {1, 2, 3, 7, 16, 100, 4096, 65537, size_t(1) << 30};
    const size_t Piece = Pieces[Data[0] % std::size(Pieces)];
    const uint8_t Settings = Data[1];
    Data += 2;
    Size -= 2;

    TZInflater Inflater;
    std::vector<uint8_t> Ours, Theirs;
    const bool Taken = Inflate(Inflater, Data, Size, Piece, Ours);
    FUZZ_CHECK(Taken == ZlibInflate(Data, Size, Theirs));
    if (Taken) FUZZ_CHECK(Ours == Theirs);

    static const int Strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE,
                                     Z_FIXED};
    z_stream Z{};
    FUZZ_CHECK(deflateInit2(&Z, Settings % 10, Z_DEFLATED, 8 + Settings / 10 % 8,
                            1 + Settings / 80 % 9, Strategies[Settings % 5]) == Z_OK);
    std::vector<uint8_t> Packed(deflateBound(&Z, uLong(Size)) + 16);
    Z.next_in = const_cast<Bytef*>(Data);
    Z.avail_in = uInt(Size);
    Z.next_out = Packed.data();
    Z.avail_out = uInt(Packed.size());
    FUZZ_CHECK(deflate(&Z, Z_FINISH) == Z_STREAM_END);
    Packed.resize(Z.total_out);
    deflateEnd(&Z);
    Ours.clear();
    FUZZ_CHECK(Inflate(Inflater, Packed.data(), Packed.size(), Piece, Ours));
    FUZZ_CHECK(Ours == std::vector<uint8_t>(Data, Data + Size));
    return 0;
}
