// Replays files through a harness without libFuzzer (the sanitizer tree builds with gcc):
// every argument is a file or a folder of files; a missing folder counts as empty.

#include "FuzzSupport.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

int main(int Count, char** Arguments) {
    std::vector<fs::path> Files;
    for (int I = 1; I < Count; ++I) {
        const fs::path Path = Arguments[I];
        if (fs::is_directory(Path)) {
            for (const auto& Entry : fs::recursive_directory_iterator(Path))
                if (Entry.is_regular_file()) Files.push_back(Entry.path());
        } else if (fs::exists(Path)) {
            Files.push_back(Path);
        }
    }
    std::sort(Files.begin(), Files.end());
    for (const fs::path& File : Files) {
        std::ifstream Stream(File, std::ios::binary);
        const std::vector<uint8_t> Bytes((std::istreambuf_iterator<char>(Stream)),
                                         std::istreambuf_iterator<char>());
        // Printed first, so that a crash names its input.
        std::fprintf(stderr, "%s\n", File.string().c_str());
        LLVMFuzzerTestOneInput(Bytes.data(), Bytes.size());
    }
    std::printf("%zu inputs replayed\n", Files.size());
    return 0;
}
