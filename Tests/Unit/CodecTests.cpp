#include "LxExceptions.h"
#include "LxInflate.h"
#include "LxStreams.h"
#include "MySetupUtils.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace {

using TBytes = std::vector<uint8_t>;

TBytes Apply(void (*Operation)(TMemoryStream&), const TBytes& Input) {
    TMemoryStream Stream;
    Stream.Adopt(TBytes(Input));
    Stream.SetPosition(Stream.GetSize() / 2);
    Operation(Stream);
    EXPECT_EQ(Stream.GetPosition(), 0);
    return Stream.Release();
}
TBytes Encode(const TBytes& Plain) {
    return Apply(TSetupfn::EncodeStream, Plain);
}
TBytes Decode(const TBytes& Encoded) {
    return Apply(TSetupfn::DecodeStream, Encoded);
}

// The key written out byte by byte, independent of the word-wise code.
TBytes XorByHand(TBytes Data, uint64_t Start = 0) {
    for (size_t I = 0; I < Data.size(); ++I)
        Data[I] ^= uint8_t((Start + I) % 255);
    return Data;
}

TBytes ZlibCompress(const TBytes& Plain) {
    uLongf Size = compressBound(uLong(Plain.size()));
    TBytes Out(Size);
    EXPECT_EQ(compress2(Out.data(), &Size, Plain.data(), uLong(Plain.size()), 9), Z_OK);
    Out.resize(Size);
    return Out;
}

TBytes ZlibInflate(const TBytes& Compressed, size_t PlainSize) {
    TBytes Out(PlainSize + 1);
    uLongf Size = uLongf(Out.size());
    EXPECT_EQ(uncompress(Out.data(), &Size, Compressed.data(), uLong(Compressed.size())), Z_OK);
    Out.resize(Size);
    return Out;
}

// Decodes piecewise, remembering the largest piece the sink was handed.
TBytes DecodeRange(const TBytes& Encoded, size_t* LargestPiece = nullptr) {
    TBytes Result;
    auto Sink = [&](const uint8_t* Data, size_t Size) {
        Result.insert(Result.end(), Data, Data + Size);
        if (LargestPiece) *LargestPiece = std::max(*LargestPiece, Size);
    };
    TSetupfn::DecodeRange(Encoded.data(), Encoded.size(), Sink);
    return Result;
}

} // namespace

TEST(CodecTests, RoundTripsAnyLength) {
    EXPECT_TRUE(Encode({}).empty());
    EXPECT_TRUE(Decode({}).empty());
    EXPECT_TRUE(DecodeRange({}).empty());
    for (size_t Size : {size_t(1), size_t(255), size_t(256), size_t(257), size_t(5 << 20)}) {
        const TBytes Plain = SampleContent(Size, uint32_t(Size));
        const TBytes Encoded = Encode(Plain);
        EXPECT_EQ(Encoded[0], 0x78) << Size;
        EXPECT_EQ(Encoded[1], 0xDA ^ 1) << Size;
        EXPECT_EQ(Decode(Encoded), Plain) << Size;
    }
}

TEST(CodecTests, IsPlainZlibUnderA255ByteKey) {
    const TBytes Plain = SampleContent(4000, 3);
    const TBytes Encoded = Encode(Plain);
    // Same zlib and parameters, so the compressed bytes match exactly.
    const TBytes Compressed = ZlibCompress(Plain);
    ASSERT_EQ(Encoded.size(), Compressed.size());
    EXPECT_EQ(Encoded[254], Compressed[254] ^ 254);
    EXPECT_EQ(Encoded[255], Compressed[255]);
    EXPECT_EQ(Encoded[256], Compressed[256] ^ 1);
    EXPECT_EQ(ZlibInflate(XorByHand(Encoded), Plain.size()), Plain);
    EXPECT_EQ(Decode(XorByHand(ZlibCompress(Plain))), Plain);
}

