// The listing resource_probe prints on Windows, made here from the PE reader for the same
// rebuilt stubs. Both files are left in the build tree for the Windows-side comparison.

#include "PeTestSupport.h"
#include "ResourceListing.h"
#include "TestSupport.h"

#include <sstream>

TEST(ProbeListingTests, ListsEveryRebuiltResourceInDirectoryOrder) {
    EXPECT_EQ(Fnv1a64({}), 0xCBF29CE484222325ull);
    EXPECT_EQ(Fnv1a64(Bytes("a")), 0xAF63DC4C8601EC8Cull);

    for (const std::string Arch : {"x86", "x64"}) {
        const TPeImage Stub(ReadStub("TestStub-" + Arch + ".exe"), u"stub.exe");
        const std::vector<uint8_t> Rebuilt =
            RebuildForProbe(Stub, ReadFixture("Stub/TestIcon.png"));
        const TPeImage Image(Rebuilt, u"rebuilt.exe");
        const std::string Listing = ResourceListing(Image);
        const std::string Output = std::string(ONESETUP_TEST_OUTPUT) + "/ProbeRebuilt-" + Arch;
        WriteWholeFile(Output + ".exe", Rebuilt);
        WriteWholeFile(Output + ".txt", std::vector<uint8_t>(Listing.begin(), Listing.end()));

        std::vector<std::string> Lines;
        std::istringstream Stream(Listing);
        for (std::string Line; std::getline(Stream, Line);)
            Lines.push_back(Line);
        const std::vector<TResource>& Items = Image.Resources().Items;
        ASSERT_EQ(Lines.size(), Items.size() + 3);
        // Named types first, names before IDs, languages ascending.
        EXPECT_EQ(Lines[0].substr(0, 9), "CUSTOM 1 ");
        EXPECT_EQ(Lines[3].substr(0, 44), "10 {54682D66-DEF6-4E5B-8AB5-70FFDF2C0E3A} 0 ");
        EXPECT_EQ(Lines[2], "10 LICENSE 0 0 cbf29ce484222325");
        EXPECT_EQ(Lines[4].substr(0, 14), "10 数据 0 3 ");
        EXPECT_EQ(Lines[5].substr(0, 17), "10 7 1033 1048576");
        EXPECT_EQ(Lines[6].substr(0, 14), "10 7 2052 777 ");
        for (size_t I = 0; I < Items.size(); ++I) {
            char Hash[17];
            std::snprintf(Hash, sizeof(Hash), "%016llx",
                          static_cast<unsigned long long>(Fnv1a64(Items[I].Data)));
            EXPECT_EQ(Lines[I].substr(Lines[I].size() - 16), Hash) << Lines[I];
        }
        EXPECT_EQ(Lines[Items.size()], "ProductName: 探针测试产品");
        EXPECT_EQ(Lines[Items.size() + 1], "FileVersion: 2.5.0.17");
        const std::string Sums = Lines.back().substr(10);
        EXPECT_EQ(Sums.substr(0, 8), Sums.substr(9)) << "stored and computed checksums differ";
    }
}
