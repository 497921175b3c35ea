#include "LxDateUtils.h"

#include <cmath>

namespace {
constexpr int64_t MillisecondsPerDay = 86400000;
}

int64_t DaysFromCivil(int64_t Year, unsigned Month, unsigned Day) {
    Year -= Month <= 2;
    const int64_t Era = (Year >= 0 ? Year : Year - 399) / 400;
    const unsigned YearOfEra = static_cast<unsigned>(Year - Era * 400);
    const unsigned DayOfYear = (153 * (Month + (Month > 2 ? -3 : 9)) + 2) / 5 + Day - 1;
    const unsigned DayOfEra = YearOfEra * 365 + YearOfEra / 4 - YearOfEra / 100 + DayOfYear;
    return Era * 146097 + static_cast<int64_t>(DayOfEra) - 719468;
}

void CivilFromDays(int64_t Days, int64_t& Year, unsigned& Month, unsigned& Day) {
    Days += 719468;
    const int64_t Era = (Days >= 0 ? Days : Days - 146096) / 146097;
    const unsigned DayOfEra = static_cast<unsigned>(Days - Era * 146097);
    const unsigned YearOfEra =
        (DayOfEra - DayOfEra / 1460 + DayOfEra / 36524 - DayOfEra / 146096) / 365;
    const unsigned DayOfYear = DayOfEra - (365 * YearOfEra + YearOfEra / 4 - YearOfEra / 100);
    const unsigned MonthIndex = (5 * DayOfYear + 2) / 153;
    Day = DayOfYear - (153 * MonthIndex + 2) / 5 + 1;
    Month = MonthIndex < 10 ? MonthIndex + 3 : MonthIndex - 9;
    Year = static_cast<int64_t>(YearOfEra) + Era * 400 + (Month <= 2 ? 1 : 0);
}

bool DecodeDateTime(TDateTime Value, TDateParts& Parts) {
    if (!std::isfinite(Value) || std::fabs(Value) > 3000000) return false;
    const double Whole = std::trunc(Value);
    int64_t Days = static_cast<int64_t>(Whole);
    int64_t Milliseconds = std::llround(std::fabs(Value - Whole) * double(MillisecondsPerDay));
    if (Milliseconds >= MillisecondsPerDay) {
        Milliseconds -= MillisecondsPerDay;
        ++Days;
    }
    CivilFromDays(Days - UnixEpochDays, Parts.Year, Parts.Month, Parts.Day);
    Parts.Hour = unsigned(Milliseconds / 3600000);
    Parts.Minute = unsigned(Milliseconds / 60000 % 60);
    Parts.Second = unsigned(Milliseconds / 1000 % 60);
    Parts.Millisecond = unsigned(Milliseconds % 1000);
    return true;
}

TDateTime EncodeDateTime(const TDateParts& Parts) {
    const int64_t Days = DaysFromCivil(Parts.Year, Parts.Month, Parts.Day) + UnixEpochDays;
    const int64_t Milliseconds =
        ((int64_t(Parts.Hour) * 60 + Parts.Minute) * 60 + Parts.Second) * 1000 + Parts.Millisecond;
    return double(Days) + double(Milliseconds) / double(MillisecondsPerDay);
}
