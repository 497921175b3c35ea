// Damages a built installer's package in one chosen way, for the installer's tests:
//   PackageTamper remove-data   SETUP OUT   the file data resource taken out
//   PackageTamper corrupt-file  SETUP OUT   one byte flipped in the middle of the largest stream
//                                           (of a solid package: of the largest block's frame)
//   PackageTamper bad-offset    SETUP OUT   the largest entry's offset (a solid package: the
//                                           largest block's) moved beyond the block
//   PackageTamper no-digests    SETUP OUT   the file data's digest record taken out, as in a
//                                           package built before there was one

#include "FileDataClasses.h"
#include "FileDataDigests.h"
#include "LxExceptions.h"
#include "LxStrUtils.h"
#include "PathUtils.h"
#include "PeImage.h"
#include "SetupProject.h"
#include "SolidData.h"
#include "SolidEncoder.h"

#include <cstdio>
#include <string>

namespace {

// The entry with the most encoded bytes: large enough that its middle is inside the data.
TFileData& LargestEntry(const TFileDataList& List) {
    if (List.Count() == 0) throw Exception(u"the package holds no file data entry");
    TFileData* Largest = List.Items(0);
    for (int I = 1; I < List.Count(); ++I)
        if (List.Items(I)->Bytes > Largest->Bytes) Largest = List.Items(I);
    return *Largest;
}

std::vector<uint8_t> Tamper(const std::string& Verb, std::vector<uint8_t> Block) {
    TFileDataList List;
    List.LoadFromBlock(Block.data(), Block.size());
    TFileData& Entry = LargestEntry(List);
    if (Verb == "corrupt-file") {
        Block[size_t(Entry.Offset) + size_t(Entry.Bytes) / 2] ^= 0xFF;
        return Block;
    }
    // The files as stored, then the index written again with one offset out of range.
    const uint32_t IndexLength =
        uint32_t(Block[Block.size() - 4]) | uint32_t(Block[Block.size() - 3]) << 8 |
        uint32_t(Block[Block.size() - 2]) << 16 | uint32_t(Block[Block.size() - 1]) << 24;
    std::vector<uint8_t> Files(Block.begin(), Block.end() - 4 - IndexLength);
    Entry.Offset = int32_t(Block.size() + (1u << 20));
    List.AppendIndexTo(Files);
    return Files;
}

// The same damage to solid data: its frames, then its index written again.
std::vector<uint8_t> TamperSolid(const std::string& Verb, std::vector<uint8_t> Data) {
    TSolidIndex Index;
    Index.LoadFromResource(Data.data(), Data.size());
    if (Index.Blocks.empty()) throw Exception(u"the package holds no solid block");
    TSolidBlock* Largest = &Index.Blocks[0];
    for (TSolidBlock& Block : Index.Blocks)
        if (Block.Bytes > Largest->Bytes) Largest = &Block;
    if (Verb == "corrupt-file") {
        Data[size_t(Largest->Offset) + Largest->Bytes / 2] ^= 0xFF;
        return Data;
    }
    const uint32_t IndexLength =
        uint32_t(Data[Data.size() - 4]) | uint32_t(Data[Data.size() - 3]) << 8 |
        uint32_t(Data[Data.size() - 2]) << 16 | uint32_t(Data[Data.size() - 1]) << 24;
    std::vector<uint8_t> Frames(Data.begin(), Data.end() - 4 - IndexLength);
    Largest->Offset = uint32_t(Data.size() + (1u << 20));
    AppendSolidIndex(Index, Frames);
    return Frames;
}

} // namespace

int main(int Count, char** Arguments) {
    if (Count != 4) {
        std::fprintf(stderr,
                     "usage: PackageTamper remove-data|corrupt-file|bad-offset|no-digests SETUP "
                     "OUT\n");
        return 2;
    }
    const std::string Verb = Arguments[1];
    try {
        const fs::path Input = PathFromArgument(Arguments[2]);
        TPeImage Image(ReadWholeFile(Input), FromPath(Input));
        TResourceTree Tree = Image.Resources();
        const TResourceKey Type = TResourceKey::FromId(RT_RCDATA_ID);
        const bool Solid = Tree.Find(Type, TResourceKey::FromName(SolidDataResName)) != nullptr;
        const TResourceKey Name =
            TResourceKey::FromName(Solid ? SolidDataResName : FileDataResName);
        const TResource* Data = Tree.Find(Type, Name);
        if (!Data) throw Exception(u"the installer has no file data resource");
        if (Verb == "remove-data") {
            Tree.Remove(Type, Name);
        } else if (Verb == "no-digests") {
            Tree.Remove(Type, TResourceKey::FromName(FileDataDigestsResName));
        } else if (Verb == "corrupt-file" || Verb == "bad-offset") {
            const uint16_t Language = Data->Language;
            Tree.Set(Type, Name, Language,
                     Solid ? TamperSolid(Verb, Data->Data) : Tamper(Verb, Data->Data));
        } else {
            std::fprintf(stderr, "PackageTamper: unknown verb %s\n", Verb.c_str());
            return 2;
        }
        WriteWholeFile(PathFromArgument(Arguments[3]), Image.WithResources(Tree));
    } catch (const Exception& Error) {
        std::fprintf(stderr, "PackageTamper: %s\n", WideToUtf8(Error.Message()).c_str());
        return 1;
    }
    return 0;
}
