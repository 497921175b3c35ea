#include "BuilderTestSupport.h"

#include "Commands.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>

TScratchFolder::TScratchFolder(const std::string& Name) {
    static std::atomic<int> Counter{0};
    FPath = fs::temp_directory_path() /
            ("onesetup-" + Name + "-" +
             std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
             std::to_string(Counter++));
    fs::remove_all(FPath);
    fs::create_directories(FPath);
}

TScratchFolder::~TScratchFolder() {
    std::error_code Ignored;
    fs::remove_all(FPath, Ignored);
}

void WriteText(const fs::path& Path, std::string_view Text) {
    fs::create_directories(Path.parent_path());
    std::ofstream(Path, std::ios::binary).write(Text.data(), std::streamsize(Text.size()));
}

void WriteBytes(const fs::path& Path, const std::vector<uint8_t>& Bytes) {
    fs::create_directories(Path.parent_path());
    std::ofstream(Path, std::ios::binary)
        .write(reinterpret_cast<const char*>(Bytes.data()), std::streamsize(Bytes.size()));
}

fs::path TestStub(const std::string& Arch) {
    return fs::path(ONESETUP_STUBS) / ("TestStub-" + Arch + ".exe");
}

int RunVerb(const std::vector<std::string>& Arguments) {
    const TCommand* const Commands[] = {&BuildCommand,   &CheckCommand,   &NewCommand,
                                        &InspectCommand, &ExtractCommand, &EncodeCommand,
                                        &DecodeCommand};
    for (const TCommand* Command : Commands)
        if (Arguments.at(0) == Command->Name)
            return Command->Run(TArguments(Arguments.begin() + 1, Arguments.end()));
    return -1;
}

void UseTimeZone(const char* Zone) {
#ifdef _WIN32
    _putenv_s("TZ", Zone);
    _tzset();
#else
    setenv("TZ", Zone, 1);
    tzset();
#endif
}

void UseUtcAsLocalTime() {
    UseTimeZone("UTC0");
}
