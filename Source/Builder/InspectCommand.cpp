#include "BuildError.h"
#include "Commands.h"
#include "ConsoleOutput.h"
#include "FileDataDigests.h"
#include "MySetupUtils.h"
#include "Package/InstallerPackage.h"
#include "Sign/Authenticode.h"

#include <cstdio>

const TCommand InspectCommand = {
    "inspect", "show what an installer carries",
    "usage: onesetup inspect SETUP.exe [--xml]\n"
    "\n"
    "Shows the installer's flavour (full or mini), its signature and that of the uninstaller it\n"
    "carries (the signer and whether the signed digest matches the file), the full installer a\n"
    "mini installer pins, its general settings, every item list and every resource with its\n"
    "size.\n"
    "\n"
    "options:\n"
    "  --xml   print the setup script exactly as stored, nothing else",
    RunInspect};

namespace {

void Field(const char16_t* Name, WideStringView Value) {
    if (!Value.empty()) PrintLine(FormatText(u"  %s: %s", Name, Value));
}

WideString KeyText(const TResourceKey& Key) {
    if (!Key.IsId()) return Key.Name;
    switch (Key.Id) {
    case RT_ICON_ID:
        return u"ICON";
    case RT_RCDATA_ID:
        return u"RCDATA";
    case RT_GROUP_ICON_ID:
        return u"GROUP_ICON";
    case RT_VERSION_ID:
        return u"VERSION";
    case RT_MANIFEST_ID:
        return u"MANIFEST";
    default:
        return IntToStr(Key.Id);
    }
}

WideString RoleOf(const TResource& Resource, const TSetupBaseInfo& Info) {
    if (Resource.Type.Id != RT_RCDATA_ID || !Resource.Type.IsId()) return u"";
    const auto Is = [&](WideStringView Name) {
        return !Name.empty() && SameText(Resource.Name.Name, Name);
    };
    if (Is(FullSetupScriptResName)) return u"full-package script";
    if (Is(MiniSetupScriptResName)) return u"mini-package script";
    if (Is(FileDataResName)) return u"file data";
    if (Is(SolidDataResName)) return u"file data, solid zstd blocks";
    if (Is(FullSetupDigestResName)) return u"pinned full-installer SHA-256";
    if (Is(FileDataDigestsResName)) return u"file data digests";
    if (Is(Info.IconResID)) return u"product icon";
    if (Is(Info.LicenseResID)) return u"licence";
    return u"";
}

WideString SignatureText(const std::vector<uint8_t>& Image, WideStringView Name) {
    try {
        return DescribeSignature(CheckCodeSignature(Image, Name));
    } catch (const EBuildError& Error) {
        return u"unreadable: " + Error.Message();
    }
}

// The signature of the {app}\Uninstall.exe the package carries; empty when it has none.
WideString UninstallerSignature(const TInstallerPackage& Package) {
    const TSetupFileList& Files = Package.Script().FileList();
    for (int I = Files.Count() - 1; I >= 0; --I) {
        const TSetupFile& Item = *Files.Items(I);
        const WideString& Name = Item.NewFileName.empty() ? Item.SourceMask : Item.NewFileName;
        if (!SameText(ExcludeTrailingBackslash(Item.DestDir), u"{app}") ||
            !SameText(Name, u"Uninstall.exe"))
            continue;
        std::vector<uint8_t> Program;
        try {
            Package.DecodeFile(Item, [&](const uint8_t* Data, size_t Size) {
                Program.insert(Program.end(), Data, Data + Size);
            });
        } catch (const EBuildError&) {
            throw;
        } catch (const Exception& Error) {
            return Error.Message();
        }
        return SignatureText(Program, u"{app}\\Uninstall.exe");
    }
    return u"";
}

WideString PinText(const TInstallerPackage& Package) {
    const TResource* Pin = Package.RcData(FullSetupDigestResName);
    if (!Pin)
        return u"none: installs whatever " + Package.Script().BaseInfo().FullDownloadUrl +
               u" serves";
    if (Pin->Data.size() != 32)
        return FormatText(u"damaged (%d bytes, not 32)", int64_t(Pin->Data.size()));
    return u"SHA-256 " + AsciiToWide(HexText(Pin->Data.data(), Pin->Data.size()));
}

// zlib streams, or the solid blocks with their sizes.
WideString CompressionText(const TInstallerPackage& Package) {
    if (!Package.IsSolid()) return u"zlib, a stream for each file";
    const TSolidIndex& Index = Package.SolidIndex();
    int64_t Plain = 0, Stored = 0;
    WideString Blocks;
    for (size_t I = 0; I < Index.Blocks.size(); ++I) {
        const TSolidBlock& Block = Index.Blocks[I];
        Plain += int64_t(Block.PlainBytes);
        Stored += Block.Bytes;
        Blocks += FormatText(u"%s%d -> %d", WideStringView(I ? u", " : u""),
                             int64_t(Block.PlainBytes), int64_t(Block.Bytes));
    }
    return FormatText(u"zstd, solid: %d blocks, %d bytes in %d (%s)", int64_t(Index.Blocks.size()),
                      Plain, Stored, Blocks);
}

// What the installer will find when it checks the file data before changing the machine.
WideString IntegrityText(const TInstallerPackage& Package) {
    const TResource* Record = Package.RcData(FileDataDigestsResName);
    const TResource* Block = Package.FileDataResource();
    if (!Record) return u"no digests: damage shows only while the files are written";
    TFileDataDigests Digests;
    if (!Block || !Digests.Load(Record->Data.data(), Record->Data.size(), Block->Data.size()))
        return u"damaged digest record";
    int Damaged = 0;
    for (size_t I = 0; I < Digests.Count(); ++I)
        Damaged += !Digests.RegionIntact(I, Block->Data.data());
    const int Count = int(Digests.Count());
    return Damaged ? FormatText(u"%d of %d regions damaged", Damaged, Count)
                   : FormatText(u"%d regions, every one as built", Count);
}

void PrintItems(const TInstallerPackage& Package) {
    const TSetupScript& Script = Package.Script();
    PrintLine(FormatText(u"Files (%d):", Script.FileList().Count()));
    for (int I = 0; I < Script.FileList().Count(); ++I) {
        const TSetupFile& File = *Script.FileList().Items(I);
        const WideString& Name = File.NewFileName.empty() ? File.SourceMask : File.NewFileName;
        PrintLine(FormatText(u"  %s  %d bytes  %s", IncludeTrailingBackslash(File.DestDir) + Name,
                             File.FileBytes, File.ResID));
    }
    PrintLine(FormatText(u"Registry values (%d):", Script.RegList().Count()));
    for (int I = 0; I < Script.RegList().Count(); ++I) {
        const TSetupReg& Reg = *Script.RegList().Items(I);
        PrintLine(FormatText(u"  %s\\%s  [%s] = %s (%s)",
                             LxProps::EnumName(EnumTypeInfo(Reg.RootKey), Reg.RootKey), Reg.SubKey,
                             Reg.ValueName, Reg.ValueData,
                             LxProps::EnumName(EnumTypeInfo(Reg.ValueType), Reg.ValueType)));
    }
    PrintLine(FormatText(u"Shortcuts (%d):", Script.ShortCutList().Count()));
    for (int I = 0; I < Script.ShortCutList().Count(); ++I) {
        const TSetupShortCut& Link = *Script.ShortCutList().Items(I);
        PrintLine(FormatText(u"  %s.lnk -> %s (in %s)",
                             IncludeTrailingBackslash(Link.SaveDir) + Link.Name, Link.DstFile,
                             Link.WorkDir));
    }
    PrintLine(FormatText(u"Programs (%d):", Script.RunList().Count()));
    for (int I = 0; I < Script.RunList().Count(); ++I) {
        const TSetupRun& Run = *Script.RunList().Items(I);
        PrintLine(FormatText(u"  %s %s  (%s)", Run.FileName, Run.Params,
                             WideStringView(Run.Wait ? u"waited for while installing"
                                                     : u"started after finishing")));
    }
    PrintLine(FormatText(u"Variables (%d):", Script.VarList().Count()));
    for (int I = 0; I < Script.VarList().Count(); ++I) {
        const TSetupVar& Var = *Script.VarList().Items(I);
        PrintLine(FormatText(u"  %s = %s", Var.VarName, Var.VarValue));
    }
}

} // namespace

