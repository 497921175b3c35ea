#include "Check/ProjectCheck.h"
#include "Commands.h"
#include "ConsoleOutput.h"
#include "LxStrUtils.h"

const TCommand CheckCommand = {
    "check", "check a project without building it",
    "usage: onesetup check PROJECT.xml [--werror] [-q]\n"
    "\n"
    "Reads the project strictly and reports every problem, each as FILE:LINE:COLUMN: error: or\n"
    "warning:, as compilers do: XML that is not well formed, unknown elements and attributes,\n"
    "values the installer would read otherwise than written, unknown constants and variables,\n"
    "a missing or malformed GUID, a mini installer without an HTTP or HTTPS address, an icon\n"
    "that is no PNG image, a licence that is no text, file items that match nothing (errors);\n"
    "a version that is not only numbers, items that write a target twice, shortcuts and\n"
    "programs that are not in the package (warnings). Exits with 1\n"
    "when there is an error. 'onesetup build' runs the same check first.\n"
    "\n"
    "options:\n"
    "  --werror     treat warnings as errors\n"
    "  -q, --quiet  print nothing but problems",
    RunCheck};

namespace {

WideString Counted(int Count, const char16_t* What) {
    return FormatText(u"%d %s%s", Count, What, WideStringView(Count == 1 ? u"" : u"s"));
}

} // namespace

bool ReportProjectCheck(const fs::path& Project, bool WarningsAreErrors, bool Quiet) {
    const TDiagnostics Diagnostics = CheckProject(Project);
    const WideString File = DisplayPath(Project);
    for (const TDiagnostic& Diagnostic : Diagnostics.Sorted())
        PrintError(FormatDiagnostic(File, Diagnostic, WarningsAreErrors));
    const int Warnings = Diagnostics.Count(TSeverity::Warning);
    const int Errors = Diagnostics.Count(TSeverity::Error) + (WarningsAreErrors ? Warnings : 0);
    if (Errors + Warnings > 0)
        PrintError(File + u": " + Counted(Errors, u"error") + u", " +
                   Counted(WarningsAreErrors ? 0 : Warnings, u"warning"));
    else if (!Quiet)
        PrintLine(File + u": no problems found");
    return Errors == 0;
}

int RunCheck(const TArguments& Arguments) {
    const TCommandLine Line(Arguments, {}, {"--werror", "-q", "--quiet"});
    Line.ExpectPositional(1, 1, "PROJECT.xml");
    return ReportProjectCheck(PathFromArgument(Line.Positional()[0]), Line.Flag("--werror"),
                              Line.Flag("-q") || Line.Flag("--quiet"))
               ? 0
               : 1;
}
