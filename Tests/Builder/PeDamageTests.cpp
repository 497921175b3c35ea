// Damaged or unsuitable images fail with one EBuildError naming the file, never a crash or a
// read outside the buffer (the sanitizer build watches that).

#include "PeTestSupport.h"
#include "TestSupport.h"

#include <functional>

namespace {

// File offsets of the first entry on each level of the resource tree and of its data entry.
struct TTreeOffsets {
    size_t Base, TypeEntry, NameEntry, LanguageEntry, DataEntry;

    explicit TTreeOffsets(const std::vector<uint8_t>& B) {
        Base = TTestHeaders(B).Last().PointerToRawData;
        TypeEntry = Base + 16;
        NameEntry = Base + (Le32(B, TypeEntry + 4) & 0x7FFFFFFF) + 16;
        LanguageEntry = Base + (Le32(B, NameEntry + 4) & 0x7FFFFFFF) + 16;
        DataEntry = Base + Le32(B, LanguageEntry + 4);
    }
};

struct TDamage {
    const char16_t* Reason;
    std::function<void(std::vector<uint8_t>&)> Apply;
};

std::vector<TDamage> Damages(const std::vector<uint8_t>& Stub) {
    const TTestHeaders H(Stub);
    const TTreeOffsets T(Stub);
    const TTestSection Rsrc = H.Last();
    const size_t Nt = Le32(Stub, 0x3C);
    const size_t CountField = H.Is64 ? 108 : 92; // NumberOfRvaAndSizes in the optional header
    return {
        {u"no MZ header", [](auto& B) { B[0] = 'X'; }},
        {u"PE header offset", [](auto& B) { SetLe32(B, 0x3C, 0xFFFFFFF0); }},
        {u"PE header offset", [](auto& B) { SetLe32(B, 0x3C, uint32_t(B.size() - 8)); }},
        {u"no PE signature", [=](auto& B) { B[Nt + 1] = 'X'; }},
        {u"unsupported machine type 0x1c0", [=](auto& B) { SetLe16(B, Nt + 4, 0x1C0); }},
        {u"does not match the optional header",
         [=](auto& B) { SetLe16(B, H.Optional, H.Is64 ? 0x10B : 0x20B); }},
        {u"data directories", [=](auto& B) { SetLe32(B, H.Optional + CountField, 17); }},
        {u"data directories",
         [=](auto& B) { SetLe16(B, Nt + 20, uint16_t(CountField + 4 + 8 * 15)); }},
        {u"invalid section or file alignment",
         [=](auto& B) { SetLe32(B, H.FileAlignment(), 0x300); }},
        {u"section table lies outside the file", [=](auto& B) { SetLe16(B, Nt + 6, 0xFFFF); }},
        {u"section table lies outside the headers",
         [=](auto& B) { SetLe32(B, H.Optional + 60, 0x100); }},
        {u"section .text lies outside the file",
         [=](auto& B) { SetLe32(B, H.Sections[0].Header + 20, 0xFFFFFF00); }},
        {u"the certificate table lies outside the file",
         [=](auto& B) {
             SetLe32(B, H.Directory(4), uint32_t(B.size())), SetLe32(B, H.Directory(4) + 4, 8);
         }},
        {u"has no resource section", [=](auto& B) { SetLe32(B, H.Directory(2), 0); }},
        {u"does not start its section",
         [=](auto& B) { SetLe32(B, H.Directory(2), Rsrc.VirtualAddress + 8); }},
        {u"lies outside every section", [=](auto& B) { SetLe32(B, H.Directory(2), 0x7FFF0000); }},
        {u"the resource section is not the last section",
         [=](auto& B) { SetLe32(B, H.Sections[0].Header + 12, Rsrc.VirtualAddress + 0x10000); }},
        {u"overlaps the headers", [=](auto& B) { SetLe32(B, Rsrc.Header + 20, 0x200); }},
        {u"points into the resource section",
         [=](auto& B) {
             SetLe32(B, H.Directory(6), Rsrc.VirtualAddress + 4),
                 SetLe32(B, H.Directory(6) + 4, 28);
         }},
        {u"bytes of extra data follow the resource section",
         [](auto& B) { B.resize(B.size() + 100); }},
        {u"resource data lies outside the resource section",
         [=](auto& B) { SetLe32(B, T.DataEntry, Rsrc.VirtualAddress - 16); }},
        {u"resource data lies outside the resource section",
         [=](auto& B) { SetLe32(B, T.DataEntry, Rsrc.VirtualAddress + Rsrc.VirtualSize - 2); }},
        {u"resource data lies outside the resource section",
         [=](auto& B) { SetLe32(B, T.DataEntry + 4, 0xFFFFFFFF); }},
        {u"names or data overlap",
         [=](auto& B) {
             SetLe32(B, T.DataEntry, Rsrc.VirtualAddress);
             SetLe32(B, T.DataEntry + 4, Rsrc.VirtualSize);
         }},
        {u"a table is referenced twice", [=](auto& B) { SetLe32(B, T.TypeEntry + 4, 0x80000000); }},
        {u"a table is referenced twice",
         [=](auto& B) { SetLe32(B, T.NameEntry + 4, Le32(B, T.TypeEntry + 4)); }},
        {u"a data entry where a directory belongs", [=](auto& B) { B[T.TypeEntry + 7] = 0; }},
        {u"a directory below the language level", [=](auto& B) { B[T.LanguageEntry + 7] = 0x80; }},
        {u"a directory lies outside", [=](auto& B) { SetLe32(B, T.TypeEntry + 4, 0xFFFFFFF0); }},
        {u"a name lies outside", [=](auto& B) { SetLe32(B, T.NameEntry, 0xFFFFFFF0); }},
        {u"an ID does not fit in 16 bits", [=](auto& B) { SetLe32(B, T.NameEntry, 0x10001); }},
        {u"a language given by name", [=](auto& B) { SetLe32(B, T.LanguageEntry, 0x80000000); }},
    };
}

class PeDamageTests : public testing::TestWithParam<std::string> {};

} // namespace

