#include "ChannelCode.h"

#include "LxStrUtils.h"

WideString AddChannelCodeFor(WideStringView Url, WideStringView InstallerFileTitle) {
    WideString Result(Url);
    const size_t Underscore = InstallerFileTitle.find(u'_');
    if (Underscore == WideStringView::npos) return Result;
    const WideStringView Rest = InstallerFileTitle.substr(Underscore + 1);
    size_t Digits = 0;
    while (Digits < Rest.size() && Rest[Digits] >= u'0' && Rest[Digits] <= u'9')
        ++Digits;
    if (Digits == 0) return Result;
    Result += Url.find(u'?') == WideStringView::npos ? u'?' : u'&';
    Result += FormatText(u"rcode=%s", Rest.substr(0, Digits));
    return Result;
}
