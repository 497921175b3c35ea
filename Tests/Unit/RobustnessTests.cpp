// Damaged packages must fail with the library's own errors: never a crash, a hang, a foreign
// exception or a read outside a buffer (the sanitizer build watches the last one).

#include "FileDataClasses.h"
#include "LxExceptions.h"
#include "LxStrUtils.h"
#include "LxStreams.h"
#include "MySetupUtils.h"
#include "SetupProject.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

// Runs Work and accepts success or one of the library's errors.
template <class TWork>
void ExpectOnlyOwnErrors(TWork&& Work, uint32_t Round) {
    try {
        Work();
    } catch (const Exception&) {
    } catch (const std::exception& Error) {
        ADD_FAILURE() << "round " << Round << ": foreign error " << Error.what();
    }
}

std::vector<uint8_t> Encode(const std::vector<uint8_t>& Plain) {
    TMemoryStream Stream;
    Stream.WriteBuffer(Plain.data(), int64_t(Plain.size()));
    TSetupfn::EncodeStream(Stream);
    return Stream.Bytes();
}

} // namespace

TEST(Robustness, DamagedScriptsLoadOrFailCleanly) {
    const std::vector<uint8_t> Script = ReadFixture("ExampleScript.xml");
    TMutator Mutator(11);
    for (uint32_t Round = 0; Round < 3000; ++Round) {
        const std::vector<uint8_t> Damaged = Mutator.Damage(Script);
        ExpectOnlyOwnErrors(
            [&] {
                TMemoryViewStream Stream(Damaged.data(), int64_t(Damaged.size()));
                TSetupScript Loaded;
                Loaded.LoadFromStream(Stream);
                // Whatever loaded must save again.
                TMemoryStream Saved;
                Loaded.SaveToStream(Saved);
            },
            Round);
    }
}

TEST(Robustness, DamagedEncodedStreamsDecodeOrFailCleanly) {
    const std::vector<uint8_t> Encoded = Encode(SampleContent(300000, 5));
    TMutator Mutator(23);
    for (uint32_t Round = 0; Round < 300; ++Round) {
        const std::vector<uint8_t> Damaged = Mutator.Damage(Encoded);
        std::string InMemory = "ok", Streamed = "ok";
        try {
            TMemoryStream Stream;
            Stream.WriteBuffer(Damaged.data(), int64_t(Damaged.size()));
            TSetupfn::DecodeStream(Stream);
        } catch (const Exception& Error) {
            InMemory = Error.what();
        }
        try {
            TSetupfn::DecodeRange(Damaged.data(), Damaged.size(), [](const uint8_t*, size_t) {});
        } catch (const Exception& Error) {
            Streamed = Error.what();
        }
        EXPECT_EQ(InMemory, Streamed) << "round " << Round;
    }
}

TEST(Robustness, DamagedFileDataBlocksLoadOrFailCleanly) {
    std::vector<uint8_t> Block;
    TFileDataList List;
    for (int I = 0; I < 3; ++I) {
        const std::vector<uint8_t> File = Encode(SampleContent(1000 + 700 * I, I));
        auto Entry = std::make_unique<TFileData>();
        Entry->GUID = u"{F" + IntToStr(I) + u"}";
        Entry->Offset = int32_t(Block.size());
        Entry->Bytes = int32_t(File.size());
        Block.insert(Block.end(), File.begin(), File.end());
        List.Add(std::move(Entry));
    }
    List.AppendIndexTo(Block);

    TMutator Mutator(37);
    for (uint32_t Round = 0; Round < 2000; ++Round) {
        // Damage the index end of the block most of the time: that is where the bounds live.
        std::vector<uint8_t> Damaged = Block;
        const size_t Tail = std::min<size_t>(Damaged.size(), 400);
        std::vector<uint8_t> End(Damaged.end() - std::ptrdiff_t(Tail), Damaged.end());
        End = Mutator.Damage(End);
        Damaged.erase(Damaged.end() - std::ptrdiff_t(Tail), Damaged.end());
        Damaged.insert(Damaged.end(), End.begin(), End.end());
        ExpectOnlyOwnErrors(
            [&] {
                TFileDataList Loaded;
                Loaded.LoadFromBlock(Damaged.data(), Damaged.size());
                for (int I = 0; I < Loaded.Count(); ++I) {
                    const TFileData& Entry = *Loaded.Items(I);
                    ASSERT_GE(Entry.Data(), Damaged.data());
                    ASSERT_LE(Entry.Data() + Entry.Size(), Damaged.data() + Damaged.size());
                }
            },
            Round);
    }
}
