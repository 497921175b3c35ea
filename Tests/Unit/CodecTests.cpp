#include "LxCompression.h"
#include "LxExceptions.h"
#include "LxStreams.h"
#include "MySetupUtils.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>

namespace {

std::vector<uint8_t> Encode(const std::vector<uint8_t>& Plain) {
    TMemoryStream Stream;
    Stream.Adopt(std::vector<uint8_t>(Plain));
    TSetupfn::EncodeStream(Stream);
    EXPECT_EQ(Stream.GetPosition(), 0);
    return Stream.Release();
}

std::vector<uint8_t> Decode(const std::vector<uint8_t>& Encoded) {
    TMemoryStream Stream;
    Stream.Adopt(std::vector<uint8_t>(Encoded));
    TSetupfn::DecodeStream(Stream);
    EXPECT_EQ(Stream.GetPosition(), 0);
    return Stream.Release();
}

// The XOR layer written out byte by byte, independent of the optimised code.
void XorByHand(std::vector<uint8_t>& Data, uint64_t Start = 0) {
    for (size_t I = 0; I < Data.size(); ++I)
        Data[I] ^= uint8_t((Start + I) % 255);
}

std::vector<uint8_t> ZlibCompress(const std::vector<uint8_t>& Plain) {
    uLongf Size = compressBound(uLong(Plain.size()));
    std::vector<uint8_t> Out(Size);
    EXPECT_EQ(compress2(Out.data(), &Size, Plain.data(), uLong(Plain.size()), 9), Z_OK);
    Out.resize(Size);
    return Out;
}

std::vector<uint8_t> ZlibInflate(const std::vector<uint8_t>& Compressed, size_t PlainSize) {
    std::vector<uint8_t> Out(PlainSize + 1);
    uLongf Size = uLongf(Out.size());
    EXPECT_EQ(uncompress(Out.data(), &Size, Compressed.data(), uLong(Compressed.size())), Z_OK);
    Out.resize(Size);
    return Out;
}

// The message of the decompression error raised by Action, or "" when none was raised.
WideString DecompressionMessage(const std::function<void()>& Action) {
    try {
        Action();
    } catch (const EZDecompressionError& E) {
        return E.Message();
    }
    return u"";
}

struct TRangeResult {
    std::vector<uint8_t> Bytes;
    size_t LargestPiece = 0;
    size_t Pieces = 0;
};

TRangeResult DecodeByRange(const std::vector<uint8_t>& Encoded) {
    TRangeResult Result;
    auto Sink = [&](const uint8_t* Data, size_t Size) {
        Result.Bytes.insert(Result.Bytes.end(), Data, Data + Size);
        Result.LargestPiece = std::max(Result.LargestPiece, Size);
        ++Result.Pieces;
    };
    TSetupfn::DecodeRange(Encoded.data(), Encoded.size(), Sink);
    return Result;
}

} // namespace

TEST(CodecTests, EmptyContentEncodesAndDecodesToNothing) {
    EXPECT_TRUE(Encode({}).empty());
    EXPECT_TRUE(Decode({}).empty());
    EXPECT_TRUE(DecodeByRange({}).Bytes.empty());
}

TEST(CodecTests, RoundTripsContentsAroundTheKeyPeriod) {
    for (size_t Size :
         {size_t(1), size_t(13), size_t(255), size_t(256), size_t(257), size_t(70000)}) {
        const std::vector<uint8_t> Plain = SampleContent(Size, uint32_t(Size));
        const std::vector<uint8_t> Encoded = Encode(Plain);
        ASSERT_GE(Encoded.size(), 2u);
        EXPECT_EQ(Encoded[0], 0x78) << Size;
        EXPECT_EQ(Encoded[1], 0xDA ^ 1) << Size;
        EXPECT_EQ(Decode(Encoded), Plain) << Size;
    }
}

TEST(CodecTests, RoundTripsMultiMegabyteContent) {
    const std::vector<uint8_t> Plain = SampleContent(5 * 1024 * 1024 + 17, 7);
    EXPECT_EQ(Decode(Encode(Plain)), Plain);
}

