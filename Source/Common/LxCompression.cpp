#include "LxInflate.h"

#include "LxExceptions.h"
#include "LxLeanDeflate.h"
#include "LxStreams.h"

#include <algorithm>
#include <climits>
#include <vector>
#include <zlib.h>

namespace {

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

// Output goes straight into the destination when it is a memory stream.
class TOutput {
public:
    explicit TOutput(TStream& Dest) : FDest(Dest), FMemory(dynamic_cast<TMemoryStream*>(&Dest)) {
        Dest.SetPosition(0);
        Dest.SetSize(0);
        if (!FMemory) FMemory = &FTemporary;
    }
    TMemoryStream& Memory() { return *FMemory; }
    void Finish() {
        if (FMemory == &FTemporary)
            FDest.WriteBuffer(FTemporary.Memory(), FTemporary.GetSize());
        else
            FMemory->Seek(0, soEnd);
    }
    void Discard() { FMemory->Clear(); }

private:
    TStream& FDest;
    TMemoryStream* FMemory;
    TMemoryStream FTemporary;
};

#ifndef ONESETUP_LEAN_DEFLATE
// zlib counts in 32-bit units; larger buffers go in slices.
constexpr size_t MaxSlice = UINT_MAX / 2;

uInt Slice(size_t Size) {
    return static_cast<uInt>(std::min(Size, MaxSlice));
}

// Runs one whole-buffer zlib pass: feeds the input in 32-bit slices and lets zlib write
// straight into the output's spare room until the stream ends. Step makes one zlib call,
// told whether the last input has been given, and raises on failure. End releases zlib's state.
template <class TStep, class TEnd>
void Pump(z_stream& Z, const TSourceBytes& Input, TOutput& Output, size_t Hint, TStep Step,
          TEnd End) {
    try {
        size_t InDone = 0;
        for (;;) {
            if (Z.avail_in == 0 && InDone < Input.Size) {
                Z.next_in = const_cast<Bytef*>(Input.Data + InDone);
                Z.avail_in = Slice(Input.Size - InDone);
                InDone += Z.avail_in;
            }
            size_t Room;
            Z.next_out = Output.Memory().Reserve(Hint, Room);
            Z.avail_out = Slice(Room);
            const uInt Given = Z.avail_out;
            const int Result = Step(InDone == Input.Size);
            Output.Memory().Commit(Given - Z.avail_out);
            if (Result == Z_STREAM_END) break;
            Hint = std::max<size_t>(Hint, size_t(Output.Memory().GetSize()));
        }
    } catch (...) {
        End();
        Output.Discard();
        throw;
    }
    End();
    Output.Finish();
}
#endif

} // namespace

void TLxSysfn::CompressStream(TStream* Source, TStream* Dest) {
    LX_ASSERT(Source != nullptr && Dest != nullptr);
    const TSourceBytes Input(*Source);
    TOutput Output(*Dest);
    if (Input.Size == 0) return;

#ifdef ONESETUP_LEAN_DEFLATE
    const std::vector<uint8_t> Compressed = LeanDeflate(Input.Data, Input.Size);
    Output.Memory().WriteBuffer(Compressed.data(), int64_t(Compressed.size()));
    Output.Finish();
#else
    z_stream Z{};
    if (deflateInit2(&Z, Z_BEST_COMPRESSION, Z_DEFLATED, MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        RaiseCompressionError();
    const size_t Hint =
        size_t(deflateBound(&Z, static_cast<uLong>(std::min(Input.Size, MaxSlice))));
    Pump(
        Z, Input, Output, Hint,
        [&](bool LastInput) {
            const int Result = deflate(&Z, LastInput ? Z_FINISH : Z_NO_FLUSH);
            if (Result != Z_OK && Result != Z_BUF_ERROR && Result != Z_STREAM_END)
                RaiseCompressionError();
            return Result;
        },
        [&] { deflateEnd(&Z); });
#endif
}

void TLxSysfn::DecompressStream(TStream* Source, TStream* Dest) {
    LX_ASSERT(Source != nullptr && Dest != nullptr);
    const TSourceBytes Input(*Source);
    TOutput Output(*Dest);
    if (Input.Size == 0) return;
    try {
        TZInflater Inflater;
        // Out of input before the end means the stream was cut short.
        if (!Inflater.Push(Input.Data, Input.Size, [&](const uint8_t* Data, size_t Size) {
                Output.Memory().WriteBuffer(Data, int64_t(Size));
            }))
            RaiseDecompressionError();
    } catch (...) {
        Output.Discard();
        throw;
    }
    Output.Finish();
}
