#include "BuildError.h"
#include "BuildProject.h"
#include "BuilderTestSupport.h"
#include "FileDataClasses.h"
#include "FileDataDigests.h"
#include "InstallerPackage.h"
#include "InstallerWriter.h"
#include "LxStreams.h"
#include "MySetupUtils.h"
#include "PackageContent.h"
#include "PackageEncoder.h"
#include "SolidData.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

const char ProjectXml[] = R"(<?xml version="1.0" encoding="utf-8"?>
<TSetupScript>
    <BaseInfo AppTitle="Probe &amp; Co" Version="2.5.1.300" GUID="{11111111-2222-4333-8444-555555555555}"
        IconFile="Icon.png" LicenseFile="License.txt" FullSetupFile="ProbeSetup.exe"
        ProductName="Probe" CompanyName="Probe Company" %MINI%/>
    <FileList><Items>
        <TSetupFile DestDir="{app}" SourcePath="files" SourceMask="*" IncludeSubPath="True"/>
        <TSetupFile DestDir="{app}\copy" SourcePath="files" SourceMask="same1.bin"/>
    </Items></FileList>
    <VarList><Items><TSetupVar VarName="{AppTitle}" VarValue="Probe"/></Items></VarList>
</TSetupScript>
)";

std::vector<uint8_t> Noise(size_t Size, uint32_t Seed) {
    std::vector<uint8_t> Bytes(Size);
    for (uint8_t& Byte : Bytes)
        Byte = uint8_t((Seed = Seed * 1103515245u + 12345u) >> 16);
    return Bytes;
}

std::vector<uint8_t> Decode(const std::vector<uint8_t>& Encoded) {
    TMemoryStream Stream;
    Stream.WriteBuffer(Encoded.data(), int64_t(Encoded.size()));
    TSetupfn::DecodeStream(Stream);
    return Stream.Bytes();
}

// The record vouches for every byte of the block in adjacent regions and for every entry; a
// byte flipped at the end of the largest stream is seen in that stream's entry alone.
void ExpectDigestsVouchForTheBlock(std::vector<uint8_t> Block, const std::vector<uint8_t>& Record) {
    TFileDataList Index;
    Index.LoadFromBlock(Block.data(), Block.size());
    TFileDataDigests Digests;
    ASSERT_TRUE(Digests.Load(Record.data(), Record.size(), Block.size()));
    uint64_t Next = 0;
    for (size_t I = 0; I < Digests.Count(); ++I) {
        const TBlockRegion Region = Digests.Region(I);
        EXPECT_EQ(Region.Offset, Next);
        EXPECT_LE(Region.Size, TFileDataDigests::RegionSize);
        EXPECT_TRUE(Digests.RegionIntact(I, Block.data())) << I;
        Next += Region.Size;
    }
    EXPECT_EQ(Next, Block.size());
    const TFileData* Largest = Index.Items(0);
    for (int I = 0; I < Index.Count(); ++I) {
        EXPECT_TRUE(Digests.EntryIntact(*Index.Items(I))) << I;
        if (Index.Items(I)->Bytes > Largest->Bytes) Largest = Index.Items(I);
    }
    Block[size_t(Largest->Offset) + size_t(Largest->Bytes) - 1] ^= 0x40;
    for (size_t I = 0; I < Digests.Count(); ++I)
        if (!Digests.RegionIntact(I, Block.data())) Digests.MarkDamaged(I);
    for (int I = 0; I < Index.Count(); ++I) {
        const TFileData& Entry = *Index.Items(I);
        EXPECT_EQ(Digests.EntryIntact(Entry), Entry.Offset != Largest->Offset) << I;
    }
}