TEST(CodecTests, EncodesTheWholeStreamWhateverItsPosition) {
    const std::vector<uint8_t> Plain = Bytes("the position must not matter");
    TMemoryStream Stream;
    Stream.Adopt(std::vector<uint8_t>(Plain));
    Stream.SetPosition(10);
    TSetupfn::EncodeStream(Stream);
    EXPECT_EQ(Stream.GetPosition(), 0);
    Stream.SetPosition(5);
    TSetupfn::DecodeStream(Stream);
    EXPECT_EQ(Stream.Bytes(), Plain);
}

TEST(CodecTests, KeyRepeatsEvery255Bytes) {
    const std::vector<uint8_t> Plain = SampleContent(4000, 3);
    const std::vector<uint8_t> Encoded = Encode(Plain);
    // Same zlib, same parameters: the compressed bytes are identical.
    const std::vector<uint8_t> Compressed = ZlibCompress(Plain);
    ASSERT_EQ(Encoded.size(), Compressed.size());
    ASSERT_GT(Encoded.size(), 256u);
    EXPECT_EQ(Encoded[254], Compressed[254] ^ 254);
    EXPECT_EQ(Encoded[255], Compressed[255]);
    EXPECT_EQ(Encoded[256], Compressed[256] ^ 1);

    std::vector<uint8_t> Unscrambled = Encoded;
    XorByHand(Unscrambled);
    EXPECT_EQ(Unscrambled, Compressed);
    EXPECT_EQ(ZlibInflate(Unscrambled, Plain.size()), Plain);
}

TEST(CodecTests, DecodesPlainZlibOutputAfterScrambling) {
    const std::vector<uint8_t> Plain = SampleContent(100000, 5);
    std::vector<uint8_t> Encoded = ZlibCompress(Plain);
    XorByHand(Encoded);
    EXPECT_EQ(Decode(Encoded), Plain);
    EXPECT_EQ(DecodeByRange(Encoded).Bytes, Plain);
}

TEST(CodecTests, UnscrambledZlibFailsAndLeavesUnscrambledBytes) {
    const std::vector<uint8_t> Compressed = ZlibCompress(SampleContent(3000, 9));
    TMemoryStream Stream;
    Stream.Adopt(std::vector<uint8_t>(Compressed));
    EXPECT_EQ(DecompressionMessage([&] { TSetupfn::DecodeStream(Stream); }), u"Error");
    std::vector<uint8_t> Expected = Compressed;
    XorByHand(Expected);
    EXPECT_EQ(Stream.Bytes(), Expected);
}

TEST(CodecTests, TruncatedOrCorruptInputFails) {
    const std::vector<uint8_t> Encoded = Encode(SampleContent(20000, 11));
    std::vector<uint8_t> Truncated(Encoded.begin(), Encoded.end() - 1);
    std::vector<uint8_t> Halved(Encoded.begin(), Encoded.begin() + Encoded.size() / 2);
    std::vector<uint8_t> Corrupt = Encoded;
    Corrupt[Corrupt.size() / 2] ^= 0x5A;
    std::vector<uint8_t> BadHeader = Encoded;
    BadHeader[0] ^= 0xFF;
    const std::vector<uint8_t> Garbage = Bytes("this was never a package");

    const std::vector<uint8_t>* Inputs[] = {&Truncated, &Halved, &Corrupt, &BadHeader, &Garbage};
    for (const auto* Input : Inputs) {
        EXPECT_EQ(DecompressionMessage([&] { Decode(*Input); }), u"Error");
        EXPECT_EQ(DecompressionMessage([&] { DecodeByRange(*Input); }), u"Error");
    }
}

