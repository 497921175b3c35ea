#pragma once

#include "LxTypes.h"

// Calendar parts of a local date-time. The whole part of a TDateTime counts days from
// 1899-12-30; its fraction (of the magnitude, also before that day) is the time of day.
struct TDateParts {
    int64_t Year = 1899;
    unsigned Month = 12, Day = 30;
    unsigned Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

inline constexpr int64_t UnixEpochDays = 25569; // 1970-01-01 counted from 1899-12-30

// Days from 1970-01-01 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t Year, unsigned Month, unsigned Day);
void CivilFromDays(int64_t Days, int64_t& Year, unsigned& Month, unsigned& Day);

// False for values that name no date (not finite, or beyond a few thousand years).
bool DecodeDateTime(TDateTime Value, TDateParts& Parts);
TDateTime EncodeDateTime(const TDateParts& Parts);

#ifdef _WIN32
// The system's local date and time, to the millisecond.
TDateTime LocalNow();
#endif
