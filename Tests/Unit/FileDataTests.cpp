#include "FileDataClasses.h"
#include "FileDataDigests.h"
#include "LxExceptions.h"
#include "MySetupUtils.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

using TBytes = std::vector<uint8_t>;

TBytes Encode(TBytes Plain) {
    TMemoryStream Stream;
    Stream.Adopt(std::move(Plain));
    TSetupfn::EncodeStream(Stream);
    return Stream.Release();
}

TBytes Decode(const TFileData& Entry) {
    TMemoryStream Stream;
    Stream.WriteBuffer(Entry.Data(), int64_t(Entry.Size()));
    TSetupfn::DecodeStream(Stream);
    return Stream.Release();
}

// Files followed by a hand-written index, encoded, and its length.
TBytes BlockWithIndex(TBytes Files, const std::string& Entries) {
    const TBytes Index = Encode(Bytes("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                                      "<TFileDataList><Items>" +
                                      Entries + "</Items></TFileDataList>\r\n"));
    Files.insert(Files.end(), Index.begin(), Index.end());
    for (int Shift = 0; Shift < 32; Shift += 8)
        Files.push_back(uint8_t(Index.size() >> Shift));
    return Files;
}

std::string Entry(int64_t Offset, int64_t Size, const char* Guid = "{x}") {
    return "<TFileData Bytes=\"" + std::to_string(Size) + "\" GUID=\"" + Guid + "\" Offset=\"" +
           std::to_string(Offset) + "\"/>";
}

} // namespace

TEST(FileDataTests, EntriesPointAtTheirEncodedFiles) {
    const TBytes Plain[] = {SampleContent(70000, 1), Bytes("second"), {}};
    const char16_t* Guids[] = {u"{1-A}", u"{2-B}", u"{3-C}"};
    TBytes Block = Bytes("lead-in");
    TFileDataList Written;
    for (int I = 0; I < 3; ++I) {
        const TBytes Encoded = Encode(Plain[I]);
        auto Data = std::make_unique<TFileData>();
        Data->GUID = Guids[I];
        Data->Offset = int32_t(Block.size());
        Data->Bytes = int32_t(Encoded.size());
        Written.Add(std::move(Data));
        Block.insert(Block.end(), Encoded.begin(), Encoded.end());
        Block.push_back(0xEE);
    }
    Written.AppendIndexTo(Block);

    TFileDataList List;
    List.LoadFromBlock(Block.data(), Block.size());
    ASSERT_TRUE(List.ItemsEqual(&Written));
    for (int I = 0; I < 3; ++I) {
        const TFileData* Data = List.FindByGUID(Guids[I]);
        ASSERT_EQ(Data, List.Items(I));
        EXPECT_EQ(Data->Data(), Block.data() + Data->Offset);
        EXPECT_EQ(Data->Size(), size_t(Data->Bytes));
        EXPECT_EQ(Decode(*Data), Plain[I]);
    }

    // Loading again starts from an empty list.
    const TBytes Empty = BlockWithIndex({}, "");
    List.LoadFromBlock(Empty.data(), Empty.size());
    EXPECT_EQ(List.Count(), 0);
}

TEST(FileDataTests, GuidLookupIsExactAndTakesTheFirst) {
    const TBytes Block =
        BlockWithIndex(Bytes("0123456789"), Entry(1, 2, "{ab}") + Entry(5, 3, "{ab}") +
                                                "<Other Bytes=\"0\" GUID=\"{cd}\" Offset=\"9\"/>");
    TFileDataList List;
    List.LoadFromBlock(Block.data(), Block.size());
    ASSERT_EQ(List.Count(), 3);
    EXPECT_EQ(List.IndexOfGUID(u"{ab}"), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(List.FindByGUID(u"{ab}")->Data()), 2),
              "12");
    EXPECT_EQ(List.FindByGUID(u"{AB}"), nullptr);
    EXPECT_EQ(List.IndexOfGUID(u"{Ab}"), -1);
    EXPECT_EQ(List.Items(2)->ClassName(), u"TFileData");
    EXPECT_EQ(List.FindByGUID(u"{cd}")->Stream().GetSize(), 0);
}

TEST(FileDataTests, BlocksReachingOutsideRaiseReadError) {
    // The block's size depends on the index text, so settle the offset in a few rounds.
    auto EntryFromEnd = [](int64_t FromEnd) {
        TBytes Block = BlockWithIndex(Bytes("0123"), Entry(0, 0));
        for (int Round = 0; Round < 5; ++Round) {
            TBytes Next = BlockWithIndex(Bytes("0123"), Entry(int64_t(Block.size()) - FromEnd, 4));
            if (Next.size() == Block.size()) return Next;
            Block = std::move(Next);
        }
        ADD_FAILURE() << "block size does not settle";
        return Block;
    };
    const TBytes Bad[] = {{},
                          {1, 0, 0},
                          {0xFF, 0xFF, 0xFF, 0xFF},
                          {0, 1, 2, 3, 5, 0, 0, 0},
                          BlockWithIndex(Bytes("0123"), Entry(-1, 2)),
                          BlockWithIndex(Bytes("0123"), Entry(0, -1)),
                          BlockWithIndex(Bytes("0123"), Entry(2147483647, 2147483647)),
                          EntryFromEnd(3)};
    for (const TBytes& Block : Bad) {
        TFileDataList List;
        EXPECT_EQ(MessageOf<EReadError>([&] { List.LoadFromBlock(Block.data(), Block.size()); }),
                  u"Stream read error")
            << "a block of " << Block.size() << " bytes";
    }
    // The block's last byte is still inside it.
    const TBytes Block = EntryFromEnd(4);
    TFileDataList List;
    List.LoadFromBlock(Block.data(), Block.size());
    EXPECT_EQ(List.Items(0)->Data(), Block.data() + Block.size() - 4);
}

