// stub_rebuild STUB.exe OUT.exe ICON.png: adds the probe's resources to a stub with the
// builder's PE writer and writes the result.
// stub_rebuild --expect FILE.exe: prints what the PE reader parses back from FILE, in the form
// resource_probe prints what Windows sees.

#include "LxFileStream.h"
#include "ResourceListing.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <exception>

namespace {

std::vector<uint8_t> ReadAll(const WideString& FileName) {
    TFileStream Stream(FileName, fmOpenRead);
    std::vector<uint8_t> Bytes(size_t(Stream.GetSize()));
    Stream.ReadBuffer(Bytes.data(), int64_t(Bytes.size()));
    return Bytes;
}

WideString Arg(const wchar_t* Text) {
    return WideString(reinterpret_cast<const char16_t*>(Text));
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    try {
        if (argc == 3 && Arg(argv[1]) == u"--expect") {
            const TPeImage Image(ReadAll(Arg(argv[2])), Arg(argv[2]));
            const std::string Listing = ResourceListing(Image);
            std::fwrite(Listing.data(), 1, Listing.size(), stdout);
            return 0;
        }
        if (argc == 4) {
            const TPeImage Stub(ReadAll(Arg(argv[1])), Arg(argv[1]));
            const std::vector<uint8_t> Rebuilt = RebuildForProbe(Stub, ReadAll(Arg(argv[3])));
            TFileStream Out(Arg(argv[2]), fmCreate);
            Out.WriteBuffer(Rebuilt.data(), int64_t(Rebuilt.size()));
            return 0;
        }
    } catch (const std::exception& Error) {
        std::fprintf(stderr, "stub_rebuild: %s\n", Error.what());
        return 1;
    }
    std::fprintf(stderr, "usage: stub_rebuild STUB.exe OUT.exe ICON.png\n"
                         "       stub_rebuild --expect FILE.exe\n");
    return 2;
}
