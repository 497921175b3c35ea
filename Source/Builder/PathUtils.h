#pragma once

#include "LxTypes.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

// Script paths use backslashes; these turn them into paths of the machine the builder runs on.
fs::path ToPath(WideStringView Text);
WideString FromPath(const fs::path& Path);
// A script path taken relative to Folder, or as it is when absolute.
fs::path ResolvePath(const fs::path& Folder, WideStringView Text);
// Shown in messages: the path as the user typed it or as found.
WideString DisplayPath(const fs::path& Path);

// Whether a file or a folder is there; a path the system cannot even look up (too long, a
// name it refuses) is neither, instead of raising the library's filesystem error.
bool IsFile(const fs::path& Path);
bool IsFolder(const fs::path& Path);

std::vector<uint8_t> ReadWholeFile(const fs::path& Path);
// Writes through a temporary file in the same folder, so a failed build leaves no half file.
void WriteWholeFile(const fs::path& Path, const std::vector<uint8_t>& Bytes);

// A file read piece by piece into the caller's buffer; errors name the file.
class TFileReader {
public:
    explicit TFileReader(const fs::path& Path);
    // Up to Size bytes; fewer only at the end of the file.
    size_t Read(uint8_t* Buffer, size_t Size);
    void Seek(uint64_t Offset);

private:
    fs::path FPath;
    std::ifstream FFile;
};

// A file removed when the object goes.
class TScratchFile {
public:
    explicit TScratchFile(fs::path Path);
    ~TScratchFile();
    TScratchFile(const TScratchFile&) = delete;
    TScratchFile& operator=(const TScratchFile&) = delete;
    const fs::path& Path() const { return FPath; }

private:
    fs::path FPath;
};

// A file time as the local date-time of the script (days since 1899-12-30).
TDateTime FileTimeToLocalDateTime(fs::file_time_type Time);
fs::file_time_type LocalDateTimeToFileTime(TDateTime Value);

// A path typed on the command line (UTF-8), taken as it is.
fs::path PathFromArgument(const std::string& Argument);
