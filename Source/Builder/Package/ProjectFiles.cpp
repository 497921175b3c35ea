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

WideString JoinBackslash(WideStringView Left, WideStringView Right) {
    if (Left.empty()) return WideString(Right);
    if (Right.empty()) return WideString(Left);
    return ExcludeTrailingBackslash(Left) + u'\\' + WideString(Right);
}

TItemSource ItemSourceOf(const TSetupFile& Item, const fs::path& ProjectDir) {
    TItemSource Source;
    // A folder part in the mask belongs to the source folder.
    Source.Folder =
        JoinBackslash(Item.SourcePath, ExcludeTrailingBackslash(ExtractFilePath(Item.SourceMask)));
    Source.Mask = ExtractFileName(Item.SourceMask);
    Source.Path = ResolvePath(ProjectDir, Source.Folder);
    return Source;
}

namespace {

void FindFiles(const fs::path& Folder, const WideString& SubFolder, WideStringView Mask,
               bool Recurse, std::vector<TMatchedFile>& Found) {
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

std::vector<TMatchedFile> FindItemFiles(const TItemSource& Source, bool Recurse) {
    std::vector<TMatchedFile> Found;
    FindFiles(Source.Path, u"", Source.Mask, Recurse, Found);
    return Found;
}

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
        const TItemSource Source = ItemSourceOf(Item, ProjectDir);
        if (Source.Mask.empty())
            RaiseBuildError(Project, Where + u" has no SourceMask (a file name or a mask)");
        if (!fs::is_directory(Source.Path))
            RaiseBuildError(Project, Where + u": the folder " + DisplayPath(Source.Path) +
                                         u" does not exist");

        const std::vector<TMatchedFile> Found = FindItemFiles(Source, Item.IncludeSubPath);
        if (Found.empty())
            RaiseBuildError(Project, Where + u": nothing matches " +
                                         JoinBackslash(Source.Folder, Source.Mask) +
                                         (Item.IncludeSubPath ? u" (sub-folders included)" : u""));
        if (!Item.NewFileName.empty() && Found.size() > 1)
            RaiseBuildError(Project, Where + u" sets NewFileName but " +
                                         JoinBackslash(Source.Folder, Source.Mask) +
                                         FormatText(u" matches %d files", int64_t(Found.size())));
        for (const TMatchedFile& File : Found) {
            if (File.Size > uint64_t(INT32_MAX))
                RaiseBuildError(DisplayPath(File.Path),
                                u"is 2 GiB or larger, more than the package format can hold");
            auto Copy =
                std::unique_ptr<TSetupFile>(static_cast<TSetupFile*>(Item.Clone().release()));
            Copy->DestDir = JoinBackslash(Item.DestDir, File.SubFolder);
            Copy->SourcePath = JoinBackslash(Source.Folder, File.SubFolder);
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
