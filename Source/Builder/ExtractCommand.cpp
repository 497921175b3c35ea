#include "BuildError.h"
#include "Commands.h"
#include "ConsoleOutput.h"
#include "Package/InstallerPackage.h"
#include "Package/Progress.h"

#include <fstream>
#include <memory>

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

// An extracted file, opened at its first piece and closed with its last.
struct TOutput {
    std::unique_ptr<std::ofstream> Stream;
    uint64_t Written = 0;
    bool Damaged = false;
};

void Open(TOutput& Output, const fs::path& Target) {
    std::error_code Error;
    fs::create_directories(Target.parent_path(), Error);
    Output.Stream = std::make_unique<std::ofstream>(Target, std::ios::binary | std::ios::trunc);
    if (!*Output.Stream) RaiseBuildError(DisplayPath(Target), u"cannot create the file");
}

void Close(TOutput& Output, const TSetupFile& Item, const fs::path& Target) {
    Output.Stream->close();
    if (!*Output.Stream) RaiseBuildError(DisplayPath(Target), u"cannot write the file");
    Output.Stream.reset();
    std::error_code Error;
    if (Item.LastWriteDate != 0)
        fs::last_write_time(Target, LocalDateTimeToFileTime(Item.LastWriteDate), Error);
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
    if (Total > 0) Package.CheckIndex();
    TProgress Progress("extracting", Total, !Quiet);
    // Each file once, in one pass over each solid block; at most a block's files are open.
    std::vector<const TSetupFile*> Items;
    for (int I = 0; I < Files.Count(); ++I)
        Items.push_back(Files.Items(I));
    std::vector<TOutput> Outputs(Items.size());
    Package.DecodeFiles(
        Items,
        [&](size_t I, const uint8_t* Data, size_t Size) {
            TOutput& Output = Outputs[I];
            if (!Output.Stream) Open(Output, Targets[I]);
            Output.Stream->write(reinterpret_cast<const char*>(Data), std::streamsize(Size));
            Output.Written += Size;
            Progress.Advance(Size);
            Progress.Tick();
            if (Output.Written == uint64_t(Items[I]->FileBytes))
                Close(Output, *Items[I], Targets[I]);
        },
        [&](size_t I, const WideString& Why) {
            const TSetupFile& Item = *Items[I];
            const WideString Name = IncludeTrailingBackslash(Item.DestDir) +
                                    (Item.NewFileName.empty() ? Item.SourceMask : Item.NewFileName);
            PrintError(u"onesetup: " + Package.Name() + u": " + Name + u": " + Why);
            Outputs[I].Damaged = true;
        });
    int Damaged = 0;
    for (size_t I = 0; I < Items.size(); ++I) {
        TOutput& Output = Outputs[I];
        if (Output.Damaged) {
            ++Damaged;
            Output.Stream.reset();
        } else if (Output.Stream || Items[I]->FileBytes <= 0) {
            // Empty files have no piece; a short one was reported as damaged.
            if (!Output.Stream) Open(Output, Targets[I]);
            Close(Output, *Items[I], Targets[I]);
        }
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
