#include "PathUtils.h"

#include "BuildError.h"
#include "LxDateUtils.h"
#include "LxStrUtils.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <fstream>
#include <system_error>

fs::path ToPath(WideStringView Text) {
    WideString Native(Text);
#ifndef _WIN32
    for (char16_t& C : Native)
        if (C == u'\\') C = u'/';
#endif
    return fs::path(Native);
}

WideString FromPath(const fs::path& Path) {
    return Path.u16string();
}

WideString DisplayPath(const fs::path& Path) {
    return FromPath(Path);
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

bool ToLocal(std::time_t Seconds, std::tm& Local) {
#ifdef _WIN32
    return localtime_s(&Local, &Seconds) == 0;
#else
    return localtime_r(&Seconds, &Local) != nullptr;
#endif
}

} // namespace

TDateTime FileTimeToLocalDateTime(fs::file_time_type Time) {
    using namespace std::chrono;
    const int64_t Milliseconds =
        duration_cast<milliseconds>(file_clock::to_sys(Time).time_since_epoch()).count();
    const int64_t Seconds = Milliseconds >= 0 ? Milliseconds / 1000 : (Milliseconds - 999) / 1000;
    std::tm Local{};
    if (!ToLocal(static_cast<std::time_t>(Seconds), Local)) return 0;
    TDateParts Parts;
    Parts.Year = Local.tm_year + 1900;
    Parts.Month = unsigned(Local.tm_mon + 1);
    Parts.Day = unsigned(Local.tm_mday);
    Parts.Hour = unsigned(Local.tm_hour);
    Parts.Minute = unsigned(Local.tm_min);
    Parts.Second = unsigned(Local.tm_sec);
    Parts.Millisecond = unsigned(Milliseconds - Seconds * 1000);
    return EncodeDateTime(Parts);
}

fs::file_time_type LocalDateTimeToFileTime(TDateTime Value) {
    using namespace std::chrono;
    TDateParts Parts;
    if (!DecodeDateTime(Value, Parts)) return fs::file_time_type();
    std::tm Local{};
    Local.tm_year = int(Parts.Year - 1900);
    Local.tm_mon = int(Parts.Month - 1);
    Local.tm_mday = int(Parts.Day);
    Local.tm_hour = int(Parts.Hour);
    Local.tm_min = int(Parts.Minute);
    Local.tm_sec = int(Parts.Second);
    Local.tm_isdst = -1;
    const std::time_t Seconds = std::mktime(&Local);
    const sys_time<milliseconds> System{seconds(Seconds) + milliseconds(Parts.Millisecond)};
    return file_clock::from_sys(System);
}

fs::path PathFromArgument(const std::string& Argument) { return fs::path(Utf8ToWide(Argument)); }
