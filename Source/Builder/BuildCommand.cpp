#include "BuildError.h"
#include "Commands.h"
#include "ConsoleOutput.h"
#include "Package/BuildProject.h"
#include "Pe/PeImage.h"
#include "StubLocator.h"

#include <thread>

const TCommand BuildCommand = {
    "build", "build the installers of a project",
    "usage: onesetup build PROJECT.xml [options]\n"
    "\n"
    "Builds the full installer named by the project's FullSetupFile and, when BuildMiniSetup\n"
    "is set, the mini installer named by MiniSetupFile. File items name their sources with\n"
    "SourcePath (a folder, relative to the project) and SourceMask (a name or a mask with * and\n"
    "?); IncludeSubPath also searches sub-folders. The project is checked first as 'onesetup\n"
    "check' does; nothing is built when it has an error.\n"
    "\n"
    "options:\n"
    "  -o, --output DIR   write the installers into DIR (default: the project's folder)\n"
    "  --arch x86|x64     the installer stub to use (default: x86, the release installer)\n"
    "  --stub PATH        use this installer stub instead\n"
    "  --uninstaller PATH the uninstaller installed as {app}\\Uninstall.exe (default: the one\n"
    "                     of the stub's architecture; a project that installs its own keeps it)\n"
    "  -j, --jobs N       encode on N threads (default: every core)\n"
    "  -l, --level N      compression level 1 to 12 (default: 7; higher is slower and a\n"
    "                     little smaller; builds without libdeflate always use zlib's 9)\n"
    "  --werror           treat the check's warnings as errors\n"
    "  -q, --quiet        print nothing but problems",
    RunBuild};

namespace {

// The architecture of a stub, from its headers.
std::string StubArch(const fs::path& Stub) {
    return TPeImage(ReadWholeFile(Stub), DisplayPath(Stub)).Is64() ? "x64" : "x86";
}

int ParseNumber(const std::string& Text, int Min, int Max, const char* Option) {
    int32_t Value = 0;
    if (!TryStrToInt(Utf8ToWide(Text), Value) || Value < Min || Value > Max)
        throw EUsageError{std::string(Option) + " takes a number from " + std::to_string(Min) +
                          " to " + std::to_string(Max)};
    return Value;
}

} // namespace

int RunBuild(const TArguments& Arguments) {
    const TCommandLine Line(
        Arguments,
        {"-o", "--output", "--arch", "--stub", "--uninstaller", "-j", "--jobs", "-l", "--level"},
        {"-q", "--quiet", "--werror"});
    Line.ExpectPositional(1, 1, "PROJECT.xml");
    const bool Quiet = Line.Flag("-q") || Line.Flag("--quiet");

    TBuildRequest Request;
    Request.Project = PathFromArgument(Line.Positional()[0]);
    if (auto Output = Line.Value("-o") ? Line.Value("-o") : Line.Value("--output"))
        Request.OutputDir = PathFromArgument(*Output);
    const std::string Arch = Line.Value("--arch").value_or("x86");
    if (Arch != "x86" && Arch != "x64") throw EUsageError{"--arch takes x86 or x64"};
    TFoundProgram Stub, Uninstaller;
    if (auto Given = Line.Value("--stub"))
        Stub.Path = PathFromArgument(*Given);
    else
        Stub = FindDefaultStub(Arch);
    if (auto Given = Line.Value("--uninstaller"))
        Uninstaller.Path = PathFromArgument(*Given);
    else
        Uninstaller = FindUninstaller(StubArch(Stub.Path), Stub);
    Request.Stub = Stub.Path;
    Request.Uninstaller = Uninstaller.Path;
    Request.Jobs = int(std::max(1u, std::thread::hardware_concurrency()));
    if (auto Jobs = Line.Value("-j") ? Line.Value("-j") : Line.Value("--jobs")) {
        Request.Jobs = ParseNumber(*Jobs, 1, 256, "--jobs");
    }
    if (auto Level = Line.Value("-l") ? Line.Value("-l") : Line.Value("--level")) {
        Request.Level = ParseNumber(*Level, 1, 12, "--level");
    }
    Request.ShowProgress = !Quiet;

    if (!ReportProjectCheck(Request.Project, Line.Flag("--werror"), true)) {
        PrintError(u"onesetup build: " + DisplayPath(Request.Project) +
                   u" has errors: nothing built");
        return 1;
    }

    const TBuildReport Report = BuildProject(Request);
    if (!Quiet) {
        PrintLine(FormatText(u"%s: %d bytes (%d files, %d bytes, stored in %d bytes; %s)",
                             DisplayPath(Report.FullSetup), int64_t(Report.FullSize),
                             int64_t(Report.Files), int64_t(Report.PlainBytes),
                             int64_t(Report.StoredBytes), AsciiToWide(Report.Engine)));
        PrintLine(u"  stub: " + ProgramOrigin(Stub));
        PrintLine(Report.UninstallerAdded
                      ? u"  uninstaller: " + ProgramOrigin(Uninstaller) +
                            u", added as {app}\\Uninstall.exe"
                      : WideString(u"  uninstaller: the project's own {app}\\Uninstall.exe"));
        if (!Report.MiniSetup.empty())
            PrintLine(FormatText(u"%s: %d bytes (mini installer)", DisplayPath(Report.MiniSetup),
                                 int64_t(Report.MiniSize)));
    }
    return 0;
}
