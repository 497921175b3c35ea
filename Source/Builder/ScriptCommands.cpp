#include "Commands.h"
#include "ConsoleOutput.h"
#include "LxStrUtils.h"
#include "LxStreams.h"
#include "MySetupUtils.h"
#include "SetupProject.h"

namespace {

void PrintField(const char16_t* Name, WideStringView Value) {
    PrintLine(FormatText(u"  %s: %s", Name, Value));
}

void PrintScript(const TSetupScript& Script) {
    const TSetupBaseInfo& Info = Script.BaseInfo();
    PrintLine(FormatText(u"%s %s", Info.AppTitle, Info.Version));
    PrintField(u"GUID", Info.GUID);
    PrintField(u"Company", Info.CompanyName);
    PrintField(u"Default folder", Info.DefInstallPath);
    PrintField(u"Address after install", Info.GotoUrl);
    PrintLine(FormatText(u"Files (%d):", Script.FileList().Count()));
    for (int I = 0; I < Script.FileList().Count(); ++I) {
        const TSetupFile& File = *Script.FileList().Items(I);
        const WideString& Name = File.NewFileName.empty() ? File.SourceMask : File.NewFileName;
        PrintLine(FormatText(u"  %s\\%s (%d bytes)", File.DestDir, Name, File.FileBytes));
    }
    PrintLine(FormatText(u"Registry values (%d):", Script.RegList().Count()));
    for (int I = 0; I < Script.RegList().Count(); ++I) {
        const TSetupReg& Reg = *Script.RegList().Items(I);
        PrintLine(FormatText(u"  %s [%s] = %s", Reg.SubKey, Reg.ValueName, Reg.ValueData));
    }
    PrintLine(FormatText(u"Shortcuts (%d):", Script.ShortCutList().Count()));
    for (int I = 0; I < Script.ShortCutList().Count(); ++I) {
        const TSetupShortCut& Link = *Script.ShortCutList().Items(I);
        PrintLine(FormatText(u"  %s\\%s.lnk -> %s", Link.SaveDir, Link.Name, Link.DstFile));
    }
    PrintLine(FormatText(u"Programs (%d, %d after finishing):", Script.RunList().Count(),
                         Script.RunList().NoWaitCount()));
    for (int I = 0; I < Script.RunList().Count(); ++I) {
        const TSetupRun& Run = *Script.RunList().Items(I);
        PrintLine(FormatText(u"  %s %s%s", Run.FileName, Run.Params,
                             WideStringView(Run.Wait ? u" (waited for)" : u"")));
    }
    PrintLine(FormatText(u"Variables (%d)", Script.VarList().Count()));
}

} // namespace

int RunShow(const TArguments& Arguments) {
    if (Arguments.size() != 1) {
        PrintError(std::string_view("onesetup: expected SCRIPT.xml"));
        return 2;
    }
    TSetupScript Script;
    Script.LoadFromFile(Utf8ToWide(Arguments[0]));
    PrintScript(Script);

    // The script travels encoded; it must come back byte for byte and property for property.
    TMemoryStream Saved;
    Script.SaveToStream(Saved);
    const std::vector<uint8_t> Plain = Saved.Bytes();
    TSetupfn::EncodeStream(Saved);
    const size_t EncodedSize = Saved.Bytes().size();
    TSetupfn::DecodeStream(Saved);
    TSetupScript Reloaded;
    Reloaded.LoadFromStream(Saved);
    const bool Same = Saved.Bytes() == Plain && Reloaded.IsEqual(&Script) &&
                      Reloaded.BaseInfo().IsEqual(&Script.BaseInfo()) &&
                      Reloaded.FileList().ItemsEqual(&Script.FileList());
    PrintLine(FormatText(u"Codec round trip: %d bytes, %d encoded, %s", int64_t(Plain.size()),
                         int64_t(EncodedSize), WideStringView(Same ? u"identical" : u"DIFFERENT")));
    return Same ? 0 : 1;
}
