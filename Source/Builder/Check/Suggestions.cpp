#include "Suggestions.h"

#include "LxStrUtils.h"

#include <algorithm>
#include <numeric>

namespace {

size_t EditDistance(WideStringView A, WideStringView B) {
    std::vector<size_t> Row(B.size() + 1);
    std::iota(Row.begin(), Row.end(), size_t(0));
    for (size_t I = 1; I <= A.size(); ++I) {
        size_t Diagonal = Row[0];
        Row[0] = I;
        for (size_t K = 1; K <= B.size(); ++K) {
            const size_t Above = Row[K];
            Row[K] = std::min({Row[K] + 1, Row[K - 1] + 1, Diagonal + (A[I - 1] != B[K - 1])});
            Diagonal = Above;
        }
    }
    return Row[B.size()];
}

} // namespace

WideString DidYouMean(WideStringView Name, const std::vector<WideString>& Known) {
    const WideString Upper = WideUpperCase(Name);
    const WideString* Best = nullptr;
    size_t BestDistance = std::max<size_t>(1, Name.size() / 3) + 1;
    for (const WideString& Candidate : Known) {
        const size_t Distance = EditDistance(Upper, WideUpperCase(Candidate));
        if (Distance < BestDistance) {
            Best = &Candidate;
            BestDistance = Distance;
        }
    }
    return Best ? u" (did you mean '" + *Best + u"'?)" : WideString();
}
