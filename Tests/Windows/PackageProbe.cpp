// Opens a built installer the way the installer opens a downloaded one: as an image-resource
// data file, with the system's own resource calls. Every package resource must be found by
// name (in any letter case), decode, and give back the project's files byte for byte.
//
// usage: package_probe SETUP.exe PROJECT_DIR

#include "FileDataClasses.h"
#include "LxStrUtils.h"
#include "LxStreams.h"
#include "LxWinText.h"
#include "MySetupUtils.h"
#include "SetupProject.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <windows.h>

namespace {

int Failures = 0;

void Fail(const std::string& What) {
    std::printf("FAIL: %s\n", What.c_str());
    ++Failures;
}

std::string Utf8(WideStringView Text) {
    return WideToUtf8(Text);
}

struct TBytes {
    const uint8_t* Data = nullptr;
    size_t Size = 0;
};

TBytes FindRcData(HMODULE Module, const WideString& Name) {
    const HRSRC Resource = FindResourceW(Module, W(Name), MAKEINTRESOURCEW(10));
    if (!Resource) return {};
    const HGLOBAL Loaded = LoadResource(Module, Resource);
    return {static_cast<const uint8_t*>(LockResource(Loaded)), SizeofResource(Module, Resource)};
}

std::vector<uint8_t> Decoded(TBytes Bytes) {
    TMemoryStream Stream;
    Stream.WriteBuffer(Bytes.Data, int64_t(Bytes.Size));
    TSetupfn::DecodeStream(Stream);
    return Stream.Bytes();
}

std::vector<uint8_t> ReadFile(const WideString& Path) {
    std::ifstream File(reinterpret_cast<const wchar_t*>(Path.c_str()), std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(File)),
                                std::istreambuf_iterator<char>());
}

WideString Lower(WideString Text) {
    for (char16_t& C : Text)
        if (C >= u'A' && C <= u'Z') C = char16_t(C + 32);
    return Text;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: package_probe SETUP.exe PROJECT_DIR\n");
        return 2;
    }
    const WideString Setup = reinterpret_cast<const char16_t*>(argv[1]);
    const WideString Project = IncludeTrailingBackslash(reinterpret_cast<const char16_t*>(argv[2]));
    const HMODULE Module =
        LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!Module) {
        std::printf("FAIL: cannot load %s as a data file (%lu)\n", Utf8(Setup).c_str(),
                    GetLastError());
        return 1;
    }
    const TBytes Full = FindRcData(Module, WideString(FullSetupScriptResName));
    const TBytes Mini = FindRcData(Module, Lower(WideString(MiniSetupScriptResName)));
    if (!Full.Data == !Mini.Data) Fail("exactly one of the full and mini scripts must be present");
    const std::vector<uint8_t> ScriptXml = Decoded(Full.Data ? Full : Mini);
    TSetupScript Script;
    TMemoryViewStream ScriptStream(ScriptXml.data(), int64_t(ScriptXml.size()));
    Script.LoadFromStream(ScriptStream);
    const TSetupBaseInfo& Info = Script.BaseInfo();
    std::printf("%s installer of %s %s\n", Full.Data ? "full" : "mini", Utf8(Info.AppTitle).c_str(),
                Utf8(Info.Version).c_str());

    const TBytes Icon = FindRcData(Module, Lower(Info.IconResID));
    if (!Icon.Data)
        Fail("no icon resource " + Utf8(Info.IconResID));
    else if (Decoded(Icon).size() < 8 || Decoded(Icon)[1] != 'P')
        Fail("the icon is no PNG");
    if (!Info.LicenseResID.empty()) {
        const TBytes License = FindRcData(Module, Info.LicenseResID);
        if (!License.Data)
            Fail("no licence resource");
        else if (Decoded(License) != ReadFile(Project + Info.LicenseFile))
            Fail("the licence differs");
    }
    if (!FindResourceW(Module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14))) Fail("no icon group 1");

    int Checked = 0;
    const TBytes Block = FindRcData(Module, WideString(FileDataResName));
    if (Full.Data && !Block.Data) Fail("a full installer without file data");
    if (Mini.Data && Block.Data) Fail("a mini installer with file data");
    if (Block.Data) {
        // Entries stay views into the module's resource memory.
        TFileDataList Index;
        Index.LoadFromBlock(Block.Data, Block.Size);
        for (int I = 0; I < Script.FileList().Count(); ++I) {
            const TSetupFile& Item = *Script.FileList().Items(I);
            // The uninstaller the builder added comes from beside the stub, not the project.
            const bool Added = Item.SourcePath.empty() && Item.SourceMask == u"Uninstall.exe";
            const std::vector<uint8_t> Source =
                Added ? std::vector<uint8_t>()
                      : ReadFile(Project + IncludeTrailingBackslash(Item.SourcePath) +
                                 Item.SourceMask);
            std::vector<uint8_t> Plain;
            if (Item.FileBytes > 0) {
                const TFileData* Entry = Index.FindByGUID(Item.ResID);
                if (!Entry) {
                    Fail("no stream for " + Utf8(Item.SourceMask));
                    continue;
                }
                TSetupfn::DecodeRange(Entry->Data(), Entry->Size(),
                                      [&](const uint8_t* Data, size_t Size) {
                                          Plain.insert(Plain.end(), Data, Data + Size);
                                      });
            }
            if (Added ? Item.FileBytes != int32_t(Plain.size()) || Plain.empty()
                      : Plain != Source || Item.FileBytes != int32_t(Source.size()))
                Fail("the stored " + Utf8(Item.SourceMask) + " differs from the project's file");
            ++Checked;
        }
    }
    FreeLibrary(Module);

    // The version resource, read the way Explorer reads it.
    DWORD Ignored = 0;
    const DWORD Size = GetFileVersionInfoSizeW(argv[1], &Ignored);
    std::vector<uint8_t> Version(Size);
    wchar_t* Product = nullptr;
    UINT Length = 0;
    if (!Size || !GetFileVersionInfoW(argv[1], 0, Size, Version.data()) ||
        !VerQueryValueW(Version.data(), L"\\StringFileInfo\\080404B0\\ProductName",
                        reinterpret_cast<void**>(&Product), &Length))
        Fail("no readable version resource");
    else if (WideString(reinterpret_cast<char16_t*>(Product)) !=
             (Info.ProductName.empty() ? Info.AppTitle : Info.ProductName))
        Fail("the version resource names another product");

    std::printf("%d files compared, %d failures\n", Checked, Failures);
    return Failures ? 1 : 0;
}