int RunInspect(const TArguments& Arguments) {
    const TCommandLine Line(Arguments, {}, {"--xml"});
    Line.ExpectPositional(1, 1, "SETUP.exe");
    const TInstallerPackage Package(PathFromArgument(Line.Positional()[0]));
    if (Line.Flag("--xml")) {
        const auto& Xml = Package.ScriptXml();
        std::fwrite(Xml.data(), 1, Xml.size(), stdout);
        return 0;
    }
    const TSetupBaseInfo& Info = Package.Script().BaseInfo();
    PrintLine(FormatText(u"%s: %s installer, %s", Package.Name(),
                         WideStringView(Package.IsFull() ? u"full" : u"mini"),
                         WideStringView(Package.Image().Is64() ? u"x64 (PE32+)" : u"x86 (PE32)")));
    Field(u"Signature", SignatureText(Package.Image().Bytes(), Package.Name()));
    if (Package.IsFull()) {
        Field(u"Uninstaller", UninstallerSignature(Package));
        Field(u"Compression", CompressionText(Package));
        Field(u"File data", IntegrityText(Package));
    } else
        Field(u"Pinned full installer", PinText(Package));
    Field(u"Title", Info.AppTitle);
    Field(u"Version", Info.Version);
    Field(u"GUID", Info.GUID);
    Field(u"Company", Info.CompanyName);
    Field(u"Company address", Info.CompanyUrl);
    Field(u"Default folder", Info.DefInstallPath);
    Field(u"Windows", LxProps::EnumName(EnumTypeInfo(Info.WinVersion), Info.WinVersion));
    Field(u"Address after installing", Info.GotoUrl);
    Field(u"Full installer address", Info.FullDownloadUrl);
    Field(u"Window colour", FormatText(u"%d", Info.MainFormColor));
    Field(u"Scale with display", Info.ScaleWithDisplay ? u"yes (per-monitor DPI)" : u"no");
    PrintItems(Package);
    PrintLine(std::string_view("Resources:"));
    for (const TResource& Resource : Package.Image().Resources().Items) {
        const WideString Role = RoleOf(Resource, Info);
        PrintLine(FormatText(u"  %s %s  %d bytes%s", KeyText(Resource.Type), KeyText(Resource.Name),
                             int64_t(Resource.Data.size()),
                             Role.empty() ? WideString() : u"  (" + Role + u")"));
    }
    return 0;
}
