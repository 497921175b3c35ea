#include "ProjectFiles.h"

#include "BuildError.h"
#include "LxStrUtils.h"

#include <algorithm>
#include <system_error>

bool MatchesMask(WideStringView Name, WideStringView Mask) {
    // Iterative wildcard match with one backtracking point: linear in practice.
    size_t N = 0, M = 0, StarM = WideStringView::npos, StarN = 0;
    while (N < Name.size()) {
        if (M < Mask.size() && Mask[M] == u'*') {
            StarM = M++;
            StarN = N;
        } else if (M < Mask.size() &&
                   (Mask[M] == u'?' || WideUpperChar(Mask[M]) == WideUpperChar(Name[N]))) {
            ++M;
            ++N;
        } else if (StarM != WideStringView::npos) {
            M = StarM + 1;
            N = ++StarN;
        } else {
            return false;
        }
    }
    while (M < Mask.size() && Mask[M] == u'*')
        ++M;
    return M == Mask.size();
}

namespace {

struct TFound {
    fs::path Path;
    WideString SubFolder; // relative to the item's folder, backslash-separated, may be empty
    uint64_t Size;
};

WideString JoinBackslash(WideStringView Left, WideStringView Right) {
    if (Left.empty()) return WideString(Right);
    if (Right.empty()) return WideString(Left);
    return ExcludeTrailingBackslash(Left) + u'\\' + WideString(Right);
}

// Files of Folder matching Mask, sorted by name; then, with Recurse, those of every sub-folder,
// sub-folders in name order. The order does not depend on the file system.
void FindFiles(const fs::path& Folder, const WideString& SubFolder, WideStringView Mask,
               bool Recurse, std::vector<TFound>& Found) {
    std::vector<fs::directory_entry> Entries;
    std::error_code Error;
    for (fs::directory_iterator It(Folder, Error), End; !Error && It != End; It.increment(Error))
        Entries.push_back(*It);
    if (Error) RaiseBuildError(DisplayPath(Folder), u"cannot list the folder");
    std::sort(Entries.begin(), Entries.end(), [](const auto& A, const auto& B) {
        return A.path().filename().u16string() < B.path().filename().u16string();
    });
    for (const auto& Entry : Entries) {
        const WideString Name = Entry.path().filename().u16string();
        if (Entry.is_regular_file(Error) && MatchesMask(Name, Mask))
            Found.push_back(
                {Entry.path(), SubFolder, static_cast<uint64_t>(Entry.file_size(Error))});
    }
    if (!Recurse) return;
    for (const auto& Entry : Entries)
        if (Entry.is_directory(Error))
            FindFiles(Entry.path(), JoinBackslash(SubFolder, Entry.path().filename().u16string()),
                      Mask, true, Found);
}

} // namespace

std::vector<TPackageFile> ExpandProjectItems(TSetupScript& Script, const fs::path& ProjectFile) {
    const WideString Project = DisplayPath(ProjectFile);
    const fs::path ProjectDir = ProjectFile.parent_path();
    TSetupVarList& Vars = Script.VarList();
    auto ExpandList = [&](TXmlObjectList& List) {
        for (int I = 0; I < List.Count(); ++I)
            static_cast<TBaseConditionItem*>(List.Items(I))->ExpandVars(Vars);
    };
    ExpandList(Script.RegList());
    ExpandList(Script.RunList());
    ExpandList(Script.ShortCutList());
    ExpandList(Script.SwiperList());

    TSetupFileList& Files = Script.FileList();
    std::vector<std::unique_ptr<TSetupFile>> Expanded;
    std::vector<TPackageFile> Result;
    for (int I = 0; I < Files.Count(); ++I) {
        TSetupFile& Item = *Files.Items(I);
        Item.ExpandVars(Vars);
        const WideString Where = FormatText(u"file item %d", I + 1);
        // A folder part in the mask belongs to the source folder.
        const WideString MaskFolder = ExcludeTrailingBackslash(ExtractFilePath(Item.SourceMask));
        const WideString Mask = ExtractFileName(Item.SourceMask);
        const WideString SourceFolder = JoinBackslash(Item.SourcePath, MaskFolder);
        if (Mask.empty())
            RaiseBuildError(Project, Where + u" has no SourceMask (a file name or a mask)");
        fs::path Folder = ToPath(SourceFolder);
        if (Folder.is_relative()) Folder = ProjectDir / Folder;
        if (!fs::is_directory(Folder))
            RaiseBuildError(Project,
                            Where + u": the folder " + DisplayPath(Folder) + u" does not exist");

        std::vector<TFound> Found;
        FindFiles(Folder, u"", Mask, Item.IncludeSubPath, Found);
        if (Found.empty())
            RaiseBuildError(Project, Where + u": nothing matches " +
                                         JoinBackslash(SourceFolder, Mask) +
                                         (Item.IncludeSubPath ? u" (sub-folders included)" : u""));
        if (!Item.NewFileName.empty() && Found.size() > 1)
            RaiseBuildError(Project, Where + u" sets NewFileName but " +
                                         JoinBackslash(SourceFolder, Mask) +
                                         FormatText(u" matches %d files", int64_t(Found.size())));
        for (const TFound& File : Found) {
            if (File.Size > uint64_t(INT32_MAX))
                RaiseBuildError(DisplayPath(File.Path),
                                u"is 2 GiB or larger, more than the package format can hold");
            auto Copy =
                std::unique_ptr<TSetupFile>(static_cast<TSetupFile*>(Item.Clone().release()));
            Copy->DestDir = JoinBackslash(Item.DestDir, File.SubFolder);
            Copy->SourcePath = JoinBackslash(SourceFolder, File.SubFolder);
            Copy->SourceMask = File.Path.filename().u16string();
            Copy->IncludeSubPath = false;
            Copy->FileBytes = static_cast<int32_t>(File.Size);
            std::error_code Error;
            const fs::file_time_type Time = fs::last_write_time(File.Path, Error);
            Copy->LastWriteDate = Error ? 0 : FileTimeToLocalDateTime(Time);
            Result.push_back({Copy.get(), File.Path, File.Size});
            Expanded.push_back(std::move(Copy));
        }
    }
    Files.Clear();
    for (auto& Item : Expanded)
        Files.Add(std::move(Item));
    return Result;
}
