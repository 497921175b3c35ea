#include "LxExceptions.h"
#include "LxInflate.h"
#include "LxStrUtils.h"
#include "LxStreams.h"
#include "MySetupUtils.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>

namespace {

constexpr size_t KeyPeriod = 255;
// As large as the inflater's output chunk, so that most writes are whole chunks.
constexpr size_t PieceSize = 256 * 1024;

// The key bytes 0..254 repeated, long enough that any piece can start at any phase. Made at
// run time on the heap: as static data it would add its whole size to every installer. Threads
// decode at once and the shipped programs' local statics have no guard: the first pattern
// published wins, and lives as long as the process.
const uint8_t* KeyPattern() {
    static std::atomic<uint8_t*> Published{nullptr};
    if (uint8_t* Pattern = Published.load(std::memory_order_acquire)) return Pattern;
    auto Bytes = std::make_unique<uint8_t[]>(PieceSize + KeyPeriod);
    for (size_t I = 0; I < PieceSize + KeyPeriod; ++I)
        Bytes[I] = static_cast<uint8_t>(I % KeyPeriod);
    uint8_t* Expected = nullptr;
    if (Published.compare_exchange_strong(Expected, Bytes.get(), std::memory_order_acq_rel))
        return Bytes.release();
    return Expected;
}

// XORs one piece of at most PieceSize bytes from Source into Dest (which may be the same),
// eight at a time.
void XorPiece(const uint8_t* Source, uint8_t* Dest, size_t Size, const uint8_t* Key) {
    size_t I = 0;
    for (; I + 8 <= Size; I += 8) {
        uint64_t Word, KeyWord;
        std::memcpy(&Word, Source + I, 8);
        std::memcpy(&KeyWord, Key + I, 8);
        Word ^= KeyWord;
        std::memcpy(Dest + I, &Word, 8);
    }
    for (; I < Size; ++I)
        Dest[I] = Source[I] ^ Key[I];
}

void Scramble(const uint8_t* Source, uint8_t* Dest, size_t Size, uint64_t StartIndex) {
    const uint8_t* Pattern = KeyPattern();
    size_t Phase = static_cast<size_t>(StartIndex % KeyPeriod);
    while (Size > 0) {
        const size_t Piece = std::min(Size, PieceSize);
        XorPiece(Source, Dest, Piece, Pattern + Phase);
        Phase = (Phase + Piece) % KeyPeriod;
        Source += Piece;
        Dest += Piece;
        Size -= Piece;
    }
}

} // namespace

void TSetupfn::ScrambleBytes(uint8_t* Data, size_t Size, uint64_t StartIndex) {
    Scramble(Data, Data, Size, StartIndex);
}

void TSetupfn::EncodeStream(TMemoryStream& Stream) {
    Stream.SetPosition(0);
    TMemoryStream Compressed;
    TLxSysfn::CompressStream(&Stream, &Compressed);
    Stream.Swap(Compressed);
    ScrambleBytes(Stream.Memory(), static_cast<size_t>(Stream.GetSize()), 0);
    Stream.SetPosition(0);
}

void TSetupfn::DecodeStream(TMemoryStream& Stream) {
    ScrambleBytes(Stream.Memory(), static_cast<size_t>(Stream.GetSize()), 0);
    Stream.SetPosition(0);
    TMemoryStream Plain;
    TLxSysfn::DecompressStream(&Stream, &Plain);
    Stream.Swap(Plain);
    Stream.SetPosition(0);
}

struct TPackageDecoder::TState {
    TZInflater Inflater;
    uint8_t Piece[PieceSize];
};

TPackageDecoder::TPackageDecoder() = default;
TPackageDecoder::~TPackageDecoder() = default;

void TPackageDecoder::Decode(const uint8_t* Data, size_t Size, TByteSink Sink) {
    if (Size == 0) return;
    // Made at the first stream; its piece is written before it is read, so not cleared.
    if (!FState) FState.reset(new TState);
    TZInflater& Inflater = FState->Inflater;
    Inflater.Reset();
    for (size_t Done = 0; Done < Size && !Inflater.Finished();) {
        const size_t Piece = std::min(Size - Done, PieceSize);
        Scramble(Data + Done, FState->Piece, Piece, Done);
        Inflater.Push(FState->Piece, Piece, Sink);
        Done += Piece;
    }
    if (!Inflater.Finished()) RaiseDecompressionError();
}

void TSetupfn::DecodeRange(const uint8_t* Data, size_t Size, TByteSink Sink) {
    TPackageDecoder().Decode(Data, Size, Sink);
}

void TSetupfn::DecodeBounded(const uint8_t* Data, size_t Size, TMemoryStream& Out) {
    Out.Clear();
    const size_t Limit = DecodeLimit(Size);
    DecodeRange(Data, Size, [&](const uint8_t* Piece, size_t Count) {
        if (size_t(Out.GetSize()) + Count > Limit)
            throw EZDecompressionError(
                FormatText(u"the content decodes to more than %d bytes", int64_t(Limit)));
        Out.WriteBuffer(Piece, int64_t(Count));
    });
    Out.SetPosition(0);
}