// The items' names as encoded, then beside each non-empty input a file of its size with another
// content (one byte changed), added to the items and files.
std::vector<WideString> SiblingsOfTheirSize(const fs::path& Dir,
                                            const std::vector<std::vector<uint8_t>>& Inputs,
                                            std::vector<std::unique_ptr<TSetupFile>>& Items,
                                            std::vector<TPackageFile>& Files) {
    std::vector<WideString> Names;
    for (size_t I = 0; I < Inputs.size(); ++I) {
        Names.push_back(Items[I]->ResID);
        if (Inputs[I].empty()) continue;
        std::vector<uint8_t> Other = Inputs[I];
        Other.back() ^= 1;
        const std::string Name = "other" + std::to_string(I) + ".bin";
        WriteBytes(Dir / Name, Other);
        Items.push_back(std::make_unique<TSetupFile>());
        Items.back()->SourceMask = Utf8ToWide(Name);
        Files.push_back({Items.back().get(), Dir / Name, Other.size()});
    }
    return Names;
}

// A built installer with its script replaced by what Edit makes of it.
std::vector<uint8_t> WithScript(const fs::path& Setup,
                                const std::function<void(TSetupScript&)>& Edit) {
    const TInstallerPackage Package(Setup);
    TSetupScript Script;
    Script.AssignByXml(&Package.Script());
    Edit(Script);
    TMemoryStream Stream;
    Script.SaveToStream(Stream);
    TResourceTree Tree = Package.Image().Resources();
    Tree.Set(TResourceKey::FromId(RT_RCDATA_ID), TResourceKey::FromName(FullSetupScriptResName),
             LANG_NEUTRAL_ID, EncodeBytes(Stream.Bytes()));
    return Package.Image().WithResources(Tree);
}

class BuildProjectTest : public ::testing::Test {
protected:
    TScratchFolder Folder{"build"};
    std::vector<uint8_t> Icon;
    bool Pin = true;

    void SetUp() override {
        // The smallest well-formed PNG header the icon writer needs.
        Icon = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0,
                0,    0,   32,  0,   0,    0,    32,   8,    6, 0, 0, 0,  0,   0,   0,   0};
        WriteBytes(Folder / "Icon.png", Icon);
        WriteText(Folder / "License.txt", "\xEF\xBB\xBFlicence text\r\n");
        WriteText(Folder / "files/readme.txt", "read me\r\n");
        WriteText(Folder / "files/empty.txt", "");
        WriteBytes(Folder / "files/bin/same1.bin", Noise(70000, 1));
        WriteBytes(Folder / "files/bin/same2.bin", Noise(70000, 1));
        WriteBytes(Folder / "files/same1.bin", Noise(70000, 1));
        // More than a digest region.
        WriteBytes(Folder / "files/data/big.dat", Noise(1100000, 2));
        WriteProject("");
    }

    void WriteProject(const std::string& Mini) {
        std::string Xml = ProjectXml;
        Xml.replace(Xml.find("%MINI%"), 6, Mini);
        WriteText(Folder / "Project.xml", Xml);
    }

    TBuildReport Build(const std::string& Output, const std::string& Arch = "x86", int Jobs = 2) {
        TBuildRequest Request;
        Request.Project = Folder / "Project.xml";
        Request.OutputDir = Folder / Output;
        Request.Stub = TestStub(Arch);
        Request.Jobs = Jobs;
        Request.PinFullSetup = Pin;
        return BuildProject(Request);
    }

    WideString BuildError() {
        return MessageOf<EBuildError>([&] { Build("out"); });
    }
};

} // namespace