TEST(CodecTests, BytesAfterTheZlibStreamAreIgnored) {
    const std::vector<uint8_t> Plain = SampleContent(1000, 2);
    std::vector<uint8_t> Encoded = Encode(Plain);
    const std::vector<uint8_t> Tail = SampleContent(300, 99);
    Encoded.insert(Encoded.end(), Tail.begin(), Tail.end());
    EXPECT_EQ(Decode(Encoded), Plain);
    EXPECT_EQ(DecodeByRange(Encoded).Bytes, Plain);
}

TEST(CodecTests, DecodeRangeDeliversBoundedPieces) {
    const std::vector<uint8_t> Plain = SampleContent(3 * TZInflater::OutputChunk + 12345, 4);
    const std::vector<uint8_t> Encoded = Encode(Plain);
    const TRangeResult Result = DecodeByRange(Encoded);
    EXPECT_EQ(Result.Bytes, Decode(Encoded));
    EXPECT_LE(Result.LargestPiece, TZInflater::OutputChunk);
    EXPECT_GE(Result.Pieces, 4u);
}

TEST(CodecTests, ScrambleBytesMatchesTheBytewiseKeyAtAnyStart) {
    for (uint64_t Start :
         {uint64_t(0), uint64_t(254), uint64_t(1000003), (uint64_t(1) << 40) + 7}) {
        std::vector<uint8_t> Data = SampleContent(200000, uint32_t(Start));
        std::vector<uint8_t> Expected = Data;
        XorByHand(Expected, Start);
        // Odd alignment so the word-wise path meets unaligned memory.
        TSetupfn::ScrambleBytes(Data.data() + 3, Data.size() - 3, Start + 3);
        for (size_t I = 0; I < 3; ++I)
            Data[I] ^= uint8_t((Start + I) % 255);
        EXPECT_EQ(Data, Expected) << Start;
    }
}

TEST(CodecTests, CompressionPairRejectsMissingStreams) {
    TMemoryStream Stream;
    for (auto Call : {&TLxSysfn::CompressStream, &TLxSysfn::DecompressStream}) {
        for (auto [Source, Dest] : {std::pair<TStream*, TStream*>{nullptr, &Stream},
                                    std::pair<TStream*, TStream*>{&Stream, nullptr}}) {
            try {
                Call(Source, Dest);
                ADD_FAILURE() << "no assertion raised";
            } catch (const EAssertionFailed& E) {
                EXPECT_NE(E.Message().find(u"Source\\Common\\LxCompression.cpp"), WideString::npos);
                EXPECT_EQ(E.Message().rfind(u"Assertion failure (", 0), 0u);
            }
        }
    }
}

TEST(CodecTests, CompressStreamWritesLevel9ZlibAndLeavesPositionAtEnd) {
    const std::vector<uint8_t> Plain = SampleContent(5000);
    TMemoryStream Source, Dest;
    Source.Adopt(std::vector<uint8_t>(Plain));
    Dest.Adopt(Bytes("old content that must go"));
    TLxSysfn::CompressStream(&Source, &Dest);
    ASSERT_GE(Dest.GetSize(), 2);
    EXPECT_EQ(Dest.GetPosition(), Dest.GetSize());
    EXPECT_EQ(Dest.Bytes()[0], 0x78);
    EXPECT_EQ(Dest.Bytes()[1], 0xDA);
    EXPECT_EQ(ZlibInflate(Dest.Bytes(), Plain.size()), Plain);

    TMemoryStream Empty;
    TLxSysfn::CompressStream(&Empty, &Dest);
    EXPECT_EQ(Dest.GetSize(), 0);
}

TEST(CodecTests, FailedDecompressionLeavesDestinationEmpty) {
    std::vector<uint8_t> Cut = ZlibCompress(SampleContent(5000));
    Cut.resize(Cut.size() - 6);
    TMemoryStream Source, Dest;
    Source.Adopt(std::move(Cut));
    Dest.Adopt(Bytes("stale"));
    EXPECT_EQ(DecompressionMessage([&] { TLxSysfn::DecompressStream(&Source, &Dest); }), u"Error");
    EXPECT_EQ(Dest.GetSize(), 0);
}
