#include "PathUtils.h"

#include "BuildError.h"
#include "LxDateUtils.h"
#include "LxStrUtils.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <fstream>
#include <system_error>

// Converted here rather than by the library, which raises for a lone surrogate in a script's
// text or a file name that is not UTF-8; these become replacement characters instead.
fs::path ToPath(WideStringView Text) {
#ifdef _WIN32
    return fs::path(std::wstring(Text.begin(), Text.end()));
#else
    RawByteString Native = WideToUtf8(Text);
    for (char& C : Native)
        if (C == '\\') C = '/';
    return fs::path(Native);
#endif
}

WideString FromPath(const fs::path& Path) {
#ifdef _WIN32
    return WideString(Path.native().begin(), Path.native().end());
#else
    return Utf8ToWide(Path.native());
#endif
}

fs::path ResolvePath(const fs::path& Folder, WideStringView Text) {
    const fs::path Path = ToPath(Text);
    return Path.is_relative() ? Folder / Path : Path;
}

WideString DisplayPath(const fs::path& Path) {
    return FromPath(Path);
}

bool IsFile(const fs::path& Path) {
    std::error_code Error;
    return fs::is_regular_file(Path, Error);
}

bool IsFolder(const fs::path& Path) {
    std::error_code Error;
    return fs::is_directory(Path, Error);
}

std::vector<uint8_t> ReadWholeFile(const fs::path& Path) {
    std::ifstream File(Path, std::ios::binary);
    if (!File) RaiseBuildError(DisplayPath(Path), u"cannot open the file for reading");
    File.seekg(0, std::ios::end);
    const std::streamoff Size = File.tellg();
    File.seekg(0, std::ios::beg);
    if (Size < 0) RaiseBuildError(DisplayPath(Path), u"cannot read the file");
    std::vector<uint8_t> Bytes(static_cast<size_t>(Size));
    if (Size > 0 && !File.read(reinterpret_cast<char*>(Bytes.data()), Size))
        RaiseBuildError(DisplayPath(Path), u"cannot read the file");
    return Bytes;
}

TFileReader::TFileReader(const fs::path& Path) : FPath(Path), FFile(Path, std::ios::binary) {
    if (!FFile) RaiseBuildError(DisplayPath(Path), u"cannot open the file for reading");
}

size_t TFileReader::Read(uint8_t* Buffer, size_t Size) {
    FFile.read(reinterpret_cast<char*>(Buffer), std::streamsize(Size));
    if (FFile.bad() || (FFile.fail() && !FFile.eof()))
        RaiseBuildError(DisplayPath(FPath), u"cannot read the file");
    return size_t(FFile.gcount());
}

void TFileReader::Seek(uint64_t Offset) {
    FFile.clear();
    if (!FFile.seekg(std::streamoff(Offset)))
        RaiseBuildError(DisplayPath(FPath), u"cannot read the file");
}

TScratchFile::TScratchFile(fs::path Path) : FPath(std::move(Path)) {
    std::error_code Ignored;
    fs::remove(FPath, Ignored);
}

TScratchFile::~TScratchFile() {
    std::error_code Ignored;
    fs::remove(FPath, Ignored);
}

void WriteWholeFile(const fs::path& Path, const std::vector<uint8_t>& Bytes) {
    fs::path Temporary = Path;
    Temporary += ".partial";
    {
        std::ofstream File(Temporary, std::ios::binary | std::ios::trunc);
        if (!File) RaiseBuildError(DisplayPath(Path), u"cannot create the file");
        File.write(reinterpret_cast<const char*>(Bytes.data()), std::streamsize(Bytes.size()));
        File.close();
        if (!File) {
            std::error_code Ignored;
            fs::remove(Temporary, Ignored);
            RaiseBuildError(DisplayPath(Path), u"cannot write the file (disk full?)");
        }
    }
    std::error_code Error;
    fs::rename(Temporary, Path, Error);
    if (Error) {
        fs::remove(Temporary, Error);
        RaiseBuildError(DisplayPath(Path), u"cannot replace the file");
    }
}

namespace {

using namespace std::chrono;

// How far local time is ahead of UTC now. The installer turns a file's local time back with the
// system's current bias, whatever the date of the file, and so does this side: a file built and
// installed in the same zone and season gets exactly its own time again.
milliseconds CurrentUtcOffset() {
    const std::time_t Now = std::time(nullptr);
    std::tm Local{};
#ifdef _WIN32
    if (localtime_s(&Local, &Now) != 0) return milliseconds(0);
#else
    if (!localtime_r(&Now, &Local)) return milliseconds(0);
#endif
    const int64_t LocalAsUtc =
        DaysFromCivil(Local.tm_year + 1900, unsigned(Local.tm_mon + 1), unsigned(Local.tm_mday)) *
            86400 +
        Local.tm_hour * 3600 + Local.tm_min * 60 + Local.tm_sec;
    return seconds(LocalAsUtc - int64_t(Now));
}

} // namespace

TDateTime FileTimeToLocalDateTime(fs::file_time_type Time) {
    const int64_t Local =
        (time_point_cast<milliseconds>(file_clock::to_sys(Time)).time_since_epoch() +
         CurrentUtcOffset())
            .count();
    const int64_t Days = Local >= 0 ? Local / 86400000 : (Local - 86399999) / 86400000;
    int64_t InDay = Local - Days * 86400000;
    TDateParts Parts;
    CivilFromDays(Days, Parts.Year, Parts.Month, Parts.Day);
    Parts.Millisecond = unsigned(InDay % 1000);
    InDay /= 1000;
    Parts.Second = unsigned(InDay % 60);
    Parts.Minute = unsigned(InDay / 60 % 60);
    Parts.Hour = unsigned(InDay / 3600);
    return EncodeDateTime(Parts);
}

fs::file_time_type LocalDateTimeToFileTime(TDateTime Value) {
    TDateParts Parts;
    if (!DecodeDateTime(Value, Parts)) return fs::file_time_type();
    const int64_t Seconds = DaysFromCivil(Parts.Year, Parts.Month, Parts.Day) * 86400 +
                            Parts.Hour * 3600 + Parts.Minute * 60 + Parts.Second;
    const sys_time<milliseconds> Local{seconds(Seconds) + milliseconds(Parts.Millisecond)};
    return file_clock::from_sys(Local - CurrentUtcOffset());
}

fs::path PathFromArgument(const std::string& Argument) {
#ifdef _WIN32
    return ToPath(Utf8ToWide(Argument));
#else
    // The bytes as the shell gave them, UTF-8 or not.
    return fs::path(Argument);
#endif
}