TEST_F(BuildProjectTest, FullInstallerCarriesEveryPartAndEveryFileDecodes) {
    const TBuildReport Report = Build("out");
    EXPECT_EQ(Report.FullSetup, Folder / "out/ProbeSetup.exe");
    EXPECT_TRUE(Report.MiniSetup.empty());
    const TInstallerPackage Package(Report.FullSetup);
    ASSERT_TRUE(Package.IsFull());
    EXPECT_FALSE(Package.Image().Is64());
    const TSetupScript& Script = Package.Script();
    EXPECT_EQ(Script.BaseInfo().AppTitle, u"Probe & Co");
    ASSERT_EQ(Script.FileList().Count(), 7);

    // Every item's bytes come back from the file data, identical contents stored once.
    std::set<int32_t> Offsets;
    for (int I = 0; I < Script.FileList().Count(); ++I) {
        const TSetupFile& Item = *Script.FileList().Items(I);
        const std::vector<uint8_t> Source =
            ReadWholeFile(Folder.Path() / ToPath(Item.SourcePath) / ToPath(Item.SourceMask));
        EXPECT_EQ(Item.FileBytes, int32_t(Source.size()));
        if (Item.FileBytes == 0) continue;
        const TFileData* Entry = Package.FileData().FindByGUID(Item.ResID);
        ASSERT_NE(Entry, nullptr);
        std::vector<uint8_t> Plain;
        TSetupfn::DecodeRange(Entry->Data(), Entry->Size(), [&](const uint8_t* Data, size_t Size) {
            Plain.insert(Plain.end(), Data, Data + Size);
        });
        EXPECT_EQ(Plain, Source) << WideToUtf8(Item.SourceMask);
        Offsets.insert(Entry->Offset);
    }
    EXPECT_EQ(Offsets.size(), 3u) << "readme, one noise content, big.dat";
    EXPECT_EQ(Report.DistinctContents, 3);

    const TSetupBaseInfo& Info = Script.BaseInfo();
    EXPECT_EQ(Decode(Package.RcData(Info.IconResID)->Data), Icon);
    EXPECT_EQ(Decode(Package.RcData(Info.LicenseResID)->Data),
              ReadWholeFile(Folder / "License.txt"));
    const TResourceTree& Tree = Package.Image().Resources();
    EXPECT_NE(Tree.Find(TResourceKey::FromId(RT_GROUP_ICON_ID), TResourceKey::FromId(1)), nullptr);
    EXPECT_NE(Tree.Find(TResourceKey::FromId(RT_VERSION_ID), TResourceKey::FromId(1)), nullptr);
    EXPECT_NE(Tree.Find(TResourceKey::FromId(RT_MANIFEST_ID), TResourceKey::FromId(1)), nullptr);
    const TResource* Record = Package.RcData(FileDataDigestsResName);
    ASSERT_NE(Record, nullptr);
    ExpectDigestsVouchForTheBlock(Package.RcData(FileDataResName)->Data, Record->Data);
}

TEST_F(BuildProjectTest, SameInputsGiveTheSameBytesWhateverTheThreads) {
    // Large enough to be encoded in chunks.
    std::vector<uint8_t> Large(size_t(TPackageEncoder::WholeLimit) + 3);
    for (size_t I = 0; I < Large.size(); ++I)
        Large[I] = uint8_t(I * 7 / 4096 + I % 3);
    WriteBytes(Folder / "files/data/large.dat", Large);
    const TBuildReport One = Build("one", "x86", 1);
    const TBuildReport Four = Build("four", "x86", 4);
    EXPECT_EQ(ReadWholeFile(One.FullSetup), ReadWholeFile(Four.FullSetup));
    // Only the installer is left: the encoded files waited beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(Folder / "four"), fs::directory_iterator()), 1);
    const TInstallerPackage Package(Four.FullSetup);
    const TSetupFileList& Items = Package.Script().FileList();
    std::vector<uint8_t> Plain;
    for (int I = 0; I < Items.Count(); ++I)
        if (Items.Items(I)->SourceMask == u"large.dat")
            Package.DecodeFile(*Items.Items(I), [&](const uint8_t* Data, size_t Size) {
                Plain.insert(Plain.end(), Data, Data + Size);
            });
    EXPECT_TRUE(Plain == Large);
    // A changed file changes the package, and only through its content.
    WriteText(Folder / "files/readme.txt", "read me again\r\n");
    EXPECT_NE(ReadWholeFile(Build("changed").FullSetup), ReadWholeFile(One.FullSetup));
}

