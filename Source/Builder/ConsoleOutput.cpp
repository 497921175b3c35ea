#include "ConsoleOutput.h"

#include "LxStrUtils.h"

#include <cstdio>

void PrintLine(std::string_view Text) {
    std::fwrite(Text.data(), 1, Text.size(), stdout);
    std::fputc('\n', stdout);
}

void PrintLine(WideStringView Text) {
    PrintLine(std::string_view(WideToUtf8(Text)));
}

void PrintError(std::string_view Text) {
    std::fflush(stdout);
    std::fwrite(Text.data(), 1, Text.size(), stderr);
    std::fputc('\n', stderr);
}

void PrintError(WideStringView Text) {
    PrintError(std::string_view(WideToUtf8(Text)));
}
