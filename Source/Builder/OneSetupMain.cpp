#include "BuildError.h"
#include "Commands.h"
#include "ConsoleOutput.h"
#include "LxPlatform.h"
#include "LxStrUtils.h"

#include <cstring>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

const TCommand* const Commands[] = {&BuildCommand,   &CheckCommand,  &NewCommand,   &InspectCommand,
                                    &ExtractCommand, &EncodeCommand, &DecodeCommand};

void PrintUsage() {
    PrintLine(std::string_view("usage: onesetup <command> [arguments]\n\ncommands:"));
    for (const TCommand* Command : Commands) {
        char Line[120];
        std::snprintf(Line, sizeof(Line), "  %-9s %s", Command->Name, Command->Summary);
        PrintLine(std::string_view(Line));
    }
    PrintLine(std::string_view("\n'onesetup <command> --help' describes a command; 'onesetup "
                               "--version' shows the version."));
}

bool WantsHelp(const TArguments& Arguments) {
    for (const std::string& Argument : Arguments)
        if (Argument == "--help" || Argument == "-h") return true;
    return false;
}

// The arguments as UTF-8, also on Windows where argv is in the ANSI code page.
TArguments CommandArguments(int argc, char** argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    TArguments Arguments;
    for (const WideString& Argument : SplitCommandLine(PlatformCommandLine()))
        Arguments.push_back(WideToUtf8(Argument));
    return Arguments;
#else
    return TArguments(argv, argv + argc);
#endif
}

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const TArguments All = CommandArguments(argc, argv);
    if (All.size() == 2 && All[1] == "--version") {
        PrintLine(std::string_view("onesetup " ONESETUP_VERSION));
        return 0;
    }
    if (All.size() < 2 || All[1] == "--help" || All[1] == "-h" || All[1] == "help") {
        if (All.size() >= 3 && All[1] == "help") {
            for (const TCommand* Command : Commands)
                if (All[2] == Command->Name) {
                    PrintLine(std::string_view(Command->Help));
                    return 0;
                }
        }
        PrintUsage();
        return All.size() < 2 ? 2 : 0;
    }
    const TArguments Arguments(All.begin() + 2, All.end());
    for (const TCommand* Command : Commands) {
        if (All[1] != Command->Name) continue;
        if (WantsHelp(Arguments)) {
            PrintLine(std::string_view(Command->Help));
            return 0;
        }
        try {
            return Command->Run(Arguments);
        } catch (const EUsageError& Error) {
            PrintError("onesetup " + All[1] + ": " + Error.Message + " (see 'onesetup " + All[1] +
                       " --help')");
            return 2;
        } catch (const Exception& Error) {
            PrintError(u"onesetup: " + Error.Message());
        } catch (const std::bad_alloc&) {
            PrintError(std::string_view("onesetup: out of memory"));
        } catch (const std::exception& Error) {
            PrintError(std::string("onesetup: ") + Error.what());
        }
        return 1;
    }
    PrintError("onesetup: unknown command '" + All[1] + "' (see 'onesetup --help')");
    return 2;
}
