// The file-data index over a resource block, as the installer and `onesetup extract` load it:
// any block loads or raises the library's errors; every entry lies inside the block; the
// index written again over the same files loads to the same entries; every stream decodes
// or raises, and its decoder stops when its sink does. An input that starts with '<' is the
// index itself, put behind 512 bytes of files, so that entries reach the checks unencoded.
// The same bytes as solid data: its index loads or raises, every block and file lies inside
// what it claims, and each frame decodes or raises, giving no more than its block says.

#include "FileDataClasses.h"
#include "FuzzSupport.h"
#include "LxStreams.h"
#include "MySetupUtils.h"
#include "SolidData.h"

#include <vector>

namespace {

struct TStop {};

std::vector<uint8_t> Assembled(const uint8_t* Data, size_t Size) {
    std::vector<uint8_t> Block(512);
    for (size_t I = 0; I < Block.size(); ++I)
        Block[I] = uint8_t(I * 7);
    TMemoryStream Index;
    Index.WriteBuffer(Data, int64_t(Size));
    TSetupfn::EncodeStream(Index);
    const std::vector<uint8_t> Encoded = Index.Bytes();
    Block.insert(Block.end(), Encoded.begin(), Encoded.end());
    for (int Shift = 0; Shift < 32; Shift += 8)
        Block.push_back(uint8_t(Encoded.size() >> Shift));
    return Block;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    // Copied, so that the sanitizer sees any read past the block.
    const std::vector<uint8_t> Block = Size > 0 && Data[0] == '<'
                                           ? Assembled(Data, Size)
                                           : std::vector<uint8_t>(Data, Data + Size);
    Data = Block.data();
    Size = Block.size();
    TSolidIndex Solid;
    if (OwnErrorsOnly([&] { Solid.LoadFromResource(Block.data(), Block.size()); })) {
        for (const TSolidBlock& Entry : Solid.Blocks)
            FUZZ_CHECK(uint64_t(Entry.Offset) + Entry.Bytes <= Size);
        for (const TSolidFile& File : Solid.Files)
            FUZZ_CHECK(File.Block < Solid.Blocks.size() &&
                       File.Offset + File.Bytes <= Solid.Blocks[File.Block].PlainBytes);
        TSolidDecoder Decoder;
        for (size_t B = 0; B < Solid.Blocks.size() && B < 4; ++B) {
            uint64_t Got = 0;
            try {
                Decoder.Decode(Solid, B, [&](const uint8_t*, size_t Count) {
                    Got += Count;
                    FUZZ_CHECK(Got <= Solid.Blocks[B].PlainBytes);
                    if (Got > (1u << 20)) throw TStop{};
                });
            } catch (const TStop&) {
            } catch (const Exception&) {
            }
        }
    }

    TFileDataList List;
    {
        const THeapMeter Meter;
        if (!OwnErrorsOnly([&] { List.LoadFromBlock(Block.data(), Block.size()); })) return 0;
        // The index decodes to at most DecodeLimit(Size), and the list holds a bounded
        // multiple of that.
        Meter.Check(TSetupfn::DecodeLimit(Size), 160, 0);
    }

    uint32_t Sum = 0;
    for (int I = 0; I < List.Count(); ++I) {
        const TFileData& Entry = *List.Items(I);
        FUZZ_CHECK(Entry.Size() == size_t(Entry.Bytes));
        FUZZ_CHECK(Entry.Data() >= Block.data() &&
                   Entry.Data() + Entry.Size() <= Block.data() + Size);
        for (size_t K = 0; K < Entry.Size(); ++K)
            Sum += Entry.Data()[K];
        if (I < 64) FUZZ_CHECK(List.IndexOfGUID(Entry.GUID) <= I);
    }
    (void)Sum;

    // The files as they are, the index written again.
    const size_t IndexEnd = Size - 4;
    const uint32_t Stored = uint32_t(Block[IndexEnd]) | uint32_t(Block[IndexEnd + 1]) << 8 |
                            uint32_t(Block[IndexEnd + 2]) << 16 |
                            uint32_t(Block[IndexEnd + 3]) << 24;
    std::vector<uint8_t> Rewritten(Block.begin(),
                                   Block.begin() + std::ptrdiff_t(IndexEnd - Stored));
    // Entries may reach into the old index: keep the block at least as long.
    Rewritten.resize(IndexEnd, 0);
    List.AppendIndexTo(Rewritten);
    TFileDataList Again;
    Again.LoadFromBlock(Rewritten.data(), Rewritten.size());
    FUZZ_CHECK(Again.Count() == List.Count());
    for (int I = 0; I < List.Count(); ++I) {
        const TFileData& A = *List.Items(I);
        const TFileData& B = *Again.Items(I);
        FUZZ_CHECK(A.GUID == B.GUID && A.Offset == B.Offset && A.Bytes == B.Bytes);
    }

    // Each stream decodes or fails cleanly; a sink that stops after a little stops it.
    for (int I = 0; I < List.Count() && I < 16; ++I) {
        const TFileData& Entry = *List.Items(I);
        size_t Taken = 0;
        try {
            TSetupfn::DecodeRange(Entry.Data(), Entry.Size(), [&](const uint8_t*, size_t Count) {
                if ((Taken += Count) > 4096) throw TStop{};
            });
        } catch (const TStop&) {
        } catch (const Exception&) {
        }
    }
    return 0;
}
