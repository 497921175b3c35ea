#include "LxStrUtils.h"

// Without the system's locale tables, the portable case fold.
bool SameText(WideStringView A, WideStringView B) {
    if (A.size() != B.size()) return false;
    for (size_t I = 0; I < A.size(); ++I)
        if (WideUpperChar(A[I]) != WideUpperChar(B[I])) return false;
    return true;
}