TEST_F(BuildProjectTest, LargeFilesEncodeInChunksThatMakeOneStreamWhateverTheThreads) {
    // Small chunks stand in for the large ones, so that a few hundred KiB take that path.
    const TChunking Chunking{100000, 65536};
    const size_t Chunk = Chunking.ChunkSize;
    // Noise repeating every 5000 bytes, an exact number of chunks: each chunk finds its matches
    // in the input before it.
    std::vector<uint8_t> Periodic = Noise(5000, 3);
    while (Periodic.size() < 8 * Chunk)
        Periodic.push_back(Periodic[Periodic.size() - 5000]);
    // One run across several chunk boundaries.
    std::vector<uint8_t> Run = Noise(Chunk - 100, 4);
    Run.insert(Run.end(), 300000, 'x');
    const std::vector<uint8_t> Tail = Noise(777, 5);
    Run.insert(Run.end(), Tail.begin(), Tail.end());
    // Noise that stays larger than a digest region once encoded.
    const std::vector<std::vector<uint8_t>> Inputs = {Periodic, Noise(5000, 6), Run, Run,
                                                      Noise(TFileDataDigests::RegionSize + 9, 7)};

    std::vector<std::unique_ptr<TSetupFile>> Items;
    std::vector<TPackageFile> Files;
    for (size_t I = 0; I < Inputs.size(); ++I) {
        const fs::path Path = Folder / ("chunked/" + std::to_string(I) + ".bin");
        WriteBytes(Path, Inputs[I]);
        Items.push_back(std::make_unique<TSetupFile>());
        Items.back()->SourceMask = Utf8ToWide(std::to_string(I) + ".bin");
        Files.push_back({Items.back().get(), Path, Inputs[I].size()});
    }
    auto Encode = [&](int Jobs, int Distinct = 4) {
        const TPackageContent Content =
            EncodePackageFiles(Files, Jobs, TPackageEncoder::DefaultLevel, nullptr,
                               Folder / ("spool" + std::to_string(Jobs)), Chunking);
        EXPECT_EQ(Content.DistinctContents, Distinct);
        std::vector<uint8_t> Block;
        Content.WriteBlock([&](const uint8_t* Data, size_t Size) {
            Block.insert(Block.end(), Data, Data + Size);
        });
        ExpectDigestsVouchForTheBlock(Block, Content.DigestRecord());
        return Block;
    };
    const std::vector<uint8_t> Block = Encode(3);
    EXPECT_TRUE(Encode(1) == Block);

    TFileDataList Index;
    Index.LoadFromBlock(Block.data(), Block.size());
    for (size_t I = 0; I < Inputs.size(); ++I) {
        const TFileData* Entry = Index.FindByGUID(Items[I]->ResID);
        ASSERT_NE(Entry, nullptr);
        std::vector<uint8_t> Plain;
        TSetupfn::DecodeRange(Entry->Data(), Entry->Size(), [&](const uint8_t* Data, size_t Size) {
            Plain.insert(Plain.end(), Data, Data + Size);
        });
        EXPECT_TRUE(Plain == Inputs[I]) << I;
        if (Inputs[I].size() <= Chunking.WholeLimit) continue;
        // Every chunk but the last ends with the marker of a byte-aligned flush.
        std::vector<uint8_t> Stream(Entry->Data(), Entry->Data() + Entry->Size());
        TSetupfn::ScrambleBytes(Stream.data(), Stream.size(), 0);
        const uint8_t Marker[] = {0, 0, 0xFF, 0xFF};
        size_t Markers = 0;
        for (auto At = Stream.begin();
             (At = std::search(At, Stream.end(), Marker, Marker + 4)) != Stream.end(); ++At)
            ++Markers;
        EXPECT_GE(Markers, (Inputs[I].size() - 1) / Chunk) << I;
    }
    // Primed chunks store the repeating noise about once, not once per chunk.
    EXPECT_LT(Index.FindByGUID(Items[0]->ResID)->Size(), 2 * 5000u);

    // Whole or in chunks, a file of a size of its own is named as it is beside another content
    // of its size, whose checksum the first pass takes.
    const std::vector<WideString> Names =
        SiblingsOfTheirSize(Folder / "chunked", Inputs, Items, Files);
    Encode(2, 8);
    for (size_t I = 0; I < Inputs.size(); ++I)
        EXPECT_EQ(Items[I]->ResID, Names[I]) << I;
}

