#include "Commands.h"
#include "ConsoleOutput.h"
#include "LxFileStream.h"
#include "LxStrUtils.h"
#include "MySetupUtils.h"

namespace {

int Convert(const TArguments& Arguments, void (*Codec)(TMemoryStream&)) {
    if (Arguments.size() != 2) {
        PrintError(std::string_view("onesetup: expected IN and OUT"));
        return 2;
    }
    TMemoryStream Stream;
    {
        TFileStream Input(Utf8ToWide(Arguments[0]), fmOpenRead);
        Stream.CopyFrom(Input, 0);
    }
    Codec(Stream);
    TFileStream Output(Utf8ToWide(Arguments[1]), fmCreate);
    Output.CopyFrom(Stream, 0);
    return 0;
}

} // namespace

int RunEncode(const TArguments& Arguments) {
    return Convert(Arguments, TSetupfn::EncodeStream);
}
int RunDecode(const TArguments& Arguments) {
    return Convert(Arguments, TSetupfn::DecodeStream);
}