TEST(FileDataTests, BrokenIndexRaisesTheLowerLayersError) {
    TBytes NotEncoded = Bytes("<TFileDataList/>");
    NotEncoded.insert(NotEncoded.end(), {16, 0, 0, 0});
    TFileDataList List;
    EXPECT_THROW(List.LoadFromBlock(NotEncoded.data(), NotEncoded.size()), EZDecompressionError);
    TBytes Unparsable = Encode(Bytes("<TFileDataList></TFileDataList></TFileDataList>"));
    Unparsable.insert(Unparsable.end(), {uint8_t(Unparsable.size()), 0, 0, 0});
    EXPECT_THROW(List.LoadFromBlock(Unparsable.data(), Unparsable.size()), EXmlException);
    // An index that claims far more than it stores stops at its limit, before it is parsed.
    TBytes Bomb = Encode(TBytes(1 << 20, ' '));
    Bomb.insert(Bomb.end(), {uint8_t(Bomb.size()), uint8_t(Bomb.size() >> 8), 0, 0});
    EXPECT_NE(MessageOf<EZDecompressionError>([&] {
                  List.LoadFromBlock(Bomb.data(), Bomb.size());
              }).find(u"decodes to more than"),
              WideString::npos);
}

TEST(FileDataTests, DigestRecordNamesEveryRegionAndEntryItDoesNotVouchFor) {
    const TBytes Block = SampleContent(100, 3);
    // Regions [0,10) [10,40) [60,100): the gap [40,60) is described by none.
    const std::pair<uint32_t, uint32_t> Spans[] = {{0, 10}, {10, 30}, {60, 40}};
    TBytes Record;
    for (const auto& [Offset, Size] : Spans) {
        const uint64_t Digest = TFileDataDigests::Digest(Block.data() + Offset, Size);
        for (const uint64_t Value : {uint64_t(Offset) | uint64_t(Size) << 32, Digest})
            for (int I = 0; I < 8; ++I)
                Record.push_back(uint8_t(Value >> (8 * I)));
    }
    TFileDataDigests Digests;
    ASSERT_TRUE(Digests.Load(Record.data(), Record.size(), Block.size()));
    ASSERT_EQ(Digests.Count(), 3u);
    for (size_t I = 0; I < 3; ++I)
        EXPECT_TRUE(Digests.RegionIntact(I, Block.data())) << I;
    TBytes Damaged = Block;
    Damaged[15] ^= 1;
    EXPECT_FALSE(Digests.RegionIntact(1, Damaged.data()));
    EXPECT_TRUE(Digests.RegionIntact(2, Damaged.data()));

    auto Intact = [&](int32_t Offset, int32_t Bytes) {
        TFileData Entry;
        Entry.Offset = Offset;
        Entry.Bytes = Bytes;
        return Digests.EntryIntact(Entry);
    };
    // Whole runs of adjacent regions, and empty entries, are vouched for; anything else is not.
    EXPECT_TRUE(Intact(0, 40));
    EXPECT_TRUE(Intact(10, 30));
    EXPECT_TRUE(Intact(60, 40));
    EXPECT_TRUE(Intact(50, 0));
    EXPECT_FALSE(Intact(0, 35));
    EXPECT_FALSE(Intact(5, 5));
    EXPECT_FALSE(Intact(40, 20));
    EXPECT_FALSE(Intact(10, 90));
    EXPECT_FALSE(Intact(60, 41));
    EXPECT_FALSE(Digests.AnyDamaged());
    Digests.MarkDamaged(1);
    EXPECT_TRUE(Digests.AnyDamaged());
    EXPECT_FALSE(Intact(0, 40));
    EXPECT_TRUE(Intact(0, 10));

    // A record that is not whole entries, or whose regions are empty, go backwards, overlap or
    // leave the block, is refused.
    EXPECT_FALSE(Digests.Load(Record.data(), Record.size() - 1, Block.size()));
    EXPECT_FALSE(Digests.Load(Record.data(), Record.size(), 99));
    for (const auto& Change : {std::pair<size_t, uint8_t>{4, 0}, {16, 5}, {32, 39}, {36, 41}}) {
        TBytes Bad = Record;
        Bad[Change.first] = Change.second;
        EXPECT_FALSE(Digests.Load(Bad.data(), Bad.size(), Block.size())) << Change.first;
    }
}
