#include "BuildError.h"
#include "BuilderTestSupport.h"
#include "ProjectFiles.h"
#include "TestSupport.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <gtest/gtest.h>

TEST(ProjectFiles, MasksMatchLikeWindowsNames) {
    EXPECT_TRUE(MatchesMask(u"ReadMe.TXT", u"*.txt"));
    EXPECT_TRUE(MatchesMask(u"a.b.c", u"*"));
    EXPECT_TRUE(MatchesMask(u"abc", u"a?c"));
    EXPECT_TRUE(MatchesMask(u"axxbyyc", u"a*b*c"));
    EXPECT_TRUE(MatchesMask(u"演示.dll", u"演示.*"));
    EXPECT_FALSE(MatchesMask(u"ac", u"a?c"));
    EXPECT_FALSE(MatchesMask(u"a.txt.bak", u"*.txt"));
    EXPECT_FALSE(MatchesMask(u"abcd", u"abc"));
    EXPECT_FALSE(MatchesMask(u"axxbyy", u"a*b*c"));
}

class ProjectExpansion : public ::testing::Test {
protected:
    TScratchFolder Folder{"expand"};
    TSetupScript Script;

    void SetUp() override {
        UseUtcAsLocalTime();
        WriteText(Folder / "files/b.txt", "bee");
        WriteText(Folder / "files/a.txt", "a");
        WriteText(Folder / "files/tool.exe", "MZ");
        WriteText(Folder / "files/sub/c.txt", "sea");
        WriteText(Folder / "files/sub/deeper/d.txt", "dee");
        WriteText(Folder / "files/Another/e.txt", "e");
    }

    TSetupFile& AddItem(WideStringView Path, WideStringView Mask, bool SubFolders = false) {
        auto Item = std::make_unique<TSetupFile>();
        Item->DestDir = u"{app}\\{AppTitle}";
        Item->SourcePath = WideString(Path);
        Item->SourceMask = WideString(Mask);
        Item->IncludeSubPath = SubFolders;
        return *Script.FileList().Add(std::move(Item));
    }

    std::vector<TPackageFile> Expand() {
        return ExpandProjectItems(Script, Folder / "Project.xml");
    }
};

TEST_F(ProjectExpansion, OneItemPerFileInNameOrderWithSubFoldersAppended) {
    Script.VarList().Find(u"{AppTitle}")->VarValue = u"Demo";
    AddItem(u"files", u"*.txt", true);
    const std::vector<TPackageFile> Files = Expand();
    std::vector<WideString> Targets;
    for (const TPackageFile& File : Files)
        Targets.push_back(File.Item->DestDir + u"|" + File.Item->SourceMask);
    // Files of a folder first, then its sub-folders in name order, whatever the disk's order.
    const std::vector<WideString> Expected = {
        u"{app}\\Demo|a.txt", u"{app}\\Demo|b.txt", u"{app}\\Demo\\Another|e.txt",
        u"{app}\\Demo\\sub|c.txt", u"{app}\\Demo\\sub\\deeper|d.txt"};
    EXPECT_EQ(Targets, Expected);
    ASSERT_EQ(Script.FileList().Count(), 5);
    EXPECT_EQ(Script.FileList().Items(3)->SourcePath, u"files\\sub");
    EXPECT_EQ(Script.FileList().Items(3)->FileBytes, 3);
    EXPECT_FALSE(Script.FileList().Items(3)->IncludeSubPath);
    EXPECT_EQ(Files[3].Source, Folder / "files/sub/c.txt");
}

TEST_F(ProjectExpansion, RecordsSizeAndLocalModificationTime) {
    // 2024-01-02 03:04:05 UTC, the script's days since 1899-12-30.
    const fs::path File = Folder / "files/a.txt";
    fs::last_write_time(File, LocalDateTimeToFileTime(45293.0 + (3 * 3600 + 4 * 60 + 5) / 86400.0));
    AddItem(u"files", u"A.TXT");
    Expand();
    const TSetupFile& Item = *Script.FileList().Items(0);
    EXPECT_EQ(Item.FileBytes, 1);
    EXPECT_NEAR(Item.LastWriteDate, 45293.12783564815, 1e-9);
    EXPECT_EQ(FileTimeToLocalDateTime(fs::last_write_time(File)), Item.LastWriteDate);
}

TEST(ProjectFiles, LocalTimesUseTodaysOffsetLikeTheInstaller) {
    using namespace std::chrono;
    const auto At = [](year_month_day Day, milliseconds Extra) -> fs::file_time_type {
        return time_point_cast<fs::file_time_type::duration>(
            fs::file_time_type::clock::from_sys(sys_time<milliseconds>(sys_days(Day)) + Extra));
    };
    // A zone with summer time: a January and a July file are the same offset from UTC, the
    // one the installer will use, so that both come back unchanged when installed.
    const fs::file_time_type January = At(year(2024) / 1 / 15, milliseconds(1));
    const fs::file_time_type July = At(year(2024) / 7 / 15, milliseconds(251));
    UseTimeZone("CET-1CEST,M3.5.0,M10.5.0/3");
    const TDateTime LocalJanuary = FileTimeToLocalDateTime(January);
    const TDateTime LocalJuly = FileTimeToLocalDateTime(July);
    UseUtcAsLocalTime();
    EXPECT_NEAR((LocalJuly - LocalJanuary) * 86400.0, 182 * 86400.0 + 0.25, 1e-4);
    EXPECT_NE(LocalJanuary, FileTimeToLocalDateTime(January));

    UseTimeZone("CET-1CEST,M3.5.0,M10.5.0/3");
    for (const fs::file_time_type Time : {January, July, At(year(1950) / 6 / 1, milliseconds(7))})
        EXPECT_TRUE(LocalDateTimeToFileTime(FileTimeToLocalDateTime(Time)) == Time);
    UseUtcAsLocalTime();
}

