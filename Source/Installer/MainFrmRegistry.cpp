// Registry values, shortcuts and the programs the script runs.

#include "LxLog.h"
#include "LxRegistry.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "LxWinHandles.h"
#include "MainFrm.h"
#include "MySetupUtils.h"

#include <objbase.h>
#include <shlobj.h>

namespace {

// The shell link object and its two interfaces; spelled out here, as the system's GUID library
// would bring some 40 KB of other GUIDs into every installer.
constexpr GUID ShellLinkClass = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID ShellLinkInterface = {0x000214F9, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID PersistFileInterface = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// The root as administrators write it.
WideStringView RootName(TRegRootKey Root) {
    static constexpr WideStringView Names[] = {u"HKCR", u"HKCU", u"HKLM", u"HKU", u"HKCC"};
    return Names[Root <= rrkCurrentConfig ? Root : rrkCurrentUser];
}

} // namespace

void TMainForm::WriteRegistry() {
    lblDetail->SetCaption(u"正在修改注册表......");
    const TSetupRegList& Items = FScript->RegList();
    for (int I = 0; I < Items.Count(); ++I) {
        const TSetupReg& Item = *Items.Items(I);
        AdvanceProgress();
        const WideString SubKey = TSetupfn::ExpandConstant(Item.SubKey);
        const WideString Name = TSetupfn::ExpandConstant(Item.ValueName);
        const WideString Data = TSetupfn::ExpandConstant(Item.ValueData);
        TLxRegistryKey Key = TLxRegistryKey::Create(RootKeyToHKEY(Item.RootKey), SubKey);
        if (!Key) {
            LxLog::Write(u"Registry key not created: %s\\%s", RootName(Item.RootKey), SubKey);
            continue;
        }
        if (Item.ValueType == rvtString)
            Key.WriteString(Name.c_str(), Data);
        else if (Item.ValueType == rvtDWord)
            Key.WriteDWord(Name.c_str(), static_cast<uint32_t>(StrToInt(Data)));
        else
            continue;
        LxLog::Write(u"Registry: %s\\%s\\%s = %s", RootName(Item.RootKey), SubKey, Name, Data);
    }
}

void TMainForm::CreateShortCuts() {
    lblDetail->SetCaption(u"正在创建快捷方式......");
    const TSetupShortCutList& Items = FScript->ShortCutList();
    for (int I = 0; I < Items.Count(); ++I) {
        const TSetupShortCut& Item = *Items.Items(I);
        AdvanceProgress();
        const WideString Target = TSetupfn::ExpandConstant(Item.DstFile);
        TSetupfn::ExpandConstant(
            Item.IconFile); // expanded, not applied: the link shows its target's icon
        const WideString WorkDir = TSetupfn::ExpandConstant(Item.WorkDir);
        const WideString Link = IncludeTrailingBackslash(TSetupfn::ExpandConstant(Item.SaveDir)) +
                                TSetupfn::ExpandConstant(Item.Name) + u".lnk";
        TComPtr<IShellLinkW> ShellLink;
        if (FAILED(CoCreateInstance(ShellLinkClass, nullptr, CLSCTX_INPROC_SERVER,
                                    ShellLinkInterface,
                                    reinterpret_cast<void**>(ShellLink.Receive()))))
            continue;
        TComPtr<IPersistFile> File;
        if (FAILED(ShellLink->QueryInterface(PersistFileInterface,
                                             reinterpret_cast<void**>(File.Receive()))))
            continue;
        ShellLink->SetPath(W(Target));
        ShellLink->SetWorkingDirectory(W(WorkDir));
        // The Start-menu group folder exists nowhere before this: without it the link would be
        // missing without a word.
        const WideString Folder = ExtractFilePath(Link);
        if (!Folder.empty() && !DirectoryExists(Folder)) ForceDirectories(Folder);
        const HRESULT Saved = File->Save(W(Link), FALSE);
        LxLog::Write(SUCCEEDED(Saved) ? u"Shortcut: %s -> %s" : u"Shortcut not saved: %s -> %s",
                     Link, Target);
    }
    pbProgress->SetPosition(pbProgress->Max());
}

void TMainForm::RunWaitPrograms() {
    const TSetupRunList& Items = FScript->RunList();
    for (int I = 0; I < Items.Count(); ++I) {
        const TSetupRun& Item = *Items.Items(I);
        if (!Item.Wait) continue;
        const WideString FileName = TSetupfn::ExpandConstant(Item.FileName);
        const WideString Params = TSetupfn::ExpandConstant(Item.Params);
        const WideString WorkDir = TSetupfn::ExpandConstant(Item.WorkDir);
        lblDetail->SetCaption(FormatText(u"正在运行程序：%s", FileName));
        UpdateWindow(pnlBottom->Handle());
        Pump();
        SetCurrentDir(WorkDir);
        const WideString Command = FormatText(u"\"%s\" %s", FileName, Params);
        LxLog::Write(u"Run and wait: %s", Command);
        const uint32_t Code = TLxWinfn::RunAndWait(Command);
        LxLog::Write(u"Run: exit code %d", int64_t(Code));
    }
}

void TMainForm::RunAfterPrograms() {
    const TSetupRunList& Items = FScript->RunList();
    for (int I = 0; I < Items.Count(); ++I) {
        const TSetupRun& Item = *Items.Items(I);
        if (Item.Wait) continue;
        LxLog::Write(u"Run: %s %s", TSetupfn::ExpandConstant(Item.FileName),
                     TSetupfn::ExpandConstant(Item.Params));
        TLxWinfn::ShellExecute(nullptr, u"", TSetupfn::ExpandConstant(Item.FileName),
                               TSetupfn::ExpandConstant(Item.Params),
                               TSetupfn::ExpandConstant(Item.WorkDir), SW_SHOW, true);
    }
}
