#include "RemovalPlan.h"

#include "LxStrUtils.h"
#include "MySetupUtils.h"
#include "SetupProject.h"

#include <algorithm>

namespace {

size_t Depth(WideStringView Folder) {
    return size_t(std::count(Folder.begin(), Folder.end(), u'\\'));
}

bool InAny(WideStringView Path, const std::vector<WideString>& Folders) {
    return std::any_of(Folders.begin(), Folders.end(),
                       [&](const WideString& Folder) { return IsInFolder(Path, Folder); });
}

bool IsAny(WideStringView Folder, const std::vector<WideString>& Folders) {
    return std::any_of(Folders.begin(), Folders.end(),
                       [&](const WideString& Other) { return SameText(Folder, Other); });
}

void AddOnce(std::vector<WideString>& Folders, const WideString& Folder) {
    if (!IsAny(Folder, Folders)) Folders.push_back(Folder);
}

// Folder and its parents while they lie strictly below Top.
void AddUpTo(std::vector<WideString>& Folders, WideString Folder, WideStringView Top) {
    while (Folder.size() > Top.size() && IsInFolder(Folder, Top)) {
        AddOnce(Folders, Folder);
        WideString Parent = ExtractFilePath(ExcludeTrailingBackslash(Folder));
        // "{app}a:b" ends in a colon, which is its own parent: stop rather than go round.
        if (Parent.size() >= Folder.size()) break;
        Folder = std::move(Parent);
    }
}

void DeepestFirst(std::vector<WideString>& Folders) {
    std::stable_sort(Folders.begin(), Folders.end(),
                     [](const WideString& A, const WideString& B) { return Depth(A) > Depth(B); });
}

} // namespace

bool IsInFolder(WideStringView Path, WideStringView Folder) {
    return !Folder.empty() && Path.size() >= Folder.size() &&
           SameText(Path.substr(0, Folder.size()), Folder);
}

WideString NormalisedPath(WideStringView Path) {
    WideString Text(Path);
    std::replace(Text.begin(), Text.end(), u'/', u'\\');
    // The root: "\\server\share\", "C:\" or nothing; parts after it may be taken away.
    size_t RootEnd = 0;
    if (Text.starts_with(u"\\\\")) {
        RootEnd = 2;
        for (int Part = 0; Part < 2 && RootEnd < Text.size(); ++Part) {
            const size_t Next = Text.find(u'\\', RootEnd);
            RootEnd = Next == WideString::npos ? Text.size() : Next + 1;
        }
    } else if (Text.size() >= 2 && Text[1] == u':') {
        RootEnd = Text.size() > 2 && Text[2] == u'\\' ? 3 : 2;
    }
    WideString Result = Text.substr(0, RootEnd);
    std::vector<WideString> Parts;
    for (size_t Start = RootEnd; Start <= Text.size();) {
        size_t End = Text.find(u'\\', Start);
        if (End == WideString::npos) End = Text.size();
        const WideString Part = Text.substr(Start, End - Start);
        if (Part == u"..") {
            if (!Parts.empty()) Parts.pop_back();
        } else if (!Part.empty() && Part != u".") {
            Parts.push_back(Part);
        }
        Start = End + 1;
    }
    for (size_t I = 0; I < Parts.size(); ++I)
        Result += (I ? u"\\" : u"") + Parts[I];
    if (!Parts.empty() && Text.ends_with(u'\\')) Result += u'\\';
    return Result;
}

bool IsDriveRoot(WideStringView Folder) {
    const WideString Bare = ExcludeTrailingBackslash(Folder);
    if (Bare.size() <= 2) return true;
    // \\server\share: two separators after the leading pair.
    return Bare.starts_with(u"\\\\") && Depth(Bare) <= 3;
}

bool MayRemoveRegistryKey(WideStringView SubKey) {
    const WideString Key = ExcludeTrailingBackslash(SubKey);
    if (Key.find(u'\\') == WideString::npos) return false;
    return !SameText(Key, u"Software\\Microsoft") && !IsInFolder(Key, u"Software\\Microsoft\\");
}

WideString ParentRegistryKey(WideStringView SubKey) {
    const WideString Key = ExcludeTrailingBackslash(SubKey);
    const size_t Last = Key.rfind(u'\\');
    return Last == WideString::npos ? WideString() : Key.substr(0, Last);
}

TRemovalPlan PlanRemoval(const TSetupScript& Script, const TRemovalPlaces& Places) {
    TRemovalPlan Plan;
    const WideString& App = Places.AppDir;
    Plan.FoldersKept = IsDriveRoot(App) || IsAny(App, Places.ProtectedFolders);

    const TSetupFileList& Files = Script.FileList();
    for (int I = 0; I < Files.Count(); ++I) {
        // Normalised, as the file service will be: "{app}..\\..\\Windows\\x.dll" is in the
        // Windows folder.
        const WideString Target = NormalisedPath(TSetupfn::TargetPath(*Files.Items(I)));
        if (InAny(Target, Places.SharedFolders)) continue;
        Plan.Files.push_back(Target);
        if (Plan.FoldersKept) continue;
        const WideString Folder = ExtractFilePath(Target);
        if (IsInFolder(Folder, App)) {
            AddUpTo(Plan.Folders, Folder, App);
            AddOnce(Plan.Folders, App);
        } else if (!IsDriveRoot(Folder) && !IsAny(Folder, Places.ProtectedFolders) &&
                   !InAny(Folder, Places.SharedFolders)) {
            AddOnce(Plan.Folders, Folder);
        }
    }
    DeepestFirst(Plan.Folders);

    const TSetupShortCutList& Links = Script.ShortCutList();
    for (int I = 0; I < Links.Count(); ++I) {
        const TSetupShortCut& Item = *Links.Items(I);
        const WideString Folder =
            IncludeTrailingBackslash(NormalisedPath(TSetupfn::ExpandConstant(Item.SaveDir)));
        Plan.Shortcuts.push_back(Folder + TSetupfn::ExpandConstant(Item.Name) + u".lnk");
        AddUpTo(Plan.ShortcutFolders, Folder, Places.ProgramsDir);
        if (!Plan.FoldersKept) AddUpTo(Plan.ShortcutFolders, Folder, App);
    }
    DeepestFirst(Plan.ShortcutFolders);

    const TSetupRegList& Values = Script.RegList();
    for (int I = 0; I < Values.Count(); ++I) {
        const TSetupReg& Item = *Values.Items(I);
        Plan.Values.push_back({RootKeyToHKEY(Item.RootKey), TSetupfn::ExpandConstant(Item.SubKey),
                               TSetupfn::ExpandConstant(Item.ValueName)});
    }
    return Plan;
}