TEST(CodecTests, RejectsBrokenInputButIgnoresTrailingBytes) {
    const TBytes Plain = SampleContent(20000, 11);
    const TBytes Encoded = Encode(Plain);
    TBytes Trailing = Encoded, Corrupt = Encoded, BadHeader = Encoded;
    Trailing.insert(Trailing.end(), 300, 0x5A);
    Corrupt[Corrupt.size() / 2] ^= 0x5A;
    BadHeader[0] ^= 0xFF;
    EXPECT_EQ(Decode(Trailing), Plain);
    EXPECT_EQ(DecodeRange(Trailing), Plain);

    const TBytes Broken[] = {TBytes(Encoded.begin(), Encoded.end() - 1),
                             TBytes(Encoded.begin(), Encoded.begin() + 100),
                             Corrupt,
                             BadHeader,
                             Bytes("never a package"),
                             ZlibCompress(Plain)};
    // One decoder for one stream after another: a broken one leaves nothing for the next.
    TPackageDecoder Reused;
    auto DecodeReused = [&](const TBytes& Input) {
        TBytes Result;
        Reused.Decode(Input.data(), Input.size(), [&](const uint8_t* Data, size_t Size) {
            Result.insert(Result.end(), Data, Data + Size);
        });
        return Result;
    };
    for (const TBytes& Input : Broken) {
        EXPECT_EQ(MessageOf<EZDecompressionError>([&] { Decode(Input); }), u"Error");
        EXPECT_EQ(MessageOf<EZDecompressionError>([&] { DecodeRange(Input); }), u"Error");
        EXPECT_THROW(DecodeReused(Input), EZDecompressionError);
        EXPECT_EQ(DecodeReused(Encoded), Plain);
    }

    // Plain zlib that was never scrambled: the stream keeps the unscrambled bytes.
    TMemoryStream Stream;
    Stream.Adopt(ZlibCompress(Plain));
    EXPECT_EQ(MessageOf<EZDecompressionError>([&] { TSetupfn::DecodeStream(Stream); }), u"Error");
    EXPECT_EQ(Stream.Bytes(), XorByHand(ZlibCompress(Plain)));
}

TEST(CodecTests, DecodeRangeHandsOnBoundedPieces) {
    const TBytes Encoded = Encode(SampleContent(3 * TZInflater::OutputChunk + 12345, 4));
    size_t LargestPiece = 0;
    EXPECT_EQ(DecodeRange(Encoded, &LargestPiece), Decode(Encoded));
    EXPECT_LE(LargestPiece, TZInflater::OutputChunk);

    // The bounded form gives the same bytes, and stops a stream that claims far more.
    TMemoryStream Bounded;
    TSetupfn::DecodeBounded(Encoded.data(), Encoded.size(), Bounded);
    EXPECT_EQ(Bounded.Bytes(), Decode(Encoded));
    const TBytes Bomb = Encode(TBytes(1 << 20, 'x'));
    EXPECT_THROW(TSetupfn::DecodeBounded(Bomb.data(), Bomb.size(), Bounded), EZDecompressionError);
    EXPECT_LE(size_t(Bounded.GetSize()), TSetupfn::DecodeLimit(Bomb.size()));
}

TEST(CodecTests, ScrambleBytesMatchesTheKeyAtAnyStart) {
    for (uint64_t Start :
         {uint64_t(0), uint64_t(254), uint64_t(1000003), (uint64_t(1) << 40) + 7}) {
        TBytes Data = SampleContent(200000, uint32_t(Start));
        const TBytes Expected = XorByHand(Data, Start);
        // An odd address so the word-wise loop meets unaligned memory.
        TSetupfn::ScrambleBytes(Data.data() + 3, Data.size() - 3, Start + 3);
        for (size_t I = 0; I < 3; ++I)
            Data[I] ^= uint8_t((Start + I) % 255);
        EXPECT_EQ(Data, Expected) << Start;
    }
}

TEST(CodecTests, CompressionPairChecksItsStreams) {
    TMemoryStream Stream;
    for (auto Call : {&TLxSysfn::CompressStream, &TLxSysfn::DecompressStream}) {
        for (auto [Source, Dest] : {std::pair<TStream*, TStream*>{nullptr, &Stream},
                                    std::pair<TStream*, TStream*>{&Stream, nullptr}}) {
            try {
                Call(Source, Dest);
                ADD_FAILURE() << "no assertion raised";
            } catch (const EAssertionFailed& E) {
                EXPECT_NE(E.Message().find(u"Source\\Common\\LxCompression.cpp"), WideString::npos);
            }
        }
    }
}

TEST(CodecTests, CompressionPairEmptiesTheDestinationFirst) {
    const TBytes Plain = SampleContent(5000);
    TMemoryStream Source, Dest;
    Source.Adopt(TBytes(Plain));
    Dest.Adopt(Bytes("old content that must go"));
    TLxSysfn::CompressStream(&Source, &Dest);
    EXPECT_EQ(Dest.GetPosition(), Dest.GetSize());
    EXPECT_EQ(Dest.Bytes()[1], 0xDA);
    EXPECT_EQ(ZlibInflate(Dest.Bytes(), Plain.size()), Plain);

    TBytes Cut = Dest.Bytes();
    Cut.resize(Cut.size() - 6);
    Source.Adopt(std::move(Cut));
    EXPECT_EQ(MessageOf<EZDecompressionError>([&] { TLxSysfn::DecompressStream(&Source, &Dest); }),
              u"Error");
    EXPECT_EQ(Dest.GetSize(), 0);
}
