#include "PathUtils.h"

#include "BuildError.h"
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

constexpr int64_t UnixEpochDays = 25569; // 1970-01-01 counted from 1899-12-30
constexpr int64_t MillisecondsPerDay = 86400000;

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
int64_t DaysFromCivil(int64_t Y, unsigned M, unsigned D) {
    Y -= M <= 2;
    const int64_t Era = (Y >= 0 ? Y : Y - 399) / 400;
    const unsigned Yoe = static_cast<unsigned>(Y - Era * 400);
    const unsigned Doy = (153 * (M + (M > 2 ? -3 : 9)) + 2) / 5 + D - 1;
    const unsigned Doe = Yoe * 365 + Yoe / 4 - Yoe / 100 + Doy;
    return Era * 146097 + static_cast<int64_t>(Doe) - 719468;
}

void CivilFromDays(int64_t Z, int64_t& Y, unsigned& M, unsigned& D) {
    Z += 719468;
    const int64_t Era = (Z >= 0 ? Z : Z - 146096) / 146097;
    const unsigned Doe = static_cast<unsigned>(Z - Era * 146097);
    const unsigned Yoe = (Doe - Doe / 1460 + Doe / 36524 - Doe / 146096) / 365;
    const unsigned Doy = Doe - (365 * Yoe + Yoe / 4 - Yoe / 100);
    const unsigned Mp = (5 * Doy + 2) / 153;
    D = Doy - (153 * Mp + 2) / 5 + 1;
    M = Mp < 10 ? Mp + 3 : Mp - 9;
    Y = static_cast<int64_t>(Yoe) + Era * 400 + (M <= 2);
}

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
    const int64_t Days =
        DaysFromCivil(Local.tm_year + 1900, unsigned(Local.tm_mon + 1), unsigned(Local.tm_mday)) +
        UnixEpochDays;
    const int64_t DayMilliseconds =
        ((Local.tm_hour * 60 + Local.tm_min) * 60 + Local.tm_sec) * 1000 +
        (Milliseconds - Seconds * 1000);
    return double(Days) + double(DayMilliseconds) / MillisecondsPerDay;
}

fs::file_time_type LocalDateTimeToFileTime(TDateTime Value) {
    using namespace std::chrono;
    const int64_t Total = std::llround(Value * MillisecondsPerDay);
    const int64_t Days = (Total >= 0 ? Total : Total - MillisecondsPerDay + 1) / MillisecondsPerDay;
    int64_t DayMilliseconds = Total - Days * MillisecondsPerDay;
    int64_t Year;
    unsigned Month, Day;
    CivilFromDays(Days - UnixEpochDays, Year, Month, Day);
    std::tm Local{};
    Local.tm_year = int(Year - 1900);
    Local.tm_mon = int(Month - 1);
    Local.tm_mday = int(Day);
    Local.tm_hour = int(DayMilliseconds / 3600000);
    Local.tm_min = int(DayMilliseconds / 60000 % 60);
    Local.tm_sec = int(DayMilliseconds / 1000 % 60);
    Local.tm_isdst = -1;
    const std::time_t Seconds = std::mktime(&Local);
    const sys_time<milliseconds> System{seconds(Seconds) + milliseconds(DayMilliseconds % 1000)};
    return file_clock::from_sys(System);
}

fs::path PathFromArgument(const std::string& Argument) {
    return fs::path(Utf8ToWide(Argument));
}
