#include "LxStrUtils.h"

#include <climits>
#include <windows.h>

// The user's locale decides what letters are the same.
bool SameText(WideStringView A, WideStringView B) {
    // The system refuses a null pointer, which an empty view may carry.
    if (A.empty() || B.empty()) return A.empty() && B.empty();
    if (A.size() > INT_MAX || B.size() > INT_MAX) return false;
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE,
                          reinterpret_cast<const wchar_t*>(A.data()), static_cast<int>(A.size()),
                          reinterpret_cast<const wchar_t*>(B.data()),
                          static_cast<int>(B.size())) == CSTR_EQUAL;
}
