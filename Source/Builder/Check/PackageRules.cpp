#include "BuildError.h"
#include "LxStrUtils.h"
#include "MySetupUtils.h"
#include "ProjectFiles.h"
#include "ProjectRules.h"

#include <algorithm>
#include <iterator>
#include <map>

namespace {

// The path constants of an imagined machine while the package is checked, so that targets
// compare as the installer resolves them: {app}bin and {app}\bin are one folder.
class TImaginedMachine {
public:
    explicit TImaginedMachine(WideStringView Title) {
        for (size_t I = 0; I < std::size(Values); ++I)
            FSaved[I] = *Values[I];
        TSetupfn::InitConstantsFrom(u"?:\\Program Files", u"?:\\Desktop\\", u"?:\\Programs\\");
        SetupAppDir = u"?:\\App\\";
        SetupAppTitle = WideString(Title);
    }
    ~TImaginedMachine() {
        for (size_t I = 0; I < std::size(Values); ++I)
            *Values[I] = FSaved[I];
    }

private:
    static constexpr WideString* Values[] = {&SetupProgramFilesDir, &SetupCommonProgramsDir,
                                             &SetupDesktopDir, &SetupAppDir, &SetupAppTitle};
    WideString FSaved[std::size(Values)];
};

// A target path as the system compares it: constants resolved, one case, single backslashes,
// none at the end.
WideString TargetKey(WideStringView Path) {
    WideString Key;
    for (char16_t C : TSetupfn::ExpandConstant(Path)) {
        if (C == u'/') C = u'\\';
        if (C == u'\\' && !Key.empty() && Key.back() == u'\\') continue;
        Key += C;
    }
    if (!Key.empty() && Key.back() == u'\\') Key.pop_back();
    return WideUpperCase(Key);
}

WideString Unquoted(WideStringView Text) {
    WideString Result = Trim(Text);
    if (Result.size() >= 2 && Result.front() == u'"' && Result.back() == u'"')
        Result = Result.substr(1, Result.size() - 2);
    return Result;
}

// What the system finds without the package: a bare name such as cmd.exe, which it looks up
// in its own folders and the search path, or a path in the Windows folder of any drive.
bool IsSystemProgram(WideStringView Path) {
    if (Path.empty()) return false;
    if (Path.find_first_of(u"\\/:{") == WideStringView::npos) return true;
    return Path.size() > 11 && Path[1] == u':' && SameText(Path.substr(2, 9), u"\\Windows\\");
}

struct TTarget {
    const TSetupFile* Item;
    WideString Path;
};

// Where an earlier item already writes some of this item's targets.
struct TOverlap {
    const TSetupFile* Earlier;
    WideString First;
    int Count;
};

} // namespace

void CheckPackage(const TProjectFacts& F) {
    const TImaginedMachine Machine(F.Script.BaseInfo().AppTitle);
    const TSetupVarList& Vars = F.Script.VarList();
    const TScriptSource& S = F.Source;
    TDiagnostics& D = F.Diagnostics;
    std::map<WideString, TTarget> Targets;
    const TSetupFileList& Files = F.Script.FileList();
    for (int I = 0; I < Files.Count(); ++I) {
        const TSetupFile& Written = *Files.Items(I);
        const std::unique_ptr<TXmlPersistent> Copy = Written.Clone();
        auto& Item = static_cast<TSetupFile&>(*Copy);
        Item.ExpandVars(Vars);
        const TItemSource Source = ItemSourceOf(Item, F.ProjectDir);
        const WideString Sources = FormatText(u"'%s'", JoinBackslash(Source.Folder, Source.Mask));
        std::vector<TMatchedFile> Found;
        if (Source.Mask.empty()) {
            D.Error(S.PosOf(Written, u"SourceMask"),
                    u"the file item has no SourceMask (a file name or a mask)");
            continue;
        }
        if (!IsFolder(Source.Path)) {
            D.Error(S.PosOf(Written, u"SourcePath"),
                    u"the folder '" + Source.Folder + u"' does not exist");
            continue;
        }
        try {
            Found = FindItemFiles(Source, Item.IncludeSubPath);
        } catch (const EBuildError& Error) {
            D.Error(S.PosOf(Written, u"SourcePath"), Error.Message());
            continue;
        }
        if (Found.empty()) {
            D.Error(S.PosOf(Written, u"SourceMask"),
                    u"nothing matches " + Sources +
                        (Item.IncludeSubPath ? u" (sub-folders included)" : u""));
            continue;
        }
        if (!Item.NewFileName.empty() && Found.size() > 1)
            D.Error(S.PosOf(Written, u"NewFileName"),
                    FormatText(u"NewFileName names one file, but %s matches %d", Sources,
                               int64_t(Found.size())));
        std::vector<TOverlap> Overlaps;
        for (const TMatchedFile& File : Found) {
            const WideString Target = JoinBackslash(
                JoinBackslash(Item.DestDir, File.SubFolder),
                Item.NewFileName.empty() ? FromPath(File.Path.filename()) : Item.NewFileName);
            const auto Inserted = Targets.emplace(TargetKey(Target), TTarget{&Written, Target});
            const auto* Earlier = Inserted.first->second.Item;
            if (Inserted.second || Earlier == &Written) continue;
            auto Overlap = std::find_if(Overlaps.begin(), Overlaps.end(),
                                        [&](const TOverlap& O) { return O.Earlier == Earlier; });
            if (Overlap == Overlaps.end())
                Overlaps.push_back({Earlier, Target, 1});
            else
                ++Overlap->Count;
        }
        for (const TOverlap& Overlap : Overlaps) {
            const TSourcePos First = S.ElementOf(*Overlap.Earlier).Pos;
            D.Warning(S.ElementOf(Written).Pos,
                      FormatText(u"writes %s again, as the item at %d:%d does", Overlap.First,
                                 First.Line, First.Column) +
                          (Overlap.Count > 1
                               ? FormatText(u" (and %d more files)", int64_t(Overlap.Count - 1))
                               : WideString()));
        }
    }

    const TSetupShortCutList& Links = F.Script.ShortCutList();
    for (int I = 0; I < Links.Count(); ++I) {
        const TSetupShortCut& Link = *Links.Items(I);
        const WideString Target = Unquoted(Vars.ExpandVars(Link.DstFile));
        if (!Targets.count(TargetKey(Target)))
            D.Warning(S.PosOf(Link, u"DstFile"),
                      u"the shortcut's target '" + Target + u"' is not a file of the package");
    }
    const TSetupRunList& Runs = F.Script.RunList();
    for (int I = 0; I < Runs.Count(); ++I) {
        const TSetupRun& Run = *Runs.Items(I);
        const WideString Program = Unquoted(Vars.ExpandVars(Run.FileName));
        if (!Targets.count(TargetKey(Program)) && !IsSystemProgram(Program))
            D.Warning(S.PosOf(Run, u"FileName"),
                      u"'" + Program +
                          u"' is neither a file of the package nor a system program (a bare name "
                          u"such as cmd.exe, or a path in X:\\Windows)");
    }
}