TEST_F(BuildProjectTest, MiniInstallerCarriesTheMiniScriptAndNoFiles) {
    WriteProject(R"(BuildMiniSetup="True" FullDownloadUrl="http://127.0.0.1/ProbeSetup.exe")");
    const TBuildReport Report = Build("out", "x64");
    EXPECT_EQ(Report.MiniSetup, Folder / "out/SetupMini.exe");
    const TInstallerPackage Mini(Report.MiniSetup);
    EXPECT_FALSE(Mini.IsFull());
    EXPECT_TRUE(Mini.Image().Is64());
    EXPECT_EQ(Mini.RcData(FileDataResName), nullptr);
    EXPECT_NE(Mini.RcData(MiniSetupScriptResName), nullptr);
    EXPECT_NE(Mini.RcData(Mini.Script().BaseInfo().IconResID), nullptr);
    EXPECT_NE(Mini.RcData(Mini.Script().BaseInfo().LicenseResID), nullptr);
    EXPECT_LT(Report.MiniSize, Report.FullSize);

    // The mini installer pins the full one by the SHA-256 of its file; --no-pin leaves it out.
    const std::vector<uint8_t> Full = ReadWholeFile(Report.FullSetup);
    const TSha256::TDigest Digest = TSha256::Of(Full.data(), Full.size());
    ASSERT_NE(Mini.RcData(FullSetupDigestResName), nullptr);
    EXPECT_EQ(Mini.RcData(FullSetupDigestResName)->Data,
              std::vector<uint8_t>(Digest.begin(), Digest.end()));
    EXPECT_EQ(Report.PinnedDigest, Digest);
    EXPECT_EQ(TInstallerPackage(Report.FullSetup).RcData(FullSetupDigestResName), nullptr);
    Pin = false;
    const TBuildReport Unpinned = Build("unpinned", "x64");
    EXPECT_EQ(TInstallerPackage(Unpinned.MiniSetup).RcData(FullSetupDigestResName), nullptr);
    EXPECT_FALSE(Unpinned.PinnedDigest);
    EXPECT_EQ(ReadWholeFile(Unpinned.FullSetup), Full);
}

TEST_F(BuildProjectTest, RefusesProjectsThatCannotMakeAWorkingInstaller) {
    WriteText(Folder / "Project.xml", "<TSetupScript><BaseInfo AppTitle=\"x\"/></TSetupScript>");
    EXPECT_NE(BuildError().find(u"no GUID"), WideString::npos);
    WriteProject(R"(BuildMiniSetup="True")");
    EXPECT_NE(BuildError().find(u"FullDownloadUrl"), WideString::npos);
    WriteText(Folder / "Icon.png", "GIF89a");
    WriteProject("");
    EXPECT_NE(BuildError().find(u"Icon.png"), WideString::npos);
    fs::remove(Folder / "Icon.png");
    EXPECT_NE(BuildError().find(u"does not exist"), WideString::npos);
    WriteText(Folder / "Project.xml", "<TSetupScript><BaseInfo");
    EXPECT_NE(BuildError().find(u"XML"), WideString::npos);
    // Names the system cannot look up or convert are missing files, not the library's errors.
    for (const std::string& Name : {std::string(5000, 'n'), std::string("&#xD800;")}) {
        WriteText(Folder / "Project.xml",
                  "<TSetupScript><BaseInfo AppTitle=\"x\" GUID=\"{1}\" IconFile=\"" + Name +
                      "\"/></TSetupScript>");
        EXPECT_NE(BuildError().find(u"does not exist"), WideString::npos) << Name;
    }
}

TEST_F(BuildProjectTest, CommandsRoundTripBuildInspectAndExtract) {
    const std::string Project = (Folder / "Project.xml").string();
    const std::string Output = (Folder / "cli").string();
    // A Windows tree has no release programs: the test stub stands in for the uninstaller too.
    ASSERT_EQ(RunVerb({"build", Project, "-o", Output, "--stub", TestStub("x64").string(),
                       "--uninstaller", TestStub("x64").string(), "-q"}),
              0);
    const fs::path Setup = Folder / "cli/ProbeSetup.exe";
    ASSERT_EQ(RunVerb({"extract", Setup.string(), "-o", (Folder / "x").string(), "-q"}), 0);
    for (const char* File :
         {"readme.txt", "empty.txt", "same1.bin", "bin/same2.bin", "data/big.dat"})
        EXPECT_EQ(ReadWholeFile(Folder / "x/app" / File), ReadWholeFile(Folder / "files" / File))
            << File;
    EXPECT_EQ(ReadWholeFile(Folder / "x/app/copy/same1.bin"),
              ReadWholeFile(Folder / "files/same1.bin"));
    // The script keeps file times to the millisecond.
    const auto Skew = fs::last_write_time(Folder / "x/app/data/big.dat") -
                      fs::last_write_time(Folder / "files/data/big.dat");
    EXPECT_LT(std::chrono::abs(Skew), std::chrono::milliseconds(1));

    // Damage one stored stream: extraction names the file and fails, the others still come out.
    std::vector<uint8_t> Image = ReadWholeFile(Setup);
    const TInstallerPackage Package(Setup);
    const TSetupFile* Big = nullptr;
    for (int I = 0; I < Package.Script().FileList().Count(); ++I)
        if (Package.Script().FileList().Items(I)->SourceMask == u"big.dat")
            Big = Package.Script().FileList().Items(I);
    ASSERT_NE(Big, nullptr);
    const TFileData* Entry = Package.FileData().FindByGUID(Big->ResID);
    const size_t At = size_t(Entry->Data() - Package.Image()
                                                 .Resources()
                                                 .Find(TResourceKey::FromId(RT_RCDATA_ID),
                                                       TResourceKey::FromName(FileDataResName))
                                                 ->Data.data());
    // Find the block inside the file by its first bytes, then flip a byte in the middle of the
    // stream.
    const std::vector<uint8_t>& Block = Package.RcData(FileDataResName)->Data;
    const auto Found = std::search(Image.begin(), Image.end(), Block.begin(), Block.begin() + 64);
    ASSERT_NE(Found, Image.end());
    Image[size_t(Found - Image.begin()) + At + Entry->Size() / 2] ^= 0x55;
    WriteBytes(Folder / "damaged.exe", Image);
    EXPECT_EQ(RunVerb({"extract", (Folder / "damaged.exe").string(), "-o", (Folder / "y").string(),
                       "-q"}),
              1);
    EXPECT_EQ(ReadWholeFile(Folder / "y/app/readme.txt"),
              ReadWholeFile(Folder / "files/readme.txt"));
}

TEST(ExtractionPathTests, StaysInsideTheFolderWhateverThePackageSays) {
    const fs::path Root = "/out";
    const struct {
        const char16_t* DestDir;
        const char16_t* Name;
        const char* Expected; // the path under Root, or the reason of the refusal
    } Cases[] = {
        {u"{app}\\bin", u"x.dll", "app/bin/x.dll"},
        {u"C:\\Windows", u"x.dll", "C/Windows/x.dll"},
        {u"\\\\server\\share", u"x", "server/share/x"},
        {u"/etc/", u"passwd", "etc/passwd"},
        {u"{app}/./a//b", u"x", "app/a/b/x"},
        {u"{app}\\..\\..", u"x.txt", "leads out of the folder"},
        {u"D:..", u"x.txt", "names a stream or a drive"},
        {u"{app}", u"..", "leads out of the folder"},
        {u"{app}", u"x.txt:secret", "names a stream or a drive"},
        {u"{app}", u"x.txt::$DATA", "names a stream or a drive"},
        {u"{app}", u"CON", "names a device"},
        {u"{app}", u"nul.txt", "names a device"},
        {u"{app}\\COM1", u"x", "names a device"},
        {u"{app}", u"Lpt\u00B9", "names a device"},
        {u"{app}", u"aux .log", "names a device"},
        {u"{app}", u"...", "ends in a dot or a space"},
        {u"{app}", u".. ", "ends in a dot or a space"},
        {u"{app}", u"x.txt.", "ends in a dot or a space"},
        {u"{app}", u"a?b", "holds a character Windows does not allow"},
        {u"{app}", u"a\tb", "holds a character Windows does not allow"},
        {u"{app}", u"", "has no file name"},
        {u"{app}", u".", "has no file name"},
        {u"", u"\\", "has no file name"},
    };
    for (const auto& Case : Cases) {
        TSetupFile Item;
        Item.DestDir = Case.DestDir;
        Item.SourceMask = Case.Name;
        const std::string Expected = Case.Expected;
        if (Expected.find('/') != std::string::npos) {
            EXPECT_EQ(ExtractionPath(Item, Root, u"in.exe"), Root / Expected) << Expected;
            continue;
        }
        const WideString Message =
            MessageOf<EBuildError>([&] { ExtractionPath(Item, Root, u"in.exe"); });
        EXPECT_NE(WideToUtf8(Message).find(Expected), std::string::npos) << WideToUtf8(Message);
    }
}

TEST_F(BuildProjectTest, ExtractWritesNothingOutsideItsFolderAndNoMoreThanTheScriptSays) {
    const fs::path Setup = Build("out").FullSetup;
    // One hostile target refuses the package before any file is written.
    WriteBytes(Folder / "escape.exe", WithScript(Setup, [](TSetupScript& Script) {
                   Script.FileList().Items(-1)->DestDir = u"{app}\\..\\..";
               }));
    const fs::path Output = Folder / "x/inside";
    const WideString Message = MessageOf<EBuildError>([&] {
        RunVerb({"extract", (Folder / "escape.exe").string(), "-o", Output.string(), "-q"});
    });
    EXPECT_NE(Message.find(u"leads out of the folder"), WideString::npos) << WideToUtf8(Message);
    EXPECT_FALSE(fs::exists(Folder / "x"));

    // A stream that holds more than its item's FileBytes is cut off there and reported.
    WriteBytes(Folder / "short.exe", WithScript(Setup, [](TSetupScript& Script) {
                   for (int I = 0; I < Script.FileList().Count(); ++I)
                       if (Script.FileList().Items(I)->SourceMask == u"big.dat")
                           Script.FileList().Items(I)->FileBytes = 1000;
               }));
    EXPECT_EQ(RunVerb({"extract", (Folder / "short.exe").string(), "-o", Output.string(), "-q"}),
              1);
    // A file is opened at its first piece that fits: here none does.
    const fs::path Big = Output / "app/data/big.dat";
    EXPECT_LE(fs::exists(Big) ? fs::file_size(Big) : 0, 1000u);
}

TEST_F(BuildProjectTest, SolidBlocksHoldEveryContentOnceWhateverTheThreads) {
    // Small blocks stand in for large ones: at most three files or 100 KB each.
    const TSolidLayout Layout{4, 1, 100000, 3, uint64_t(64) << 20};
    const std::vector<std::vector<uint8_t>> Inputs = {
        Noise(70000, 1), Noise(5000, 2), {}, Noise(70000, 1), Noise(150000, 3), Noise(10, 4),
        Noise(5000, 2),  Noise(30000, 5)};
    std::vector<std::unique_ptr<TSetupFile>> Items;
    std::vector<TPackageFile> Files;
    for (size_t I = 0; I < Inputs.size(); ++I) {
        const fs::path Path = Folder / ("solid/" + std::to_string(I) + ".bin");
        WriteBytes(Path, Inputs[I]);
        Items.push_back(std::make_unique<TSetupFile>());
        Items.back()->SourceMask = Utf8ToWide(std::to_string(I) + ".bin");
        Files.push_back({Items.back().get(), Path, Inputs[I].size()});
    }
    auto Encode = [&](int Jobs, int Distinct = 5) {
        const TPackageContent Content = EncodeSolidPackage(
            Files, Jobs, 3, nullptr, Folder / ("solid-spool" + std::to_string(Jobs)), Layout);
        EXPECT_TRUE(Content.Solid);
        EXPECT_EQ(Content.DistinctContents, Distinct);
        std::vector<uint8_t> Block;
        Content.WriteBlock([&](const uint8_t* Data, size_t Size) {
            Block.insert(Block.end(), Data, Data + Size);
        });
        return std::make_pair(Block, Content.DigestRecord());
    };
    const auto [Block, Record] = Encode(3);
    EXPECT_TRUE(Encode(1) == std::make_pair(Block, Record));

    TSolidIndex Index;
    Index.LoadFromResource(Block.data(), Block.size());
    EXPECT_GE(Index.Blocks.size(), 3u);
    // Every file but the empty one, in item order; equal contents share one range.
    ASSERT_EQ(Index.Files.size(), Inputs.size() - 1);
    EXPECT_EQ(Index.Files[0].Offset, Index.Files[2].Offset);
    EXPECT_EQ(Index.Files[0].Block, Index.Files[2].Block);
    std::vector<std::vector<uint8_t>> Plain(Index.Blocks.size());
    TSolidDecoder Decoder;
    for (size_t B = 0; B < Index.Blocks.size(); ++B)
        Decoder.Decode(Index, B, [&](const uint8_t* Data, size_t Size) {
            Plain[B].insert(Plain[B].end(), Data, Data + Size);
        });
    for (size_t I = 0, F = 0; I < Inputs.size(); ++I) {
        if (Inputs[I].empty()) continue;
        const TSolidFile& File = Index.Files[F++];
        EXPECT_EQ(File.GUID, Items[I]->ResID);
        const std::vector<uint8_t>& Decoded = Plain[File.Block];
        EXPECT_TRUE(std::vector<uint8_t>(Decoded.begin() + ptrdiff_t(File.Offset),
                                         Decoded.begin() + ptrdiff_t(File.Offset + File.Bytes)) ==
                    Inputs[I])
            << I;
    }

    // The record vouches for every frame; a flipped byte in one is that frame's alone.
    TFileDataDigests Digests;
    ASSERT_TRUE(Digests.Load(Record.data(), Record.size(), Block.size()));
    std::vector<uint8_t> Damaged = Block;
    Damaged[Index.Blocks[1].Offset + Index.Blocks[1].Bytes / 2] ^= 0x10;
    for (size_t I = 0; I < Digests.Count(); ++I) {
        EXPECT_TRUE(Digests.RegionIntact(I, Block.data())) << I;
        if (!Digests.RegionIntact(I, Damaged.data())) Digests.MarkDamaged(I);
    }
    for (size_t B = 0; B < Index.Blocks.size(); ++B)
        EXPECT_EQ(Digests.RangeIntact(Index.Blocks[B].Offset, Index.Blocks[B].Bytes), B != 1) << B;
    // A frame that decodes to another length than its block says is damaged.
    Index.Blocks[0].PlainBytes += 1;
    EXPECT_THROW(Decoder.Decode(Index, 0, [](const uint8_t*, size_t) {}), EZDecompressionError);

    const std::vector<WideString> Names =
        SiblingsOfTheirSize(Folder / "solid", Inputs, Items, Files);
    Encode(2, 10);
    for (size_t I = 0; I < Inputs.size(); ++I)
        EXPECT_EQ(Items[I]->ResID, Names[I]) << I;
}
