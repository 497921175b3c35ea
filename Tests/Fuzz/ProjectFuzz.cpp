// Project expansion and the whole build: a project (the input) over a small fixed tree of
// sources (names with spaces, letter case, CJK, sub-folders, a link, an empty file, a PNG and
// a file that only calls itself one). The build succeeds or raises the builder's errors; an
// installer it made always opens again, and every file in it decodes to its source's bytes.
// Projects that name anything outside the tree are skipped: the fuzzer must not search or
// write the machine's folders.

#include "BuildError.h"
#include "BuildProject.h"
#include "FuzzSupport.h"
#include "InstallerPackage.h"
#include "LxStreams.h"

#include <fstream>

namespace {

void Write(const fs::path& Path, std::string_view Bytes) {
    fs::create_directories(Path.parent_path());
    std::ofstream(Path, std::ios::binary).write(Bytes.data(), std::streamsize(Bytes.size()));
}

const fs::path& Tree() {
    static const fs::path Root = [] {
        const fs::path Source = FuzzScratch() / "project";
        Write(Source / "a.txt", "alpha\n");
        Write(Source / "B.TXT", "bravo");
        Write(Source / "empty.txt", "");
        Write(Source / "License.txt", "licence\r\n");
        Write(Source / "fake.png", "GIF89a");
        fs::copy_file(fs::path(ONESETUP_FUZZ_FIXTURES) / "Stub/TestIcon.png", Source / "Icon.png");
        Write(Source / "sub/c.dat", std::string(300, 'c'));
        Write(Source / "sub/space name.txt", "space");
        Write(Source / "sub/deeper/d.bin", std::string("\0\1\2\3", 4));
        Write(Source / "\xE4\xB8\xAD\xE6\x96\x87.txt", "cjk");
        fs::create_directory_symlink("deeper", Source / "sub/link");
        return Source;
    }();
    return Root;
}

// A text of the project that names a file or folder: relative, and never above its start.
bool Contained(WideStringView Text) {
    if (!Text.empty() && (Text[0] == u'\\' || Text[0] == u'/')) return false;
    size_t Start = 0;
    while (Start <= Text.size()) {
        size_t End = Text.find_first_of(u"\\/", Start);
        if (End == WideStringView::npos) End = Text.size();
        if (Text.substr(Start, End - Start) == u"..") return false;
        Start = End + 1;
    }
    return true;
}

bool StaysInTree(const TSetupScript& Script) {
    const TSetupBaseInfo& Info = Script.BaseInfo();
    for (const WideString* Text :
         {&Info.IconFile, &Info.LicenseFile, &Info.FullSetupFile, &Info.MiniSetupFile})
        if (!Contained(*Text)) return false;
    for (int I = 0; I < Script.FileList().Count(); ++I) {
        auto Item = Script.FileList().Items(I)->Clone();
        auto& File = static_cast<TSetupFile&>(*Item);
        // The build stops at the first item whose variables fail, as this check does.
        if (!OwnErrorsOnly([&] { File.ExpandVars(Script.VarList()); })) return true;
        if (!Contained(File.SourcePath) || !Contained(File.SourceMask)) return false;
    }
    return true;
}

void CheckInstaller(const fs::path& File, const fs::path& Sources) {
    const TInstallerPackage Package(File);
    if (!Package.IsFull()) return;
    const TSetupFileList& Files = Package.Script().FileList();
    for (int I = 0; I < Files.Count(); ++I) {
        const TSetupFile& Item = *Files.Items(I);
        const std::vector<uint8_t> Source =
            ReadWholeFile(Sources / ToPath(Item.SourcePath) / ToPath(Item.SourceMask));
        FUZZ_CHECK(int64_t(Source.size()) == Item.FileBytes);
        std::vector<uint8_t> Plain;
        Package.DecodeFile(Item, [&](const uint8_t* Data, size_t Size) {
            Plain.insert(Plain.end(), Data, Data + Size);
        });
        FUZZ_CHECK(Plain == Source);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const fs::path& Sources = Tree();
    {
        TSetupScript Script;
        TMemoryViewStream Stream(Data, int64_t(Size));
        if (!OwnErrorsOnly([&] { Script.LoadFromStream(Stream); })) return 0;
        if (!StaysInTree(Script)) return 0;
    }
    const fs::path Output = FuzzScratch() / "out";
    fs::remove_all(Output);
    Write(Sources / "Project.xml", std::string_view(reinterpret_cast<const char*>(Data), Size));

    TBuildRequest Request;
    Request.Project = Sources / "Project.xml";
    Request.OutputDir = Output;
    Request.Stub = ONESETUP_FUZZ_STUB;
    Request.Level = 1;
    TBuildReport Report;
    if (!OwnErrorsOnly([&] { Report = BuildProject(Request); })) return 0;
    CheckInstaller(Report.FullSetup, Sources);
    if (!Report.MiniSetup.empty()) CheckInstaller(Report.MiniSetup, Sources);
    return 0;
}