TEST_F(ProjectExpansion, SubstitutesVariablesIntoEveryList) {
    Script.VarList().Find(u"{AppTitle}")->VarValue = u"Demo";
    auto Reg = std::make_unique<TSetupReg>();
    Reg->SubKey = u"Software\\{AppTitle}";
    Script.RegList().Add(std::move(Reg));
    auto Link = std::make_unique<TSetupShortCut>();
    Link->Name = u"{apptitle} Help";
    Script.ShortCutList().Add(std::move(Link));
    AddItem(u"files", u"tool.exe").NewFileName = u"{AppTitle}.exe";
    Expand();
    EXPECT_EQ(Script.RegList().Items(0)->SubKey, u"Software\\Demo");
    EXPECT_EQ(Script.ShortCutList().Items(0)->Name, u"Demo Help");
    EXPECT_EQ(Script.FileList().Items(0)->NewFileName, u"Demo.exe");
}

TEST_F(ProjectExpansion, RefusesWhatCannotBeInstalled) {
    auto ExpectError = [&](const char16_t* Fragment) {
        const WideString Message = MessageOf<EBuildError>([&] { Expand(); });
        EXPECT_NE(Message.find(u"Project.xml"), WideString::npos) << WideToUtf8(Message);
        EXPECT_NE(Message.find(Fragment), WideString::npos) << WideToUtf8(Message);
        Script.FileList().Clear();
    };
    AddItem(u"files", u"*.dll");
    ExpectError(u"nothing matches");
    AddItem(u"files", u"*.txt").NewFileName = u"one.txt";
    ExpectError(u"matches 2 files");
    AddItem(u"missing", u"*");
    ExpectError(u"does not exist");
    AddItem(u"files", u"");
    ExpectError(u"no SourceMask");
    // Variables may lengthen a text up to their limit, and all texts up to 64 times the project.
    Script.VarList().Add(u"{L}")->VarValue = WideString(60000, u'x');
    AddItem(u"files", u"a.txt").DestDir = u"{L}{L}";
    ExpectError(u"longer than 65536 characters");
    for (int I = 0; I < 20; ++I)
        AddItem(u"files", u"a.txt").DestDir = u"{L}";
    ExpectError(u"64 times as long as the project");
}

TEST_F(ProjectExpansion, RefusesALinkBackToAFolderBeingSearched) {
    std::error_code Error;
    fs::create_directory_symlink("..", Folder / "files/sub/up", Error);
    if (Error) GTEST_SKIP() << "no symbolic links here";
    AddItem(u"files", u"*.txt", true);
    const WideString Message = MessageOf<EBuildError>([&] { Expand(); });
    EXPECT_NE(Message.find(u"leads back to a folder that holds it"), WideString::npos)
        << WideToUtf8(Message);
}

TEST_F(ProjectExpansion, RefusesFilesTooLargeForTheFormat) {
    // Sparse: costs no disk space.
    const fs::path Big = Folder / "big/huge.bin";
    fs::create_directories(Big.parent_path());
    { std::ofstream(Big, std::ios::binary).put('x'); }
    fs::resize_file(Big, uint64_t(1) << 31);
    AddItem(u"big", u"huge.bin");
    const WideString Message = MessageOf<EBuildError>([&] { Expand(); });
    EXPECT_NE(Message.find(u"2 GiB"), WideString::npos) << WideToUtf8(Message);
}

#ifndef _WIN32
TEST_F(ProjectExpansion, NamesThatAreNotUtf8ReadWithReplacementCharacters) {
    WriteText(Folder / "files/\xFF.bin", "x");
    AddItem(u"files", u"*.bin");
    const std::vector<TPackageFile> Files = Expand();
    ASSERT_EQ(Files.size(), 1u);
    EXPECT_EQ(Files[0].Item->SourceMask, u"\uFFFD.bin");
    EXPECT_EQ(Files[0].Source, Folder / "files/\xFF.bin");
}
#endif

TEST_F(ProjectExpansion, AFolderInTheMaskJoinsTheSourcePath) {
    AddItem(u"files", u"sub\\*.txt");
    Expand();
    ASSERT_EQ(Script.FileList().Count(), 1);
    EXPECT_EQ(Script.FileList().Items(0)->SourcePath, u"files\\sub");
    EXPECT_EQ(Script.FileList().Items(0)->SourceMask, u"c.txt");
}
