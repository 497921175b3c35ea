// The command line splitting of the installer and the builder on Windows: the input is a
// command line in UTF-16 (two bytes a character). Every argument is non-empty and holds no
// quote and no NUL; quoting every argument and joining them with spaces splits back to the
// same arguments. Taking the run's options out keeps every other argument, in its order.

#include "FuzzSupport.h"
#include "LxStrUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    WideString Line(Size / 2, u'\0');
    for (size_t I = 0; I < Line.size(); ++I)
        Line[I] = char16_t(Data[2 * I] | Data[2 * I + 1] << 8);
    const std::vector<WideString> Arguments = SplitCommandLine(Line);
    WideString Joined;
    size_t Characters = 0;
    for (const WideString& Argument : Arguments) {
        FUZZ_CHECK(!Argument.empty());
        FUZZ_CHECK(Argument.find_first_of(WideStringView(u"\"\0", 2)) == WideString::npos);
        Characters += Argument.size();
        Joined += (Joined.empty() ? u"\"" : u" \"") + Argument + u"\"";
    }
    FUZZ_CHECK(Characters <= Line.size());
    FUZZ_CHECK(SplitCommandLine(Joined) == Arguments);
    const TRunOptions Options = TakeRunOptions(Arguments);
    size_t Next = 0;
    for (const WideString& Argument : Options.Rest) {
        while (Next < Arguments.size() && Arguments[Next] != Argument)
            ++Next;
        FUZZ_CHECK(Next < Arguments.size());
        ++Next;
    }
    FUZZ_CHECK(Options.Rest.size() + (Options.Dir || Options.Log ? 1 : 0) <= Arguments.size());
    return 0;
}
