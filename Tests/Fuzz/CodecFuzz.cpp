// The package codec's decoders on any bytes: the whole-stream decoder and the streaming one
// agree on the bytes and on failure; a sink that stops the streaming decoder stops it; the
// bounded decoder never holds more than its limit; encoding any content decodes back to it.

#include "FuzzSupport.h"
#include "LxInflate.h"
#include "LxStreams.h"
#include "MySetupUtils.h"

#include <optional>
#include <vector>

namespace {

struct TStop {};

void RoundTrip(const uint8_t* Data, size_t Size) {
    TMemoryStream Stream;
    Stream.WriteBuffer(Data, int64_t(Size));
    TSetupfn::EncodeStream(Stream);
    FUZZ_CHECK(Stream.GetPosition() == 0);
    TSetupfn::DecodeStream(Stream);
    FUZZ_CHECK(Stream.GetPosition() == 0);
    FUZZ_CHECK(Stream.Bytes() == std::vector<uint8_t>(Data, Data + Size));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    std::optional<std::vector<uint8_t>> Whole;
    {
        TMemoryStream Stream;
        Stream.WriteBuffer(Data, int64_t(Size));
        if (OwnErrorsOnly([&] { TSetupfn::DecodeStream(Stream); })) Whole = Stream.Bytes();
    }

    std::vector<uint8_t> Streamed;
    const bool StreamedOk = OwnErrorsOnly([&] {
        TSetupfn::DecodeRange(Data, Size, [&](const uint8_t* Piece, size_t Count) {
            FUZZ_CHECK(Count > 0 && Count <= TZInflater::OutputChunk);
            Streamed.insert(Streamed.end(), Piece, Piece + Count);
        });
    });
    FUZZ_CHECK(StreamedOk == Whole.has_value());
    if (Whole) FUZZ_CHECK(Streamed == *Whole);

    // A small limit taken from the input: the sink throws once it is passed.
    const size_t Limit = Size > 0 ? size_t(Data[0]) * 97 : 0;
    size_t Taken = 0;
    try {
        TSetupfn::DecodeRange(Data, Size, [&](const uint8_t*, size_t Count) {
            Taken += Count;
            if (Taken > Limit) throw TStop{};
        });
        FUZZ_CHECK(Whole && Taken == Whole->size());
    } catch (const TStop&) {
        FUZZ_CHECK(Whole ? Whole->size() > Limit : true);
    } catch (const Exception&) {
        FUZZ_CHECK(!Whole);
    }

    TMemoryStream Bounded;
    const bool BoundedOk = OwnErrorsOnly([&] { TSetupfn::DecodeBounded(Data, Size, Bounded); });
    FUZZ_CHECK(size_t(Bounded.GetSize()) <= TSetupfn::DecodeLimit(Size));
    if (Whole && Whole->size() <= TSetupfn::DecodeLimit(Size))
        FUZZ_CHECK(BoundedOk && Bounded.Bytes() == *Whole);
    else
        FUZZ_CHECK(!BoundedOk);

    // The input as plain content, and what it decoded to, survive a round trip.
    RoundTrip(Data, Size);
    if (Whole && Whole->size() <= (1u << 20)) RoundTrip(Whole->data(), Whole->size());
    return 0;
}
