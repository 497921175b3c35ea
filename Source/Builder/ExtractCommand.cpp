#include "BuildError.h"
#include "Commands.h"
#include "ConsoleOutput.h"
#include "Package/InstallerPackage.h"
#include "Package/Progress.h"

#include <fstream>

const TCommand ExtractCommand = {
    "extract", "write the files of an installer into a folder",
    "usage: onesetup extract SETUP.exe -o DIR [--quiet]\n"
    "\n"
    "Writes every file of the package under DIR by its target path; path constants become\n"
    "folder names ({app}\\bin\\x.dll goes to DIR/app/bin/x.dll). Every stream is checked; a\n"
    "damaged one is reported with the file's name and the command fails.\n"
    "\n"
    "options:\n"
    "  -o, --output DIR   the folder to write into (created when missing)\n"
    "  -q, --quiet        print nothing but errors",
    RunExtract};

namespace {

// Decodes one stored file into its target; false (after a message) when the stream is damaged.
bool ExtractFile(const TInstallerPackage& Package, const TSetupFile& Item, const fs::path& Target) {
    std::error_code Error;
    fs::create_directories(Target.parent_path(), Error);
    std::ofstream Out(Target, std::ios::binary | std::ios::trunc);
    if (!Out) RaiseBuildError(DisplayPath(Target), u"cannot create the file");
    try {
        Package.DecodeFile(Item, [&](const uint8_t* Data, size_t Size) {
            Out.write(reinterpret_cast<const char*>(Data), std::streamsize(Size));
        });
    } catch (const EBuildError&) {
        throw;
    } catch (const Exception& Failure) {
        const WideString Name = IncludeTrailingBackslash(Item.DestDir) +
                                (Item.NewFileName.empty() ? Item.SourceMask : Item.NewFileName);
        PrintError(u"onesetup: " + Package.Name() + u": " + Name + u": " + Failure.Message());
        return false;
    }
    Out.close();
    if (!Out) RaiseBuildError(DisplayPath(Target), u"cannot write the file");
    if (Item.LastWriteDate != 0)
        fs::last_write_time(Target, LocalDateTimeToFileTime(Item.LastWriteDate), Error);
    return true;
}

} // namespace

int RunExtract(const TArguments& Arguments) {
    const TCommandLine Line(Arguments, {"-o", "--output"}, {"-q", "--quiet"});
    Line.ExpectPositional(1, 1, "SETUP.exe");
    const auto Output = Line.Value("-o") ? Line.Value("-o") : Line.Value("--output");
    if (!Output) throw EUsageError{"expected -o DIR"};
    const bool Quiet = Line.Flag("-q") || Line.Flag("--quiet");
    const TInstallerPackage Package(PathFromArgument(Line.Positional()[0]));
    const fs::path Root = PathFromArgument(*Output);
    if (!Package.IsFull()) {
        if (!Quiet) PrintLine(Package.Name() + u": a mini installer carries no files");
        return 0;
    }
    const TSetupFileList& Files = Package.Script().FileList();
    // Every target, and the file-data index, is checked before the first file is written.
    std::vector<fs::path> Targets;
    uint64_t Total = 0;
    for (int I = 0; I < Files.Count(); ++I) {
        Targets.push_back(ExtractionPath(*Files.Items(I), Root, Package.Name()));
        Total += uint64_t(std::max(0, Files.Items(I)->FileBytes));
    }
    if (Total > 0) Package.FileData();
    TProgress Progress("extracting", Total, !Quiet);
    int Damaged = 0;
    for (int I = 0; I < Files.Count(); ++I) {
        const TSetupFile& Item = *Files.Items(I);
        if (!ExtractFile(Package, Item, Targets[size_t(I)])) ++Damaged;
        Progress.Advance(uint64_t(std::max(0, Item.FileBytes)));
        Progress.Tick();
    }
    Progress.Finish();
    if (Damaged) {
        PrintError(FormatText(u"onesetup: %s: %d of %d files are damaged", Package.Name(), Damaged,
                              Files.Count()));
        return 1;
    }
    if (!Quiet)
        PrintLine(FormatText(u"%d files written under %s", Files.Count(), DisplayPath(Root)));
    return 0;
}
