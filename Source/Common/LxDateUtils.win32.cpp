#include "LxDateUtils.h"

#include <windows.h>

TDateTime LocalNow() {
    SYSTEMTIME Now;
    GetLocalTime(&Now);
    TDateParts Parts;
    Parts.Year = Now.wYear;
    Parts.Month = Now.wMonth;
    Parts.Day = Now.wDay;
    Parts.Hour = Now.wHour;
    Parts.Minute = Now.wMinute;
    Parts.Second = Now.wSecond;
    Parts.Millisecond = Now.wMilliseconds;
    return EncodeDateTime(Parts);
}
