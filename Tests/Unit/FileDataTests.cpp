#include "FileDataClasses.h"
#include "LxExceptions.h"
#include "MySetupUtils.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

std::vector<uint8_t> EncodeBytes(std::vector<uint8_t> Plain) {
    TMemoryStream Stream;
    Stream.Adopt(std::move(Plain));
    TSetupfn::EncodeStream(Stream);
    return Stream.Release();
}

std::vector<uint8_t> DecodeBytes(const uint8_t* Data, size_t Size) {
    TMemoryStream Stream;
    Stream.WriteBuffer(Data, int64_t(Size));
    TSetupfn::DecodeStream(Stream);
    return Stream.Release();
}

// A block as the package builder writes it: some lead-in, then each file encoded on its own.
struct TBlockBuilder {
    std::vector<uint8_t> Block = Bytes("lead-in bytes nobody reads");
    TFileDataList Index;

    void AddFile(const std::vector<uint8_t>& Plain, const char16_t* Guid) {
        const std::vector<uint8_t> Encoded = EncodeBytes(Plain);
        auto Entry = std::make_unique<TFileData>();
        Entry->GUID = Guid;
        Entry->Offset = int32_t(Block.size());
        Entry->Bytes = int32_t(Encoded.size());
        Index.Add(std::move(Entry));
        Block.insert(Block.end(), Encoded.begin(), Encoded.end());
        Block.push_back(0xEE); // filler between files
    }
    std::vector<uint8_t> Finish() {
        Index.AppendIndexTo(Block);
        return Block;
    }
};

// A block whose index is the given XML text, encoded, followed by its length.
std::vector<uint8_t> BlockWithIndex(std::vector<uint8_t> Files, std::string_view IndexXml) {
    const std::vector<uint8_t> Encoded = EncodeBytes(Bytes(IndexXml));
    Files.insert(Files.end(), Encoded.begin(), Encoded.end());
    const uint32_t Length = uint32_t(Encoded.size());
    for (int Shift = 0; Shift < 32; Shift += 8)
        Files.push_back(uint8_t(Length >> Shift));
    return Files;
}

std::string IndexXml(std::string_view Entries) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<TFileDataList><Items>" +
           std::string(Entries) + "</Items></TFileDataList>\r\n";
}

void ExpectReadError(const std::vector<uint8_t>& Block, const char* Why) {
    TFileDataList List;
    try {
        List.LoadFromBlock(Block.data(), Block.size());
        ADD_FAILURE() << "no error for " << Why;
    } catch (const EReadError& E) {
        EXPECT_EQ(E.Message(), u"Stream read error") << Why;
    }
}

} // namespace

TEST(FileDataTests, EntriesPointAtTheirEncodedFiles) {
    TBlockBuilder Builder;
    const std::vector<uint8_t> First = SampleContent(70000, 1);
    const std::vector<uint8_t> Second = Bytes("second file");
    Builder.AddFile(First, u"{11111111-1111-1111-1111-111111111111}");
    Builder.AddFile(Second, u"{22222222-2222-2222-2222-222222222222}");
    Builder.AddFile({}, u"{33333333-3333-3333-3333-333333333333}");
    const std::vector<uint8_t> Block = Builder.Finish();

    TFileDataList List;
    List.LoadFromBlock(Block.data(), Block.size());
    ASSERT_EQ(List.Count(), 3);
    EXPECT_TRUE(List.ItemsEqual(&Builder.Index));

    const TFileData* A = List.FindByGUID(u"{11111111-1111-1111-1111-111111111111}");
    ASSERT_NE(A, nullptr);
    EXPECT_EQ(A->Data(), Block.data() + A->Offset);
    EXPECT_EQ(DecodeBytes(A->Data(), A->Size()), First);
    TFileData* B = List.FindByGUID(u"{22222222-2222-2222-2222-222222222222}");
    ASSERT_NE(B, nullptr);
    EXPECT_EQ(B->Stream().GetSize(), B->Bytes);
    EXPECT_EQ(DecodeBytes(B->Data(), B->Size()), Second);
    // An empty file encodes to nothing: no bytes at all.
    EXPECT_EQ(List.FindByGUID(u"{33333333-3333-3333-3333-333333333333}")->Size(), 0u);
    EXPECT_EQ(List.IndexOfGUID(u"{22222222-2222-2222-2222-222222222222}"), 1);
}

