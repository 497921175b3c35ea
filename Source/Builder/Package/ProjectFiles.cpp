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

// Files of Folder matching Mask, sorted by name; then, with Recurse, those of every sub-folder,
// sub-folders in name order. The order does not depend on the file system. Open holds the
// real paths of the folders being searched: a link back to one of them is refused, as two
// such links would make the search exponential.
void FindFiles(const fs::path& Folder, const WideString& SubFolder, WideStringView Mask,
               bool Recurse, std::vector<TMatchedFile>& Found, std::vector<fs::path>& Open) {
    std::vector<fs::directory_entry> Entries;
    std::error_code Error;
    for (fs::directory_iterator It(Folder, Error), End; !Error && It != End; It.increment(Error))
        Entries.push_back(*It);
    if (Error) RaiseBuildError(DisplayPath(Folder), u"cannot list the folder");
    std::sort(Entries.begin(), Entries.end(), [](const auto& A, const auto& B) {
        return FromPath(A.path().filename()) < FromPath(B.path().filename());
    });
    for (const auto& Entry : Entries) {
        const WideString Name = FromPath(Entry.path().filename());
        if (Entry.is_regular_file(Error) && MatchesMask(Name, Mask))
            Found.push_back(
                {Entry.path(), SubFolder, static_cast<uint64_t>(Entry.file_size(Error))});
    }
    if (!Recurse) return;
    Open.push_back(fs::canonical(Folder, Error));
    for (const auto& Entry : Entries) {
        if (!Entry.is_directory(Error)) continue;
        if (std::find(Open.begin(), Open.end(), fs::canonical(Entry.path(), Error)) != Open.end())
            RaiseBuildError(DisplayPath(Entry.path()), u"leads back to a folder that holds it");
        FindFiles(Entry.path(), JoinBackslash(SubFolder, FromPath(Entry.path().filename())), Mask,
                  true, Found, Open);
    }
    Open.pop_back();
}

// The characters of an item's texts.
size_t TextLength(TPersistent& Item) {
    size_t Length = 0;
    ForEachProp(Item.ClassInfo(), [&](const TPropInfo& Prop) {
        if (Prop.Type->Kind == tkUString)
            Length += static_cast<const WideString*>(Prop.Field(Item))->size();
    });
    return Length;
}

} // namespace

std::vector<TMatchedFile> FindItemFiles(const TItemSource& Source, bool Recurse) {
    std::vector<TMatchedFile> Found;
    std::vector<fs::path> Open;
    FindFiles(Source.Path, u"", Source.Mask, Recurse, Found, Open);
    return Found;
}

std::vector<TPackageFile> ExpandProjectItems(TSetupScript& Script, const fs::path& ProjectFile) {
    const WideString Project = DisplayPath(ProjectFile);
    const fs::path ProjectDir = ProjectFile.parent_path();
    TSetupVarList& Vars = Script.VarList();
    // Every text may grow up to the variables' limit, but together they stay within a
    // multiple of what was written: a few bytes naming a long value many times could
    // otherwise fill the memory.
    std::error_code SizeError;
    const uint64_t Written = fs::file_size(ProjectFile, SizeError);
    size_t Budget = 64 * size_t(SizeError ? 0 : Written) + 16 * TSetupVarList::MaxExpandedLength;
    auto Expand = [&](TBaseConditionItem& Item, const WideString& Where) {
        try {
            Item.ExpandVars(Vars);
        } catch (const EConvertError& Error) {
            RaiseBuildError(Project, Where + u": " + Error.Message());
        }
        const size_t Length = TextLength(Item);
        if (Length > Budget)
            RaiseBuildError(Project, Where + u": the variables make the project's texts more "
                                             u"than 64 times as long as the project");
        Budget -= Length;
    };
    auto ExpandList = [&](TXmlObjectList& List, const char16_t* Name) {
        for (int I = 0; I < List.Count(); ++I)
            Expand(*static_cast<TBaseConditionItem*>(List.Items(I)),
                   FormatText(u"%s item %d", Name, I + 1));
    };
    ExpandList(Script.RegList(), u"RegList");
    ExpandList(Script.RunList(), u"RunList");
    ExpandList(Script.ShortCutList(), u"ShortCutList");
    ExpandList(Script.SwiperList(), u"SwiperList");

    TSetupFileList& Files = Script.FileList();
    std::vector<std::unique_ptr<TSetupFile>> Expanded;
    std::vector<TPackageFile> Result;
    for (int I = 0; I < Files.Count(); ++I) {
        TSetupFile& Item = *Files.Items(I);
        const WideString Where = FormatText(u"file item %d", I + 1);
        Expand(Item, Where);
        const TItemSource Source = ItemSourceOf(Item, ProjectDir);
        if (Source.Mask.empty())
            RaiseBuildError(Project, Where + u" has no SourceMask (a file name or a mask)");
        if (!IsFolder(Source.Path))
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
            Copy->SourceMask = FromPath(File.Path.filename());
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
