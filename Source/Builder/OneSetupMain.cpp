#include "Commands.h"
#include "ConsoleOutput.h"
#include "LxExceptions.h"

#include <cstring>

namespace {

const char Usage[] =
    "usage: onesetup <command> [arguments]\n"
    "\n"
    "commands:\n"
    "  show SCRIPT.xml        print a setup script and check its codec round trip\n"
    "  encode IN OUT          encode a file with the package codec\n"
    "  decode IN OUT          decode a file encoded with the package codec";

struct TCommand {
    const char* Name;
    int (*Run)(const TArguments&);
};

const TCommand Commands[] = {
    {"show", RunShow},
    {"encode", RunEncode},
    {"decode", RunDecode},
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        PrintLine(std::string_view(Usage));
        return argc < 2 ? 2 : 0;
    }
    const TArguments Arguments(argv + 2, argv + argc);
    for (const TCommand& Command : Commands) {
        if (std::strcmp(argv[1], Command.Name) != 0) continue;
        try {
            return Command.Run(Arguments);
        } catch (const Exception& Error) {
            PrintError(u"onesetup: " + Error.Message());
        } catch (const std::exception& Error) {
            PrintError(std::string("onesetup: ") + Error.what());
        }
        return 1;
    }
    PrintError(std::string("onesetup: unknown command '") + argv[1] + "'");
    PrintError(std::string_view(Usage));
    return 2;
}
