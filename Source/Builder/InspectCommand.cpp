#include "BuildError.h"
#include "Commands.h"
#include "ConsoleOutput.h"
#include "Package/InstallerPackage.h"

#include <cstdio>

const TCommand InspectCommand = {
    "inspect", "show what an installer carries",
    "usage: onesetup inspect SETUP.exe [--xml]\n"
    "\n"
    "Shows the installer's flavour (full or mini), its general settings, every item list and\n"
    "every resource with its size.\n"
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
    if (Is(Info.IconResID)) return u"product icon";
    if (Is(Info.LicenseResID)) return u"licence";
    return u"";
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
