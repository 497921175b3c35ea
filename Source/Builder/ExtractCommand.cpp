#include "BuildError.h"
#include "Commands.h"
#include "ConsoleOutput.h"
#include "MySetupUtils.h"
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
    const WideString Name = IncludeTrailingBackslash(Item.DestDir) +
                            (Item.NewFileName.empty() ? Item.SourceMask : Item.NewFileName);
    auto Fail = [&](WideStringView Why) {
        PrintError(u"onesetup: " + Package.Name() + u": " + Name + u": " + WideString(Why));
        return false;
    };
    std::error_code Error;
    fs::create_directories(Target.parent_path(), Error);
    std::ofstream Out(Target, std::ios::binary | std::ios::trunc);
    if (!Out) RaiseBuildError(DisplayPath(Target), u"cannot create the file");
    if (Item.FileBytes > 0) {
        const TFileData* Entry = Package.FileData().FindByGUID(Item.ResID);
        if (!Entry) return Fail(u"its stream is missing from the file data");
        int64_t Written = 0;
        try {
            TSetupfn::DecodeRange(
                Entry->Data(), Entry->Size(), [&](const uint8_t* Data, size_t Size) {
                    Out.write(reinterpret_cast<const char*>(Data), std::streamsize(Size));
                    Written += int64_t(Size);
                });
        } catch (const Exception& Failure) {
            return Fail(u"damaged stream (" + Failure.Message() + u")");
        }
        if (Written != Item.FileBytes)
            return Fail(FormatText(u"the stream holds %d bytes, the script says %d", Written,
                                   Item.FileBytes));
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
    uint64_t Total = 0;
    for (int I = 0; I < Files.Count(); ++I)
        Total += uint64_t(std::max(0, Files.Items(I)->FileBytes));
    TProgress Progress("extracting", Total, !Quiet);
    int Damaged = 0;
    for (int I = 0; I < Files.Count(); ++I) {
        const TSetupFile& Item = *Files.Items(I);
        if (!ExtractFile(Package, Item, ExtractionPath(Item, Root, Package.Name()))) ++Damaged;
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