TEST(FileDataTests, LoadingReplacesEarlierEntries) {
    TBlockBuilder Builder;
    Builder.AddFile(Bytes("x"), u"{A}");
    const std::vector<uint8_t> Full = Builder.Finish();
    const std::vector<uint8_t> Empty = BlockWithIndex({}, IndexXml(""));

    TFileDataList List;
    List.LoadFromBlock(Full.data(), Full.size());
    ASSERT_EQ(List.Count(), 1);
    List.LoadFromBlock(Empty.data(), Empty.size());
    EXPECT_EQ(List.Count(), 0);
    EXPECT_EQ(List.FindByGUID(u"{A}"), nullptr);
}

TEST(FileDataTests, GuidLookupIsExactAndTakesTheFirst) {
    const std::vector<uint8_t> Block = BlockWithIndex(
        Bytes("0123456789"), IndexXml("<TFileData Bytes=\"2\" GUID=\"{ab}\" Offset=\"1\"/>"
                                      "<Other Bytes=\"3\" GUID=\"{ab}\" Offset=\"5\"/>"
                                      "<TFileData Bytes=\"0\" GUID=\"{cd}\" Offset=\"9\"/>"));
    TFileDataList List;
    List.LoadFromBlock(Block.data(), Block.size());
    ASSERT_EQ(List.Count(), 3);
    EXPECT_EQ(List.IndexOfGUID(u"{ab}"), 0);
    TFileData* First = List.FindByGUID(u"{ab}");
    ASSERT_NE(First, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(First->Data()), First->Size()), "12");
    EXPECT_EQ(List.Items(1)->ClassName(), u"TFileData");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(List.Items(1)->Data()), 3), "567");
    EXPECT_EQ(List.FindByGUID(u"{AB}"), nullptr);
    EXPECT_EQ(List.IndexOfGUID(u"{Ab}"), -1);
    EXPECT_EQ(List.FindByGUID(u"{cd}")->Stream().GetSize(), 0);
}

TEST(FileDataTests, BlocksThatReachOutsideRaiseReadError) {
    const std::vector<uint8_t> Files = Bytes("0123456789");
    ExpectReadError({}, "empty block");
    ExpectReadError({1, 0, 0}, "three bytes");
    ExpectReadError({0xFF, 0xFF, 0xFF, 0xFF}, "negative length");
    ExpectReadError({0, 1, 2, 3, 5, 0, 0, 0}, "length past the start");
    ExpectReadError({0, 0, 0, 0x80}, "most negative length");

    auto WithEntry = [&](const char* Attributes) {
        return BlockWithIndex(
            Files, IndexXml(std::string("<TFileData GUID=\"{x}\" ") + Attributes + "/>"));
    };
    ExpectReadError(WithEntry("Offset=\"-1\" Bytes=\"2\""), "negative offset");
    ExpectReadError(WithEntry("Offset=\"0\" Bytes=\"-1\""), "negative size");
    ExpectReadError(WithEntry("Offset=\"2147483647\" Bytes=\"2147483647\""), "huge entry");
    // The block's size depends on the index text, so settle the offset by a few rounds.
    auto EntryAt = [&](size_t FromEnd) {
        std::vector<uint8_t> Block = WithEntry("");
        for (int Round = 0; Round < 5; ++Round) {
            const std::string Entry =
                "Offset=\"" + std::to_string(Block.size() - FromEnd) + "\" Bytes=\"4\"";
            std::vector<uint8_t> Next = WithEntry(Entry.c_str());
            if (Next.size() == Block.size()) return Next;
            Block = std::move(Next);
        }
        ADD_FAILURE() << "block size does not settle";
        return Block;
    };
    ExpectReadError(EntryAt(3), "entry past the block");
    // The last byte of the block is still inside it.
    const std::vector<uint8_t> Block = EntryAt(4);
    TFileDataList List;
    List.LoadFromBlock(Block.data(), Block.size());
    EXPECT_EQ(List.Items(0)->Data(), Block.data() + Block.size() - 4);
}

TEST(FileDataTests, BrokenIndexRaisesTheLayersError) {
    std::vector<uint8_t> NotEncoded = Bytes("<TFileDataList/>");
    NotEncoded.insert(NotEncoded.end(), {16, 0, 0, 0});
    TFileDataList List;
    try {
        List.LoadFromBlock(NotEncoded.data(), NotEncoded.size());
        ADD_FAILURE() << "undecodable index accepted";
    } catch (const EZDecompressionError& E) {
        EXPECT_EQ(E.Message(), u"Error");
    }

    const std::vector<uint8_t> Unparsable =
        BlockWithIndex({}, "<TFileDataList><Items/></TFileDataList></TFileDataList>");
    EXPECT_THROW(List.LoadFromBlock(Unparsable.data(), Unparsable.size()), EXmlException);
}