INSTANTIATE_TEST_SUITE_P(Arch, PeDamageTests, testing::Values("x86", "x64"));

TEST_P(PeDamageTests, EachDamageHasItsOwnError) {
    const std::vector<uint8_t> Stub = ReadStub("TestStub-" + GetParam() + ".exe");
    ASSERT_NO_THROW(TPeImage(Stub, u"stub.exe"));
    for (const TDamage& Damage : Damages(Stub)) {
        std::vector<uint8_t> Damaged = Stub;
        Damage.Apply(Damaged);
        ExpectBuildError([&] { TPeImage(Damaged, u"stub.exe"); }, u"stub.exe", Damage.Reason);
    }
    ExpectBuildError(
        [&] { TPeImage(ReadStub("TestStubPlain-" + GetParam() + ".exe"), u"plain.exe"); },
        u"plain.exe", u"the resource section is not the last section");
    for (size_t Length = 0; Length < Stub.size(); Length += Length < 1200 ? 1 : 97)
        ExpectBuildError(
            [&] {
                TPeImage({Stub.begin(), Stub.begin() + Length}, u"cut.exe");
            },
            u"cut.exe", u"");
}

TEST_P(PeDamageTests, MutatedImagesParseOrFailCleanly) {
    const std::vector<uint8_t> Stub = ReadStub("TestStub-" + GetParam() + ".exe");
    const TTestHeaders H(Stub);
    const uint32_t Headers = Le32(Stub, H.Optional + 60);
    const size_t Section = H.Last().PointerToRawData;
    TMutator Mutator(GetParam() == "x64" ? 64 : 32);
    size_t Parsed = 0, Refused = 0;
    for (uint32_t Round = 0; Round < 2500; ++Round) {
        std::vector<uint8_t> Damaged = Stub;
        for (uint32_t Edit = 1 + Mutator.Next(3); Edit > 0; --Edit) {
            // Headers and resources hold every offset the reader follows.
            const size_t At = Mutator.Next(2)
                                  ? Mutator.Next(Headers - 3)
                                  : Section + Mutator.Next(uint32_t(Stub.size() - Section - 3));
            const uint32_t Values[] = {0, 0xFFFFFFFF, 0x80000000u | Mutator.Next(0x2000),
                                       Mutator.Next(0x20000), Mutator.Next(0xFFFFFFFF)};
            if (Mutator.Next(2))
                Damaged[At] ^= uint8_t(1u << Mutator.Next(8));
            else
                SetLe32(Damaged, At, Values[Mutator.Next(5)]);
        }
        try {
            const TPeImage Image(Damaged, u"fuzz.exe");
            const TPeImage Again(Image.WithResources(Image.Resources()), u"fuzz.exe");
            EXPECT_EQ(Again.Resources().Items.size(), Image.Resources().Items.size()) << Round;
            ++Parsed;
        } catch (const EBuildError& Error) {
            EXPECT_EQ(Error.Message().rfind(u"fuzz.exe: ", 0), 0u) << Error.what();
            ++Refused;
        } catch (const std::exception& Error) {
            ADD_FAILURE() << "round " << Round << ": foreign error " << Error.what();
        }
    }
    // Both outcomes occur, or the loop tested nothing.
    EXPECT_GT(Parsed, 100u);
    EXPECT_GT(Refused, 100u);
}
