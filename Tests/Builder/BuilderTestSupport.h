#pragma once

#include "PathUtils.h"

#include <string>
#include <vector>

// A scratch folder removed with the object.
class TScratchFolder {
public:
    explicit TScratchFolder(const std::string& Name);
    ~TScratchFolder();
    const fs::path& Path() const { return FPath; }
    fs::path operator/(const std::string& Relative) const { return FPath / Relative; }

private:
    fs::path FPath;
};

void WriteText(const fs::path& Path, std::string_view Text);
void WriteBytes(const fs::path& Path, const std::vector<uint8_t>& Bytes);
// Where the build put the test stubs.
fs::path TestStub(const std::string& Arch);
// Local time is UTC from here on, so file times have known script values.
// A POSIX TZ value, for this process's local time.
void UseTimeZone(const char* Zone);
void UseUtcAsLocalTime();
// Runs a verb of the command as the tool would, returning its exit code.
int RunVerb(const std::vector<std::string>& Arguments);
