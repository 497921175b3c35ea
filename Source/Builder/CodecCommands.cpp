#include "BuildError.h"
#include "Commands.h"
#include "ConsoleOutput.h"
#include "LxStreams.h"
#include "MySetupUtils.h"
#include "Package/Progress.h"
#include "PathUtils.h"

#include <cstdio>

const TCommand EncodeCommand = {
    "encode", "encode a file with the package codec",
    "usage: onesetup encode FILE [OUT | -o OUT]\n"
    "\n"
    "Encodes FILE as the installer stores its resources (zlib, then the position XOR) and\n"
    "writes the result to OUT, or to standard output when that is not a terminal.",
    RunEncode};

const TCommand DecodeCommand = {
    "decode", "decode a file encoded with the package codec",
    "usage: onesetup decode FILE [OUT | -o OUT]\n"
    "\n"
    "Decodes FILE, for example an installed Uninstall.da1, and writes the plain bytes to OUT,\n"
    "or to standard output when that is not a terminal.",
    RunDecode};

namespace {

int Convert(const TArguments& Arguments, void (*Codec)(TMemoryStream&), const char* Verb) {
    const TCommandLine Line(Arguments, {"-o", "--output"}, {});
    Line.ExpectPositional(1, 2, "FILE and optionally OUT");
    std::optional<std::string> Output =
        Line.Value("-o") ? Line.Value("-o") : Line.Value("--output");
    if (Line.Positional().size() == 2) {
        if (Output) throw EUsageError{"give OUT either as an argument or with -o, not both"};
        Output = Line.Positional()[1];
    }
    const fs::path Input = PathFromArgument(Line.Positional()[0]);
    const std::vector<uint8_t> Bytes = ReadWholeFile(Input);
    TMemoryStream Stream;
    Stream.WriteBuffer(Bytes.data(), int64_t(Bytes.size()));
    try {
        Codec(Stream);
    } catch (const Exception& Error) {
        RaiseBuildError(DisplayPath(Input), AsciiToWide(Verb) + u" failed: " + Error.Message());
    }
    if (Output) {
        WriteWholeFile(PathFromArgument(*Output), Stream.Bytes());
        return 0;
    }
    if (StandardOutputIsTerminal())
        throw EUsageError{"refusing to write binary data to a terminal; give OUT or redirect"};
    std::fwrite(Stream.Memory(), 1, size_t(Stream.GetSize()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace

int RunEncode(const TArguments& Arguments) {
    return Convert(Arguments, TSetupfn::EncodeStream, "encoding");
}

int RunDecode(const TArguments& Arguments) {
    return Convert(Arguments, TSetupfn::DecodeStream, "decoding");
}
